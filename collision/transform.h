#pragma once
#include <cstdint>

#include "collision/vec3.h"

// 3x3 double matrix, row-major: element (r, c) is m[3r + c].
struct Mat3 {
  double m[9];
  double operator()(int r, int c) const { return m[3 * r + c]; }
  double& operator()(int r, int c) { return m[3 * r + c]; }
  Vec3 Row(int r) const { return {m[3 * r], m[3 * r + 1], m[3 * r + 2]}; }
};

// What has been composed into a transform; only the scaling bit is ever tested.
inline constexpr int32_t kTransformTranslation = 1;
inline constexpr int32_t kTransformRotation = 2;
inline constexpr int32_t kTransformScaling = 4;

// Placement of a shape: T(p) = basis x p + origin.
struct CollisionTransform {
  Mat3 basis;
  Vec3 origin;
  int32_t kind = 0;

  Vec3 Apply(const Vec3& p) const {
    return {basis.m[0] * p.x + basis.m[1] * p.y + basis.m[2] * p.z + origin.x,
            basis.m[3] * p.x + basis.m[4] * p.y + basis.m[5] * p.z + origin.y,
            basis.m[6] * p.x + basis.m[7] * p.y + basis.m[8] * p.z + origin.z};
  }
};

Mat3 MatrixProduct(const Mat3& a, const Mat3& b);
Mat3 MatrixTransposeProduct(const Mat3& a, const Mat3& b);
void MatrixMultiplyInPlace(Mat3& m, const Mat3& b);
Vec3 MatrixTimesVector(const Mat3& m, const Vec3& v);
// transpose(m) x v: a direction given in the parent frame expressed in the placed frame.
inline Vec3 MatrixTransposeTimesVector(const Mat3& m, const Vec3& v) {
  return {m.m[0] * v.x + m.m[3] * v.y + m.m[6] * v.z, m.m[1] * v.x + m.m[4] * v.y + m.m[7] * v.z,
          m.m[2] * v.x + m.m[5] * v.y + m.m[8] * v.z};
}
Mat3 MatrixTransposed(const Mat3& m);
Mat3 MatrixInverse(const Mat3& m);
Mat3 MatrixFromQuaternion(const double q[4]);
Mat3 MatrixDiagonal(double x, double y, double z);
Mat3 MatrixIdentity();
double MatrixDeterminant(const Mat3& m);

void SetTransformIdentity(CollisionTransform& t);
void SetTransformFromMatrixF(CollisionTransform& t, const float m[16]);
void SetTransformFromMatrixD(CollisionTransform& t, const double m[16]);
void MultiplyTransform(CollisionTransform& t, const CollisionTransform& other);
void TranslateTransform(CollisionTransform& t, const Vec3& v);
void RotateTransform(CollisionTransform& t, const double q[4]);
void ScaleTransform(CollisionTransform& t, double x, double y, double z);
void InvertTransform(CollisionTransform& t, const CollisionTransform& source);
void ComposeTransforms(CollisionTransform& t, const CollisionTransform& a, const CollisionTransform& b);
// t = a inverted times b: the placement of b seen from a's frame.
void ComposeInverseTransform(CollisionTransform& t, const CollisionTransform& a, const CollisionTransform& b);

// False for a transform with a non-finite element or a (nearly) singular basis: such a
// placement never collides, so no test has to divide by its determinant.
bool TransformUsable(const CollisionTransform& t);
