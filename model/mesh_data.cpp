#include "model/mesh_data.h"

#include <cstdlib>

RecordPool<MeshData> g_meshPool(2, 4);

void FreeMeshDataBuffers(MeshData& mesh) {
  for (void*& b : mesh.buffers) {
    std::free(b);
    b = nullptr;
  }
}

void CreateMeshPool() { g_meshPool.Create(); }

void FreeMeshPool() {
  if (g_meshPool.Created())
    for (int32_t i = 0; i < g_meshPool.Capacity(); ++i) FreeMeshDataBuffers(g_meshPool[uint32_t(i)]);
  g_meshPool.Release();
}

uint32_t AllocMeshData() {
  return g_meshPool.Alloc([](MeshData& m) { m.inUse = 1; });
}

int FreeMeshData(uint32_t r) {
  int ok = g_meshPool.Free(r, [](MeshData& m) { FreeMeshDataBuffers(m); });
  if (ok) g_meshPool[r].inUse = 0;
  return ok;
}
