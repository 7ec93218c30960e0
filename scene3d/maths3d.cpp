// Angle wrapping and easing, point and plane turns, distance, mesh data bounds and copies.
#include "scene3d/maths3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/record_pool.h"
#include "model/mesh_data.h"
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

bool MeshDataBounds(uint32_t mesh, float* minX, float* minY, float* minZ, float* maxX, float* maxY, float* maxZ) {
  const MeshData* m = MeshDataAt(mesh);
  if (!m || m->vertexCount == 0 || m->vertices.size() < 3) return false;
  float lo[3] = {m->vertices[0], m->vertices[1], m->vertices[2]}, hi[3] = {lo[0], lo[1], lo[2]};
  for (size_t i = 3; i + 2 < m->vertices.size(); i += 3)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], m->vertices[i + k]);
      hi[k] = std::max(hi[k], m->vertices[i + k]);
    }
  *minX = lo[0], *minY = lo[1], *minZ = lo[2], *maxX = hi[0], *maxY = hi[1], *maxZ = hi[2];
  return true;
}

uint32_t CloneMeshData(uint32_t mesh) {
  if (!MeshDataAt(mesh)) return 0;
  const uint32_t copy = AllocMeshData();
  if (copy == kNoRecord) return 0;
  // The pool may have grown and moved its records: look the source up again.
  const MeshData& src = *MeshDataAt(mesh);
  MeshData& dst = g_meshPool[copy];
  dst.vertexCount = src.vertexCount, dst.normalCount = src.normalCount;
  dst.faceCount = src.faceCount, dst.faceWordCount = src.faceWordCount;
  dst.vertices = src.vertices, dst.normals = src.normals, dst.texCoords = src.texCoords;
  dst.faceWords = src.faceWords;
  dst.minX = src.minX, dst.minY = src.minY, dst.maxX = src.maxX;
  dst.maxY = src.maxY, dst.minZ = src.minZ, dst.maxZ = src.maxZ;
  return copy;
}
