#include "model/mesh_data.h"

#include <cstdlib>

void FreeMeshDataBuffers(MeshData& mesh) {
  for (void*& b : mesh.buffers) {
    std::free(b);
    b = nullptr;
  }
}
