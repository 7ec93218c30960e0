#include "scene3d/static/static_bridges.h"

#include <algorithm>
#include <vector>

#include "core/pack.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/mesh_node.h"
#include "model/model_handle.h"
#include "model/scene_node.h"
#include "platform/stop_request.h"
#include "scene3d/object_model.h"
#include "scene3d/record_pools.h"
#include "scene3d/static/static_world.h"

namespace {

// The limb and texture of each mesh, in the order of the tree: the order the export gives
// their geometry in.
struct MeshKey {
  uint32_t limb;
  int32_t texture;
};

std::vector<MeshKey> MeshKeys(SceneNode* root) {
  std::vector<MeshKey> keys;
  ForEachNode(root, [&](SceneNode* n) {
    if (!n->IsFrame()) keys.push_back({n->limbNumber, static_cast<MeshNode*>(n)->textureNumber});
  });
  return keys;
}

// The groups of the meshes of one limb and texture, in order, as one export of them gives them.
ObjectGeometry Select(const ObjectGeometry& all, const std::vector<size_t>& groups,
                      const std::vector<size_t>& firstVertex, const std::vector<size_t>& firstIndex) {
  ObjectGeometry g;
  for (size_t k : groups) {
    const auto v = all.vertices.begin() + ptrdiff_t(firstVertex[k]);
    const auto i = all.indices.begin() + ptrdiff_t(firstIndex[k]);
    g.vertices.insert(g.vertices.end(), v, v + all.vertexCounts[k]);
    g.indices.insert(g.indices.end(), i, i + all.indexCounts[k]);
    g.vertexCounts.push_back(all.vertexCounts[k]);
    g.indexCounts.push_back(all.indexCounts[k]);
  }
  return g;
}

}  // namespace

int32_t AddObjectMeshesToStaticWorld(uint32_t object, int32_t occluder, int32_t low, int32_t id, int32_t fullHeight) {
  if (!g_objectPool.InUse(object)) return 0;
  const auto model = g_objectPool[object].model;
  if (!model || !model->root) return 0;
  // One walk for the meshes' limbs and textures and one export of the whole model, however
  // many limbs it holds; each limb's meshes of one texture are then one static object.
  const std::vector<MeshKey> keys = MeshKeys(model->root.get());
  ObjectGeometry all;
  if (!ExportObjectGeometry(object, -1, -1, &all) || all.vertexCounts.size() != keys.size()) return 0;
  std::vector<size_t> firstVertex(keys.size()), firstIndex(keys.size());
  for (size_t k = 1; k < keys.size(); ++k) {
    firstVertex[k] = firstVertex[k - 1] + all.vertexCounts[k - 1];
    firstIndex[k] = firstIndex[k - 1] + all.indexCounts[k - 1];
  }
  // The meshes of each limb below the object's limb count, grouped by texture in the order the
  // textures first come.
  const uint32_t limbs = uint32_t(std::max(g_objectPool[object].limbCount, 0));
  std::vector<std::vector<std::pair<int32_t, std::vector<size_t>>>> byLimb(limbs);
  for (size_t k = 0; k < keys.size(); ++k) {
    // Untextured meshes stay out of the static world.
    if (keys[k].limb >= limbs || keys[k].texture <= 0) continue;
    auto& textures = byLimb[keys[k].limb];
    auto it = std::find_if(textures.begin(), textures.end(), [&](const auto& t) { return t.first == keys[k].texture; });
    if (it == textures.end()) it = textures.insert(textures.end(), {keys[k].texture, {}});
    it->second.push_back(k);
  }
  int32_t result = 0;
  for (uint32_t limb = 0; limb < limbs; ++limb) {
    // A model of many limbs takes a while: a stop ends it between limbs.
    if ((limb & 0xFF) == 0xFF && StopSignalReceived()) break;
    for (const auto& [texture, meshes] : byLimb[limb]) {
      const int32_t m = MakeMeshFromGeometry(Select(all, meshes, firstVertex, firstIndex));
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
  if (name.size() >= 3 && MapThroughPack(name, name.substr(name.size() - 3)))
    return LoadStaticWorld(name, file, why);
  return LoadStaticWorld(name, "", why);
}

int32_t SaveStaticWorldFile(const std::string& file, std::string* why) {
  if (!StaticWorldHoldsData()) return 0;
  return SaveStaticWorld(file, why);
}
