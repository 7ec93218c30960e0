// Least 3D scene the runtime core needs until the scene is built: record 0 of the object pool
// is reserved, so no object gets it.
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/lighting.h"
#include "scene3d/record_pools.h"
#include "scene3d/records.h"
#include "scene3d/scene.h"

int InitScene3D() {
  AllocObjectRecord();
  return 1;
}
void ResetSceneState() {
  FreeScenePools();
  ResetLightingState();
}
int ResetSceneDefaults() {
  CreateLight();
  return 1;
}
void RunScene3DStep() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}

void ReleaseObjectRecordContents(uint32_t object) {
  if (!g_objectPool.InUse(object)) return;
  ObjectRecord& o = g_objectPool[object];
  o.model.reset();
  for (LimbRecord& limb : o.limbs) {
    for (int32_t& mesh : limb.meshData) {
      if (mesh > 0) FreeMeshData(uint32_t(mesh));
      mesh = 0;
    }
  }
  o.limbs.clear();
  o.limbs.shrink_to_fit();
}

