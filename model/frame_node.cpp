// Frame nodes: limb matrices, name and number look-ups, the device transform pass and the
// two-pass limb move.
#include "model/frame_node.h"

#include <cstring>

#include "core/checklist.h"
#include "platform/math3d.h"

FrameNode::FrameNode(const char* n) : SceneNode(n) {
  SetMatrixIdentity(localMatrix);
  SetMatrixIdentity(worldMatrix);
  SetMatrixIdentity(rootExtraMatrix);
}

template <class F>
void FrameNode::WithWorldTransform(Device3D& device, bool store, F&& children) {
  if (!firstChild) return;
  float saved[16], w[16];
  std::memcpy(saved, device.State().transforms[kTransformWorld - 1], sizeof saved);
  MultiplyMatrix4x4(w, localMatrix, saved);
  if (limbNumber == 0 && rootMatrixFlag == 1) MultiplyMatrix4x4(w, rootExtraMatrix, w);
  device.SetTransform(kTransformWorld, w);
  if (store) std::memcpy(worldMatrix, w, sizeof w);
  children();
  device.SetTransform(kTransformWorld, saved);
}

// Children are placed by this frame and then by whatever places it, as the device pass
// composes them.
void FrameNode::ChildMatrix(const float m[16], float out[16]) const { MultiplyMatrix4x4(out, localMatrix, m); }

bool FrameNode::FindLimbByName(const char* n, uint32_t* limbOut) {
  if (n && std::strcmp(n, name) == 0) {
    *limbOut = limbNumber;
    return true;
  }
  return SceneNode::FindLimbByName(n, limbOut);
}

bool FrameNode::GetLimbFrameName(uint32_t limb, std::string* out) {
  if (limb == limbNumber) {
    *out = name;
    return true;
  }
  return SceneNode::GetLimbFrameName(limb, out);
}

void FrameNode::SetRootMatrix(uint32_t flag, const float m[16]) {
  if (limbNumber == 0) {
    rootMatrixFlag = flag;
    std::memcpy(rootExtraMatrix, m, sizeof rootExtraMatrix);
  }
  SceneNode::SetRootMatrix(flag, m);
}

void FrameNode::GetRootMatrix(float** out) {
  if (limbNumber == 0) *out = rootExtraMatrix;
  SceneNode::GetRootMatrix(out);
}

void FrameNode::CollectTextures(SceneTextureList* list, double value) {
  EachChild([&](SceneNode* c) { c->CollectTextures(list, value); });
}

void FrameNode::DrawTextureGroup(Device3D& device, int32_t texture, uint32_t* drawnIndices) {
  WithWorldTransform(device, false,
                     [&] { EachChild([&](SceneNode* c) { c->DrawTextureGroup(device, texture, drawnIndices); }); });
}

void FrameNode::ComputeWorldMatrices(Device3D& device) {
  WithWorldTransform(device, true, [&] { EachChild([&](SceneNode* c) { c->ComputeWorldMatrices(device); }); });
}

void FrameNode::RestoreBuffers(Device3D& device) {
  EachChild([&](SceneNode* c) { c->RestoreBuffers(device); });
}

void FrameNode::SetCollisionShape(uint32_t object, int32_t kind, float a, float b, float c) {
  objectIndex = object;
  EachChild([&](SceneNode* n) { n->SetCollisionShape(object, kind, a, b, c); });
}

void FrameNode::RemoveCollision() {
  EachChild([](SceneNode* c) { c->RemoveCollision(); });
}

void FrameNode::RemoveLimbCollision(uint32_t limb) {
  EachChild([&](SceneNode* c) { c->RemoveLimbCollision(limb); });
}

void FrameNode::SetLimbCollision(uint32_t object, uint32_t limb, int32_t kind) {
  EachChild([&](SceneNode* c) { c->SetLimbCollision(object, limb, kind); });
}

void FrameNode::UpdateCollisionTransforms(Device3D& device, uint32_t object) {
  WithWorldTransform(device, false,
                     [&] { EachChild([&](SceneNode* c) { c->UpdateCollisionTransforms(device, object); }); });
}

