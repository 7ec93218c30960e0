#pragma once
#include <cstdint>
#include <vector>

#include "collision/transform.h"
#include "collision/vec3.h"

// Absolute tolerance: box margin and distance floor.
inline constexpr double kAbsoluteTolerance = 1e-10;

// Axis-aligned box: spans centre - extent to centre + extent.
struct BBox {
  Vec3 centre;
  Vec3 extent;
};

// The box of an object that has not been placed yet, or cannot be.
inline BBox FarBBox() { return {{1e50, 1e50, 1e50}, {0, 0, 0}}; }

// Touching counts as overlapping.
inline bool BoxesOverlap(const BBox& a, const BBox& b) {
  return std::fabs(a.centre.x - b.centre.x) <= a.extent.x + b.extent.x &&
         std::fabs(a.centre.y - b.centre.y) <= a.extent.y + b.extent.y &&
         std::fabs(a.centre.z - b.centre.z) <= a.extent.z + b.extent.z;
}

// Any shape of the library: a convex primitive, a polytope of a complex shape, or a complex
// shape. isConvex is the only run-time kind test.
class CollisionShape {
 public:
  virtual ~CollisionShape() = default;
  virtual BBox bbox(const CollisionTransform& t) const = 0;
  virtual bool isConvex() const = 0;

  // Live objects placed with the shape: deleting a shape no object uses visits no object.
  int32_t users = 0;
};

// A convex shape is known to the tests only through its support function: the point of the
// shape furthest along a direction given in the shape's own frame.
class ConvexShape : public CollisionShape {
 public:
  BBox bbox(const CollisionTransform& t) const override;
  bool isConvex() const override { return true; }
  virtual Vec3 support(const Vec3& v) const = 0;
};

class BoxShape final : public ConvexShape {
 public:
  BoxShape(double x, double y, double z) : half_{x / 2, y / 2, z / 2} {}
  Vec3 support(const Vec3& v) const override {
    return {v.x < 0 ? -half_.x : half_.x, v.y < 0 ? -half_.y : half_.y, v.z < 0 ? -half_.z : half_.z};
  }
  const Vec3& HalfExtents() const { return half_; }

 private:
  Vec3 half_;
};

// Cone along y: apex at +h, base of radius r at -h.
class ConeShape final : public ConvexShape {
 public:
  ConeShape(double radius, double height);
  Vec3 support(const Vec3& v) const override;
  double SineHalfAngle() const { return s_; }

 private:
  double r_, h_, s_;
};

// Cylinder along y from -h to +h.
class CylinderShape final : public ConvexShape {
 public:
  CylinderShape(double radius, double height) : r_(radius), h_(height / 2) {}
  Vec3 support(const Vec3& v) const override;

 private:
  double r_, h_;
};

class SphereShape final : public ConvexShape {
 public:
  explicit SphereShape(double radius) : r_(radius) {}
  Vec3 support(const Vec3& v) const override;

 private:
  double r_;
};

// A convex piece of a complex shape. It keeps its own copy of the indices and reads vertex i
// through the owning shape's vertex-base field each time, so replacing or exchanging the base
// moves every polytope of the shape at once.
class Polytope : public ConvexShape {
 public:
  Polytope(const double* const* base, const uint32_t* indices, uint32_t count)
      : base_(base), indices_(indices, indices + count) {}
  uint32_t Count() const { return uint32_t(indices_.size()); }
  uint32_t Index(uint32_t i) const { return indices_[i]; }
  Vec3 Vertex(uint32_t i) const {
    const double* p = *base_ + 3 * size_t(indices_[i]);
    return {p[0], p[1], p[2]};
  }

 protected:
  Vec3 ScanSupport(const Vec3& v) const;

 private:
  const double* const* base_;
  std::vector<uint32_t> indices_;
};

// Kind 0: a small point set.
class SimplexPolytope final : public Polytope {
 public:
  using Polytope::Polytope;
  Vec3 support(const Vec3& v) const override { return ScanSupport(v); }
};

// Kind 1: a polygon whose vertices are in cyclic order; support climbs from the last answer.
class PolygonPolytope final : public Polytope {
 public:
  using Polytope::Polytope;
  Vec3 support(const Vec3& v) const override;
  uint32_t CachedPosition() const { return cached_; }

 private:
  mutable uint32_t cached_ = 0;
};

// Kind 2: a convex point cloud.
class PolyhedronPolytope final : public Polytope {
 public:
  using Polytope::Polytope;
  Vec3 support(const Vec3& v) const override { return ScanSupport(v); }
};

// Exact enclosing box of a convex shape placed by t, widened by the absolute tolerance.
BBox ConvexBBox(const ConvexShape& shape, const CollisionTransform& t);
