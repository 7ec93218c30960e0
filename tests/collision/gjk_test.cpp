#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "collision/gjk.h"
#include "collision_test_util.h"

namespace {

CollisionTransform At(double x, double y, double z) {
  CollisionTransform t;
  SetTransformIdentity(t);
  TranslateTransform(t, {x, y, z});
  return t;
}

CollisionTransform Relative(const CollisionTransform& a, const CollisionTransform& b) {
  CollisionTransform t;
  ComposeInverseTransform(t, a, b);
  return t;
}

// Every boolean variant of GJK, each from a fresh search vector.
struct Answers {
  bool world, relative, common, commonRelative;
  Vec3 pa, pb, paRel, pbRel;
};

Answers AskAll(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& ta,
               const CollisionTransform& tb) {
  Answers r{};
  Vec3 v;
  r.world = GjkIntersect(a, b, ta, tb, v);
  v = {};
  r.relative = GjkIntersectRelative(a, b, Relative(ta, tb), v);
  v = {};
  r.common = GjkCommonPoint(a, b, ta, tb, v, r.pa, r.pb);
  v = {};
  r.commonRelative = GjkCommonPointRelative(a, b, Relative(ta, tb), v, r.paRel, r.pbRel);
  return r;
}

class Gjk : public CollisionTest {};

TEST_F(Gjk, SpheresThreeApart) {
  SphereShape s(1);
  CollisionTransform ta = At(0, 0, 0), tb = At(3, 0, 0);
  Answers r = AskAll(s, s, ta, tb);
  EXPECT_FALSE(r.world);
  EXPECT_FALSE(r.relative);
  EXPECT_FALSE(r.common);
  EXPECT_FALSE(r.commonRelative);
  Vec3 pa, pb;
  GjkClosestPoints(s, s, ta, tb, pa, pb);
  EXPECT_NEAR(pa.x, 1, 1e-6);
  EXPECT_NEAR(pb.x, -1, 1e-6);
  EXPECT_NEAR(pa.y, 0, 1e-6);
  EXPECT_NEAR(pb.z, 0, 1e-6);
}

TEST_F(Gjk, OverlappingBoxesShareAPoint) {
  BoxShape a(2, 2, 2), b(1, 3, 1);
  CollisionTransform ta = At(0, 0, 0), tb = At(1.2, 0.5, -0.3);
  Answers r = AskAll(a, b, ta, tb);
  EXPECT_TRUE(r.world);
  EXPECT_TRUE(r.relative);
  ASSERT_TRUE(r.common);
  ASSERT_TRUE(r.commonRelative);
  Vec3 wa = ta.Apply(r.pa);
  EXPECT_TRUE(PointInBox(wa, {1, 1, 1}, ta));
  EXPECT_TRUE(PointInBox(wa, {0.5, 1.5, 0.5}, tb));
  EXPECT_NEAR(Length(wa - tb.Apply(r.pb)), 0, 1e-9);
  EXPECT_TRUE(PointInBox(ta.Apply(r.paRel), {0.5, 1.5, 0.5}, tb));
}

TEST_F(Gjk, TouchingFacesAreNotSeparated) {
  BoxShape box(2, 2, 2);
  Answers r = AskAll(box, box, At(0, 0, 0), At(2, 0.5, 0.25));
  EXPECT_TRUE(r.world);
  EXPECT_TRUE(r.relative);
}

TEST_F(Gjk, SpheresAgreeWithDistanceOfCentres) {
  std::mt19937_64 rng(101);
  std::uniform_real_distribution<double> radius(0.2, 2), place(-3, 3);
  int hits = 0, misses = 0;
  for (int i = 0; i < 2000; ++i) {
    double ra = radius(rng), rb = radius(rng);
    SphereShape a(ra), b(rb);
    CollisionTransform ta = RandomPlacement(rng, 3), tb = RandomPlacement(rng, 3);
    double gap = Length(tb.origin - ta.origin) - ra - rb;
    if (std::fabs(gap) < 1e-3) continue;
    bool expect = gap < 0;
    (expect ? hits : misses)++;
    Answers r = AskAll(a, b, ta, tb);
    ASSERT_EQ(r.world, expect) << i;
    ASSERT_EQ(r.relative, expect) << i;
    ASSERT_EQ(r.common, expect) << i;
    ASSERT_EQ(r.commonRelative, expect) << i;
    if (expect) {
      Vec3 p = ta.Apply(r.pa);
      EXPECT_LE(Length(p - ta.origin), ra + 1e-7);
      EXPECT_LE(Length(p - tb.origin), rb + 1e-7);
    } else {
      Vec3 pa, pb;
      GjkClosestPoints(a, b, ta, tb, pa, pb);
      double dist = Length(ta.Apply(pa) - tb.Apply(pb));
      EXPECT_NEAR(dist, gap, 1e-5 * gap + 1e-9) << i;
      EXPECT_NEAR(Length(pa), ra, 1e-9);
      EXPECT_NEAR(Length(pb), rb, 1e-9);
    }
  }
  EXPECT_GT(hits, 200);
  EXPECT_GT(misses, 200);
}

TEST_F(Gjk, BoxesAgreeWithSeparatingAxes) {
  std::mt19937_64 rng(202);
  std::uniform_real_distribution<double> size(0.3, 2.5);
  int hits = 0, misses = 0;
  for (int i = 0; i < 4000; ++i) {
    Vec3 sa{size(rng), size(rng), size(rng)}, sb{size(rng), size(rng), size(rng)};
    BoxShape a(sa.x, sa.y, sa.z), b(sb.x, sb.y, sb.z);
    bool scaled = i % 4 == 3;
    CollisionTransform ta = RandomPlacement(rng, 0.3, scaled), tb = RandomPlacement(rng, 1.8, scaled);
    double sep = BoxSeparation(sa * 0.5, ta, sb * 0.5, tb);
    if (std::fabs(sep) < 1e-4) continue;
    bool expect = sep < 0;
    (expect ? hits : misses)++;
    Answers r = AskAll(a, b, ta, tb);
    ASSERT_EQ(r.world, expect) << i;
    ASSERT_EQ(r.relative, expect) << i;
    ASSERT_EQ(r.common, expect) << i;
    ASSERT_EQ(r.commonRelative, expect) << i;
    if (expect) {
      Vec3 p = ta.Apply(r.pa);
      EXPECT_TRUE(PointInBox(p, sa * 0.5, ta, 1e-6)) << i;
      EXPECT_TRUE(PointInBox(p, sb * 0.5, tb, 1e-6)) << i;
    } else if (!scaled) {
      Vec3 pa, pb;
      GjkClosestPoints(a, b, ta, tb, pa, pb);
      double dist = Length(ta.Apply(pa) - tb.Apply(pb));
      // The separating-axis gap is a lower bound of the distance.
      EXPECT_GE(dist, sep * (1 - 1e-6) - 1e-9) << i;
    }
  }
  EXPECT_GT(hits, 500);
  EXPECT_GT(misses, 500);
}

TEST_F(Gjk, SearchVectorCarriesOver) {
  BoxShape box(1, 1, 1);
  CollisionTransform ta = At(0, 0, 0), tb = At(5, 0, 0);
  Vec3 v;
  EXPECT_FALSE(GjkIntersect(box, box, ta, tb, v));
  EXPECT_LT(v.x, 0);  // a point of A - B, which lies towards -x
  Vec3 kept = v;
  EXPECT_FALSE(GjkIntersect(box, box, ta, tb, v));
  EXPECT_EQ(v, kept);  // rejected in the first step
}

// A test that ends inside leaves a rounding-sized vector; the next test from it must not take
// the round shapes' centres for their support points.
TEST_F(Gjk, OverlapStaysFoundFromTheVectorItLeaves) {
  SphereShape sphere(1);
  CylinderShape cylinder(0.8, 2);
  ConeShape cone(1, 2);
  const ConvexShape* shapes[] = {&sphere, &cylinder, &cone};
  std::mt19937_64 rng(303);
  int tests = 0;
  for (const ConvexShape* a : shapes)
    for (const ConvexShape* b : shapes)
      for (int i = 0; i < 40; ++i) {
        CollisionTransform ta = RandomPlacement(rng, 0.3), tb = RandomPlacement(rng, 0.3);
        Vec3 v, pa, pb;
        if (!GjkIntersect(*a, *b, ta, tb, v)) continue;
        ++tests;
        ASSERT_TRUE(GjkIntersect(*a, *b, ta, tb, v)) << i;
        ASSERT_TRUE(GjkCommonPoint(*a, *b, ta, tb, v, pa, pb)) << i;
        ASSERT_TRUE(GjkIntersect(*a, *b, ta, tb, v)) << i;
        CollisionTransform rel = Relative(ta, tb);
        Vec3 w;
        ASSERT_TRUE(GjkIntersectRelative(*a, *b, rel, w)) << i;
        ASSERT_TRUE(GjkCommonPointRelative(*a, *b, rel, w, pa, pb)) << i;
        ASSERT_TRUE(GjkIntersectRelative(*a, *b, rel, w)) << i;
      }
  EXPECT_GT(tests, 300);
}

TEST_F(Gjk, BadPlacementsNeverCollideNorPoisonTheVector) {
  BoxShape box(1, 1, 1);
  CollisionTransform ta = At(0, 0, 0);
  for (double bad : {double(NAN), double(INFINITY), 1e60}) {
    CollisionTransform tb = At(bad, 0, 0);
    Vec3 v, pa, pb;
    EXPECT_FALSE(GjkIntersect(box, box, ta, tb, v));
    EXPECT_TRUE(IsFinite(v));
    EXPECT_FALSE(GjkIntersectRelative(box, box, tb, v));
    EXPECT_FALSE(GjkCommonPoint(box, box, ta, tb, v, pa, pb));
    EXPECT_TRUE(IsFinite(v));
  }
  BoxShape nanBox(NAN, 1, 1);
  Vec3 v;
  EXPECT_FALSE(GjkIntersect(nanBox, box, ta, ta, v));
  EXPECT_TRUE(IsFinite(v));
}

// Just apart, the last support points of round shapes nearly coincide; a step on such a
// degenerate simplex must not replace the near answer with rounding noise.
TEST_F(Gjk, ClosestPointsOfNearlyTouchingShapes) {
  SphereShape sphere(1);
  CylinderShape cylinder(0.7, 2);
  ConeShape cone(1, 2);
  BoxShape box(1, 2, 0.6);
  const ConvexShape* shapes[] = {&sphere, &cylinder, &cone, &box};
  std::mt19937_64 rng(404);
  std::normal_distribution<double> n(0, 1);
  std::uniform_real_distribution<double> exponent(-5, -2);
  for (const ConvexShape* a : shapes)
    for (const ConvexShape* b : shapes)
      for (int i = 0; i < 60; ++i) {
        CollisionTransform ta = RandomPlacement(rng, 0), tb = RandomPlacement(rng, 0);
        Vec3 dir{n(rng), n(rng), n(rng)};
        dir = dir * (1 / Length(dir));
        // Touching distance along dir, from outside.
        double lo = 0, hi = 10;
        for (int k = 0; k < 50; ++k) {
          double mid = (lo + hi) / 2;
          tb.origin = dir * mid;
          Vec3 v;
          (GjkIntersect(*a, *b, ta, tb, v) ? lo : hi) = mid;
        }
        double gap = std::pow(10.0, exponent(rng));
        tb.origin = dir * (hi + gap);
        Vec3 pa, pb;
        GjkClosestPoints(*a, *b, ta, tb, pa, pb);
        ASSERT_LE(Length(ta.Apply(pa) - tb.Apply(pb)), gap + 1e-4) << i;
      }
}

TEST_F(Gjk, ClosestPointsOfCoincidentShapesAreFinite) {
  BoxShape box(1, 1, 1);
  CollisionTransform t = At(1, 2, 3);
  Vec3 pa{NAN, 0, 0}, pb{NAN, 0, 0};
  GjkClosestPoints(box, box, t, t, pa, pb);
  EXPECT_TRUE(IsFinite(pa));
  EXPECT_TRUE(IsFinite(pb));
  SphereShape s(1);
  GjkClosestPoints(s, s, t, t, pa, pb);
  EXPECT_TRUE(IsFinite(pa));
  EXPECT_TRUE(IsFinite(pb));
}

}  // namespace
