#include "collision/transform.h"

#include <cmath>

Mat3 MatrixProduct(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r(i, j) = a(i, 0) * b(0, j) + a(i, 1) * b(1, j) + a(i, 2) * b(2, j);
  return r;
}

Mat3 MatrixTransposeProduct(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r(i, j) = a(0, i) * b(0, j) + a(1, i) * b(1, j) + a(2, i) * b(2, j);
  return r;
}

void MatrixMultiplyInPlace(Mat3& m, const Mat3& b) { m = MatrixProduct(m, b); }

Vec3 MatrixTimesVector(const Mat3& m, const Vec3& v) {
  return {m.m[0] * v.x + m.m[1] * v.y + m.m[2] * v.z, m.m[3] * v.x + m.m[4] * v.y + m.m[5] * v.z,
          m.m[6] * v.x + m.m[7] * v.y + m.m[8] * v.z};
}

Mat3 MatrixTransposed(const Mat3& m) {
  return {{m.m[0], m.m[3], m.m[6], m.m[1], m.m[4], m.m[7], m.m[2], m.m[5], m.m[8]}};
}

Mat3 MatrixInverse(const Mat3& m) {
  double c0 = m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1);
  double c1 = m(1, 2) * m(2, 0) - m(1, 0) * m(2, 2);
  double c2 = m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0);
  double s = 1.0 / (m(0, 0) * c0 + m(0, 1) * c1 + m(0, 2) * c2);
  return {{c0 * s, (m(0, 2) * m(2, 1) - m(0, 1) * m(2, 2)) * s, (m(0, 1) * m(1, 2) - m(0, 2) * m(1, 1)) * s,
           c1 * s, (m(0, 0) * m(2, 2) - m(0, 2) * m(2, 0)) * s, (m(0, 2) * m(1, 0) - m(0, 0) * m(1, 2)) * s,
           c2 * s, (m(0, 1) * m(2, 0) - m(0, 0) * m(2, 1)) * s, (m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0)) * s}};
}

double MatrixDeterminant(const Mat3& m) {
  return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) + m(0, 1) * (m(1, 2) * m(2, 0) - m(1, 0) * m(2, 2)) +
         m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
}

Mat3 MatrixFromQuaternion(const double q[4]) {
  double x = q[0], y = q[1], z = q[2], w = q[3];
  double s = 2.0 / (x * x + y * y + z * z + w * w);
  double xs = x * s, ys = y * s, zs = z * s;
  double wx = w * xs, wy = w * ys, wz = w * zs;
  double xx = x * xs, xy = x * ys, xz = x * zs;
  double yy = y * ys, yz = y * zs, zz = z * zs;
  return {{1.0 - (yy + zz), xy + wz, xz - wy, xy - wz, 1.0 - (xx + zz), yz + wx, xz + wy, yz - wx,
           1.0 - (xx + yy)}};
}

Mat3 MatrixDiagonal(double x, double y, double z) { return {{x, 0, 0, 0, y, 0, 0, 0, z}}; }

Mat3 MatrixIdentity() { return MatrixDiagonal(1, 1, 1); }

void SetTransformIdentity(CollisionTransform& t) {
  t.basis = MatrixIdentity();
  t.origin = {0, 0, 0};
  t.kind = 0;
}

template <class T>
static void SetFromMatrix(CollisionTransform& t, const T m[16]) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) t.basis(r, c) = double(m[4 * c + r]);
  t.origin = {double(m[12]), double(m[13]), double(m[14])};
  t.kind = kTransformTranslation | kTransformRotation | kTransformScaling;
}

void SetTransformFromMatrixF(CollisionTransform& t, const float m[16]) { SetFromMatrix(t, m); }
void SetTransformFromMatrixD(CollisionTransform& t, const double m[16]) { SetFromMatrix(t, m); }

void MultiplyTransform(CollisionTransform& t, const CollisionTransform& other) {
  t.origin += MatrixTimesVector(t.basis, other.origin);
  MatrixMultiplyInPlace(t.basis, other.basis);
  t.kind |= other.kind;
}

void TranslateTransform(CollisionTransform& t, const Vec3& v) {
  t.origin += MatrixTimesVector(t.basis, v);
  t.kind |= kTransformTranslation;
}

void RotateTransform(CollisionTransform& t, const double q[4]) {
  MatrixMultiplyInPlace(t.basis, MatrixFromQuaternion(q));
  t.kind |= kTransformRotation;
}

void ScaleTransform(CollisionTransform& t, double x, double y, double z) {
  MatrixMultiplyInPlace(t.basis, MatrixDiagonal(x, y, z));
  t.kind |= kTransformScaling;
}

void InvertTransform(CollisionTransform& t, const CollisionTransform& source) {
  CollisionTransform r;
  r.basis = (source.kind & kTransformScaling) ? MatrixInverse(source.basis) : MatrixTransposed(source.basis);
  r.origin = -MatrixTimesVector(r.basis, source.origin);
  r.kind = source.kind;
  t = r;
}

void ComposeTransforms(CollisionTransform& t, const CollisionTransform& a, const CollisionTransform& b) {
  CollisionTransform r;
  r.basis = MatrixProduct(a.basis, b.basis);
  r.origin = a.Apply(b.origin);
  r.kind = a.kind | b.kind;
  t = r;
}

void ComposeInverseTransform(CollisionTransform& t, const CollisionTransform& a, const CollisionTransform& b) {
  CollisionTransform r;
  Vec3 d = b.origin - a.origin;
  if (a.kind & kTransformScaling) {
    Mat3 inv = MatrixInverse(a.basis);
    r.basis = MatrixProduct(inv, b.basis);
    r.origin = MatrixTimesVector(inv, d);
  } else {
    r.basis = MatrixTransposeProduct(a.basis, b.basis);
    r.origin = MatrixTransposeTimesVector(a.basis, d);
  }
  r.kind = a.kind | b.kind;
  t = r;
}

bool TransformUsable(const CollisionTransform& t) {
  for (double e : t.basis.m)
    if (!std::isfinite(e)) return false;
  if (!IsFinite(t.origin)) return false;
  // Singular when the volume spanned by the rows is negligible against their lengths.
  double scale = Length(t.basis.Row(0)) * Length(t.basis.Row(1)) * Length(t.basis.Row(2));
  double det = MatrixDeterminant(t.basis);
  if (!std::isfinite(scale) || !std::isfinite(det) || !(std::fabs(det) > 1e-12 * scale)) return false;
  Mat3 inv = MatrixInverse(t.basis);
  return IsFinite(inv.Row(0)) && IsFinite(inv.Row(1)) && IsFinite(inv.Row(2));
}
