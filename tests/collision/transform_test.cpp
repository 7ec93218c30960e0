#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "collision/transform.h"
#include "collision_test_util.h"

namespace {

void ExpectNear(const CollisionTransform& a, const CollisionTransform& b, double tol = 1e-12) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.basis.m[i], b.basis.m[i], tol) << "element " << i;
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a.origin[i], b.origin[i], tol);
}

CollisionTransform Identity() {
  CollisionTransform t;
  SetTransformIdentity(t);
  return t;
}

TEST(CollisionTransform, QuaternionRowsAsGiven) {
  const double unit[4] = {0, 0, 0, 1};
  Mat3 id = MatrixFromQuaternion(unit);
  for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(id.m[i], i % 4 == 0 ? 1.0 : 0.0);
  double theta = 0.7;
  const double q[4] = {0, 0, std::sin(theta / 2), std::cos(theta / 2)};
  Mat3 r = MatrixFromQuaternion(q);
  EXPECT_NEAR(r(0, 0), std::cos(theta), 1e-15);
  EXPECT_NEAR(r(0, 1), std::sin(theta), 1e-15);
  EXPECT_NEAR(r(0, 2), 0, 1e-15);
  EXPECT_NEAR(r(1, 0), -std::sin(theta), 1e-15);
  // Not normalised: the same rotation.
  const double q2[4] = {0, 0, 3 * std::sin(theta / 2), 3 * std::cos(theta / 2)};
  Mat3 r2 = MatrixFromQuaternion(q2);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(r.m[i], r2.m[i], 1e-15);
}

TEST(CollisionTransform, MatrixImportIsColumnOrder) {
  double m[16];
  for (int i = 0; i < 16; ++i) m[i] = i + 1;
  CollisionTransform t;
  SetTransformFromMatrixD(t, m);
  EXPECT_EQ(t.basis(0, 1), 5);  // row 0 of column 1 is element 4
  EXPECT_EQ(t.basis(2, 0), 3);
  EXPECT_EQ(t.origin.x, 13);
  EXPECT_EQ(t.origin.z, 15);
  EXPECT_EQ(t.kind, 7);
  float f[16];
  for (int i = 0; i < 16; ++i) f[i] = float(i) + 0.5f;
  SetTransformFromMatrixF(t, f);
  EXPECT_EQ(t.basis(1, 2), 9.5);
  EXPECT_EQ(t.origin.y, 13.5);
}

TEST(CollisionTransform, TranslateAfterRotateMovesAlongRotatedAxes) {
  CollisionTransform t = Identity();
  const double q[4] = {0, 0, std::sin(M_PI / 4), std::cos(M_PI / 4)};  // 90 degrees about z
  RotateTransform(t, q);
  TranslateTransform(t, {1, 0, 0});
  // The placed x axis is column 0 of the basis.
  EXPECT_NEAR(t.origin.x, t.basis(0, 0), 1e-15);
  EXPECT_NEAR(t.origin.y, t.basis(1, 0), 1e-15);
  EXPECT_NEAR(std::fabs(t.origin.y), 1, 1e-15);
  EXPECT_EQ(t.kind, kTransformTranslation | kTransformRotation);
}

TEST(CollisionTransform, ComposeWithIdentityAndInverse) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 50; ++round) {
    for (bool scaled : {false, true}) {
      CollisionTransform t = RandomPlacement(rng, 10, scaled);
      EXPECT_EQ(bool(t.kind & kTransformScaling), scaled);
      CollisionTransform c;
      ComposeTransforms(c, Identity(), t);
      ExpectNear(c, t);
      ComposeTransforms(c, t, Identity());
      ExpectNear(c, t);
      CollisionTransform inv;
      InvertTransform(inv, t);
      ComposeTransforms(c, t, inv);
      ExpectNear(c, Identity(), 1e-11);
      // a inverted times b, both ways of inverting.
      CollisionTransform b = RandomPlacement(rng, 10, !scaled), rel, expect;
      ComposeInverseTransform(rel, t, b);
      ComposeTransforms(expect, inv, b);
      ExpectNear(rel, expect, 1e-10);
    }
  }
}

TEST(CollisionTransform, ScalingSelectsFullInverse) {
  CollisionTransform t = Identity();
  ScaleTransform(t, 2, 4, 8);
  EXPECT_TRUE(t.kind & kTransformScaling);
  CollisionTransform inv;
  InvertTransform(inv, t);
  EXPECT_DOUBLE_EQ(inv.basis(0, 0), 0.5);
  EXPECT_DOUBLE_EQ(inv.basis(2, 2), 0.125);
  // Without the bit the basis is taken as orthonormal and transposed.
  t.kind = 0;
  InvertTransform(inv, t);
  EXPECT_DOUBLE_EQ(inv.basis(0, 0), 2);
}

TEST(CollisionTransform, MultiplyComposesOriginThenBasis) {
  CollisionTransform t = Identity();
  ScaleTransform(t, 2, 2, 2);
  double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
  CollisionTransform other;
  SetTransformFromMatrixD(other, m);
  MultiplyTransform(t, other);
  EXPECT_EQ(t.origin.x, 2);
  EXPECT_EQ(t.origin.z, 6);
  EXPECT_EQ(t.basis(1, 1), 2);
  EXPECT_EQ(t.kind, 7);
}

TEST(CollisionTransform, UsableRejectsSingularAndNonFinite) {
  CollisionTransform t = Identity();
  EXPECT_TRUE(TransformUsable(t));
  ScaleTransform(t, 1e-3, 1, 1);
  EXPECT_TRUE(TransformUsable(t));
  ScaleTransform(t, 0, 1, 1);
  EXPECT_FALSE(TransformUsable(t));
  t = Identity();
  t.origin.y = NAN;
  EXPECT_FALSE(TransformUsable(t));
  t = Identity();
  t.basis(1, 2) = INFINITY;
  EXPECT_FALSE(TransformUsable(t));
  t = Identity();
  t.basis(1, 0) = 1;  // a shear is still usable
  EXPECT_TRUE(TransformUsable(t));
  t.basis(1, 1) = 0;  // row 1 equals row 0
  EXPECT_FALSE(TransformUsable(t));
}

}  // namespace
