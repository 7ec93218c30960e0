#pragma once

// Double-precision 4x4 matrices and four-component vectors for the 3D maths expressions.
// Element (r, c) of a matrix is entry 4r + c; a vector is a column (result[i] = sum over k of
// M[i][k] x v[k]). Angles are degrees. No state, no failure paths.

struct Matrix4d {
  double m[16];
  double& At(int r, int c) { return m[4 * r + c]; }
  double At(int r, int c) const { return m[4 * r + c]; }
};

struct Vector4d {
  double x = 0, y = 0, z = 0, w = 0;
  double& operator[](int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
  double operator[](int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
};

void SetMatrix4dIdentity(Matrix4d& m);
Matrix4d MultiplyMatrix4d(const Matrix4d& a, const Matrix4d& b);
Vector4d TransformVector4d(const Matrix4d& m, const Vector4d& v);
// In-place turns of every row by the angle (degrees).
void RotateMatrix4dX(Matrix4d& m, double degrees);
void RotateMatrix4dY(Matrix4d& m, double degrees);
void RotateMatrix4dZ(Matrix4d& m, double degrees);
// In place, for every row i: M[i][3] += t x M[i][0] (X), M[i][1] (Y) or M[i][2] (Z).
void TranslateMatrix4dX(Matrix4d& m, double t);
void TranslateMatrix4dY(Matrix4d& m, double t);
void TranslateMatrix4dZ(Matrix4d& m, double t);

inline Vector4d MakeVector4d() { return {}; }
inline Vector4d MakePoint4d() { return {0, 0, 0, 1}; }
inline Vector4d MakeDirection4d(double x, double y, double z) { return {x, y, z, 0}; }
Vector4d CrossVector4d(const Vector4d& a, const Vector4d& b);
Vector4d NegateVector4d(const Vector4d& v);
// x, y, z divided by their length; w untouched. The zero vector stays as it is.
void NormaliseVector4d(Vector4d& v);

// The view matrix of an eye looking along f with up u (neither normalised).
Matrix4d BuildViewMatrix(const Vector4d& eye, const Vector4d& f, const Vector4d& u);

// degrees / 360 x pi x 2.
double MatrixDegreesToRadians(double degrees);
// The expressions' own factors: x 0.01745 and its reciprocal x 57.306590257879655.
double DegToRad(double degrees);
double RadToDeg(double radians);
