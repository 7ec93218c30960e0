// Frame nodes: the matrices a frame hands its children.
#include "model/frame_node.h"

#include <cstring>

#include "platform/math3d.h"

FrameNode::FrameNode(const char* n) : SceneNode(n, true) {
  SetMatrixIdentity(localMatrix);
  SetMatrixIdentity(worldMatrix);
  SetMatrixIdentity(rootExtraMatrix);
}

void FrameNode::EnterWorld(Device3D& device, const float outer[16], bool store) {
  float w[16];
  MultiplyMatrix4x4(w, localMatrix, outer);
  if (limbNumber == 0 && rootMatrixFlag == 1) MultiplyMatrix4x4(w, rootExtraMatrix, w);
  device.SetTransform(kTransformWorld, w);
  if (store) std::memcpy(worldMatrix, w, sizeof w);
}

// Children are placed by this frame and then by whatever places it, as the device pass
// composes them.
void FrameNode::ChildMatrix(const float m[16], float out[16]) const { MultiplyMatrix4x4(out, localMatrix, m); }

void FrameNode::ScaleOffset(float sx, float sy, float sz) {
  localMatrix[12] *= sx;
  localMatrix[13] *= sy;
  localMatrix[14] *= sz;
}
