// The scene-node tree: links, deletion and the pass-on bodies of the operations.
#include "model/scene_node.h"

#include <cstring>
#include <utility>
#include <vector>

#include "model/frame_node.h"

namespace {

// Releases and deletes the nodes from n on, each before its subtree and its subtree before its
// later siblings. The nodes are unlinked and deleted in a loop, so neither long chains of
// siblings nor deep chains of linked limbs deepen the stack.
void DeleteNodes(SceneNode* n) {
  std::vector<SceneNode*> pending;
  while (n) {
    if (n->nextSibling) pending.push_back(n->nextSibling);
    SceneNode* child = n->firstChild;
    n->firstChild = n->nextSibling = nullptr;
    n->ReleaseResources();
    delete n;
    if (child) {
      n = child;
    } else if (!pending.empty()) {
      n = pending.back();
      pending.pop_back();
    } else {
      n = nullptr;
    }
  }
}

}  // namespace

SceneNode::SceneNode(const char* n) { SetName(n); }

SceneNode::~SceneNode() {
  SceneNode* child = firstChild;
  SceneNode* sibling = nextSibling;
  firstChild = nextSibling = nullptr;
  DeleteNodes(child);
  DeleteNodes(sibling);
}

void SceneNode::SetName(const char* n) {
  size_t len = n ? strnlen(n, kNodeNameSize - 1) : 0;
  if (len) std::memcpy(name, n, len);
  name[len] = 0;
}

void SceneNode::AddChildNode(SceneNode* child) {
  if (!child) return;
  if (!firstChild) {
    firstChild = child;
    child->parent = this;
  } else {
    firstChild->AppendSiblingNode(child);
  }
}

void SceneNode::AppendSiblingNode(SceneNode* node) {
  if (!node) return;
  SceneNode* last = this;
  while (last->nextSibling) {
    ++g_model.nodesVisited;
    last = last->nextSibling;
  }
  last->nextSibling = node;
  node->previousSibling = last;
}

void SceneNode::DetachNode() {
  SceneNode* before = previousSibling;
  SceneNode* after = nextSibling;
  if (before) {
    before->nextSibling = after;
    if (after) after->previousSibling = before;
  } else {
    // A first child: the next node takes its place and the parent link.
    if (after) {
      after->previousSibling = nullptr;
      after->parent = parent;
    }
    if (parent && parent->firstChild == this) parent->firstChild = after;
  }
  parent = previousSibling = nextSibling = nullptr;
}

SceneNode* SceneNode::ParentNode() const {
  const SceneNode* first = this;
  while (first->previousSibling) first = first->previousSibling;
  return first->parent;
}

// ---- Pass-on bodies.

bool SceneNode::FindLimbByName(const char* n, uint32_t* limbOut) {
  for (SceneNode* c = firstChild; c; c = c->nextSibling) {
    ++g_model.nodesVisited;
    if (c->FindLimbByName(n, limbOut)) break;
  }
  return false;
}

bool SceneNode::GetLimbFrameName(uint32_t limb, std::string* out) {
  for (SceneNode* c = firstChild; c; c = c->nextSibling) {
    ++g_model.nodesVisited;
    if (c->GetLimbFrameName(limb, out)) break;
  }
  return false;
}

void SceneNode::SetRootMatrix(uint32_t flag, const float m[16]) {
  EachChild([&](SceneNode* c) { c->SetRootMatrix(flag, m); });
}
void SceneNode::GetRootMatrix(float** out) {
  EachChild([&](SceneNode* c) { c->GetRootMatrix(out); });
}

void SceneNode::ReparentLimb(ReparentPass* state, uint32_t limb, uint32_t newParent) {
  EachChild([&](SceneNode* c) { c->ReparentLimbPass(state, limb, newParent); });
}
uint32_t SceneNode::ReparentLimbPass(ReparentPass* state, uint32_t limb, uint32_t newParent) {
  EachChild([&](SceneNode* c) { c->ReparentLimbPass(state, limb, newParent); });
  return 0;
}

void SceneNode::SumVertices(const float m[16], double sum[3], uint32_t* count) {
  EachChild([&](SceneNode* c) { c->SumVertices(m, sum, count); });
}
void SceneNode::MaxVertexDistance(const float m[16], const float centre[3], float* radius) {
  EachChild([&](SceneNode* c) { c->MaxVertexDistance(m, centre, radius); });
}
void SceneNode::MinAxisDistance(const float m[16], const float centre[3], float* distance) {
  EachChild([&](SceneNode* c) { c->MinAxisDistance(m, centre, distance); });
}
void SceneNode::SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count) {
  EachChild([&](SceneNode* c) { c->SumLimbVertices(limb, m, sum, count); });
}
void SceneNode::MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius) {
  EachChild([&](SceneNode* c) { c->MaxLimbVertexDistance(limb, m, centre, radius); });
}
void SceneNode::GrowBoundingBox(const float m[16], NodeBounds* bounds) {
  EachChild([&](SceneNode* c) { c->GrowBoundingBox(m, bounds); });
}
void SceneNode::ExportGeometry(Device3D& device, GeometryExport* out) {
  EachChild([&](SceneNode* c) { c->ExportGeometry(device, out); });
}
void SceneNode::GetLimbMeshInfo(uint32_t limb, int32_t index, uint32_t* counter, int32_t* textureOut,
                                std::string* nameOut) {
  EachChild([&](SceneNode* c) { c->GetLimbMeshInfo(limb, index, counter, textureOut, nameOut); });
}

