#include "collision/shapes.h"

#include <cmath>

ConeShape::ConeShape(double radius, double height)
    : r_(radius), h_(height / 2), s_(radius / std::sqrt(radius * radius + height * height)) {}

Vec3 ConeShape::support(const Vec3& v) const {
  if (v.y > Length(v) * s_) return {0, h_, 0};
  double sigma = std::sqrt(v.x * v.x + v.z * v.z);
  if (sigma <= kAbsoluteTolerance) return {0, -h_, 0};
  return {r_ * v.x / sigma, -h_, r_ * v.z / sigma};
}

Vec3 CylinderShape::support(const Vec3& v) const {
  double t = v.y >= 0 ? h_ : -h_;
  double sigma = std::sqrt(v.x * v.x + v.z * v.z);
  if (sigma <= kAbsoluteTolerance) return {0, t, 0};
  return {r_ * v.x / sigma, t, r_ * v.z / sigma};
}

Vec3 SphereShape::support(const Vec3& v) const {
  double len = Length(v);
  if (len <= kAbsoluteTolerance) return {0, 0, 0};
  return v * (r_ / len);
}

Vec3 Polytope::ScanSupport(const Vec3& v) const {
  uint32_t n = Count();
  uint32_t best = 0;
  double bestDot = Dot(Vertex(0), v);
  for (uint32_t i = 1; i < n; ++i) {
    double d = Dot(Vertex(i), v);
    if (d > bestDot) {
      bestDot = d;
      best = i;
    }
  }
  return Vertex(best);
}

Vec3 PolygonPolytope::support(const Vec3& v) const {
  uint32_t n = Count();
  uint32_t c = cached_;
  double h = Dot(Vertex(c), v);
  uint32_t next = c + 1 == n ? 0 : c + 1;
  double d = Dot(Vertex(next), v);
  if (d > h) {
    do {
      h = d;
      c = next;
      next = next + 1 == n ? 0 : next + 1;
      d = Dot(Vertex(next), v);
    } while (d > h);
  } else {
    uint32_t i = c == 0 ? n - 1 : c - 1;
    for (;;) {
      d = Dot(Vertex(i), v);
      if (!(d > h)) break;  // also stops on a NaN vertex, which would otherwise climb forever
      h = d;
      c = i;
      i = i == 0 ? n - 1 : i - 1;
    }
  }
  cached_ = c;
  return Vertex(c);
}

BBox ConvexShape::bbox(const CollisionTransform& t) const { return ConvexBBox(*this, t); }

BBox ConvexBBox(const ConvexShape& shape, const CollisionTransform& t) {
  Vec3 lo, hi;
  for (int i = 2; i >= 0; --i) {
    Vec3 r = t.basis.Row(i);
    lo[i] = Dot(r, shape.support(-r)) + t.origin[i] - kAbsoluteTolerance;
  }
  for (int i = 2; i >= 0; --i) {
    Vec3 r = t.basis.Row(i);
    hi[i] = Dot(r, shape.support(r)) + t.origin[i] + kAbsoluteTolerance;
  }
  return {(lo + hi) * 0.5, (hi - lo) * 0.5};
}
