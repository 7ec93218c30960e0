// Mesh data records and objects: a record from an object's model, and a one-limb model from a
// record.
#include <memory>
#include <vector>

#include "display/display.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "platform/device3d.h"
#include "scene3d/object_model.h"
#include "scene3d/record_pools.h"

int32_t EnsureObjectVisualForLoad(uint32_t object, uint32_t mesh, int32_t texture) {
  if (object == 0 || !g_objectPool.InUse(object)) return 0;
  ObjectRecord& o = g_objectPool[object];
  if (o.model) return 1;
  o.model = std::make_shared<ModelHandle>();
  if (AddUserFrame(*o.model, 0, mesh, texture, g_display.device.get()) >= 0) return 1;
  DestroyObjectModel(object);
  return 0;
}

int32_t EnsureObjectVisual(uint32_t object, uint32_t mesh) { return EnsureObjectVisualForLoad(object, mesh, 0); }

bool ExportObjectGeometry(uint32_t object, int32_t limbFilter, int32_t textureFilter, ObjectGeometry* out) {
  *out = {};
  if (object == 0 || !g_objectPool.InUse(object) || !g_objectPool[object].model) return false;
  // The export reads only the world transforms the frames set: a device of its own serves.
  Device3DPtr device = CreateNullDevice();
  GeometryExport count;
  count.mode = 0, count.limbFilter = limbFilter, count.textureFilter = textureFilter;
  ModelHandleExportGeometry(*g_objectPool[object].model, *device, &count);
  const uint32_t groups = count.meshCursor;
  out->vertices.resize(count.vertexCursor);
  out->indices.resize(count.indexCursor);
  out->vertexCounts.resize(size_t(groups) + 1);
  out->indexCounts.resize(size_t(groups) + 1);
  GeometryExport fill;
  fill.mode = 2, fill.limbFilter = limbFilter, fill.textureFilter = textureFilter;
  fill.vertices = out->vertices.data(), fill.indices = out->indices.data();
  fill.vertexCounts = out->vertexCounts.data(), fill.indexCounts = out->indexCounts.data();
  ModelHandleExportGeometry(*g_objectPool[object].model, *device, &fill);
  out->vertexCounts.resize(groups);
  out->indexCounts.resize(groups);
  return true;
}

bool ObjectGeometryBounds(uint32_t object, float lo[3], float hi[3]) {
  if (object == 0 || !g_objectPool.InUse(object) || !g_objectPool[object].model) return false;
  Device3DPtr device = CreateNullDevice();
  GeometryExport bounds;
  bounds.mode = 1;
  ModelHandleExportGeometry(*g_objectPool[object].model, *device, &bounds);
  if (bounds.vertexCursor == 0) return false;
  for (int i = 0; i < 3; ++i) lo[i] = bounds.bounds.min[i], hi[i] = bounds.bounds.max[i];
  return true;
}

int32_t MakeMeshFromObject(uint32_t object, int32_t limbFilter, int32_t textureFilter) {
  ObjectGeometry g;
  return ExportObjectGeometry(object, limbFilter, textureFilter, &g) ? MakeMeshFromGeometry(g) : -1;
}

int32_t MakeMeshFromGeometry(const ObjectGeometry& geometry) {
  const std::vector<Vertex>& vertices = geometry.vertices;
  const std::vector<uint32_t>& indices = geometry.indices;
  const std::vector<uint32_t>& vertexCounts = geometry.vertexCounts;
  const std::vector<uint32_t>& indexCounts = geometry.indexCounts;
  const uint32_t nv = uint32_t(vertices.size()), ni = uint32_t(indices.size()), groups = uint32_t(vertexCounts.size());
  // Nothing matched: a record without vertices cannot make a model.
  if (nv == 0) return -1;
  const uint32_t r = AllocMeshData();
  MeshData* m = MeshDataAt(r);
  if (!m) return -1;
  ResizeMeshData(*m, nv, nv, 0, ni / 3 * 7);
  for (uint32_t k = 0; k < nv; ++k) {
    const Vertex& v = vertices[k];
    float* p = &m->vertices[3 * size_t(k)];
    float* n = &m->normals[3 * size_t(k)];
    p[0] = v.x, p[1] = v.y, p[2] = v.z;
    n[0] = v.nx, n[1] = v.ny, n[2] = v.nz;
    m->texCoords[2 * size_t(k)] = v.u;
    m->texCoords[2 * size_t(k) + 1] = v.v;
  }
  // Each group's indices count from its own first vertex.
  uint32_t base = 0, faces = 0;
  size_t at = 0, w = 0;
  for (uint32_t g = 0; g < groups; ++g) {
    for (uint32_t i = 0; i + 2 < indexCounts[g]; i += 3, ++faces) {
      m->faceWords[w++] = 3;
      for (uint32_t c = 0; c < 3; ++c) {
        m->faceWords[w++] = base + indices[at + i + c];
        m->faceWords[w++] = base + indices[at + i + c];
      }
    }
    at += indexCounts[g];
    base += vertexCounts[g];
  }
  m->faceCount = faces;
  m->faceWords.resize(w);
  m->faceWordCount = uint32_t(w);
  // The record must make a model: tried on an object of its own.
  const uint32_t probe = AllocObjectRecord();
  const int32_t made = probe != kNoRecord ? EnsureObjectVisual(probe, r) : 0;
  if (probe != kNoRecord) {
    DestroyObjectModel(probe);
    FreeObjectRecord(probe);
  }
  if (made != 1) {
    FreeMeshData(r);
    return -1;
  }
  return int32_t(r);
}
