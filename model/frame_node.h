#pragma once
#include <cstdint>

#include "model/scene_node.h"

// One limb of a model: a coordinate frame with its local matrix (relative to the parent, row
// vectors, translation in elements 12-14), the world matrix last composed for it and, on the
// root, an extra matrix applied to the whole model. Frames hold the meshes and the nested
// frames of the limb. The tree's walks (scene_node.cpp) do a frame's share of each operation.
class FrameNode : public SceneNode {
 public:
  explicit FrameNode(const char* name = nullptr);

  float localMatrix[16];
  float worldMatrix[16];  // composed only for frames with children; identity until then
  uint32_t rootMatrixFlag = 0;
  float rootExtraMatrix[16];
  uint32_t objectIndex = 0;  // the 3D object last given to SetCollisionShape

  void ReleaseResources() override {}

  // The device's world transform for this frame's children: local x `outer` (the transform the
  // frame is placed by), then the root's extra matrix; kept as the world matrix when store is set.
  void EnterWorld(Device3D& device, const float outer[16], bool store);
  // The matrix this frame hands its children: its local matrix placed by m.
  void ChildMatrix(const float m[16], float out[16]) const;
  // The translation of the local matrix scaled per axis.
  void ScaleOffset(float sx, float sy, float sz);
};
