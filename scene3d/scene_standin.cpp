// Least 3D scene the runtime core needs until the scene is built.
#include "scene3d/lighting.h"
#include "core/run_timing.h"
#include "scene3d/camera.h"
#include "scene3d/collision_response.h"
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
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}
void CollisionResponseRecordHit(void*, CollisionKey, CollisionKey, const CollisionData*) {}
