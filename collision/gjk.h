#pragma once
#include <cstdint>

#include "collision/shapes.h"
#include "collision/transform.h"
#include "collision/vec3.h"

// The simplex shared by every GJK test (tests never overlap): support differences y, the
// shapes' own-frame support points p and q that made them, cached dot products and the
// Johnson determinants of every subset (bit i of a subset is point i).
struct GjkSimplex {
  Vec3 y[4];
  Vec3 p[4], q[4];
  double dp[4][4];
  double det[16][4];
  int32_t bits = 0;
  int32_t last = 0;
  int32_t lastBit = 0;
  int32_t allBits = 0;
};

// Zero test on |v|^2 and the perturbation added to the basis between attempts of GjkIntersect
// (the single-precision value of 1e-6, used as a double).
inline constexpr double kGjkZeroSquared = 1e-20;
inline constexpr double kGjkPerturbation = 9.999999974752427e-07;
inline constexpr int kGjkAttempts = 32;
// Every GJK loop gives up after this many steps and reports no collision.
inline constexpr int kGjkMaxSteps = 128;

// v is the caller's search vector, kept between tests (frame coherence).
bool GjkIntersect(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& ta,
                  const CollisionTransform& tb, Vec3& v);
bool GjkIntersectRelative(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& t, Vec3& v);
// When true, pa (a's frame) and pb (b's frame) are one common point.
bool GjkCommonPoint(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& ta,
                    const CollisionTransform& tb, Vec3& v, Vec3& pa, Vec3& pb);
bool GjkCommonPointRelative(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& t, Vec3& v,
                            Vec3& pa, Vec3& pb);
// Closest points, each in its own shape's frame.
void GjkClosestPoints(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& ta,
                      const CollisionTransform& tb, Vec3& pa, Vec3& pb);
