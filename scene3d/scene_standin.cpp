// Least 3D scene the runtime core needs until the scene is built: record 0 of the object pool
// is reserved, so no object gets it.
#include <cstring>

#include "core/run_timing.h"
#include "scene3d/camera.h"
#include "scene3d/record_pools.h"
#include "scene3d/render_states.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"
#include "scene3d/static_world.h"

SceneState g_scene;

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
  std::memcpy(g_scene.render.defaultView, g_scene.camera.view, sizeof g_scene.render.defaultView);
  SetProjection(g_scene.camera.nearPlane, g_scene.camera.farPlane, g_scene.camera.fieldOfView);
  ResetRenderStateCache();
  return 1;
}
void DrawBackdrop() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}
void SwitchBackdropOn() { g_timing.autoBackdrop = 0; }
int32_t StaticWorldLineHit(const float[3], const float[3], float, float, float[3]) { return 0; }
int32_t StaticWorldBoxMove(const float[6], const float[6], float push[3]) {
  push[0] = push[1] = push[2] = 0;
  return 0;
}