void SceneNode::FindFrameMatrixByName(const char* n, float** out) {
  for (SceneNode* c = firstChild; c && !*out; c = c->nextSibling) {
    ++g_model.nodesVisited;
    c->FindFrameMatrixByName(n, out);
  }
}
void SceneNode::FindMeshArraysByName(const char* n, MeshArrays* out) {
  for (SceneNode* c = firstChild; c && !out->vertices; c = c->nextSibling) {
    ++g_model.nodesVisited;
    c->FindMeshArraysByName(n, out);
  }
}

void SceneNode::SetLimbMatrices(const float (*matrices)[16], size_t count) {
  EachChild([&](SceneNode* c) { c->SetLimbMatrices(matrices, count); });
}
void SceneNode::SetLimbMatrix(uint32_t limb, const float m[16]) {
  EachChild([&](SceneNode* c) { c->SetLimbMatrix(limb, m); });
}
void SceneNode::GetLimbMatrix(uint32_t limb, float out[16]) {
  EachChild([&](SceneNode* c) { c->GetLimbMatrix(limb, out); });
}
void SceneNode::GetLimbWorldMatrix(uint32_t limb, float out[16]) {
  EachChild([&](SceneNode* c) { c->GetLimbWorldMatrix(limb, out); });
}
void SceneNode::SetLimbTexture(uint32_t limb, int32_t texture) {
  EachChild([&](SceneNode* c) { c->SetLimbTexture(limb, texture); });
}
void SceneNode::GetLimbTexture(uint32_t limb, int32_t* out) {
  EachChild([&](SceneNode* c) { c->GetLimbTexture(limb, out); });
}
void SceneNode::GetLimbTextureName(uint32_t limb, std::string* out) {
  EachChild([&](SceneNode* c) { c->GetLimbTextureName(limb, out); });
}
void SceneNode::QueryLimbTexture(uint32_t limb, int32_t* out) {
  EachChild([&](SceneNode* c) { c->QueryLimbTexture(limb, out); });
}
void SceneNode::ScaleLimbOffset(uint32_t limb, float sx, float sy, float sz) {
  EachChild([&](SceneNode* c) { c->ScaleLimbOffset(limb, sx, sy, sz); });
}
void SceneNode::ScaleAllOffsets(float sx, float sy, float sz) {
  EachChild([&](SceneNode* c) { c->ScaleAllOffsets(sx, sy, sz); });
}
void SceneNode::ScaleLimbVertices(uint32_t limb, float sx, float sy, float sz) {
  EachChild([&](SceneNode* c) { c->ScaleLimbVertices(limb, sx, sy, sz); });
}
void SceneNode::ScaleAllVertices(float sx, float sy, float sz) {
  EachChild([&](SceneNode* c) { c->ScaleAllVertices(sx, sy, sz); });
}
void SceneNode::ScaleNormals(float factor) {
  EachChild([&](SceneNode* c) { c->ScaleNormals(factor); });
}
void SceneNode::ChangeLimbMesh(uint32_t limb, const MeshGeometry& geometry) {
  EachChild([&](SceneNode* c) { c->ChangeLimbMesh(limb, geometry); });
}
void SceneNode::SetLimbVisible(uint32_t limb, uint32_t flag) {
  EachChild([&](SceneNode* c) { c->SetLimbVisible(limb, flag); });
}
void SceneNode::ScrollLimbTexture(uint32_t limb, float du, float dv) {
  EachChild([&](SceneNode* c) { c->ScrollLimbTexture(limb, du, dv); });
}
void SceneNode::ScaleLimbTexture(uint32_t limb, float su, float sv) {
  EachChild([&](SceneNode* c) { c->ScaleLimbTexture(limb, su, sv); });
}
void SceneNode::ListLimbs() {
  EachChild([&](SceneNode* c) { c->ListLimbs(); });
}
void SceneNode::SaveToX(MeshSink* sink) {
  EachChild([&](SceneNode* c) { c->SaveToX(sink); });
}

bool ReparentLimbInTree(SceneNode* root, uint32_t limb, uint32_t newParent, bool* tooDeep) {
  if (!root) return false;
  ReparentPass state;
  state.checkDepth = tooDeep != nullptr;
  root->ReparentLimb(&state, limb, newParent);
  state.pass = 1;
  root->ReparentLimb(&state, limb, newParent);
  if (tooDeep) *tooDeep = state.tooDeep;
  return state.pass == 2;
}

bool FitsUnderWithinDepth(const SceneNode* parent, const SceneNode* moved) {
  // The new parent's level, counted up to the limit: moved would sit one below it.
  int level = 0;
  for (const SceneNode* up = parent->ParentNode(); up && level <= kMaxNodeDepth; up = up->ParentNode()) ++level;
  std::vector<std::pair<const SceneNode*, int>> pending{{moved, level + 1}};
  while (!pending.empty()) {
    const auto [n, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxNodeDepth) return false;
    for (const SceneNode* c = n->firstChild; c; c = c->nextSibling) pending.push_back({c, depth + 1});
  }
  return true;
}

bool NodeInSubtree(const SceneNode* top, const SceneNode* node) {
  // The climb from node towards the root and a walk of top's subtree take turns, a node each,
  // so the answer costs the shorter of the two: a new limb linked at the end of a long chain, or
  // a large limb moved under a frame near the root, is settled in a few steps.
  std::vector<const SceneNode*> pending{top};
  for (const SceneNode* up = node;;) {
    ++g_model.nodesVisited;
    if (up == top) return true;
    if (!up) return false;
    up = up->ParentNode();
    if (pending.empty()) return false;
    const SceneNode* n = pending.back();
    pending.pop_back();
    if (n == node) return true;
    for (const SceneNode* c = n->firstChild; c; c = c->nextSibling) pending.push_back(c);
  }
}
