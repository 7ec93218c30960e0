// Least 3D scene the runtime core needs until the scene is built: record 0 of the object pool
// is reserved, so no object gets it.
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/lighting.h"
#include "core/run_timing.h"
#include "scene3d/camera.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"

int InitScene3D() {
  AllocObjectRecord();
  return 1;
}
void ResetSceneState() {
  FreeScenePools();
  ResetLightingState();
  g_scene = SceneState{};
}
int ResetSceneDefaults() {
  g_scene.camera = CameraState{};
  ApplyCameraLookAt();
  CreateLight();
  return 1;
}
void RunScene3DStep() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}
