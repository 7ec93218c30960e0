// Least 3D scene the runtime core needs until the scene is built.
#include "core/run_timing.h"
#include "scene3d/camera.h"
#include "scene3d/collision_response.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"
#include "scene3d/scene_state.h"

SceneState g_scene;

void ResetSceneState() {
  FreeScenePools();
  g_scene = SceneState{};
}
void DrawBackdrop() {}
void RunScene3DStep() {}
void UpdateObjectAnimations() {}
void ClearStaticWorld() {}
void ResetSceneRunState() {}
void ResetSceneRenderDefaults() {}
void SwitchBackdropOn() { g_timing.autoBackdrop = 0; }
void ResetBackdrop() {}
void CreateDefaultLight() {}
void RestoreAllLights() {}
void ReserveStaticWorldDefault() {}
void CollisionResponseRecordHit(void*, CollisionKey, CollisionKey, const CollisionData*) {}
