// Least 3D scene the runtime core needs until the scene is built: the pools are cleared and
// record 0 of the image, object, mesh and texture pools is reserved, so no user item gets it.
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/record_pools.h"
#include "scene3d/records.h"
#include "scene3d/scene.h"

int InitScene3D() {
  ClearScenePools();
  ResetScenePoolLists();
  AllocImageRecord();
  AllocObjectRecord();
  AllocMeshData();
  AllocTextureRecord();
  return 1;
}
void ResetSceneState() { FreeScenePools(); }
int ResetSceneDefaults() { return 1; }
int CreatePointerSprites(int32_t) { return 1; }
void ReleasePointerSprites() {}
int HidePointerSprites() { return 1; }
bool PointerSpritesPresent() { return false; }
void DrawBackdrop() {}
void RunScene3DStep() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}

void ReleaseObjectRecordContents(uint32_t object) {
  if (!g_objectPool.InUse(object)) return;
  ObjectRecord& o = g_objectPool[object];
  delete o.model;
  o.model = nullptr;
  for (LimbRecord& limb : o.limbs) {
    for (int32_t& mesh : limb.meshData) {
      if (mesh > 0) FreeMeshData(uint32_t(mesh));
      mesh = 0;
    }
  }
  o.limbs.clear();
  o.limbs.shrink_to_fit();
}

void DisableDeviceLight(LightRecord& light, uint32_t) { light.enabledInDevice = 0; }
