// Single-precision matrix maths and quaternions against worked values and identities.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/math3d.h"

namespace {

constexpr float kHalfPi = 1.5707963f;

void ExpectNear3(const float* got, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(got[0], x, tol);
  EXPECT_NEAR(got[1], y, tol);
  EXPECT_NEAR(got[2], z, tol);
}

void ExpectMatrixNear(const float* a, const float* b, float tol = 1e-5f) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

// A general affine placement: turned about all three axes, scaled and moved.
void SamplePlacement(float m[16]) {
  float x[16], y[16], z[16], t[16];
  BuildRotationXMatrix(x, 0.3f);
  BuildRotationYMatrix(y, -1.1f);
  BuildRotationZMatrix(z, 2.0f);
  MultiplyMatrix4x4(t, x, y);
  MultiplyMatrix4x4(m, t, z);
  for (int i = 0; i < 3; ++i) m[i] *= 2.0f;  // stretch x
  m[12] = 4, m[13] = -5, m[14] = 6;
}

TEST(Math3d, RotationsTurnTheAxesAsDocumented) {
  struct Case {
    void (*build)(float*, float);
    float in[3], out[3];
  } cases[] = {
      {BuildRotationZMatrix, {1, 0, 0}, {0, 1, 0}},
      {BuildRotationYMatrix, {0, 0, 1}, {1, 0, 0}},
      {BuildRotationXMatrix, {0, 1, 0}, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    float m[16], p[3];
    c.build(m, kHalfPi);
    ASSERT_EQ(TransformPointProjected(p, c.in, m), kMathOk);
    ExpectNear3(p, c.out[0], c.out[1], c.out[2]);
  }
}

TEST(Math3d, ProductAppliesTheLeftMatrixFirstAndMayOverwriteItsInputs) {
  float rz[16], tr[16], m[16], p[3];
  BuildRotationZMatrix(rz, kHalfPi);
  SetMatrixIdentity(tr);
  tr[12] = 10;
  MultiplyMatrix4x4(m, rz, tr);  // turn, then move
  const float one[3] = {1, 0, 0};
  TransformPointProjected(p, one, m);
  ExpectNear3(p, 10, 1, 0);
  MultiplyMatrix4x4(rz, rz, tr);  // out aliases a
  ExpectMatrixNear(rz, m);
  MultiplyMatrix4x4(tr, m, tr);  // out aliases b
  TransformPointProjected(p, one, tr);
  ExpectNear3(p, 20, 1, 0);
}

TEST(Math3d, AffineInverseUndoesThePlacement) {
  float m[16], inv[16], prod[16], id[16];
  SamplePlacement(m);
  ASSERT_EQ(InvertAffineMatrix(inv, m), kMathOk);
  MultiplyMatrix4x4(prod, m, inv);
  SetMatrixIdentity(id);
  ExpectMatrixNear(prod, id);
  // In place: every input is read before the first output is written.
  ASSERT_EQ(InvertAffineMatrix(m, m), kMathOk);
  ExpectMatrixNear(m, inv, 0);
}

TEST(Math3d, DegenerateInputsFailAndLeaveTheOutputAlone) {
  float out[16], proj[16], singular[16], p[3] = {7, 7, 7};
  SetMatrixIdentity(out);
  ASSERT_EQ(BuildProjectionMatrix(proj, 1.0f, 1.0f, 1.0f, 100.0f), kMathOk);
  EXPECT_EQ(InvertAffineMatrix(out, proj), kMathInvalidArg);  // element (2,3) is 1
  SetMatrixIdentity(singular);
  singular[10] = 0;
  EXPECT_EQ(InvertAffineMatrix(out, singular), kMathInvalidArg);
  EXPECT_EQ(BuildProjectionMatrix(out, 1.0f, 1.0f, 1.0f, 1.005f), kMathInvalidArg);
  EXPECT_EQ(BuildProjectionMatrix(out, 0.0f, 1.0f, 1.0f, 100.0f), kMathInvalidArg);
  const float eye[3] = {1, 2, 3}, up[3] = {0, 1, 0};
  EXPECT_EQ(BuildLookAtMatrix(out, eye, eye, up), kMathInvalidArg);
  const float far[3] = {0, 0, 1e9f};
  float zeroW[16] = {};
  EXPECT_EQ(TransformPointProjected(p, far, zeroW), kMathInvalidArg);
  float id[16];
  SetMatrixIdentity(id);
  ExpectMatrixNear(out, id, 0);
  ExpectNear3(p, 7, 7, 7, 0);
}

TEST(Math3d, ProjectionPutsNearAndFarAtDepthZeroAndOne) {
  float proj[16], p[3];
  ASSERT_EQ(BuildProjectionMatrix(proj, kHalfPi, 0.75f, 1.0f, 101.0f), kMathOk);
  EXPECT_NEAR(proj[0], 0.75f, 1e-6f);
  EXPECT_NEAR(proj[5], 1.0f, 1e-6f);
  const float nearPt[3] = {0, 0, 1}, farPt[3] = {3, 0, 101};
  TransformPointProjected(p, nearPt, proj);
  EXPECT_NEAR(p[2], 0.0f, 1e-5f);
  TransformPointProjected(p, farPt, proj);
  EXPECT_NEAR(p[2], 1.0f, 1e-5f);
  EXPECT_NEAR(p[0], 3 * 0.75f / 101, 1e-6f);
}

TEST(Math3d, LookAtPutsTheTargetOnThePositiveZAxis) {
  struct Case {
    float eye[3], at[3], up[3];
  } cases[] = {
      {{1, 2, 3}, {4, 2, 7}, {0, 1, 0}},
      {{0, 10, 0}, {0, 0, 0}, {0, 1, 0}},  // straight down the up axis: fallback up vector
      {{0, 0, 0}, {0, 5, 0}, {0, 1, 0}},   // straight up
  };
  for (const Case& c : cases) {
    float v[16], p[3], inv[16];
    ASSERT_EQ(BuildLookAtMatrix(v, c.eye, c.at, c.up), kMathOk);
    TransformPointProjected(p, c.at, v);
    const float d = std::sqrt((c.at[0] - c.eye[0]) * (c.at[0] - c.eye[0]) + (c.at[1] - c.eye[1]) * (c.at[1] - c.eye[1]) +
                              (c.at[2] - c.eye[2]) * (c.at[2] - c.eye[2]));
    ExpectNear3(p, 0, 0, d, 1e-4f);
    ASSERT_EQ(InvertAffineMatrix(inv, v), kMathOk);  // orthonormal, so invertible
    TransformPointProjected(p, c.eye, v);
    ExpectNear3(p, 0, 0, 0, 1e-4f);
  }
  float v[16];
  const float eye[3] = {0, 0, 0}, at[3] = {0, 0, 1}, up[3] = {0, 1, 0};
  BuildLookAtMatrix(v, eye, at, up);
  float id[16];
  SetMatrixIdentity(id);
  ExpectMatrixNear(v, id);
}

TEST(Math3d, OrientedBoxesOverlapUntilSeparated) {
  OrientedBox a{{0, 0, 0}, {0.5f, 0.5f, 0.5f}, {}}, b = a;
  SetMatrixIdentity(a.matrix);
  SetMatrixIdentity(b.matrix);
  struct Case {
    float centreB[3];
    float turnB;
    int32_t overlap;
  } cases[] = {
      {{1, 0, 0}, 0, 1},           // touching faces count
      {{1.001f, 0, 0}, 0, 0},
      {{0, 0, -1.2f}, 0.7853982f, 0},
      {{1.2f, 0, 0}, 0.7853982f, 1},  // turned 45 degrees, a corner reaches 0.2071 into A
      {{1.3f, 1.3f, 0}, 0.7853982f, 0},  // separated only along an edge-edge or B axis
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 3; ++i) b.centre[i] = c.centreB[i];
    BuildRotationZMatrix(b.matrix, c.turnB);
    EXPECT_EQ(OrientedBoxesOverlap(a, b), c.overlap) << c.centreB[0] << "," << c.centreB[1];
    EXPECT_EQ(OrientedBoxesOverlap(b, a), c.overlap);
  }
  float flat[16];
  SetMatrixIdentity(flat);
  flat[0] = 0;
  float axes[9];
  EXPECT_EQ(BoxAxesFromMatrix(flat, axes), 0);
}

TEST(Math3d, QuaternionsComposeAndRoundTripThroughMatrices) {
  const float z[3] = {0, 0, 2};
  const Quaternion q90 = QuaternionFromRotation(z, kHalfPi);
  const Quaternion q180 = QuaternionMultiply(q90, q90);
  EXPECT_NEAR(q180.w, 0, 1e-6f);
  EXPECT_NEAR(q180.z, 1, 1e-6f);
  // The matrix acts on column vectors entry by entry: x goes to y.
  float m[16];
  MatrixFromQuaternion(m, q90);
  EXPECT_NEAR(m[4 * 1 + 0], 1, 1e-6f);
  EXPECT_NEAR(m[4 * 0 + 1], -1, 1e-6f);
  // Round trips through both branches of the conversion (large and small trace).
  const float axis[3] = {1, -2, 0.5f};
  for (float angle : {0.0f, 0.4f, 2.0f, 3.1f, -2.9f}) {
    const Quaternion q = QuaternionFromRotation(axis, angle);
    float r[16], back[16];
    MatrixFromQuaternion(r, q);
    MatrixFromQuaternion(back, QuaternionFromRotationMatrix(r));
    ExpectMatrixNear(back, r);
    float id[16], t[16], prod[16];
    SetMatrixIdentity(id);
    for (int i = 0; i < 16; ++i) t[i] = r[4 * (i % 4) + i / 4];  // transpose = inverse
    MultiplyMatrix4x4(prod, r, t);
    ExpectMatrixNear(prod, id);
  }
  const float none[3] = {0, 0, 0};
  const Quaternion still = QuaternionFromRotation(none, 1.0f);
  EXPECT_EQ(still.w, 1.0f);
}

TEST(Math3d, SlerpFollowsTheShorterArcAtConstantSpeed) {
  const float z[3] = {0, 0, 1};
  const Quaternion a = QuaternionFromRotation(z, 0.0f), b = QuaternionFromRotation(z, 2.0f);
  const Quaternion half = QuaternionSlerp(a, b, 0.5f), expect = QuaternionFromRotation(z, 1.0f);
  EXPECT_NEAR(half.w, expect.w, 1e-6f);
  EXPECT_NEAR(half.z, expect.z, 1e-6f);
  Quaternion negB{-b.w, -b.x, -b.y, -b.z};  // the same turn written the long way round
  const Quaternion viaNeg = QuaternionSlerp(a, negB, 0.5f);
  EXPECT_NEAR(std::fabs(viaNeg.w), expect.w, 1e-6f);
  EXPECT_NEAR(std::fabs(viaNeg.z), expect.z, 1e-6f);
  const Quaternion same = QuaternionSlerp(b, b, 0.3f);
  EXPECT_NEAR(same.w, b.w, 1e-6f);
  const Quaternion end = QuaternionSlerp(a, b, 1.0f);
  EXPECT_NEAR(end.z, b.z, 1e-6f);
}

}  // namespace
