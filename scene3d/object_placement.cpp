// Placing and orienting 3D objects: angles, free matrix, point, move, pivot and glue.
#include "scene3d/object_placement.h"

#include <cstring>

#include "display/record_pools.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/maths3d.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kRadiansToDegrees = 57.29578f;

ObjectRecord& O(uint32_t r) { return g_objectPool[r]; }
float* PositionOf(uint32_t r) { return g_framePool[O(r).frameIndex].position; }

// The rotation move turns by: the angles (wrapped, x then y then z, whatever the rotation
// order), or in free-matrix mode the free matrix itself, as the object is drawn.
void OrientationRotation(uint32_t record, float out[16]) {
  const ObjectRecord& o = O(record);
  if (o.freeMatrixMode == 1) {
    std::memcpy(out, o.freeMatrix, sizeof o.freeMatrix);
    return;
  }
  BuildRotationFromAngles(out, WrapAngle(o.angleX) * kDegreesToRadians, WrapAngle(o.angleY) * kDegreesToRadians,
                          WrapAngle(o.angleZ) * kDegreesToRadians);
}

// The angles (degrees, 0 <= a < 360) that, drawn in the object's rotation order, give the
// rotation m. MatrixToAngles reads the camera's form, m = Rz(-z) x Ry(-y) x Rx(-x): order 1
// draws Rx x Ry x Rz, the transpose of that form; order 0 draws Rz x Ry x Rx, that form with
// the angles negated.
void AnglesOfRotation(const float m[16], int32_t order, float* x, float* y, float* z) {
  float a[3];
  if (order == 1) {
    float t[16];
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) t[4 * r + c] = m[4 * c + r];
    MatrixToAnglesDegrees(t, &a[0], &a[1], &a[2]);
  } else {
    MatrixToAnglesDegrees(m, &a[0], &a[1], &a[2]);
    for (float& v : a) v = -v;
  }
  *x = WrapAngle(a[0]), *y = WrapAngle(a[1]), *z = WrapAngle(a[2]);
}

// The world matrix of limb `limb` of object `other`, its limbs' world fields refreshed first
// (placed by its own glue).
void ReadLimbWorldMatrix(uint32_t other, int32_t limb, float out[16]) {
  SetMatrixIdentity(out);
  if (!g_objectPool.InUse(other) || !O(other).model) return;
  UpdateLimbWorldTransforms(other, 1);
  ModelHandleGetLimbWorldMatrix(*O(other).model, uint32_t(limb), out);
}

}  // namespace

void SetObjectAngles(uint32_t record, float x, float y, float z) {
  ObjectRecord& o = O(record);
  o.angleX = WrapAngle(x), o.angleY = WrapAngle(y), o.angleZ = WrapAngle(z);
  ApplyObjectAngleTransform(record);
  LeaveFreeMatrixMode(record);
}

void SetObjectFreeMatrix(uint32_t record, const float m[16]) {
  ObjectRecord& o = O(record);
  if (o.freeMatrix != m) std::memcpy(o.freeMatrix, m, sizeof o.freeMatrix);
  o.freeMatrixMode = 1;
  AnglesOfRotation(o.freeMatrix, o.rotationOrder, &o.angleX, &o.angleY, &o.angleZ);
  ApplyObjectTransform(record);
}

void TurnObjectFree(uint32_t record, int axis, float degrees) {
  float r[16];
  const float a = WrapAngle(degrees) * kDegreesToRadians;
  if (axis == 0) BuildRotationXMatrix(r, a);
  else if (axis == 1) BuildRotationYMatrix(r, a);
  else BuildRotationZMatrix(r, a);
  ObjectRecord& o = O(record);
  MultiplyMatrix4x4(o.freeMatrix, o.freeMatrix, r);
  SetObjectFreeMatrix(record, o.freeMatrix);
}

void PointObjectAt(uint32_t record, float x, float y, float z) {
  const float* p = PositionOf(record);
  float ax, ay, az;
  CameraAnglesFromPoints(p[0], p[1], p[2], x, y, z, &ax, &ay, &az);
  SetObjectAngles(record, ax * kRadiansToDegrees, ay * kRadiansToDegrees, az * kRadiansToDegrees);
}

void MoveObjectForward(uint32_t record, float d) {
  float r[16];
  OrientationRotation(record, r);
  // (0, 0, d) x R is d times R's third row.
  float* p = PositionOf(record);
  p[0] += d * r[8], p[1] += d * r[9], p[2] += d * r[10];
  ApplyObjectTransform(record);
}

void FixObjectPivot(uint32_t record) {
  ObjectRecord& o = O(record);
  float r[16];
  if (o.model) {
    // The turn the object is drawn with: its angles in its rotation order, or the free matrix.
    if (o.freeMatrixMode == 1)
      OrientationRotation(record, r);
    else
      ModelHandleBuildLimbRotation(r, o.angleX, o.angleY, o.angleZ, uint32_t(o.rotationOrder));
    float* root = nullptr;
    ModelHandleGetRootMatrix(*o.model, &root);
    float m[16];
    if (root) MultiplyMatrix4x4(m, root, r);
    else std::memcpy(m, r, sizeof m);
    ModelHandleSetRootMatrix(*o.model, 1, m);
  }
  o.angleX = o.angleY = o.angleZ = 0;
  o.freeMatrixMode = 0;
  ApplyObjectTransform(record);
}

void GlueObjectToLimb(uint32_t record, uint32_t other, int32_t limb) {
  ObjectRecord& o = O(record);
  o.gluedTo = int32_t(other);
  o.gluedToLimb = limb;
  NoteObjectReference(record, other);
  float* p = PositionOf(record);
  p[0] = p[1] = p[2] = 0;
  o.freeMatrixMode = 0;
  ApplyObjectAngleTransform(record);
}

void UnglueObject(uint32_t record) {
  if (O(record).gluedTo <= 0) return;
  float w[16];
  ReadLimbWorldMatrix(uint32_t(O(record).gluedTo), O(record).gluedToLimb, w);
  float* p = PositionOf(record);
  p[0] = w[12], p[1] = w[13], p[2] = w[14];
  ObjectRecord& o = O(record);
  o.freeMatrixMode = 0;
  ApplyObjectAngleTransform(record);
  o.gluedTo = 0;
  o.gluedToLimb = 0;
}
