// Least 3D scene the runtime core needs until the scene is built: record 0 of the object pool
// is reserved, so no object gets it.
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
  g_scene = SceneState{};
}
int ResetSceneDefaults() {
  g_scene.camera = CameraState{};
  ApplyCameraLookAt();
  return 1;
}
void DrawBackdrop() {}
void RunScene3DStep() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}
void SwitchBackdropOn() { g_timing.autoBackdrop = 0; }
