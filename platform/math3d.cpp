#include "platform/math3d.h"

#include <cmath>
#include <cstring>
#include <algorithm>

#include <xmmintrin.h>
#include <emmintrin.h>

namespace {

struct V3 {
  double x, y, z;
};
V3 Load3(const float v[3]) { return {v[0], v[1], v[2]}; }
double Dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(const V3& a, const V3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Sub(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Scale(const V3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Length(const V3& a) { return std::sqrt(Dot(a, a)); }

void BuildRotation(float out[16], float angle, int a, int b) {
  SetMatrixIdentity(out);
  const float c = float(std::cos(double(angle))), s = float(std::sin(double(angle)));
  out[4 * a + a] = c;
  out[4 * a + b] = s;
  out[4 * b + a] = -s;
  out[4 * b + b] = c;
}

}  // namespace

void SetMatrixIdentity(float m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// Single precision, like the product: the inverse is taken per node and frame.
int32_t InvertAffineMatrix(float out[16], const float m[16]) {
  // Column 3 must be (0, 0, 0, 1) within 0.001 (a not-a-number there passes, as it always did).
  const __m128 column = _mm_sub_ps(_mm_set_ps(m[15], m[11], m[7], m[3]), _mm_set_ps(1.0f, 0, 0, 0));
  const __m128 off = _mm_cmpgt_ps(_mm_andnot_ps(_mm_set1_ps(-0.0f), column), _mm_set1_ps(0.001f));
  if (_mm_movemask_ps(off)) return kMathInvalidArg;
  // The inverse of the 3x3 block has the cross products of its rows as columns, divided by the
  // determinant; every lane does the scalar formula's operations in its order.
  const __m128 xyz = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
  const __m128 r0 = _mm_and_ps(_mm_loadu_ps(m), xyz), r1 = _mm_and_ps(_mm_loadu_ps(m + 4), xyz);
  const __m128 r2 = _mm_and_ps(_mm_loadu_ps(m + 8), xyz), t = _mm_loadu_ps(m + 12);
  const auto cross = [](__m128 u, __m128 v) {
    const __m128 uyzx = _mm_shuffle_ps(u, u, _MM_SHUFFLE(3, 0, 2, 1)), uzxy = _mm_shuffle_ps(u, u, _MM_SHUFFLE(3, 1, 0, 2));
    const __m128 vyzx = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 0, 2, 1)), vzxy = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 1, 0, 2));
    return _mm_sub_ps(_mm_mul_ps(uyzx, vzxy), _mm_mul_ps(uzxy, vyzx));
  };
  __m128 c0 = cross(r1, r2), c1 = cross(r2, r0), c2 = cross(r0, r1), c3 = _mm_setzero_ps();
  const __m128 p = _mm_mul_ps(r0, c0);
  const __m128 d = _mm_add_ss(_mm_add_ss(p, _mm_shuffle_ps(p, p, 1)), _mm_shuffle_ps(p, p, 2));
  const float det = _mm_cvtss_f32(d);
  if (!(std::fabs(det) > 0.0f)) return kMathInvalidArg;  // singular, or not a number
  const __m128 r = _mm_set1_ps(1.0f / det);
  _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
  const __m128 i0 = _mm_and_ps(_mm_mul_ps(c0, r), xyz), i1 = _mm_and_ps(_mm_mul_ps(c1, r), xyz);
  const __m128 i2 = _mm_and_ps(_mm_mul_ps(c2, r), xyz);
  const __m128 t0 = _mm_shuffle_ps(t, t, _MM_SHUFFLE(0, 0, 0, 0)), t1 = _mm_shuffle_ps(t, t, _MM_SHUFFLE(1, 1, 1, 1));
  const __m128 t2 = _mm_shuffle_ps(t, t, _MM_SHUFFLE(2, 2, 2, 2));
  const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_mul_ps(t0, i0), _mm_mul_ps(t1, i1)), _mm_mul_ps(t2, i2));
  const __m128 last = _mm_or_ps(_mm_and_ps(_mm_xor_ps(sum, _mm_set1_ps(-0.0f)), xyz), _mm_set_ps(1.0f, 0, 0, 0));
  // Every input is read by now, so out may be m.
  _mm_storeu_ps(out, i0);
  _mm_storeu_ps(out + 4, i1);
  _mm_storeu_ps(out + 8, i2);
  _mm_storeu_ps(out + 12, last);
  return kMathOk;
}

int32_t TransformPointProjected(float out[3], const float in[3], const float m[16]) {
  const double x = in[0], y = in[1], z = in[2];
  const double tx = x * m[0] + y * m[4] + z * m[8] + m[12];
  const double ty = x * m[1] + y * m[5] + z * m[9] + m[13];
  const double tz = x * m[2] + y * m[6] + z * m[10] + m[14];
  const double w = x * m[3] + y * m[7] + z * m[11] + m[15];
  if (!(std::fabs(w) >= 0.00001)) return kMathInvalidArg;
  out[0] = float(tx / w);
  out[1] = float(ty / w);
  out[2] = float(tz / w);
  return kMathOk;
}

