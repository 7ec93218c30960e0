// The camera's view builders, projection and rotation routines.
#include "scene3d/camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "display/display.h"
#include "display/record_pools.h"
#include "platform/math3d.h"
#include "scene3d/maths3d.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene_state.h"

namespace {

// The language's degree factor for full turns: 360 x 0.01745329.
constexpr float kFullTurn = 360.0f * 0.01745329f;

CameraState& Cam() { return g_scene.camera; }

void SendView() {
  if (Device3D* device = g_display.device.get()) device->SetTransform(kTransformView, Cam().view);
}

// out = T(-position) x r.
void ViewFromRotation(float out[16], const float r[16]) {
  float t[16];
  SetMatrixIdentity(t);
  t[12] = -Cam().position[0], t[13] = -Cam().position[1], t[14] = -Cam().position[2];
  MultiplyMatrix4x4(out, t, r);
}

float WrapTurn(float a) {
  while (a < 0.0f) a += kFullTurn;
  while (a >= kFullTurn) a -= kFullTurn;
  return a;
}

}  // namespace

int32_t ApplyCameraLookAt() {
  const float up[3] = {0, 1, 0};
  BuildLookAtMatrix(Cam().view, Cam().position, Cam().lookAt, up);
  SendView();
  SetMatrixIdentity(Cam().matrix);
  return 1;
}

int32_t ApplyCameraAngles() {
  float r[16];
  BuildCameraRotation(r);
  ViewFromRotation(Cam().view, r);
  SendView();
  SetMatrixIdentity(Cam().matrix);
  return 1;
}

int32_t ApplyCameraMatrix() {
  float degrees[3];
  MatrixToAnglesDegrees(Cam().matrix, &degrees[0], &degrees[1], &degrees[2]);
  // Held in 0..360 as the angle commands take them, so angles read back can be given again.
  for (int i = 0; i < 3; ++i) Cam().angles[i] = WrapAngle(degrees[i]) * 0.01745329f;
  ViewFromRotation(Cam().view, Cam().matrix);
  SendView();
  return 1;
}

int32_t ApplyCameraView() {
  switch (Cam().viewMode) {
    case kCameraAngles: return ApplyCameraAngles();
    case kCameraMatrix: return ApplyCameraMatrix();
    default: return ApplyCameraLookAt();
  }
}

int32_t SetProjection(float nearPlane, float farPlane, float fieldOfView) {
  Cam().inEffect[0] = nearPlane, Cam().inEffect[1] = farPlane, Cam().inEffect[2] = fieldOfView;
  Device3D* device = g_display.device.get();
  if (!device) return 0;
  const float aspect = float(g_display.height) / float(g_display.width);
  BuildProjectionMatrix(Cam().projection, fieldOfView, aspect, nearPlane, farPlane);
  device->SetTransform(kTransformProjection, Cam().projection);
  return 1;
}

int32_t ResendProjection() {
  const float* p = Cam().inEffect;
  return SetProjection(p[0], p[1], p[2]);
}

int32_t SetCameraViewport(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Device3D* device = g_display.device.get();
  if (!device) return 0;
  const Viewport v = device->State().viewport;
  Cam().viewportWidth = x2 - x1, Cam().viewportHeight = y2 - y1;
  device->SetViewport(x1, y1, x2 - x1, y2 - y1, v.minZ, v.maxZ);
  return 1;
}

namespace {

// A screen coordinate truncated toward zero; far outside points (or none, behind the eye) are
// held to the integer range.
int32_t ScreenCoordinate(float v) {
  if (!(v > -1.0e9f)) return -1000000000;
  if (!(v < 1.0e9f)) return 1000000000;
  return int32_t(v);
}

}  // namespace

