// Double-precision matrices and vectors of the 3D maths expressions.
#include <gtest/gtest.h>

#include "scene3d/matrix4d.h"

namespace {

TEST(Matrix4d, ViewMatrixOfTheDefaultCamera) {
  const Matrix4d v = BuildViewMatrix(MakePoint4d(), MakeDirection4d(0, 0, 1), MakeDirection4d(0, 1, 0));
  const double expect[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) EXPECT_DOUBLE_EQ(v.m[i], expect[i]) << i;
  // The eye goes into the last column, turned by the rows.
  const Matrix4d moved = BuildViewMatrix({1, 2, 3, 1}, MakeDirection4d(0, 0, 1), MakeDirection4d(0, 1, 0));
  const Vector4d eyeSeen = TransformVector4d(moved, {1, 2, 3, 1});
  EXPECT_DOUBLE_EQ(eyeSeen.x, 0);
  EXPECT_DOUBLE_EQ(eyeSeen.y, 0);
  EXPECT_DOUBLE_EQ(eyeSeen.z, 0);
  EXPECT_DOUBLE_EQ(moved.At(1, 3), 2);  // row 1 is (0, -1, 0): -(-2)
}

TEST(Matrix4d, RotationsAndTranslationsActOnColumnVectors) {
  struct Case {
    void (*turn)(Matrix4d&, double);
    Vector4d in, out;
  } cases[] = {
      {RotateMatrix4dX, {0, 1, 0, 0}, {0, 0, 1, 0}},
      {RotateMatrix4dY, {1, 0, 0, 0}, {0, 0, -1, 0}},
      {RotateMatrix4dZ, {1, 0, 0, 0}, {0, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    Matrix4d m;
    SetMatrix4dIdentity(m);
    c.turn(m, 90);
    const Vector4d r = TransformVector4d(m, c.in);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(r[i], c.out[i], 1e-12) << i;
  }
  Matrix4d m;
  SetMatrix4dIdentity(m);
  TranslateMatrix4dX(m, 2);
  TranslateMatrix4dY(m, 3);
  TranslateMatrix4dZ(m, 4);
  const Vector4d p = TransformVector4d(m, {1, 1, 1, 1}), d = TransformVector4d(m, MakeDirection4d(1, 1, 1));
  EXPECT_EQ(p.x, 3);
  EXPECT_EQ(p.z, 5);
  EXPECT_EQ(d.y, 1);  // directions do not move
  Matrix4d id;
  SetMatrix4dIdentity(id);
  const Matrix4d prod = MultiplyMatrix4d(m, id);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(prod.m[i], m.m[i]);
}

TEST(Matrix4d, VectorsAndTheExpressionsDegreeFactors) {
  const Vector4d c = CrossVector4d({1, 0, 0, 7}, {0, 1, 0, 7});
  EXPECT_EQ(c.z, 1);
  EXPECT_EQ(c.w, 0);
  Vector4d n{3, 0, 4, 9};
  NormaliseVector4d(n);
  EXPECT_DOUBLE_EQ(n.x, 0.6);
  EXPECT_EQ(n.w, 9);
  Vector4d zero = MakeVector4d();
  NormaliseVector4d(zero);
  EXPECT_EQ(zero.x, 0);
  EXPECT_EQ(NegateVector4d({1, 2, 3, 1}).w, 0);
  EXPECT_NEAR(RadToDeg(DegToRad(90)), 90, 1e-9);
  EXPECT_DOUBLE_EQ(DegToRad(180), 3.141);
  EXPECT_DOUBLE_EQ(MatrixDegreesToRadians(180), 3.141592653589793);
}

}  // namespace
