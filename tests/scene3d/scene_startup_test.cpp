// The scene's start of every run: its defaults whatever the run before changed, the collision
// library's settings, a 2D-only run that never starts GL; the camera switches.
#include <gtest/gtest.h>

#include <cstring>

#include "collision/world.h"
#include "display/display.h"
#include "display/sprites.h"
#include "scene3d/camera.h"
#include "scene3d/collision_response.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene_state.h"
#include "tests/support/program_run.h"

namespace {

constexpr int kLook = 13;

struct Seen {
  bool cacheOff = false, recordsHits = false, objectZeroTaken = false, pointerShown = false;
  int32_t viewMode = -1, rotationOrder = -1, autoCamera = -1;
  bool defaultViewIsDevices = false;
  DeviceKind kind = DeviceKind::kGl;
};
Seen g_seen;

void CmdLook() {
  const CollisionResponse& r = g_collision.responses.defaultResponse;
  g_seen.cacheOff = !g_collision.caching;
  g_seen.recordsHits = r.callback == CollisionResponseRecordHit && r.type == kResponseSimple && !r.clientData;
  g_seen.objectZeroTaken = g_objectPool.InUse(0);
  g_seen.pointerShown = PointerSpritesPresent();
  g_seen.viewMode = g_scene.camera.viewMode;
  g_seen.rotationOrder = g_scene.camera.rotationOrder;
  g_seen.autoCamera = g_scene.camera.autoCamera;
  const float* view = g_display.device->State().transforms[kTransformView - 1];
  g_seen.defaultViewIsDevices = std::memcmp(view, g_scene.render.defaultView, sizeof g_scene.render.defaultView) == 0;
}

// Two runs in one process: the first looks, then turns every switch; the second starts from the
// same defaults.
TEST(SceneStartup, EveryRunStartsFromTheDefaultsAndA2DOnlyRunNeverStartsGl) {
  for (int run = 0; run < 2; ++run) {
    g_seen = Seen{};
    ImageBuilder b;
    b.Emit({kLook});
    b.Emit({7085});
    b.Emit({7082});
    b.Emit({0});
    TestRun t = RunFor(3);
    t.install = [] { InstallTestCommand(kLook, CmdLook, ""); };
    t.afterRun = [] { g_seen.kind = g_display.device->Kind(); };
    EXPECT_EQ(RunTestImage(b, t), 0);
    EXPECT_TRUE(g_seen.cacheOff) << run;
    EXPECT_TRUE(g_seen.recordsHits) << run;
    EXPECT_TRUE(g_seen.objectZeroTaken) << run;
    EXPECT_TRUE(g_seen.pointerShown) << run;
    EXPECT_EQ(g_seen.viewMode, kCameraLookAt) << run;
    EXPECT_EQ(g_seen.rotationOrder, 1) << run;
    EXPECT_EQ(g_seen.autoCamera, 1) << run;
    EXPECT_TRUE(g_seen.defaultViewIsDevices) << run;
    EXPECT_EQ(g_seen.kind, DeviceKind::kNull) << run;
  }
}

TEST(CameraSwitches, RotationOrderRebuildsTheViewKeepingTheModeAndAutoCameraToggles) {
  const float angleX = 0.5f, angleY = 1.0f;
  float views[2][16];
  for (const int order : {0, 1}) {
    g_scene.camera = CameraState{};
    g_scene.camera.angles[0] = angleX;
    g_scene.camera.angles[1] = angleY;
    CommandCall call;
    EXPECT_EQ(call.Run(order == 0 ? 7082 : 7083, 0), 0);
    EXPECT_EQ(g_scene.camera.rotationOrder, order);
    EXPECT_EQ(g_scene.camera.viewMode, kCameraLookAt);
    std::memcpy(views[order], g_scene.camera.view, sizeof views[order]);
  }
  // The two orders turn the same angles into different views, neither the look-at one.
  EXPECT_NE(std::memcmp(views[0], views[1], sizeof views[0]), 0);
  EXPECT_NE(views[1][2], 0.0f);
  for (const auto& [number, on] : {std::pair{7085, 0}, std::pair{7084, 1}}) {
    CommandCall call;
    EXPECT_EQ(call.Run(number, 0), 0);
    EXPECT_EQ(g_scene.camera.autoCamera, on) << number;
  }
  g_scene = SceneState{};
}

}  // namespace