uint32_t FrameNode::ReparentLimbPass(ReparentPass* state, uint32_t limb, uint32_t newParent) {
  if (state->pass == 0) {
    if (!state->parent && limbNumber == newParent) state->parent = this;
  } else if (state->pass == 1 && limbNumber == limb && state->parent) {
    // Refused when the new parent lies inside this frame's subtree (or is this frame).
    if (!NodeInSubtree(this, state->parent) &&
        !(state->tooDeep = state->checkDepth && !FitsUnderWithinDepth(state->parent, this))) {
      DetachNode();
      state->parent->AddChildNode(this);
      state->pass = 2;
    }
  }
  SceneNode::ReparentLimbPass(state, limb, newParent);
  return 1;
}

void FrameNode::SumVertices(const float m[16], double sum[3], uint32_t* count) {
  float cm[16];
  ChildMatrix(m, cm);
  EachChild([&](SceneNode* c) { c->SumVertices(cm, sum, count); });
}

void FrameNode::MaxVertexDistance(const float m[16], const float centre[3], float* radius) {
  float cm[16];
  ChildMatrix(m, cm);
  EachChild([&](SceneNode* c) { c->MaxVertexDistance(cm, centre, radius); });
}

void FrameNode::MinAxisDistance(const float m[16], const float centre[3], float* distance) {
  float cm[16];
  ChildMatrix(m, cm);
  EachChild([&](SceneNode* c) { c->MinAxisDistance(cm, centre, distance); });
}

void FrameNode::SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count) {
  float cm[16];
  ChildMatrix(m, cm);
  EachChild([&](SceneNode* c) { c->SumLimbVertices(limb, cm, sum, count); });
}

void FrameNode::MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius) {
  float cm[16];
  ChildMatrix(m, cm);
  EachChild([&](SceneNode* c) { c->MaxLimbVertexDistance(limb, cm, centre, radius); });
}

void FrameNode::GrowBoundingBox(const float m[16], NodeBounds* bounds) {
  float cm[16];
  ChildMatrix(m, cm);
  EachChild([&](SceneNode* c) { c->GrowBoundingBox(cm, bounds); });
}

void FrameNode::ExportGeometry(Device3D& device, GeometryExport* out) {
  WithWorldTransform(device, false, [&] { EachChild([&](SceneNode* c) { c->ExportGeometry(device, out); }); });
}

void FrameNode::FindFrameMatrixByName(const char* n, float** out) {
  if (n && std::strcmp(n, name) == 0) *out = localMatrix;
  SceneNode::FindFrameMatrixByName(n, out);
}

void FrameNode::SetLimbMatrices(const float (*matrices)[16], size_t count) {
  if (limbNumber > 0 && limbNumber <= count) std::memcpy(localMatrix, matrices[limbNumber - 1], sizeof localMatrix);
  SceneNode::SetLimbMatrices(matrices, count);
}

void FrameNode::SetLimbMatrix(uint32_t limb, const float m[16]) {
  if (limb == limbNumber) std::memcpy(localMatrix, m, sizeof localMatrix);
  SceneNode::SetLimbMatrix(limb, m);
}

void FrameNode::GetLimbMatrix(uint32_t limb, float out[16]) {
  if (limb == limbNumber) std::memcpy(out, localMatrix, sizeof localMatrix);
  SceneNode::GetLimbMatrix(limb, out);
}

void FrameNode::GetLimbWorldMatrix(uint32_t limb, float out[16]) {
  if (limb == limbNumber && firstChild) std::memcpy(out, worldMatrix, sizeof worldMatrix);
  SceneNode::GetLimbWorldMatrix(limb, out);
}

void FrameNode::ScaleLimbOffset(uint32_t limb, float sx, float sy, float sz) {
  if (limb == limbNumber) {
    localMatrix[12] *= sx;
    localMatrix[13] *= sy;
    localMatrix[14] *= sz;
  }
  SceneNode::ScaleLimbOffset(limb, sx, sy, sz);
}

void FrameNode::ScaleAllOffsets(float sx, float sy, float sz) {
  localMatrix[12] *= sx;
  localMatrix[13] *= sy;
  localMatrix[14] *= sz;
  SceneNode::ScaleAllOffsets(sx, sy, sz);
}

void FrameNode::ListLimbs() {
  if (limbNumber > 0) {
    if (ChecklistRow* row = AddChecklistRow()) {
      row->a = int32_t(limbNumber);
      SetChecklistText(*row, name);
    }
  }
  SceneNode::ListLimbs();
}
