// The camera commands: placing, aiming, turning and moving it, the follow camera, projection
// and viewport, the read-back expressions and the static-world queries that share its scratch
// results; and where in the frame the scene step runs. Every change rebuilds the view at once.
#include <algorithm>
#include <cmath>

#include "core/error_codes.h"
#include "core/handler.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/commands.h"
#include "scene3d/maths3d.h"
#include "scene3d/object_operands.h"
#include "scene3d/scene_state.h"
#include "scene3d/static/static_world.h"

namespace {

// The language's degree and radian factors.
constexpr float kToRadians = 0.017453292f;
constexpr float kToDegrees = 57.29578f;

CameraState& Cam() { return g_scene.camera; }

bool AngleInRange(float a) { return a >= 0.0f && a <= 360.0f; }

void CmdPositionCamera() {
  const float p[3] = {OpFloat(0), OpFloat(1), OpFloat(2)};
  for (int i = 0; i < 3; ++i) {
    Cam().lookAt[i] += p[i] - Cam().position[i];
    Cam().position[i] = p[i];
  }
  ApplyCameraView();
  RefreshScene();
  SkipOperands(3);
}

void CmdPointCamera() {
  CameraState& c = Cam();
  c.lookAt[0] = OpFloat(0), c.lookAt[1] = OpFloat(1), c.lookAt[2] = OpFloat(2);
  c.viewMode = kCameraLookAt;
  ApplyCameraLookAt();
  CameraAnglesFromPoints(c.position[0], c.position[1], c.position[2], c.lookAt[0], c.lookAt[1], c.lookAt[2],
                         &c.angles[0], &c.angles[1], &c.angles[2]);
  RefreshScene();
  SkipOperands(3);
}

// Sets the angles named by the mask (bit k: angle k) from the operands, all in 0..360.
void SetCameraAngles(int mask, int operands) {
  float a[3];
  for (int k = 0, op = 0; k < 3; ++k) {
    if (!(mask & (1 << k))) continue;
    a[k] = OpFloat(op++);
    if (!AngleInRange(a[k])) {
      RunError(kErrAngleOutOfRange);
      return SkipOperands(operands);
    }
  }
  for (int k = 0; k < 3; ++k)
    if (mask & (1 << k)) Cam().angles[k] = a[k] * kToRadians;
  Cam().viewMode = kCameraAngles;
  ApplyCameraAngles();
  RefreshScene();
  SkipOperands(operands);
}

void CmdRotateCamera() { SetCameraAngles(7, 3); }
void CmdXRotateCamera() { SetCameraAngles(1, 1); }
void CmdYRotateCamera() { SetCameraAngles(2, 1); }
void CmdZRotateCamera() { SetCameraAngles(4, 1); }

// Along the camera's own z axis.
void CmdMoveCamera() {
  const float d = OpFloat(0);
  float r[16];
  if (Cam().viewMode == kCameraMatrix) {
    if (InvertAffineMatrix(r, Cam().matrix) != kMathOk) SetMatrixIdentity(r);
  } else {
    BuildRotationFromAngles(r, Cam().angles[0], Cam().angles[1], Cam().angles[2]);
  }
  for (int i = 0; i < 3; ++i) {
    const float v = d * r[8 + i];
    Cam().position[i] += v;
    Cam().lookAt[i] += v;
  }
  ApplyCameraView();
  RefreshScene();
  SkipOperands(1);
}

// Turns the camera matrix about one axis (0 x, 1 y, 2 z) by the operand's angle, or by its
// negation, wrapped into 0..360.
void TurnCamera(int axis, bool negate) {
  const float a = WrapAngle(negate ? 0.0f - OpFloat(0) : OpFloat(0));
  SetFrameRotationDegrees(Cam().matrix, axis == 0 ? a : 0.0f, axis == 1 ? a : 0.0f, axis == 2 ? a : 0.0f);
  Cam().viewMode = kCameraMatrix;
  ApplyCameraMatrix();
  RefreshScene();
  SkipOperands(1);
}

void CmdTurnCameraLeft() { TurnCamera(1, false); }
void CmdTurnCameraRight() { TurnCamera(1, true); }
void CmdPitchCameraUp() { TurnCamera(0, false); }
void CmdPitchCameraDown() { TurnCamera(0, true); }
void CmdRollCameraRight() { TurnCamera(2, false); }
void CmdRollCameraLeft() { TurnCamera(2, true); }

void CmdSetCameraToObjectOrientation() {
  if (const uint32_t r = ObjectOperand(0)) {
    const ObjectRecord& o = Obj(r);
    if (o.freeMatrixMode) {
      // The free matrix turns the object as drawn; the view turns the world the other way,
      // by its transpose.
      float* m = Cam().matrix;
      SetMatrixIdentity(m);
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[r * 4 + c] = o.freeMatrix[c * 4 + r];
      Cam().viewMode = kCameraMatrix;
      ApplyCameraMatrix();
    } else {
      Cam().angles[0] = o.angleX * kToRadians;
      Cam().angles[1] = o.angleY * kToRadians;
      Cam().angles[2] = o.angleZ * kToRadians;
      Cam().viewMode = kCameraAngles;
      ApplyCameraAngles();
    }
  }
  SkipOperands(1);
}

// The follow camera: trails a point from behind at a distance and height, eased by smooth,
// kept out of the static world when collision is above 0.
void FollowCamera(float x, float y, float z, float angle, float distance, float height, float smooth,
                  int32_t collision) {
  CameraState& c = Cam();
  const float a = angle * 0.01745329f;
  float t[3] = {x - std::sin(a) * distance, height, z - std::cos(a) * distance};
  bool ok = true;
  if (collision > 0) {
    const float cf = float(collision);
    y += cf;
    t[1] += cf;
    const float from[3] = {x, y, z};
    float hit[3];
    if (TestLineAgainstStaticBoxes(from, t, cf, 1.0f, hit) > 0) {
      std::copy(hit, hit + 3, t);
      std::copy(t, t + 3, c.followTarget);
      ok = false;
    }
    const float* f = c.followTarget;
    const float before[6] = {f[0] - 2 * cf, f[1] - cf, f[2] - 2 * cf, f[0] + 2 * cf, f[1] + cf, f[2] + 2 * cf};
    const float after[6] = {t[0] - 2 * cf, t[1] - cf, t[2] - 2 * cf, t[0] + 2 * cf, t[1] + cf, t[2] + 2 * cf};
    float push[3];
    if (CollideBoxWithStaticBoxes(before, after, push)) {
      std::copy(push, push + 3, c.staticPushBack);
      for (int i = 0; i < 3; ++i) t[i] -= push[i];
      ok = false;
    }
  }
  // A smooth of 0 snaps to the target, as 1 does.
  if (smooth == 0.0f) smooth = 1.0f;
  const float d[3] = {t[0] - c.position[0], t[1] - c.position[1], t[2] - c.position[2]};
  const float h = std::atan2(d[0], d[2]);
  const float step = std::sqrt(d[0] * d[0] + d[2] * d[2]) / smooth;
  const float next[3] = {c.position[0] + std::sin(h) * step, c.position[1] + d[1] / smooth,
                         c.position[2] + std::cos(h) * step};
  // Turn toward the followed point, two thirds of the way each call.
  const float yaw = std::atan2(x - next[0], z - next[2]) * kToDegrees;
  float current = c.angles[1] * kToDegrees;
  float diff = yaw - current;
  if (diff < -180.0f) diff = yaw + 360.0f - current;
  if (diff > 180.0f) diff = yaw - (current + 360.0f);
  current += diff / 1.5f;
  c.angles[1] = WrapAngle(current) * kToRadians;
  std::copy(next, next + 3, c.position);
  c.viewMode = kCameraAngles;
  ApplyCameraAngles();
  if (ok) std::copy(t, t + 3, c.followTarget);
}

void CmdSetCameraToFollow() {
  FollowCamera(OpFloat(0), OpFloat(1), OpFloat(2), OpFloat(3), OpFloat(4), OpFloat(5), OpFloat(6), OpInt(7));
  SkipOperands(8);
}

void CmdSetCameraRange() {
  const float nearPlane = OpFloat(0), farPlane = OpFloat(1);
  SkipOperands(2);
  if (farPlane <= 0.0f) return RunError(kErrValueOutOfRange);
  if (nearPlane < 1.0f || nearPlane >= farPlane) return RunError(kErrNearPlaneOutOfRange);
  Cam().nearPlane = nearPlane, Cam().farPlane = farPlane;
  SetProjection(nearPlane, farPlane, Cam().fieldOfView);
  LeaveSlice = 1;
}

void CmdSetCameraFov() {
  const float fov = OpFloat(0);
  SkipOperands(1);
  if (fov <= 0.0f) return RunError(kErrValueOutOfRange);
  Cam().fieldOfView = fov;
  SetProjection(Cam().nearPlane, Cam().farPlane, fov);
  LeaveSlice = 1;
}

void CmdSetCameraView() {
  const int32_t x1 = OpInt(0), y1 = OpInt(1), x2 = OpInt(2), y2 = OpInt(3);
  SkipOperands(4);
  const int32_t w = g_display.width, h = g_display.height;
  const bool valid = x1 >= 0 && x1 <= w && x2 >= 0 && x2 <= w && x2 > x1 && y1 >= 0 && y1 <= h && y2 >= 0 &&
                     y2 <= h && y2 > y1;
  if (!valid) return RunError(kErrBitmapAreaOutside);
  SetCameraViewport(x1, y1, x2, y2);
  LeaveSlice = 1;
}

void SetRotationOrder(uint8_t order) {
  Cam().rotationOrder = order;
  ApplyCameraAngles();
  RefreshScene();
}
void CmdSetCameraRotationZyx() { SetRotationOrder(0); }
void CmdSetCameraRotationXyz() { SetRotationOrder(1); }
void CmdAutocamOn() { Cam().autoCamera = 1; }
void CmdAutocamOff() { Cam().autoCamera = 0; }

void CmdClearCameraView() {
  QueueClsDevice(uint32_t(OpInt(0)));
  SkipOperands(1);
}

// ---- Expressions: the result in operand 0.
void SetFloat(float v) { OpCell(0)->f = v; }

template <int k>
void CmdCameraPosition() {
  SetFloat(Cam().position[k]);
  SkipOperands(1);
}
template <int k>
void CmdCameraAngle() {
  SetFloat(Cam().angles[k] * kToDegrees);
  SkipOperands(1);
}

void CmdStaticBoxMove() {
  float before[6], after[6];
  for (int i = 0; i < 6; ++i) before[i] = OpFloat(1 + i), after[i] = OpFloat(7 + i);
  OpCell(0)->i = CollideBoxWithStaticBoxes(before, after, Cam().staticPushBack);
  SkipOperands(13);
}
template <int k>
void CmdStaticPushBack() {
  SetFloat(Cam().staticPushBack[k]);
  SkipOperands(1);
}
template <int k>
void CmdCollisionPushBack() {
  SetFloat(g_scene.collisionPushBack[k]);
  SkipOperands(1);
}

void CmdStaticLineOfSight() {
  const float from[3] = {OpFloat(1), OpFloat(2), OpFloat(3)}, to[3] = {OpFloat(4), OpFloat(5), OpFloat(6)};
  OpCell(0)->i = TestLineAgainstStaticBoxes(from, to, OpFloat(7), OpFloat(8), Cam().lineHit) > 0 ? 1 : 0;
  SkipOperands(9);
}
template <int k>
void CmdStaticLineHit() {
  SetFloat(Cam().lineHit[k]);
  SkipOperands(1);
}

// Where the scene step runs: before the program's slice, or after the sync wait.
void CmdSceneStepBeforeSlice() { g_timing.scene3DAfter2D = 0; }
void CmdSceneStepAfterSlice() { g_timing.scene3DAfter2D = 1; }

const CommandDef kCameraCommands[] = {
    {7051, CmdPositionCamera, "fff"},
    {7052, CmdPointCamera, "fff"},
    {7053, CmdRotateCamera, "fff"},
    {7054, CmdMoveCamera, "f"},
    {7055, CmdXRotateCamera, "f"},
    {7056, CmdYRotateCamera, "f"},
    {7057, CmdZRotateCamera, "f"},
    {7058, CmdTurnCameraLeft, "f"},
    {7059, CmdTurnCameraRight, "f"},
    {7060, CmdPitchCameraUp, "f"},
    {7065, CmdPitchCameraDown, "f"},
    {7066, CmdRollCameraLeft, "f"},
    {7068, CmdRollCameraRight, "f"},
    {7069, CmdSetCameraToObjectOrientation, "l"},
    {7070, CmdSetCameraToFollow, "fffffffl"},
    {7081, CmdSetCameraRange, "ff"},
    {7082, CmdSetCameraRotationZyx, ""},
    {7083, CmdSetCameraRotationXyz, ""},
    {7084, CmdAutocamOn, ""},
    {7085, CmdAutocamOff, ""},
    {7086, CmdSetCameraView, "llll"},
    {7087, CmdClearCameraView, "l"},
    {7109, CmdSetCameraFov, "f"},
    {7541, CmdCameraPosition<0>, "f"},
    {7542, CmdCameraPosition<1>, "f"},
    {7543, CmdCameraPosition<2>, "f"},
    {7544, CmdCameraAngle<0>, "f"},
    {7545, CmdCameraAngle<1>, "f"},
    {7546, CmdCameraAngle<2>, "f"},
    {7571, CmdStaticBoxMove, "lffffffffffff"},
    {7572, CmdStaticPushBack<0>, "f"},
    {7573, CmdStaticPushBack<1>, "f"},
    {7574, CmdStaticPushBack<2>, "f"},
    {7575, CmdCollisionPushBack<0>, "f"},
    {7576, CmdCollisionPushBack<1>, "f"},
    {7577, CmdCollisionPushBack<2>, "f"},
    {7578, CmdStaticLineOfSight, "lffffffff"},
    {7579, CmdStaticLineHit<0>, "f"},
    {7580, CmdStaticLineHit<1>, "f"},
    {7581, CmdStaticLineHit<2>, "f"},
    {7931, CmdSceneStepBeforeSlice, ""},
    {7932, CmdSceneStepAfterSlice, ""},
};

}  // namespace

std::span<const CommandDef> CameraCommands() { return kCameraCommands; }
