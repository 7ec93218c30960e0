#pragma once
#include <cstdint>

// The scene's one camera: its state, the view builders (look-at, angles, camera matrix), the
// projection and the rotation routines the camera and the objects share. Matrices are row-major
// with row vectors (p' = p x M; A x B applies A first); angles are radians unless named degrees.

enum : int32_t { kCameraLookAt = 0, kCameraAngles = 1, kCameraMatrix = 2 };

struct CameraState {
  float position[3] = {0, 0, 0};
  float lookAt[3] = {0, 0, 100};
  float angles[3] = {0, 0, 0};
  int32_t viewMode = kCameraLookAt;
  uint8_t rotationOrder = 1;  // 1: X then Y then Z; 0: Z then Y then X
  uint8_t autoCamera = 1;     // a new object places the camera to show it
  float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // identity outside matrix mode
  float nearPlane = 1.0f, farPlane = 3000.0f;
  float fieldOfView = 1.0814433f;  // pi / 2.905
  // Near, far and field of view of the projection last built; an automatic camera builds its
  // own without changing the stored ones, and a new device gets this one back.
  float inEffect[3] = {1.0f, 3000.0f, 1.0814433f};
  int32_t viewportWidth = 0, viewportHeight = 0;
  // The matrices last sent to the device.
  float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float followTarget[3] = {0, 0, 0};
  float staticPushBack[3] = {0, 0, 0};  // of the last static box test
  float lineHit[3] = {0, 0, 0};         // of the last line of sight
};

// ---- View builders: each builds the view into the state, sends it to the device (when there
// is one) and returns 1.
// Eye at the position toward the look-at point, up (0, 1, 0); camera matrix = identity.
int32_t ApplyCameraLookAt();
// T(-position) x BuildCameraRotation; camera matrix = identity.
int32_t ApplyCameraAngles();
// T(-position) x camera matrix; the angles are read back from the matrix.
int32_t ApplyCameraMatrix();
// The builder of the current view mode.
int32_t ApplyCameraView();

// The perspective projection (aspect = screen height / width) sent to the device; 1, or 0
// without a device (then only remembered). The stored near, far and field of view are not
// changed; the ones given become the projection in effect.
int32_t SetProjection(float nearPlane, float farPlane, float fieldOfView);
// The projection in effect built again for the current screen and sent.
int32_t ResendProjection();

// The device viewport: origin (x1, y1), size (x2 - x1, y2 - y1), the size stored; 1, or 0
// without a device.
int32_t SetCameraViewport(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Where a 3D object's frame shows on the screen: inView 1 when it lies in the view volume (the
// side planes count from 20 units in front of the camera on) or is glued to another object;
// sx, sy its screen pixel (truncated).
void ProjectFrameToScreen(uint32_t frame, int32_t* inView, int32_t* sx, int32_t* sy);

// ---- Rotations.
// The inverse of the camera's orientation from its angles: order 1 Rz(-z) x Ry(-y) x Rx(-x),
// order 0 Rx(-x) x Ry(-y) x Rz(-z).
void BuildCameraRotation(float out[16]);
// Rx(x) x Ry(y) x Rz(z), whatever any rotation order.
void BuildRotationFromAngles(float out[16], float x, float y, float z);
// For each non-zero angle (degrees) in the order x, y, z: m = m x R(angle).
void SetFrameRotationDegrees(float m[16], float x, float y, float z);
// The angles that face from one point toward another: y about the vertical, then x; z = 0.
// Each in 0 <= a < 2 pi.
void CameraAnglesFromPoints(float fromX, float fromY, float fromZ, float toX, float toY, float toZ, float* outX,
                            float* outY, float* outZ);
// The X, Y, Z angles (radians / degrees) of a rotation matrix (its 3 x 3 part).
void MatrixToAngles(const float m[16], float* x, float* y, float* z);
void MatrixToAnglesDegrees(const float m[16], float* x, float* y, float* z);
