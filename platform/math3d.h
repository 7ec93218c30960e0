#pragma once
#include <cstdint>

// Single-precision 3D maths shared by the models, the scene and the 3D device.
//
// A matrix is 16 floats, row-major: element (r, c) at index 4r + c. Points are row vectors on
// the left (p' = p x M), so the translation sits in elements 12, 13, 14, an affine matrix has
// column 3 = (0, 0, 0, 1), and A x B applies A first. Sums are formed in double precision and
// stored as floats, except in the product, the affine inverse and the spherical interpolation,
// which run per node and frame and stay in single precision. Results: kMathOk, or
// kMathInvalidArg for a degenerate input, in which case the output is left as it was.

inline constexpr int32_t kMathOk = 0;
inline constexpr int32_t kMathInvalidArg = int32_t(0x80070057u);

void SetMatrixIdentity(float m[16]);

namespace math3d_detail {
typedef float F4 __attribute__((vector_size(16)));
inline F4 Load4(const float* p) {
  F4 v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
inline F4 Row(F4 a, F4 b0, F4 b1, F4 b2, F4 b3) { return (a[0] * b0 + a[1] * b1) + (a[2] * b2 + a[3] * b3); }
}  // namespace math3d_detail

// out = a x b; out may be a or b.
inline void MultiplyMatrix4x4(float out[16], const float a[16], const float b[16]) {
  using namespace math3d_detail;
  const F4 b0 = Load4(b), b1 = Load4(b + 4), b2 = Load4(b + 8), b3 = Load4(b + 12);
  const F4 r0 = Row(Load4(a), b0, b1, b2, b3), r1 = Row(Load4(a + 4), b0, b1, b2, b3);
  const F4 r2 = Row(Load4(a + 8), b0, b1, b2, b3), r3 = Row(Load4(a + 12), b0, b1, b2, b3);
  __builtin_memcpy(out, &r0, 16);
  __builtin_memcpy(out + 4, &r1, 16);
  __builtin_memcpy(out + 8, &r2, 16);
  __builtin_memcpy(out + 12, &r3, 16);
}
// Fails when m is not affine or its 3x3 block is singular. out may be m.
int32_t InvertAffineMatrix(float out[16], const float m[16]);
// out = (p x m) / w; fails when |w| < 0.00001. out may be in.
int32_t TransformPointProjected(float out[3], const float in[3], const float m[16]);
int32_t BuildProjectionMatrix(float out[16], float fieldOfView, float aspect, float zNear, float zFar);
// A view matrix: the eye at the origin looking along +z, world up kept as near +y as it can be.
int32_t BuildLookAtMatrix(float out[16], const float eye[3], const float at[3], const float worldUp[3]);
// Positive angles (radians) turn +y toward +z (X), +z toward +x (Y), +x toward +y (Z).
void BuildRotationXMatrix(float out[16], float angle);
void BuildRotationYMatrix(float out[16], float angle);
void BuildRotationZMatrix(float out[16], float angle);

float* SubtractVector3InPlace(float a[3], const float b[3]);
float* Vec3AddInPlace(float a[3], const float b[3]);
float DotProduct3(const float a[3], const float b[3]);
float AbsFloat(float value);

// The three unit axes (9 floats) of a box placed by m; 0 when m cannot place points.
int32_t BoxAxesFromMatrix(const float m[16], float axes[9]);
struct OrientedBox {
  float centre[3];
  float half[3];
  float matrix[16];
};
// Separating-axis test on 15 axes; touching boxes overlap (1), separated ones give 0.
int32_t OrientedBoxesOverlap(const OrientedBox& a, const OrientedBox& b);
int32_t TestOrientedBoxOverlap(const float centreA[3], const float halfA[3], const float axesA[9],
                               const float centreB[3], const float halfB[3], const float axesB[9]);

// Unit quaternions with the scalar first, as the animation keys store them.
struct Quaternion {
  float w = 1, x = 0, y = 0, z = 0;
};
// A turn of angle radians about axis (normalised here; a zero axis gives no turn).
Quaternion QuaternionFromRotation(const float axis[3], float angle);
// The product a x b (Hamilton).
Quaternion QuaternionMultiply(const Quaternion& a, const Quaternion& b);
// Spherical interpolation from a (alpha 0) to b (alpha 1) along the shorter arc.
Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b, float alpha);
// The rotation matrix whose element (r, c) is entry (r, c) of q's rotation acting on column
// vectors; column 3 and row 3 are those of the identity.
void MatrixFromQuaternion(float out[16], const Quaternion& q);
// The inverse of MatrixFromQuaternion for a rotation matrix m (its 4x4 trace is used, so
// element 15 must be 1); computed in double precision.
Quaternion QuaternionFromRotationMatrix(const float m[16]);
