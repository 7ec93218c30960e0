// Placing 3D objects: position, angles, scale, rotation order, point, move, pivot, free turns,
// copied orientations, glue, and the position and angle queries.
#include "display/record_pools.h"
#include "platform/math3d.h"
#include "scene3d/commands.h"
#include "scene3d/maths3d.h"
#include "scene3d/object_operands.h"
#include "scene3d/object_placement.h"

namespace {

float* Position(uint32_t record) { return g_framePool[Obj(record).frameIndex].position; }

// The object's placement changed: its limbs' world fields are out of date and the collision pass
// runs again; with refresh the change shows at the next frame in timed mode.
void Changed(uint32_t record, bool refresh) {
  Obj(record).worldTransformsValid = 0;
  g_scene.sceneChanged = 1;
  if (refresh) RefreshScene();
}

bool AngleInRange(float a) {
  if (a >= 0.0f && a <= 360.0f) return true;
  RunError(kErrAngleOutOfRange);
  return false;
}

void CmdPositionObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    float* p = Position(r);
    p[0] = OpFloat(1), p[1] = OpFloat(2), p[2] = OpFloat(3);
    ApplyObjectTransform(r);
    Changed(r, true);
  }
  SkipOperands(4);
}

void CmdRotateObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    const float x = OpFloat(1), y = OpFloat(2), z = OpFloat(3);
    if (AngleInRange(x) && AngleInRange(y) && AngleInRange(z)) {
      SetObjectAngles(r, x, y, z);
      Changed(r, true);
    }
  }
  SkipOperands(4);
}

// One angle (axis 0 x, 1 y, 2 z) alone.
void RotateObjectAxis(int axis) {
  if (const uint32_t r = ObjectOperand(0)) {
    const float a = OpFloat(1);
    if (AngleInRange(a)) {
      const ObjectRecord& o = Obj(r);
      SetObjectAngles(r, axis == 0 ? a : o.angleX, axis == 1 ? a : o.angleY, axis == 2 ? a : o.angleZ);
      Changed(r, true);
    }
  }
  SkipOperands(2);
}
void CmdXRotateObject() { RotateObjectAxis(0); }
void CmdYRotateObject() { RotateObjectAxis(1); }
void CmdZRotateObject() { RotateObjectAxis(2); }

void CmdScaleObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    ObjectRecord& o = Obj(r);
    o.scaleX = OpFloat(1) / 100.0f, o.scaleY = OpFloat(2) / 100.0f, o.scaleZ = OpFloat(3) / 100.0f;
    ApplyObjectTransform(r);
    Changed(r, true);
  }
  SkipOperands(4);
}

void SetRotationOrder(int32_t order) {
  if (const uint32_t r = ObjectOperand(0)) {
    Obj(r).rotationOrder = order;
    ApplyObjectAngleTransform(r);
    LeaveFreeMatrixMode(r);
    Changed(r, false);
  }
  SkipOperands(1);
}
void CmdSetObjectRotationXyz() { SetRotationOrder(0); }
void CmdSetObjectRotationZyx() { SetRotationOrder(1); }

void CmdPointObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    PointObjectAt(r, OpFloat(1), OpFloat(2), OpFloat(3));
    Changed(r, true);
  }
  SkipOperands(4);
}

void CmdMoveObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    MoveObjectForward(r, OpFloat(1));
    Changed(r, true);
  }
  SkipOperands(2);
}

void CmdFixObjectPivot() {
  if (const uint32_t r = ObjectOperand(0)) {
    FixObjectPivot(r);
    Changed(r, false);
  }
  SkipOperands(1);
}

// Free turns: the axis and the sign the operand is taken with.
void TurnObject(int axis, float sign) {
  if (const uint32_t r = ObjectOperand(0)) {
    TurnObjectFree(r, axis, sign * OpFloat(1));
    Changed(r, true);
  }
  SkipOperands(2);
}
void CmdTurnObjectRight() { TurnObject(1, 1); }
void CmdTurnObjectLeft() { TurnObject(1, -1); }
void CmdPitchObjectDown() { TurnObject(0, 1); }
void CmdPitchObjectUp() { TurnObject(0, -1); }
void CmdRollObjectRight() { TurnObject(2, -1); }
void CmdRollObjectLeft() { TurnObject(2, 1); }

