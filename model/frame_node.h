#pragma once
#include <cstdint>

#include "model/scene_node.h"

// One limb of a model: a coordinate frame with its local matrix (relative to the parent, row
// vectors, translation in elements 12-14), the world matrix last composed for it and, on the
// root, an extra matrix applied to the whole model. Frames hold the meshes and the nested
// frames of the limb.
class FrameNode : public SceneNode {
 public:
  explicit FrameNode(const char* name = nullptr);

  float localMatrix[16];
  float worldMatrix[16];  // composed only for frames with children; identity until then
  uint32_t rootMatrixFlag = 0;
  float rootExtraMatrix[16];
  uint32_t objectIndex = 0;  // the 3D object last given to SetCollisionShape

  bool FindLimbByName(const char* name, uint32_t* limbOut) override;
  bool GetLimbFrameName(uint32_t limb, std::string* out) override;
  void SetRootMatrix(uint32_t flag, const float m[16]) override;
  void GetRootMatrix(float** out) override;
  void CollectTextures(SceneTextureList* list, double value) override;
  void DrawTextureGroup(Device3D& device, int32_t texture, uint32_t* drawnIndices) override;
  void ComputeWorldMatrices(Device3D& device) override;
  void RestoreBuffers(Device3D& device) override;
  void SetCollisionShape(uint32_t object, int32_t kind, float a, float b, float c) override;
  void RemoveCollision() override;
  void RemoveLimbCollision(uint32_t limb) override;
  void SetLimbCollision(uint32_t object, uint32_t limb, int32_t kind) override;
  void UpdateCollisionTransforms(Device3D& device, uint32_t object) override;
  uint32_t ReparentLimbPass(ReparentPass* state, uint32_t limb, uint32_t newParent) override;
  void SumVertices(const float m[16], double sum[3], uint32_t* count) override;
  void MaxVertexDistance(const float m[16], const float centre[3], float* radius) override;
  void MinAxisDistance(const float m[16], const float centre[3], float* distance) override;
  void SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count) override;
  void MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius) override;
  void GrowBoundingBox(const float m[16], NodeBounds* bounds) override;
  void ExportGeometry(Device3D& device, GeometryExport* out) override;
  void FindFrameMatrixByName(const char* name, float** out) override;
  void SetLimbMatrices(const float (*matrices)[16], size_t count) override;
  void SetLimbMatrix(uint32_t limb, const float m[16]) override;
  void GetLimbMatrix(uint32_t limb, float out[16]) override;
  void GetLimbWorldMatrix(uint32_t limb, float out[16]) override;
  void ScaleLimbOffset(uint32_t limb, float sx, float sy, float sz) override;
  void ScaleAllOffsets(float sx, float sy, float sz) override;
  void ListLimbs() override;
  bool IsFrame() const override { return true; }
  void ReleaseResources() override {}

 private:
  // The device transform pass: with children, sets the device world transform to local x the
  // current one (then the root's extra matrix), runs `children` and puts the transform back.
  template <class F>
  void WithWorldTransform(Device3D& device, bool store, F&& children);
  // The matrix this frame hands its children: its local matrix placed by m.
  void ChildMatrix(const float m[16], float out[16]) const;
};
