#pragma once
// Helpers of the collision tests: a clean world per test, random placements and analytic
// answers to compare the library with.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "collision/collision.h"
#include "collision/world.h"

class CollisionTest : public testing::Test {
 protected:
  void SetUp() override { ResetCollisionWorld(); }
  void TearDown() override { ResetCollisionWorld(); }
};

inline CollisionTransform RandomPlacement(std::mt19937_64& rng, double spread, bool scaled = false) {
  std::normal_distribution<double> n(0, 1);
  std::uniform_real_distribution<double> place(-spread, spread), scale(0.5, 2.0);
  CollisionTransform t;
  SetTransformIdentity(t);
  TranslateTransform(t, {place(rng), place(rng), place(rng)});
  const double q[4] = {n(rng), n(rng), n(rng), n(rng)};
  RotateTransform(t, q);
  if (scaled) ScaleTransform(t, scale(rng), scale(rng), scale(rng));
  return t;
}

inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline Vec3 Column(const Mat3& m, int c) { return {m(0, c), m(1, c), m(2, c)}; }

// Signed separation of two placed boxes (half extents ha, hb) along the separating axes: the
// largest normalised gap; positive when separated, negative (minus the depth) when overlapping.
inline double BoxSeparation(const Vec3& ha, const CollisionTransform& ta, const Vec3& hb,
                            const CollisionTransform& tb) {
  Vec3 axes[15];
  int n = 0;
  for (int c = 0; c < 3; ++c) axes[n++] = Column(ta.basis, c);
  for (int c = 0; c < 3; ++c) axes[n++] = Column(tb.basis, c);
  for (int i = 0; i < 3; ++i)
    for (int j = 3; j < 6; ++j) axes[n++] = Cross(axes[i], axes[j]);
  Vec3 d = tb.origin - ta.origin;
  double best = -1e300;
  for (const Vec3& l : axes) {
    double len = Length(l);
    if (len < 1e-9) continue;
    double ra = 0, rb = 0;
    for (int c = 0; c < 3; ++c) {
      ra += ha[c] * std::fabs(Dot(l, axes[c]));
      rb += hb[c] * std::fabs(Dot(l, axes[3 + c]));
    }
    best = std::max(best, (std::fabs(Dot(l, d)) - ra - rb) / len);
  }
  return best;
}

// A point lies in a placed box (with a small tolerance).
inline bool PointInBox(const Vec3& p, const Vec3& half, const CollisionTransform& t, double tol = 1e-7) {
  CollisionTransform inv;
  InvertTransform(inv, t);
  Vec3 local = inv.Apply(p);
  for (int i = 0; i < 3; ++i)
    if (std::fabs(local[i]) > half[i] + tol) return false;
  return true;
}
