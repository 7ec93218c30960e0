#pragma once
#include <cstdint>

// Placing and orienting 3D objects: angles, the free matrix the turn commands rotate, pointing,
// moving along the facing, folding the rotation into the model, and glue. Each takes a record
// in use; angles are degrees.

// The angles (each passed through WrapAngle) become the orientation: the angle transform, then
// free-matrix mode is left.
void SetObjectAngles(uint32_t record, float x, float y, float z);
// The rotation becomes the free orientation (the object is drawn turned by it, as by a limb
// matrix): limb 0 from the position, it and the scales, free-matrix mode on. The angles are
// derived from it so that rotating by them, in the object's rotation order, draws the same.
void SetObjectFreeMatrix(uint32_t record, const float m[16]);
// The free matrix multiplied on the right by a rotation of `degrees` about axis 0 (x), 1 (y) or
// 2 (z); free-matrix mode on.
void TurnObjectFree(uint32_t record, int axis, float degrees);
// Faces the point from the object's position (angle mode).
void PointObjectAt(uint32_t record, float x, float y, float z);
// Moves the position by (0, 0, d) turned by the orientation.
void MoveObjectForward(uint32_t record, float d);
// The orientation folded into the model's root matrix; the angles become 0 (angle mode, the
// free matrix kept).
void FixObjectPivot(uint32_t record);
// Glues the object to limb `limb` of another (the position becomes an offset from the limb).
void GlueObjectToLimb(uint32_t record, uint32_t other, int32_t limb);
// A glued object is left at the world position of the limb it was glued to; one that is not
// glued is left alone.
void UnglueObject(uint32_t record);
