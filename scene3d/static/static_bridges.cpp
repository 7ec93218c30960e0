#include "scene3d/static/static_bridges.h"

#include <algorithm>
#include <vector>

#include "core/pack.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/object_model.h"
#include "scene3d/record_pools.h"
#include "scene3d/static/static_world.h"

int32_t AddObjectMeshesToStaticWorld(uint32_t object, int32_t occluder, int32_t low, int32_t id, int32_t fullHeight) {
  if (!g_objectPool.InUse(object)) return 0;
  int32_t result = 0;
  const int32_t limbs = g_objectPool[object].limbCount;
  for (int32_t limb = 0; limb < limbs; ++limb) {
    // The object's pool entry may move while meshes are made: look the model up again each time.
    const auto model = g_objectPool[object].model;
    if (!model || !model->root) break;
    uint32_t meshes = 0;
    int32_t texture = -1;
    std::string name;
    model->root->GetLimbMeshInfo(uint32_t(limb), -2, &meshes, &texture, &name);
    std::vector<int32_t> done;
    for (uint32_t k = 0; k < meshes; ++k) {
      uint32_t counter = 0;
      texture = -1;
      model->root->GetLimbMeshInfo(uint32_t(limb), int32_t(k), &counter, &texture, &name);
      // Untextured meshes stay out of the static world; one copy holds every mesh of the limb
      // with that texture.
      if (texture <= 0 || std::find(done.begin(), done.end(), texture) != done.end()) continue;
      done.push_back(texture);
      const int32_t m = MakeMeshFromObject(object, limb, texture);
      if (m < 0) continue;
      if (const MeshData* d = MeshDataAt(uint32_t(m))) {
        if (!AddStaticObject(texture, d->vertices.data(), d->normals.data(), d->faceWords.data(), d->texCoords.data(),
                             d->vertexCount, d->normalCount, d->faceCount, d->faceWordCount, occluder, low, id,
                             fullHeight))
          result = -1;
      }
      FreeMeshData(uint32_t(m));
    }
  }
  return result;
}

int32_t MakeObjectStatic(uint32_t object) { return AddObjectMeshesToStaticWorld(object, 0, 0, int32_t(object), 0); }

void RemoveStaticObject(int32_t id) { DeleteStaticObject(id); }

int32_t MakeStaticBox(float x1, float y1, float z1, float x2, float y2, float z2) {
  return AddStaticBox(x1, y1, z1, x2, y2, z2) ? 0 : -1;
}

int32_t CollideWithStaticBoxes(float ox1, float oy1, float oz1, float ox2, float oy2, float oz2, float nx1, float ny1,
                               float nz1, float nx2, float ny2, float nz2, float pushBack[3]) {
  const float before[6] = {ox1, oy1, oz1, ox2, oy2, oz2}, after[6] = {nx1, ny1, nz1, nx2, ny2, nz2};
  return CollideBoxWithStaticBoxes(before, after, pushBack);
}

int32_t TestLineStaticBoxes(float x1, float y1, float z1, float x2, float y2, float z2, float radius, float step,
                            float hit[3]) {
  const float start[3] = {x1, y1, z1}, end[3] = {x2, y2, z2};
  return TestLineAgainstStaticBoxes(start, end, radius, step, hit);
}

void ResetStaticObjects() {
  if (StaticWorldHoldsData()) FreeStaticWorldLists();
  if (!g_objectPool.Created()) return;
  g_objectPool.ForEachUsed([](uint32_t, ObjectRecord& o) {
    if (o.inStaticWorld == 0) return;
    o.inStaticWorld = 0;
    if (o.frameIndex != 0 && g_framePool.InUse(o.frameIndex)) g_framePool[o.frameIndex].visible = 1;
  });
}

int32_t LoadStaticWorldFile(const std::string& file, std::string* why) {
  std::string name = file;
  // A packed world's side images are looked for under its own name (in the pack, then beside it).
  if (g_packReader && name.size() >= 3 && g_packReader->MapVirtualFile(name, name.substr(name.size() - 3)))
    return LoadStaticWorld(name, file, why);
  return LoadStaticWorld(name, "", why);
}

int32_t SaveStaticWorldFile(const std::string& file, std::string* why) {
  if (!StaticWorldHoldsData()) return 0;
  return SaveStaticWorld(file, why);
}
