// Least 3D scene the runtime core needs until the scene is built.
#include "scene3d/lighting.h"
#include "core/run_timing.h"
#include "scene3d/camera.h"
#include "scene3d/collision_response.h"
#include "scene3d/record_pools.h"
#include "scene3d/render_states.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"
#include "scene3d/scene_state.h"
#include "scene3d/static_world.h"

void ResetSceneState() {
  FreeScenePools();
  ResetLightingState();
  g_scene = SceneState{};
}
void ClearStaticWorld() {}
void ResetSceneRenderDefaults() {}
void ReserveStaticWorldDefault() {}
int32_t StaticWorldLineHit(const float[3], const float[3], float, float, float[3]) { return 0; }
int32_t StaticWorldBoxMove(const float[6], const float[6], float push[3]) {
  push[0] = push[1] = push[2] = 0;
  return 0;
}
