#pragma once
#include <cstdint>

// Small 3D maths shared by the expressions, the camera and the mesh code. Angles in degrees.

// The angle brought into 0 <= a < 360 by adding or taking 360, at most 99 corrections; an
// angle needing more (beyond about +-36000, or not a number) gives 0.
float WrapAngle(float a);
// From current toward destination by 1/speed of the way; speed 0 arrives at once.
float CurveValue(float destination, float current, float speed);
// As CurveValue for angles, always turning the shorter way round.
float CurveAngle(float destination, float current, float speed);
// Rotates p about x, then y, then z by the given cosines and sines; out = (x3, y3, z2) of the
// three turns. Returns 1.
int32_t RotatePointBySinCos(float cx, float cy, float cz, float sx, float sy, float sz, float px, float py,
                            float pz, float* outX, float* outY, float* outZ);
// Plane turns: (x c - y s, y c + x s) and the inverse (x c + y s, -y c + x s). Return 1.
int32_t RotatePlane(float x, float y, float c, float s, float* a, float* b);
int32_t RotatePlaneInverse(float x, float y, float c, float s, float* a, float* b);
double Distance3D(double x1, double y1, double z1, double x2, double y2, double z2);
// out = a x b through a local copy, so out may be a or b.
void MultiplyMatrix4x4Copying(float out[16], const float a[16], const float b[16]);
