#pragma once
#include "collision/complex_shape.h"
#include "collision/shapes.h"
#include "collision/transform.h"

// Descents of a complex shape's box tree; each stops at the first leaf (or leaf pair) whose
// convex test succeeds. With pa and pb given, the leaves run the common-point test and the
// points come back (pa in a's frame, pb in b's).

// Complex a against convex b, t placing b in a's frame. Returns the intersecting polytope.
const Polytope* DescendComplexConvex(const ComplexShape& a, const ConvexShape& b, const CollisionTransform& t,
                                     Vec3& v, Vec3* pa = nullptr, Vec3* pb = nullptr);

struct PolytopePair {
  const Polytope* a = nullptr;
  const Polytope* b = nullptr;
};

// Two complex shapes, t1 placing b in a's frame.
PolytopePair DescendComplexComplex(const ComplexShape& a, const ComplexShape& b, const CollisionTransform& t1,
                                   Vec3& v, Vec3* pa = nullptr, Vec3* pb = nullptr);
