// Mesh data records: the pool and the edits of a whole record.
#include "model/mesh_data.h"

#include <algorithm>
#include <cmath>

#include "model/model_state.h"

RecordPool<MeshData> g_meshPool(2, 4);

void FreeMeshDataBuffers(MeshData& mesh) {
  std::vector<float>().swap(mesh.vertices);
  std::vector<float>().swap(mesh.normals);
  std::vector<float>().swap(mesh.texCoords);
  std::vector<uint32_t>().swap(mesh.faceWords);
  mesh.vertexCount = mesh.normalCount = mesh.faceCount = mesh.faceWordCount = 0;
}

void ResizeMeshData(MeshData& mesh, uint32_t vertices, uint32_t normals, uint32_t faces, uint32_t faceWords) {
  mesh.vertices.assign(size_t(vertices) * 3, 0.0f);
  mesh.texCoords.assign(size_t(vertices) * 2, 0.0f);
  mesh.normals.assign(size_t(normals) * 3, 0.0f);
  mesh.faceWords.assign(faceWords, 0u);
  mesh.vertexCount = vertices;
  mesh.normalCount = normals;
  mesh.faceCount = faces;
  mesh.faceWordCount = faceWords;
}

void CreateMeshPool() { g_meshPool.Create(); }

void FreeMeshPool() {
  if (g_meshPool.Created())
    for (int32_t i = 0; i < g_meshPool.Capacity(); ++i) FreeMeshDataBuffers(g_meshPool[uint32_t(i)]);
  g_meshPool.Release();
}

uint32_t AllocMeshData() {
  return g_meshPool.Alloc([](MeshData& m) {
    FreeMeshDataBuffers(m);
    m.inUse = 1;
  });
}

int FreeMeshData(uint32_t r) {
  int ok = g_meshPool.Free(r, [](MeshData& m) { FreeMeshDataBuffers(m); });
  if (ok) g_meshPool[r].inUse = 0;
  return ok;
}

MeshData* MeshDataAt(uint32_t index) {
  if (index == 0 || !g_meshPool.InUse(index)) return nullptr;
  return &g_meshPool[index];
}

int32_t ScaleMeshData(uint32_t index, float sx, float sy, float sz) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 1;
  for (size_t i = 0; i < m->vertices.size(); i += 3) {
    m->vertices[i] *= sx;
    m->vertices[i + 1] *= sy;
    m->vertices[i + 2] *= sz;
  }
  return 1;
}

namespace {

// Turns a point about x, then y, then z by the angles whose cosines and sines are given.
void RotatePoint(float* p, const float cosines[3], const float sines[3]) {
  float x = p[0], y = p[1], z = p[2];
  float t = y * cosines[0] - z * sines[0];
  z = y * sines[0] + z * cosines[0];
  y = t;
  t = z * sines[1] + x * cosines[1];
  z = z * cosines[1] - x * sines[1];
  x = t;
  t = x * cosines[2] - y * sines[2];
  y = x * sines[2] + y * cosines[2];
  x = t;
  p[0] = x, p[1] = y, p[2] = z;
}

}  // namespace

int32_t RotateMeshData(uint32_t index, float ax, float ay, float az) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 1;
  // Degrees to radians with 3.14 / 180, as the toolkit always turned them.
  const float k = 0.017444445f;
  const float cosines[3] = {std::cos(ax * k), std::cos(ay * k), std::cos(az * k)};
  const float sines[3] = {std::sin(ax * k), std::sin(ay * k), std::sin(az * k)};
  for (uint32_t i = 0; i < m->vertexCount; ++i) {
    RotatePoint(&m->vertices[3 * size_t(i)], cosines, sines);
    if (i < m->normalCount) RotatePoint(&m->normals[3 * size_t(i)], cosines, sines);
  }
  return 1;
}

int32_t SetMeshNormalsAll(uint32_t index, float nx, float ny, float nz) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 1;
  for (uint32_t i = 0; i < m->vertexCount && i < m->normalCount; ++i) {
    float* n = &m->normals[3 * size_t(i)];
    n[0] = nx, n[1] = ny, n[2] = nz;
  }
  return 1;
}

int32_t ScaleMeshNormals(uint32_t index, float factor) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 1;
  for (size_t i = 0; i < size_t(std::min(m->vertexCount, m->normalCount)) * 3; ++i) m->normals[i] *= factor;
  return 1;
}

int32_t SetMeshVertexYAll(uint32_t index, float y) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 1;
  for (size_t i = 1; i < m->vertices.size(); i += 3) m->vertices[i] = y;
  return 1;
}

bool MeshDataBounds(uint32_t mesh, float* minX, float* minY, float* minZ, float* maxX, float* maxY, float* maxZ) {
  const MeshData* m = MeshDataAt(mesh);
  if (!m || m->vertexCount == 0 || m->vertices.size() < 3) return false;
  float lo[3] = {m->vertices[0], m->vertices[1], m->vertices[2]}, hi[3] = {lo[0], lo[1], lo[2]};
  for (size_t i = 3; i + 2 < m->vertices.size(); i += 3)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], m->vertices[i + k]);
      hi[k] = std::max(hi[k], m->vertices[i + k]);
    }
  *minX = lo[0], *minY = lo[1], *minZ = lo[2], *maxX = hi[0], *maxY = hi[1], *maxZ = hi[2];
  return true;
}

uint32_t CloneMeshData(uint32_t mesh) {
  if (!MeshDataAt(mesh)) return 0;
  const uint32_t copy = AllocMeshData();
  if (copy == kNoRecord) return 0;
  // The pool may have grown and moved its records: look the source up again.
  const MeshData& src = *MeshDataAt(mesh);
  MeshData& dst = g_meshPool[copy];
  dst.vertexCount = src.vertexCount, dst.normalCount = src.normalCount;
  dst.faceCount = src.faceCount, dst.faceWordCount = src.faceWordCount;
  dst.vertices = src.vertices, dst.normals = src.normals, dst.texCoords = src.texCoords;
  dst.faceWords = src.faceWords;
  dst.minX = src.minX, dst.minY = src.minY, dst.maxX = src.maxX;
  dst.maxY = src.maxY, dst.minZ = src.minZ, dst.maxZ = src.maxZ;
  return copy;
}
