#pragma once
// The collision library's flat interface: shapes, objects placed under client keys, responses
// (who is called back for which colliding pairs) and the test of all pairs. Everything is in
// double precision; nothing is reported: a call that finds nothing to act on does nothing.
#include <cstdint>

class CollisionShape;

// Client key of a collision object; the library only compares keys (unsigned order).
using CollisionKey = uint64_t;

// Handed to type 2 and 3 callbacks: a point on each object (each in its shape's frame) and,
// for type 2, the world vector from the second point to the first at the previous placement.
struct CollisionData {
  double point1[3];
  double point2[3];
  double normal[3];
};

// (client data, first key, second key, data or null); the data is valid only during the call.
using CollisionCallback = void (*)(void* clientData, CollisionKey first, CollisionKey second,
                                   const CollisionData* data);

// Response types.
inline constexpr int32_t kResponseNone = 0;
inline constexpr int32_t kResponseSimple = 1;          // intersection, no data
inline constexpr int32_t kResponsePreviousPoints = 2;  // closest points at the previous placement
inline constexpr int32_t kResponseCommonPoint = 3;     // a common point at the current placement

struct CollisionResponse {
  CollisionCallback callback = nullptr;
  int32_t type = kResponseNone;
  void* clientData = nullptr;
};

// Polytope kinds of a complex shape.
inline constexpr int32_t kPolytopeSimplex = 0;
inline constexpr int32_t kPolytopePolygon = 1;
inline constexpr int32_t kPolytopePolyhedron = 2;

// Shapes. Cones and cylinders stand along y, centred on the origin.
CollisionShape* CreateCollisionBox(double x, double y, double z);
CollisionShape* CreateCollisionCone(double radius, double height);
CollisionShape* CreateCollisionCylinder(double radius, double height);
CollisionShape* CreateCollisionSphere(double radius);
CollisionShape* BeginComplexShape();
void AddComplexVertex(double x, double y, double z);
void SetPolytopeKind(int32_t kind);
void EndPolytope();
void AddComplexPolytope(int32_t kind, uint32_t count, const uint32_t* indices);
void AddComplexPolytopeRange(int32_t kind, uint32_t first, uint32_t count);
// The open shape reads its vertices (x, y, z doubles) from the caller's array, which must
// outlive the shape.
void SetComplexVertexBase(const double* vertices);
void EndComplexShape();
void ChangeComplexVertexBase(CollisionShape* shape, const double* vertices);
// Objects that still use the shape are left without one and never collide again.
void DeleteCollisionShape(CollisionShape* shape);

// Objects. A key that already has an object gets the new one in its place.
void CreateCollisionObject(CollisionKey key, CollisionShape* shape);
void SelectCollisionObject(CollisionKey key);
void DeleteCollisionObject(CollisionKey key);
// Placement of the selected object: the first three compose onto what is there.
void SetCollisionPosition(double x, double y, double z);
void SetCollisionOrientation(double x, double y, double z, double w);
void SetCollisionScaling(double sx, double sy, double sz);
void ResetCollisionTransform();
// 4x4 matrices in column order: basis from the upper 3x3, origin from elements 12, 13, 14.
void SetCollisionMatrixF(const float m[16]);
void SetCollisionMatrixD(const double m[16]);
void MultCollisionMatrixF(const float m[16]);
void MultCollisionMatrixD(const double m[16]);
// The current placements (and complex vertex bases) become the previous ones.
void ProceedCollisions();

// Responses: pair beats first object, beats second object, beats the default.
void SetDefaultCollisionResponse(CollisionCallback callback, int32_t type, void* clientData);
void SetObjectCollisionResponse(CollisionKey key, CollisionCallback callback, int32_t type, void* clientData);
void ClearObjectCollisionResponse(CollisionKey key);
void ResetObjectCollisionResponse(CollisionKey key);
void SetPairCollisionResponse(CollisionKey key1, CollisionKey key2, CollisionCallback callback, int32_t type,
                              void* clientData);
void ClearPairCollisionResponse(CollisionKey key1, CollisionKey key2);
void ResetPairCollisionResponse(CollisionKey key1, CollisionKey key2);

// Pair caching by sweep and prune (on at start).
void EnableCollisionCaching();
void DisableCollisionCaching();
void SetCollisionTolerance(double relative);
// Tests the candidate pairs and calls back for each colliding one; returns how many.
int32_t TestAllCollisions();

// Destroys every object and shape and returns the library to its start state.
void ResetCollisionWorld();
