#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/record_pool.h"

// A numbered mesh data record: the neutral store of one mesh's geometry. Primitive objects,
// tiled matrices, the backdrop, meshes made from objects and meshes read from .x data all end
// up here; a limb's mesh node and a one-limb model are built from one.
//
// Face list: per face a corner count k, then k pairs (vertex index, normal index). The meshes
// built here are triangles whose normal index is the vertex index (3, a, a, b, b, c, c); a
// record read from .x data keeps its faces as the file gives them. The counts always agree
// with the blocks: 3 x vertexCount positions, 2 x vertexCount texture pairs, 3 x normalCount
// normals and faceWordCount face words.
struct MeshData {
  uint32_t next, prev;
  int32_t inUse;
  uint32_t vertexCount = 0, normalCount = 0, faceCount = 0, faceWordCount = 0;
  std::vector<float> vertices, normals, texCoords;
  std::vector<uint32_t> faceWords;
  // Integer bounds (each truncated toward zero), written only by the .x load.
  int32_t minX = 0, minY = 0, maxX = 0, maxY = 0, minZ = 0, maxZ = 0;
};

// Frees the four blocks of a record and zeroes its counts.
void FreeMeshDataBuffers(MeshData& mesh);
// Sizes the four blocks (zero-filled) and sets the counts.
void ResizeMeshData(MeshData& mesh, uint32_t vertices, uint32_t normals, uint32_t faces, uint32_t faceWords);

// The pool of mesh data records (index 0 is reserved at 3D start-up and stands for no mesh).
extern RecordPool<MeshData> g_meshPool;
void CreateMeshPool();
// Frees every record's buffers, then the pool.
void FreeMeshPool();
// The new record's index, or kNoRecord when the pool is full.
uint32_t AllocMeshData();
// 1, or 0 when the record is not in use.
int FreeMeshData(uint32_t r);
// The record of an index when it is in use and not 0; nullptr otherwise.
MeshData* MeshDataAt(uint32_t index);

// ---- Builders: each fills the record of the index (returns 1 unless stated).
// A box centred on the origin: 16 vertices and normals, 12 triangles.
int32_t BuildBoxMesh(uint32_t index, float width, float height, float depth);
int32_t BuildTriangleMesh(uint32_t index, float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3,
                          float z3);
// The built-in meshes, by the numbers the loaders use.
enum : uint16_t { kMeshSphere = 189, kMeshCube = 190, kMeshCylinder = 191, kMeshPlane = 193, kMeshCone = 194 };
// A built-in mesh; 1 when loaded, else 0.
int32_t LoadMeshFromResource(uint32_t index, uint16_t id);
// The bytes of a built-in mesh (a binary .x file); empty for an unknown id.
const std::string& BuiltinMeshBytes(uint16_t id);
// A built-in mesh scaled along each axis (a solid by its size on all three, the plane by width
// and height and 1); returns 1, loaded or not.
int32_t LoadScaledBuiltinMesh(uint32_t index, uint16_t id, float sx, float sy, float sz);
// A mesh read from .x data in memory or from a file (the name goes through the pack first);
// 1 when read, else 0 with the record untouched.
int32_t LoadMeshFromMemory(uint32_t index, std::string_view data);
int32_t LoadMeshFile(uint32_t index, const std::string& fileName);

// ---- Whole-record edits; index 0 (no mesh) changes nothing and returns 1.
int32_t ScaleMeshData(uint32_t index, float sx, float sy, float sz);
// Turns positions and normals by three angles in degrees (about x, then y, then z).
int32_t RotateMeshData(uint32_t index, float ax, float ay, float az);
int32_t SetMeshNormalsAll(uint32_t index, float nx, float ny, float nz);
int32_t ScaleMeshNormals(uint32_t index, float factor);
int32_t SetMeshVertexYAll(uint32_t index, float y);

// ---- Measuring and copying.
// The box spanned by every vertex of a mesh data record; false (outputs untouched) for mesh 0,
// a record not in use or one without vertices.
bool MeshDataBounds(uint32_t mesh, float* minX, float* minY, float* minZ, float* maxX, float* maxY, float* maxZ);
// A new mesh data record holding a copy of the mesh's blocks, counts and integer bounds; its
// index, or 0 for mesh 0, a record not in use or a full pool.
uint32_t CloneMeshData(uint32_t mesh);
