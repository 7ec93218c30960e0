#pragma once
#include <cstdint>

// Whether 3D objects hit each other: by their collision boxes directly, or through the collision
// library's shapes in a pass of the whole scene run only when a query asks. Records are object
// pool indices; results are written to the records' hit fields and the scene's collision state.

// A frame collides when it is a 3D object's and is drawn with depth.
bool CollidableFrame(uint32_t frame);
// Oriented (unless both boxes are axis-aligned) or axis-aligned test of two objects' boxes;
// touching faces do not hit. An axis-aligned hit against an object with push-back sets one
// component of the push-back vector from the boxes' previous positions.
bool ObjectBoxTest(uint32_t a, uint32_t b);
// Box mode: against object record b, 1 or 0; against any (b = 0), the number of the last box
// object hit in frame list order, or 0. The push-back vector starts at 0.
int32_t ObjectCollideAll(uint32_t a, uint32_t b);
// Library mode, after a pass when the scene changed: against b, 1 when the last pass found the
// pair colliding; against any (b = 0), the number of the object last found hitting a, or 0.
int32_t ObjectCollisionTest(uint32_t a, uint32_t b);
// The collision pass: when anything changed, the shapes of every collidable object placed anew
// and every pair tested; otherwise the last results stand.
void RunCollisionPass();
// The answer of the collision queries for a checked object a and object number b (0 any): 0 when
// collisions are disabled, b is missing, either is not collidable or the modes differ.
int32_t ObjectCollisionQuery(uint32_t a, int32_t b);
// Before an object's record goes or its collision is switched off: its collision objects under a
// model it shares and the hit pairs naming it are dropped.
void ForgetObjectCollision(uint32_t record);