void ProjectFrameToScreen(uint32_t frame, int32_t* inView, int32_t* sx, int32_t* sy) {
  *inView = 0, *sx = 0, *sy = 0;
  if (!g_framePool.Created() || !g_framePool.InUse(frame)) return;
  const FrameRecord& f = g_framePool[frame];
  const uint32_t owner = uint32_t(f.ownerObject);
  if (!g_objectPool.Created() || !g_objectPool.InUse(owner)) return;
  const ObjectRecord& o = g_objectPool[owner];
  const float s = std::max({0.0f, o.scaleX, o.scaleY, o.scaleZ});
  const float r = o.size * 1.25f * s;
  const float* v = Cam().view;
  float p[3], q[3];
  for (int i = 0; i < 3; ++i)
    p[i] = f.position[0] * v[i] + f.position[1] * v[4 + i] + f.position[2] * v[8 + i] + v[12 + i];
  const float z = p[2];
  q[0] = r, q[1] = 0, q[2] = z;
  TransformPointProjected(p, p, Cam().projection);
  TransformPointProjected(q, q, Cam().projection);
  int failed = 0;
  if (z >= 20.0f)
    failed = (p[0] + q[0] < -1.0f) + (p[0] - q[0] > 1.0f) + (p[1] + q[0] < -1.0f) + (p[1] - q[0] > 1.0f);
  failed += (z + r < 0.0f) + (z - r > Cam().farPlane);
  *inView = failed == 0 || o.gluedTo != 0;
  *sx = ScreenCoordinate((p[0] + 1.0f) * float(g_display.width) / 2.0f);
  *sy = ScreenCoordinate((1.0f - p[1]) * float(g_display.height) / 2.0f);
}

void BuildCameraRotation(float out[16]) {
  float x[16], y[16], z[16];
  BuildRotationXMatrix(x, -Cam().angles[0]);
  BuildRotationYMatrix(y, -Cam().angles[1]);
  BuildRotationZMatrix(z, -Cam().angles[2]);
  if (Cam().rotationOrder == 1) {
    MultiplyMatrix4x4(out, z, y);
    MultiplyMatrix4x4(out, out, x);
  } else {
    MultiplyMatrix4x4(out, x, y);
    MultiplyMatrix4x4(out, out, z);
  }
}

void BuildRotationFromAngles(float out[16], float x, float y, float z) {
  float rx[16], ry[16], rz[16];
  BuildRotationXMatrix(rx, x);
  BuildRotationYMatrix(ry, y);
  BuildRotationZMatrix(rz, z);
  MultiplyMatrix4x4(out, rx, ry);
  MultiplyMatrix4x4(out, out, rz);
}

void SetFrameRotationDegrees(float m[16], float x, float y, float z) {
  const float toRadians = 3.14159265f / 180.0f;
  float r[16];
  if (x != 0.0f) BuildRotationXMatrix(r, x * toRadians), MultiplyMatrix4x4(m, m, r);
  if (y != 0.0f) BuildRotationYMatrix(r, y * toRadians), MultiplyMatrix4x4(m, m, r);
  if (z != 0.0f) BuildRotationZMatrix(r, z * toRadians), MultiplyMatrix4x4(m, m, r);
}

void CameraAnglesFromPoints(float fromX, float fromY, float fromZ, float toX, float toY, float toZ, float* outX,
                            float* outY, float* outZ) {
  const float dx = toX - fromX, dy = toY - fromY, dz = toZ - fromZ;
  const float y = WrapTurn(std::atan2(dx, dz));
  // d x Ry(-y): the direction turned back into the y-z plane.
  float r[16];
  BuildRotationYMatrix(r, -y);
  const float ty = dx * r[1] + dy * r[5] + dz * r[9];
  const float tz = dx * r[2] + dy * r[6] + dz * r[10];
  *outX = WrapTurn(-std::atan2(ty, tz));
  *outY = y;
  *outZ = 0.0f;
}

void MatrixToAngles(const float m[16], float* x, float* y, float* z) {
  const double m00 = m[0], m10 = m[4], m11 = m[5], m12 = m[6], m20 = m[8], m21 = m[9], m22 = m[10];
  const double cy = std::sqrt(m00 * m00 + m10 * m10);
  if (cy > 0.0) {
    *x = float(std::atan2(m21, m22));
    *y = float(std::atan2(-m20, cy));
    *z = float(std::atan2(m10, m00));
  } else {
    *x = float(std::atan2(-m12, m11));
    *y = float(std::atan2(-m20, cy));
    *z = 0.0f;
  }
}

void MatrixToAnglesDegrees(const float m[16], float* x, float* y, float* z) {
  MatrixToAngles(m, x, y, z);
  *x *= 57.29578f, *y *= 57.29578f, *z *= 57.29578f;
}
