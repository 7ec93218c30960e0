// Angle wrapping and easing, point and plane turns, distance.
#include "scene3d/maths3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/math3d.h"

float WrapAngle(float a) {
  for (int pass = 0; pass < 100; ++pass) {
    if (a >= 0.0f && a < 360.0f) return a;
    if (a < 0.0f) a += 360.0f;
    if (a >= 360.0f) a -= 360.0f;
  }
  return 0.0f;
}

float CurveValue(float destination, float current, float speed) {
  if (speed == 0.0f) return destination;
  return current + (destination - current) / speed;
}

float CurveAngle(float destination, float current, float speed) {
  const float a = WrapAngle(destination), b = WrapAngle(current);
  if (speed == 0.0f) return a;
  float diff = a - b;
  if (diff < -180.0f) diff = a + 360.0f - b;
  if (diff > 180.0f) diff = a - (b + 360.0f);
  return WrapAngle(diff / speed + b);
}

int32_t RotatePointBySinCos(float cx, float cy, float cz, float sx, float sy, float sz, float px, float py,
                            float pz, float* outX, float* outY, float* outZ) {
  const float y1 = cx * py - sx * pz, z1 = sx * py + cx * pz;
  const float x2 = cy * px + sy * z1, z2 = -sy * px + cy * z1;
  const float x3 = cz * x2 - sz * y1, y3 = sz * x2 + cz * y1;
  *outX = x3, *outY = y3, *outZ = z2;
  return 1;
}

int32_t RotatePlane(float x, float y, float c, float s, float* a, float* b) {
  *a = x * c - y * s;
  *b = y * c + x * s;
  return 1;
}

int32_t RotatePlaneInverse(float x, float y, float c, float s, float* a, float* b) {
  *a = x * c + y * s;
  *b = -y * c + x * s;
  return 1;
}

double Distance3D(double x1, double y1, double z1, double x2, double y2, double z2) {
  const double dx = x2 - x1, dy = y2 - y1, dz = z2 - z1;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void MultiplyMatrix4x4Copying(float out[16], const float a[16], const float b[16]) {
  float r[16];
  MultiplyMatrix4x4(r, a, b);
  std::memcpy(out, r, sizeof r);
}
