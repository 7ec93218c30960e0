// Least 3D scene the runtime core needs until the scene is built.
#include "scene3d/lighting.h"
#include "core/run_timing.h"
#include "scene3d/camera.h"
#include "scene3d/object_collision.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"
#include "scene3d/scene_state.h"

void ResetSceneState() {
  FreeScenePools();
  ResetLightingState();
  g_scene = SceneState{};
}
void RunScene3DStep() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRenderDefaults() {}
void ReserveStaticWorldDefault() {}
// Until the render reports them: no screen point, nothing in view, nothing drawn.
void ObjectScreenPoint(uint32_t, int32_t* inView, int32_t* x, int32_t* y) { *inView = 0, *x = 0, *y = 0; }
uint32_t IndicesDrawnLastFrame() { return 0; }
