// The scene's start of a run: its pools with record 0 reserved, the collision library's
// settings, then the defaults of camera, backdrop, light 0 and the default view.
#include "collision/collision.h"
#include "display/display.h"
#include "scene3d/camera.h"
#include "scene3d/lighting.h"
#include "scene3d/collision_response.h"
#include "scene3d/record_pools.h"
#include "scene3d/render_states.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"
#include "scene3d/scene_state.h"

int InitScene3D() {
  CreateScenePools();
  // Object record 0 stands for none in the number map; light record 0 stays free for light 0.
  AllocObjectRecord();
  // Objects move many times between collision queries: their bounds are brought up to date
  // when a query runs, not at every move.
  DisableCollisionCaching();
  SetDefaultCollisionResponse(CollisionResponseRecordHit, kResponseSimple, nullptr);
  return 1;
}

namespace {

void SaveDefaultView() {
  const Device3D* device = g_display.device.get();
  const float* view = device ? device->State().transforms[kTransformView - 1] : g_scene.camera.view;
  for (int i = 0; i < 16; ++i) g_scene.render.defaultView[i] = view[i];
}

}  // namespace

int ResetSceneDefaults() {
  g_scene.camera = CameraState{};
  ApplyCameraLookAt();
  CreateLight();
  // The camera is at the origin looking along +z now: that view is the default view.
  SaveDefaultView();
  SetProjection(g_scene.camera.nearPlane, g_scene.camera.farPlane, g_scene.camera.fieldOfView);
  ResetRenderStateCache();
  ReserveStaticWorldDefault();
  return 1;
}

void ResetSceneState() {
  FreeScenePools();
  ResetLightingState();
  g_scene = SceneState{};
}