int32_t BuildProjectionMatrix(float out[16], float fieldOfView, float aspect, float zNear, float zFar) {
  const double s = std::sin(double(fieldOfView) / 2);
  if (!(std::fabs(double(zFar) - zNear) >= 0.01) || !(std::fabs(s) >= 0.01)) return kMathInvalidArg;
  const double w = std::cos(double(fieldOfView) / 2) / s;
  const double q = double(zFar) / (double(zFar) - zNear);
  std::memset(out, 0, 16 * sizeof(float));
  out[0] = float(aspect * w);
  out[5] = float(w);
  out[10] = float(q);
  out[11] = 1.0f;
  out[14] = float(-q * zNear);
  return kMathOk;
}

int32_t BuildLookAtMatrix(float out[16], const float eye[3], const float at[3], const float worldUp[3]) {
  const V3 e = Load3(eye);
  V3 view = Sub(Load3(at), e);
  double len = Length(view);
  if (!(len >= 0.000001)) return kMathInvalidArg;
  view = Scale(view, 1.0 / len);
  const V3 wu = Load3(worldUp);
  V3 up = Sub(wu, Scale(view, Dot(wu, view)));
  len = Length(up);
  if (!(len >= 0.000001)) {
    up = Sub(V3{0, 1, 0}, Scale(view, view.y));
    len = Length(up);
  }
  if (!(len >= 0.000001)) {
    up = Sub(V3{0, 0, 1}, Scale(view, view.z));
    len = Length(up);
  }
  if (!(len >= 0.000001)) return kMathInvalidArg;
  up = Scale(up, 1.0 / len);
  const V3 right = Cross(up, view);
  SetMatrixIdentity(out);
  const V3* cols[3] = {&right, &up, &view};
  for (int c = 0; c < 3; ++c) {
    out[c] = float(cols[c]->x);
    out[4 + c] = float(cols[c]->y);
    out[8 + c] = float(cols[c]->z);
    out[12 + c] = float(-Dot(e, *cols[c]));
  }
  return kMathOk;
}

void BuildRotationXMatrix(float out[16], float angle) { BuildRotation(out, angle, 1, 2); }
void BuildRotationYMatrix(float out[16], float angle) { BuildRotation(out, angle, 2, 0); }
void BuildRotationZMatrix(float out[16], float angle) { BuildRotation(out, angle, 0, 1); }

float* SubtractVector3InPlace(float a[3], const float b[3]) {
  for (int i = 0; i < 3; ++i) a[i] -= b[i];
  return a;
}

float* Vec3AddInPlace(float a[3], const float b[3]) {
  for (int i = 0; i < 3; ++i) a[i] += b[i];
  return a;
}

float DotProduct3(const float a[3], const float b[3]) {
  return float(double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2]);
}

float AbsFloat(float value) { return std::fabs(value); }

int32_t BoxAxesFromMatrix(const float m[16], float axes[9]) {
  static const float kZero[3] = {0, 0, 0};
  float origin[3];
  if (TransformPointProjected(origin, kZero, m) != kMathOk) return 0;
  for (int i = 0; i < 3; ++i) {
    const float unit[3] = {float(i == 0), float(i == 1), float(i == 2)};
    float p[3];
    if (TransformPointProjected(p, unit, m) != kMathOk) return 0;
    const V3 axis = Sub(Load3(p), Load3(origin));
    const double len = Length(axis);
    // A matrix that flattens an axis places no box.
    if (!(len > 0.0) || !std::isfinite(len)) return 0;
    axes[3 * i] = float(axis.x / len);
    axes[3 * i + 1] = float(axis.y / len);
    axes[3 * i + 2] = float(axis.z / len);
  }
  return 1;
}

int32_t OrientedBoxesOverlap(const OrientedBox& a, const OrientedBox& b) {
  float axesA[9], axesB[9];
  if (!BoxAxesFromMatrix(a.matrix, axesA) || !BoxAxesFromMatrix(b.matrix, axesB)) return 0;
  return TestOrientedBoxOverlap(a.centre, a.half, axesA, b.centre, b.half, axesB);
}

