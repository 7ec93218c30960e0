#pragma once
#include <cstdint>

#include "platform/math3d.h"
#include "model/frame_node.h"
#include "model/mesh_node.h"

inline FrameNode* Frame(const char* name, uint32_t limb) {
  FrameNode* f = new FrameNode(name);
  f->limbNumber = limb;
  return f;
}

// A box of the given edge centred on the origin: 8 corners, 6 quads (12 triangles), outward
// counter-clockwise faces seen from outside. No vertex buffer: it draws from its arrays.
inline MeshNode* BoxMesh(const char* name, uint32_t limb, float edge) {
  const float h = edge / 2;
  const float p[24] = {-h, -h, -h, h, -h, -h, h, h, -h, -h, h, -h, -h, -h, h, h, -h, h, h, h, h, -h, h, h};
  const uint32_t faces[] = {4, 0, 3, 2, 1, 4, 4, 5, 6, 7, 4, 0, 1, 5, 4,
                            4, 2, 3, 7, 6, 4, 0, 4, 7, 3, 4, 1, 2, 6, 5};
  MeshNode* m = new MeshNode(name, 8, p, 6, faces, sizeof faces / sizeof faces[0], false);
  m->limbNumber = limb;
  return m;
}

inline void Translation(float m[16], float x, float y, float z) {
  SetMatrixIdentity(m);
  m[12] = x, m[13] = y, m[14] = z;
}
