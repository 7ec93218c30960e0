// Mesh data builders: boxes, triangles, the built-in meshes and meshes read from .x data.
#include <cmath>
#include <initializer_list>

#include "core/pack.h"
#include "model/mesh_data.h"
#include "model/xfile/mesh_builder.h"
#include "platform/fs.h"

namespace {

// Largest .x file the mesh loader reads.
constexpr uint64_t kMaxMeshFileBytes = uint64_t(1) << 30;

void Put(std::vector<float>& block, size_t at, std::initializer_list<float> values) {
  for (float v : values) block[at++] = v;
}

// Triangles whose normal index is the vertex index: 3, a, a, b, b, c, c each.
void PutTriangles(MeshData& m, std::initializer_list<uint32_t> corners) {
  size_t w = 0;
  uint32_t k = 0;
  for (uint32_t c : corners) {
    if (k++ % 3 == 0) m.faceWords[w++] = 3;
    m.faceWords[w++] = c;
    m.faceWords[w++] = c;
  }
}

}  // namespace

int32_t BuildBoxMesh(uint32_t index, float width, float height, float depth) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 0;
  ResizeMeshData(*m, 16, 16, 12, 84);
  const float x = width / 2, y = height / 2, z = depth / 2;
  for (size_t copy = 0; copy < 2; ++copy)
    Put(m->vertices, copy * 24, {-x, -y, -z, -x, -y, z, x, -y, z, x, -y, -z, -x, y, -z, -x, y, z, x, y, z, x, y, -z});
  // The side normals are horizontal diagonals, not of unit length.
  for (size_t copy = 0; copy < 2; ++copy)
    Put(m->normals, copy * 12, {-0.5f, 0, -0.5f, -0.5f, 0, 0.5f, 0.5f, 0, 0.5f, 0.5f, 0, -0.5f});
  Put(m->normals, 24, {0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0});
  Put(m->texCoords, 0, {0, 1, 1, 1, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1});
  PutTriangles(*m, {0, 4, 7, 0, 7, 3, 1, 5, 4, 1, 4, 0, 2, 6, 5, 2, 5, 1, 3, 7, 6, 3, 6, 2, 9, 8, 11, 9, 11, 10, 12, 13,
                    14, 12, 14, 15});
  return 1;
}

int32_t BuildTriangleMesh(uint32_t index, float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3,
                          float z3) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 0;
  ResizeMeshData(*m, 3, 3, 1, 7);
  Put(m->vertices, 0, {x1, y1, z1, x2, y2, z2, x3, y3, z3});
  Put(m->normals, 0, {0, 0, -1, 0, 0, -1, 0, 0, -1});
  Put(m->texCoords, 0, {0, 0, 0, 1, 1, 1});
  PutTriangles(*m, {0, 1, 2});
  return 1;
}

int32_t LoadMeshFromMemory(uint32_t index, std::string_view data) {
  MeshData* m = MeshDataAt(index);
  if (!m) return 0;
  BuiltMesh b;
  if (!BuildMeshFromX(data, &b)) return 0;
  const uint32_t nv = uint32_t(b.positions.size() / 3);
  if (nv == 0) {
    FreeMeshDataBuffers(*m);
    return 1;
  }
  m->vertices = std::move(b.positions);
  m->normals = std::move(b.normals);
  m->texCoords = std::move(b.texCoords);
  m->faceWords = std::move(b.faceWords);
  m->vertexCount = nv;
  m->normalCount = uint32_t(m->normals.size() / 3);
  m->faceCount = b.faceCount;
  m->faceWordCount = uint32_t(m->faceWords.size());
  // Integer bounds: each coordinate truncated toward zero.
  int32_t lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (uint32_t i = 0; i < nv; ++i)
    for (int c = 0; c < 3; ++c) {
      const float f = m->vertices[3 * size_t(i) + size_t(c)];
      const int32_t t = std::isfinite(f) && std::fabs(f) < 2147483520.0f ? int32_t(f) : 0;
      if (i == 0 || t < lo[c]) lo[c] = t;
      if (i == 0 || t > hi[c]) hi[c] = t;
    }
  m->minX = lo[0], m->minY = lo[1], m->minZ = lo[2];
  m->maxX = hi[0], m->maxY = hi[1], m->maxZ = hi[2];
  return 1;
}

int32_t LoadMeshFile(uint32_t index, const std::string& fileName) {
  std::string name = fileName;
  MapThroughPack(name, "dat");
  std::string bytes;
  if (FsReadRegularFile(name, bytes, kMaxMeshFileBytes, false) != FsRead::kOk) return 0;
  return LoadMeshFromMemory(index, bytes);
}

int32_t LoadMeshFromResource(uint32_t index, uint16_t id) {
  const std::string& bytes = BuiltinMeshBytes(id);
  if (bytes.empty()) return 0;
  return LoadMeshFromMemory(index, bytes);
}

int32_t LoadScaledBuiltinMesh(uint32_t index, uint16_t id, float sx, float sy, float sz) {
  LoadMeshFromResource(index, id);
  ScaleMeshData(index, sx, sy, sz);
  return 1;
}