int32_t TestOrientedBoxOverlap(const float centreA[3], const float halfA[3], const float axesA[9],
                               const float centreB[3], const float halfB[3], const float axesB[9]) {
  const V3 d = Sub(Load3(centreB), Load3(centreA));
  double t[3], r[3][3], ar[3][3];
  for (int i = 0; i < 3; ++i) {
    const V3 ai = Load3(axesA + 3 * i);
    t[i] = Dot(d, ai);
    for (int j = 0; j < 3; ++j) {
      r[i][j] = Dot(ai, Load3(axesB + 3 * j));
      ar[i][j] = std::fabs(r[i][j]);
    }
  }
  const double ha[3] = {halfA[0], halfA[1], halfA[2]}, hb[3] = {halfB[0], halfB[1], halfB[2]};
  for (int i = 0; i < 3; ++i) {
    const double rb = hb[0] * ar[i][0] + hb[1] * ar[i][1] + hb[2] * ar[i][2];
    if (std::fabs(t[i]) > ha[i] + rb) return 0;
  }
  for (int j = 0; j < 3; ++j) {
    const double ra = ha[0] * ar[0][j] + ha[1] * ar[1][j] + ha[2] * ar[2][j];
    if (std::fabs(t[0] * r[0][j] + t[1] * r[1][j] + t[2] * r[2][j]) > ra + hb[j]) return 0;
  }
  for (int i = 0; i < 3; ++i) {
    const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
    for (int j = 0; j < 3; ++j) {
      const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      const double ra = ha[i1] * ar[i2][j] + ha[i2] * ar[i1][j];
      const double rb = hb[j1] * ar[i][j2] + hb[j2] * ar[i][j1];
      if (std::fabs(t[i2] * r[i1][j] - t[i1] * r[i2][j]) > ra + rb) return 0;
    }
  }
  return 1;
}

Quaternion QuaternionFromRotation(const float axis[3], float angle) {
  const V3 a = Load3(axis);
  const double len = Length(a);
  if (!(len > 0.0) || !std::isfinite(len)) return Quaternion{};
  const double s = std::sin(double(angle) / 2) / len;
  return {float(std::cos(double(angle) / 2)), float(a.x * s), float(a.y * s), float(a.z * s)};
}

Quaternion QuaternionMultiply(const Quaternion& a, const Quaternion& b) {
  const double aw = a.w, ax = a.x, ay = a.y, az = a.z, bw = b.w, bx = b.x, by = b.y, bz = b.z;
  return {float(aw * bw - ax * bx - ay * by - az * bz), float(aw * bx + ax * bw + ay * bz - az * by),
          float(aw * by - ax * bz + ay * bw + az * bx), float(aw * bz + ax * by - ay * bx + az * bw)};
}

Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b, float alpha) {
  float cosine = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  float sign = 1.0f;
  if (cosine < 0) {
    cosine = -cosine;
    sign = -1.0f;
  }
  float wa = 1.0f - alpha, wb = alpha;
  // Nearly equal ends: the linear blend is exact enough and avoids dividing by a tiny sine.
  if (cosine < 0.9999f) {
    const float theta = std::acos(cosine), s = std::sqrt(1.0f - cosine * cosine);
    wa = std::sin(theta * (1.0f - alpha)) / s;
    wb = std::sin(theta * alpha) / s;
  }
  wb *= sign;
  return {wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z};
}

void MatrixFromQuaternion(float out[16], const Quaternion& q) {
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  SetMatrixIdentity(out);
  out[0] = float(1 - 2 * (y * y + z * z));
  out[1] = float(2 * (x * y - w * z));
  out[2] = float(2 * (x * z + w * y));
  out[4] = float(2 * (x * y + w * z));
  out[5] = float(1 - 2 * (x * x + z * z));
  out[6] = float(2 * (y * z - w * x));
  out[8] = float(2 * (x * z - w * y));
  out[9] = float(2 * (y * z + w * x));
  out[10] = float(1 - 2 * (x * x + y * y));
}

Quaternion QuaternionFromRotationMatrix(const float m[16]) {
  auto at = [m](int r, int c) { return double(m[4 * r + c]); };
  const double trace = at(0, 0) + at(1, 1) + at(2, 2) + at(3, 3);
  double q[3], w;
  if (trace >= 1.0) {
    const double s = 2.0 * std::sqrt(trace);
    w = s / 4;
    q[0] = (at(2, 1) - at(1, 2)) / s;
    q[1] = (at(0, 2) - at(2, 0)) / s;
    q[2] = (at(1, 0) - at(0, 1)) / s;
  } else {
    int i = at(0, 0) <= at(1, 1) ? 1 : 0;
    if (at(2, 2) > at(i, i)) i = 2;
    const int j = (i + 1) % 3, k = (j + 1) % 3;
    const double s = 2.0 * std::sqrt(std::fmax(0.0, at(i, i) - at(j, j) - at(k, k) + 1.0));
    if (s == 0.0) return Quaternion{};
    q[i] = s / 4;
    q[j] = (at(j, i) + at(i, j)) / s;
    q[k] = (at(k, i) + at(i, k)) / s;
    w = (at(k, j) - at(j, k)) / s;
  }
  return {float(w), float(q[0]), float(q[1]), float(q[2])};
}
