#include "scene3d/matrix4d.h"

#include <cmath>

namespace {

constexpr double kPi = 3.141592653589793;

// Every row (a, b) = (M[i][p], M[i][q]) becomes (c a + s b, -s a + c b).
void RotateColumns(Matrix4d& m, int p, int q, double c, double s) {
  for (int i = 0; i < 4; ++i) {
    const double a = m.At(i, p), b = m.At(i, q);
    m.At(i, p) = c * a + s * b;
    m.At(i, q) = -s * a + c * b;
  }
}

void TranslateColumn(Matrix4d& m, int column, double t) {
  for (int i = 0; i < 4; ++i) m.At(i, 3) += t * m.At(i, column);
}

}  // namespace

void SetMatrix4dIdentity(Matrix4d& m) {
  for (int i = 0; i < 16; ++i) m.m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

Matrix4d MultiplyMatrix4d(const Matrix4d& a, const Matrix4d& b) {
  Matrix4d r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.At(i, j) = a.At(i, 0) * b.At(0, j) + a.At(i, 1) * b.At(1, j) + a.At(i, 2) * b.At(2, j) + a.At(i, 3) * b.At(3, j);
  return r;
}

Vector4d TransformVector4d(const Matrix4d& m, const Vector4d& v) {
  Vector4d r;
  for (int i = 0; i < 4; ++i) r[i] = m.At(i, 0) * v.x + m.At(i, 1) * v.y + m.At(i, 2) * v.z + m.At(i, 3) * v.w;
  return r;
}

void RotateMatrix4dX(Matrix4d& m, double degrees) {
  const double a = MatrixDegreesToRadians(degrees);
  RotateColumns(m, 1, 2, std::cos(a), std::sin(a));
}

// The Y turn is the X and Z form with the sine negated: M[i][0] = c a - s b, M[i][2] = s a + c b.
void RotateMatrix4dY(Matrix4d& m, double degrees) {
  const double a = MatrixDegreesToRadians(degrees);
  RotateColumns(m, 0, 2, std::cos(a), -std::sin(a));
}

void RotateMatrix4dZ(Matrix4d& m, double degrees) {
  const double a = MatrixDegreesToRadians(degrees);
  RotateColumns(m, 0, 1, std::cos(a), std::sin(a));
}

void TranslateMatrix4dX(Matrix4d& m, double t) { TranslateColumn(m, 0, t); }
void TranslateMatrix4dY(Matrix4d& m, double t) { TranslateColumn(m, 1, t); }
void TranslateMatrix4dZ(Matrix4d& m, double t) { TranslateColumn(m, 2, t); }

Vector4d CrossVector4d(const Vector4d& a, const Vector4d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0};
}

Vector4d NegateVector4d(const Vector4d& v) { return {-v.x, -v.y, -v.z, 0}; }

void NormaliseVector4d(Vector4d& v) {
  const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(len > 0.0)) return;
  v.x /= len;
  v.y /= len;
  v.z /= len;
}

Matrix4d BuildViewMatrix(const Vector4d& eye, const Vector4d& f, const Vector4d& u) {
  Matrix4d m;
  SetMatrix4dIdentity(m);
  TranslateMatrix4dX(m, -eye.x);
  TranslateMatrix4dY(m, -eye.y);
  TranslateMatrix4dZ(m, -eye.z);
  const Vector4d r = NegateVector4d(CrossVector4d(f, u));
  const Vector4d s = CrossVector4d(r, f);
  Matrix4d rows;
  SetMatrix4dIdentity(rows);
  const Vector4d* axes[3] = {&r, &s, &f};
  for (int i = 0; i < 3; ++i)
    for (int c = 0; c < 3; ++c) rows.At(i, c) = (*axes[i])[c];
  return MultiplyMatrix4d(rows, m);
}

double MatrixDegreesToRadians(double degrees) { return degrees / 360.0 * kPi * 2.0; }
double DegToRad(double degrees) { return degrees * 0.01745; }
double RadToDeg(double radians) { return radians * 57.306590257879655; }
