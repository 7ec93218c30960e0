// Least 3D scene the runtime core needs until the scene is built.
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/record_pools.h"
#include "scene3d/records.h"
#include "scene3d/collision_response.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"

void ResetSceneState() {
  FreeScenePools();
  g_sceneDefaults = SceneDefaults{};
}
void DrawBackdrop() {}
void RunScene3DStep() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}
void ResetBackdrop() {}
void ResetCameraDefaults() {}
void ApplyCameraLookAt() {}
void ApplyCameraView() {}
void CreateDefaultLight() {}
void RestoreAllLights() {}
void ReserveStaticWorldDefault() {}
void CollisionResponseRecordHit(void*, CollisionKey, CollisionKey, const CollisionData*) {}

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

