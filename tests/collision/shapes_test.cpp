#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "collision/shapes.h"
#include "collision_test_util.h"

namespace {

void ExpectVec(const Vec3& a, const Vec3& b, double tol = 1e-15) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

TEST(CollisionShapes, BoxSupportTakesPositiveHalfOnZero) {
  BoxShape box(2, 4, 6);
  ExpectVec(box.HalfExtents(), {1, 2, 3});
  ExpectVec(box.support({0, 0, 0}), {1, 2, 3});
  ExpectVec(box.support({-1, 0, -0.5}), {-1, 2, -3});
}

TEST(CollisionShapes, ConeSupport) {
  ConeShape cone(1, 2);
  EXPECT_DOUBLE_EQ(cone.SineHalfAngle(), 1 / std::sqrt(5.0));
  ExpectVec(cone.support({0, 1, 0}), {0, 1, 0});
  ExpectVec(cone.support({1, 0, 0}), {1, -1, 0});
  ExpectVec(cone.support({0, -1, 0}), {0, -1, 0});
  ExpectVec(cone.support({0, 0, -3}), {0, -1, -1});
}

TEST(CollisionShapes, CylinderAndSphereSupport) {
  CylinderShape cyl(2, 3);
  ExpectVec(cyl.support({0, -1, 0}), {0, -1.5, 0});
  ExpectVec(cyl.support({0, 0, 0}), {0, 1.5, 0});
  ExpectVec(cyl.support({3, 1, 4}), {1.2, 1.5, 1.6});
  SphereShape sphere(2);
  ExpectVec(sphere.support({0, 0, 0}), {0, 0, 0});
  ExpectVec(sphere.support({0, 0, -5}), {0, 0, -2});
}

struct PolytopeFixture {
  double vertices[3 * 6] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 2, 0.5, 0.5, 2};
  const double* base = vertices;
};

TEST(CollisionShapes, ScanSupportKeepsFirstOfEqualVertices) {
  PolytopeFixture f;
  const uint32_t idx2[] = {3, 2, 0};
  SimplexPolytope s2(&f.base, idx2, 3);
  ExpectVec(s2.support({0, 1, 0}), {0, 1, 0});  // vertices 3 and 2 tie on y: vertex 3 comes first
}

TEST(CollisionShapes, PolygonClimbsAndCachesItsPosition) {
  PolytopeFixture f;
  const uint32_t square[] = {0, 1, 2, 3};
  PolygonPolytope p(&f.base, square, 4);
  EXPECT_EQ(p.CachedPosition(), 0u);
  ExpectVec(p.support({1, 1, 0}), {1, 1, 0});
  EXPECT_EQ(p.CachedPosition(), 2u);
  ExpectVec(p.support({1, 1, 0}), {1, 1, 0});
  EXPECT_EQ(p.CachedPosition(), 2u);
  ExpectVec(p.support({-1, 1, 0}), {0, 1, 0});  // one step forward
  ExpectVec(p.support({1, -1, 0}), {1, 0, 0});  // climbs on past the wrap to 1
  EXPECT_EQ(p.CachedPosition(), 1u);
  ExpectVec(p.support({-1, -1, 0}), {0, 0, 0});  // walks backwards to 0
  EXPECT_EQ(p.CachedPosition(), 0u);
  // Against a full scan for many directions.
  std::mt19937_64 rng(3);
  std::normal_distribution<double> n(0, 1);
  SimplexPolytope scan(&f.base, square, 4);
  for (int i = 0; i < 200; ++i) {
    Vec3 d{n(rng), n(rng), 0};
    EXPECT_DOUBLE_EQ(Dot(p.support(d), d), Dot(scan.support(d), d));
  }
}

TEST(CollisionShapes, PolygonStopsAtANanVertex) {
  // Walking backwards from vertex 0 the heights rise (0 > -1 > -2) up to the NaN vertex 3: a
  // comparison that lets NaN through climbs round the cycle for ever.
  double vertices[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, NAN, 0.5, 0};
  const double* base = vertices;
  const uint32_t square[] = {0, 1, 2, 3};
  PolygonPolytope p(&base, square, 4);
  ExpectVec(p.support({-1, -1, 0}), {0, 0, 0});
  EXPECT_EQ(p.CachedPosition(), 0u);
  ExpectVec(p.support({1, 1, 0}), {1, 1, 0});
}

TEST(CollisionShapes, PolytopeReadsThroughTheBaseField) {
  PolytopeFixture f;
  double moved[3 * 6];
  for (int i = 0; i < 18; ++i) moved[i] = f.vertices[i] + (i % 3 == 0 ? 10 : 0);
  const uint32_t idx[] = {0, 1};
  SimplexPolytope s(&f.base, idx, 2);
  ExpectVec(s.support({1, 0, 0}), {1, 0, 0});
  f.base = moved;
  ExpectVec(s.support({1, 0, 0}), {11, 0, 0});
}

TEST(CollisionShapes, ConvexBoxEnclosesExactlyWithMargin) {
  BoxShape box(2, 4, 6);
  CollisionTransform t;
  SetTransformIdentity(t);
  TranslateTransform(t, {5, 0, 0});
  BBox b = ConvexBBox(box, t);
  ExpectVec(b.centre, {5, 0, 0}, 1e-12);
  ExpectVec(b.extent, {1 + 1e-10, 2 + 1e-10, 3 + 1e-10}, 1e-15);
  // Rotated sphere: the box does not grow with the rotation.
  SphereShape sphere(1.5);
  std::mt19937_64 rng(5);
  CollisionTransform r = RandomPlacement(rng, 3);
  BBox sb = ConvexBBox(sphere, r);
  ExpectVec(sb.centre, r.origin, 1e-12);
  ExpectVec(sb.extent, {1.5 + 1e-10, 1.5 + 1e-10, 1.5 + 1e-10}, 1e-12);
  // A rotated box: every corner inside, and each face touched by one.
  for (int i = 0; i < 20; ++i) {
    CollisionTransform p = RandomPlacement(rng, 3);
    BBox bb = ConvexBBox(box, p);
    Vec3 lo = bb.centre - bb.extent, hi = bb.centre + bb.extent;
    Vec3 reachedLo{1e9, 1e9, 1e9}, reachedHi{-1e9, -1e9, -1e9};
    for (int c = 0; c < 8; ++c) {
      Vec3 corner = p.Apply({c & 1 ? 1.0 : -1.0, c & 2 ? 2.0 : -2.0, c & 4 ? 3.0 : -3.0});
      for (int k = 0; k < 3; ++k) {
        EXPECT_GE(corner[k], lo[k]);
        EXPECT_LE(corner[k], hi[k]);
        reachedLo[k] = std::min(reachedLo[k], corner[k]);
        reachedHi[k] = std::max(reachedHi[k], corner[k]);
      }
    }
    ExpectVec(reachedLo, lo + Vec3{1e-10, 1e-10, 1e-10}, 1e-12);
    ExpectVec(reachedHi, hi - Vec3{1e-10, 1e-10, 1e-10}, 1e-12);
  }
}

}  // namespace