void CmdSetObjectToObjectOrientation() {
  if (const uint32_t a = ObjectOperand(0)) {
    if (const uint32_t b = ObjectOperand(1)) {
      const ObjectRecord& source = Obj(b);
      if (source.freeMatrixMode == 1) {
        SetObjectFreeMatrix(a, source.freeMatrix);
      } else {
        ObjectRecord& o = Obj(a);
        o.angleX = source.angleX, o.angleY = source.angleY, o.angleZ = source.angleZ;
        ApplyObjectAngleTransform(a);
        LeaveFreeMatrixMode(a);
      }
      Changed(a, false);
    }
  }
  SkipOperands(2);
}

void CmdSetObjectToCameraOrientation() {
  if (const uint32_t r = ObjectOperand(0)) {
    const CameraState& cam = g_scene.camera;
    if (cam.viewMode == kCameraMatrix) {
      // The camera matrix turns the world into the view; the camera itself is turned by its
      // inverse, the transpose of the rotation.
      float m[16];
      SetMatrixIdentity(m);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[4 * i + j] = cam.matrix[4 * j + i];
      SetObjectFreeMatrix(r, m);
    } else {
      // The camera's angles as they are, not wrapped.
      ObjectRecord& o = Obj(r);
      o.angleX = cam.angles[0] * 57.29578f, o.angleY = cam.angles[1] * 57.29578f, o.angleZ = cam.angles[2] * 57.29578f;
      ApplyObjectAngleTransform(r);
      LeaveFreeMatrixMode(r);
    }
    Changed(r, false);
  }
  SkipOperands(1);
}

void CmdGlueObjectToLimb() {
  if (const uint32_t a = ObjectOperand(0)) {
    if (const uint32_t b = ObjectOperand(1)) {
      const int32_t limb = OpInt(2);
      if (CheckLimbExists(b, limb)) {
        GlueObjectToLimb(a, b, limb);
        Changed(a, false);
      }
    }
  }
  SkipOperands(3);
}

void CmdUnglueObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    UnglueObject(r);
    Changed(r, false);
  }
  SkipOperands(1);
}

// Float queries: result, object number.
template <class F>
void FloatQuery(F&& read) {
  if (const uint32_t r = ObjectOperand(1)) OpCell(0)->f = read(r);
  SkipOperands(2);
}
void CmdObjectPositionX() { FloatQuery([](uint32_t r) { return Position(r)[0]; }); }
void CmdObjectPositionY() { FloatQuery([](uint32_t r) { return Position(r)[1]; }); }
void CmdObjectPositionZ() { FloatQuery([](uint32_t r) { return Position(r)[2]; }); }
void CmdObjectAngleX() { FloatQuery([](uint32_t r) { return WrapAngle(Obj(r).angleX); }); }
void CmdObjectAngleY() { FloatQuery([](uint32_t r) { return WrapAngle(Obj(r).angleY); }); }
void CmdObjectAngleZ() { FloatQuery([](uint32_t r) { return WrapAngle(Obj(r).angleZ); }); }

const CommandDef kPlacementCommands[] = {
    {7021, CmdPositionObject, "lfff"},
    {7022, CmdRotateObject, "lfff"},
    {7028, CmdXRotateObject, "lf"},
    {7029, CmdYRotateObject, "lf"},
    {7030, CmdZRotateObject, "lf"},
    {7031, CmdScaleObject, "lfff"},
    {7036, CmdSetObjectRotationXyz, "l"},
    {7037, CmdSetObjectRotationZyx, "l"},
    {7251, CmdTurnObjectRight, "lf"},
    {7252, CmdTurnObjectLeft, "lf"},
    {7253, CmdPitchObjectDown, "lf"},
    {7254, CmdPitchObjectUp, "lf"},
    {7255, CmdRollObjectRight, "lf"},
    {7256, CmdRollObjectLeft, "lf"},
    {7257, CmdSetObjectToObjectOrientation, "ll"},
    {7258, CmdSetObjectToCameraOrientation, "l"},
    {7512, CmdObjectPositionX, "fl"},
    {7513, CmdObjectPositionY, "fl"},
    {7514, CmdObjectPositionZ, "fl"},
    {7515, CmdObjectAngleX, "fl"},
    {7516, CmdObjectAngleY, "fl"},
    {7517, CmdObjectAngleZ, "fl"},
    {7612, CmdGlueObjectToLimb, "lll"},
    {7613, CmdUnglueObject, "l"},
    {7616, CmdPointObject, "lfff"},
    {7617, CmdMoveObject, "lf"},
    {7618, CmdFixObjectPivot, "l"},
};

}  // namespace

std::span<const CommandDef> PlacementCommands() { return kPlacementCommands; }
