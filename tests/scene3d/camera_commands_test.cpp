// The camera commands: the view each mode builds (sent at once), the range and viewport checks,
// the turns, the follow camera, the read-back expressions and the screen projection.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/run_timing.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "tests/scene3d/scene_fixture.h"

namespace {

class CameraCommandsTest : public SceneTest {
 protected:
  CameraState& Cam() { return g_scene.camera; }
  // The world point in camera space by the view the device holds.
  void InView(const float p[3], float out[3]) {
    const float* v = g_display.device->State().transforms[kTransformView - 1];
    for (int i = 0; i < 3; ++i) out[i] = p[0] * v[i] + p[1] * v[4 + i] + p[2] * v[8 + i] + v[12 + i];
  }
  float Expression(int n) {
    CommandCall call{CallOperand::Result()};
    call.Run(n);
    return call.Result().f;
  }
};

// Each mode puts what the camera faces straight ahead (camera-space x, y 0, z the distance).
TEST_F(CameraCommandsTest, EveryViewModePutsWhatItFacesAhead) {
  const struct Case {
    int command;
    std::initializer_list<CallOperand> operands;
    float ahead[3];
    int32_t mode;
  } cases[] = {
      {7052, {100.0f, 0.0f, 0.0f}, {100, 0, 0}, kCameraLookAt},
      {7053, {0.0f, 90.0f, 0.0f}, {100, 0, 0}, kCameraAngles},
      {7056, {270.0f}, {-100, 0, 0}, kCameraAngles},
      {7058, {90.0f}, {-100, 0, 0}, kCameraMatrix},  // turning left faces -x
      {7060, {90.0f}, {0, 100, 0}, kCameraMatrix},   // pitching up faces +y
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ResetSceneDefaults();
    ASSERT_EQ(Call(c.command, c.operands), 0);
    EXPECT_EQ(Cam().viewMode, c.mode);
    float v[3];
    InView(c.ahead, v);
    EXPECT_NEAR(v[0], 0, 1e-3);
    EXPECT_NEAR(v[1], 0, 1e-3);
    EXPECT_NEAR(v[2], 100, 1e-3);
  }
  // Placing the camera keeps the look direction; moving goes along it.
  ResetSceneDefaults();
  ASSERT_EQ(Call(7053, {0.0f, 90.0f, 0.0f}), 0);
  ASSERT_EQ(Call(7051, {10.0f, 20.0f, 30.0f}), 0);
  ASSERT_EQ(Call(7054, {5.0f}), 0);
  EXPECT_NEAR(Expression(7541), 15, 1e-4);
  EXPECT_NEAR(Expression(7542), 20, 1e-4);
  EXPECT_NEAR(Expression(7543), 30, 1e-4);
  EXPECT_NEAR(Expression(7545), 90, 1e-3);
}

TEST_F(CameraCommandsTest, OperandChecksLeaveTheCameraAsItWas) {
  const struct Case {
    int command;
    std::initializer_list<CallOperand> operands;
    int32_t error;
  } cases[] = {
      {7053, {-0.1f, 0.0f, 0.0f}, 7019}, {7053, {0.0f, 0.0f, 360.1f}, 7019}, {7057, {360.1f}, 7019},
      {7053, {360.0f, 0.0f, 0.0f}, 0},   {7081, {1.0f, 1.0f}, 7912},        {7081, {0.5f, 100.0f}, 7912},
      {7081, {5.0f, 0.0f}, 110},         {7109, {0.0f}, 110},                {7086, {10, 0, 10, 100}, 1010},
      {7086, {0, 0, 641, 480}, 1010},    {7086, {0, 0, 640, 480}, 0},
  };
  for (const Case& c : cases) {
    ResetSceneDefaults();
    const CameraState before = Cam();
    EXPECT_EQ(Call(c.command, c.operands), c.error) << c.command;
    if (c.error) {
      EXPECT_EQ(std::memcmp(&before, &Cam(), sizeof before), 0) << c.command;
    }
  }
  ASSERT_EQ(Call(7081, {2.0f, 500.0f}), 0);
  EXPECT_EQ(Cam().farPlane, 500.0f);
  EXPECT_NEAR(g_display.device->State().transforms[kTransformProjection - 1][10], 500.0f / 498.0f, 1e-5);
}

TEST_F(CameraCommandsTest, TurningRightBy30EqualsTurningLeftBy330) {
  ASSERT_EQ(Call(7059, {30.0f}), 0);
  float right[16];
  std::memcpy(right, Cam().view, sizeof right);
  ResetSceneDefaults();
  ASSERT_EQ(Call(7058, {330.0f}), 0);
  EXPECT_EQ(std::memcmp(right, Cam().view, sizeof right), 0);
}

// Smooth 1 (and 0) puts the camera on its target; the yaw moves two thirds of the way.
TEST_F(CameraCommandsTest, FollowReachesItsTargetAndTurnsTwoThirdsOfTheWay) {
  for (float smooth : {1.0f, 0.0f}) {
    ResetSceneDefaults();
    ASSERT_EQ(Call(7070, {0.0f, 0.0f, 100.0f, 90.0f, 50.0f, 10.0f, smooth, 0}), 0);
    EXPECT_NEAR(Expression(7541), -50, 1e-3);
    EXPECT_NEAR(Expression(7542), 10, 1e-3);
    EXPECT_NEAR(Expression(7543), 100, 1e-3);
    EXPECT_NEAR(Expression(7545), 60, 1e-2);
    EXPECT_EQ(Cam().viewMode, kCameraAngles);
  }
  // Smooth 2 goes half the way.
  ResetSceneDefaults();
  ASSERT_EQ(Call(7070, {0.0f, 0.0f, 100.0f, 0.0f, 50.0f, 10.0f, 2.0f, 0}), 0);
  EXPECT_NEAR(Expression(7543), 25, 1e-3);
  EXPECT_NEAR(Expression(7542), 5, 1e-3);
}

TEST_F(CameraCommandsTest, ProjectedFramesAgreeWithTheView) {
  ASSERT_EQ(Call(7085, {}), 0);
  MakeBox(1, 10, 0, 0, 100);
  MakeBox(2, 10, 0, 0, -100);
  int32_t in = 0, x = 0, y = 0;
  ProjectFrameToScreen(g_objectPool[RecordOf(1)].frameIndex, &in, &x, &y);
  EXPECT_EQ(in, 1);
  EXPECT_EQ(x, 320);
  EXPECT_EQ(y, 240);
  ProjectFrameToScreen(g_objectPool[RecordOf(2)].frameIndex, &in, &x, &y);
  EXPECT_EQ(in, 0);
  g_objectPool[RecordOf(2)].gluedTo = int32_t(RecordOf(1));
  ProjectFrameToScreen(g_objectPool[RecordOf(2)].frameIndex, &in, &x, &y);
  EXPECT_EQ(in, 1);
  // At the eye the divide has nothing to go by: the coordinates stay integers.
  MakeBox(3, 10, 0, 0, 0);
  ProjectFrameToScreen(g_objectPool[RecordOf(3)].frameIndex, &in, &x, &y);
  EXPECT_EQ(in, 1);
}

// A new device (a display change) gets the stored projection and view from the restore step.
TEST_F(CameraCommandsTest, ADisplayChangeSendsTheStoredProjectionAndView) {
  ASSERT_EQ(Call(7081, {2.0f, 500.0f}), 0);
  ASSERT_EQ(Call(7053, {10.0f, 20.0f, 30.0f}), 0);
  ASSERT_EQ(Call(7051, {1.0f, 2.0f, 3.0f}), 0);
  g_display.device = CreateNullDevice();
  InitRenderStates();
  InitTransforms();
  RestoreScene();
  const DeviceState& d = g_display.device->State();
  EXPECT_EQ(std::memcmp(d.transforms[kTransformView - 1], Cam().view, sizeof Cam().view), 0);
  EXPECT_EQ(std::memcmp(d.transforms[kTransformProjection - 1], Cam().projection, sizeof Cam().projection), 0);
  EXPECT_NEAR(Cam().projection[10], 500.0f / 498.0f, 1e-5);
}

// An automatic camera's own planes stay in effect across a display change; the stored ones are
// kept for the range and field-of-view commands.
TEST_F(CameraCommandsTest, ADisplayChangeKeepsTheAutomaticCamerasProjection) {
  ASSERT_EQ(Call(7042, {1, 1000.0f}), 0);
  float sent[16];
  std::memcpy(sent, Cam().projection, sizeof sent);
  EXPECT_EQ(Cam().nearPlane, 1.0f);
  EXPECT_EQ(Cam().farPlane, 3000.0f);
  g_display.device = CreateNullDevice();
  InitRenderStates();
  InitTransforms();
  RestoreScene();
  EXPECT_EQ(std::memcmp(g_display.device->State().transforms[kTransformProjection - 1], sent, sizeof sent), 0);
}

// Whatever the object faces (its turned +z) is straight ahead of the camera that takes its
// orientation.
TEST_F(CameraCommandsTest, TheCameraFacesWhereAFreeTurnedObjectFaces) {
  ASSERT_EQ(Call(7085, {}), 0);
  MakeBox(1, 10, 0, 0, 0);
  ASSERT_EQ(Call(7252, {1, 90.0f}), 0);
  ASSERT_EQ(Call(7254, {1, 30.0f}), 0);
  ASSERT_EQ(Call(7069, {1}), 0);
  const float* m = g_objectPool[RecordOf(1)].freeMatrix;
  const float ahead[3] = {100 * m[8], 100 * m[9], 100 * m[10]};
  float v[3];
  InView(ahead, v);
  EXPECT_NEAR(v[0], 0, 1e-3);
  EXPECT_NEAR(v[1], 0, 1e-3);
  EXPECT_NEAR(v[2], 100, 1e-3);
}

TEST_F(CameraCommandsTest, TheSceneStepMovesBehindTheSliceAndBack) {
  ASSERT_EQ(Call(7932, {}), 0);
  EXPECT_EQ(g_timing.scene3DAfter2D, 1u);
  ASSERT_EQ(Call(7931, {}), 0);
  EXPECT_EQ(g_timing.scene3DAfter2D, 0u);
}

}  // namespace
