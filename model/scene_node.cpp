// The scene-node tree: links, deletion and the walks of the operations.
#include "model/scene_node.h"

#include <cstring>
#include <utility>
#include <vector>

#include "core/checklist.h"
#include "model/frame_node.h"
#include "model/mesh_node.h"

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

SceneNode::SceneNode(const char* n, bool isFrame) : isFrame_(isFrame) { SetName(n); }

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

// ---- The walks of the operations.

namespace {

struct Matrix {
  float m[16];
};

FrameNode& AsFrame(SceneNode* n) { return *static_cast<FrameNode*>(n); }
MeshNode& AsMesh(SceneNode* n) { return *static_cast<MeshNode*>(n); }

// Calls f on every frame (every mesh) of top's subtree, depth first. A walk of meshes ends at
// the mesh whose work saw a stop (in a load's scope).
template <class F>
void EachFrame(SceneNode* top, F&& f) {
  ForEachNode(top, [&](SceneNode* n) {
    if (n->IsFrame()) f(AsFrame(n));
  });
}
template <class F>
void EachMesh(SceneNode* top, F&& f) {
  WalkNodes(
      top,
      [&](SceneNode* n) {
        if (n->IsFrame()) return NodeWalk::kInto;
        f(AsMesh(n));
        return g_model.walksGivenUp ? NodeWalk::kEnd : NodeWalk::kOver;
      },
      [](SceneNode*) {});
}

// Calls mesh(node, m) on every mesh of top's subtree with the matrix that places it: m at top's
// level, and below a frame the frame's local matrix placed by the matrix that places the frame.
template <class F>
void EachPlacedMesh(SceneNode* top, const float m[16], F&& mesh) {
  WalkStack<Matrix> placed;
  Matrix first;
  std::memcpy(first.m, m, sizeof first.m);
  placed.Push(first);
  WalkNodes(
      top,
      [&](SceneNode* n) {
        if (!n->IsFrame()) {
          mesh(AsMesh(n), placed.Top().m);
          return g_model.walksGivenUp ? NodeWalk::kEnd : NodeWalk::kOver;
        }
        if (!n->firstChild) return NodeWalk::kOver;
        Matrix child;
        AsFrame(n).ChildMatrix(placed.Top().m, child.m);
        placed.Push(child);
        return NodeWalk::kInto;
      },
      [&](SceneNode*) { placed.Pop(); });
}

// Calls mesh(node) on every mesh of top's subtree with the device's world transform set by the
// frames above it (see FrameNode::EnterWorld); each frame's transform is put back once its
// children are done.
template <class F>
void EachMeshInWorld(SceneNode* top, Device3D& device, bool store, F&& mesh) {
  WalkStack<Matrix> saved;
  WalkNodes(
      top,
      [&](SceneNode* n) {
        if (!n->IsFrame()) {
          mesh(AsMesh(n));
          return g_model.walksGivenUp ? NodeWalk::kEnd : NodeWalk::kOver;
        }
        if (!n->firstChild) return NodeWalk::kOver;
        float* before = saved.PushEmpty().m;
        std::memcpy(before, device.State().transforms[kTransformWorld - 1], sizeof(Matrix));
        AsFrame(n).EnterWorld(device, before, store);
        return NodeWalk::kInto;
      },
      [&](SceneNode*) {
        device.SetTransform(kTransformWorld, saved.Top().m);
        saved.Pop();
      });
}

// A frame-name search: a match stores what found gives and ends the walk of its chain.
template <class Match, class Found>
bool FindFrame(SceneNode* top, Match&& match, Found&& found) {
  bool topMatched = false;
  WalkNodes(
      top,
      [&](SceneNode* n) {
        if (!n->IsFrame() || !match(AsFrame(n))) return NodeWalk::kInto;
        found(AsFrame(n));
        topMatched = n == top;
        return NodeWalk::kEndChain;
      },
      [](SceneNode*) {});
  return topMatched;
}

}  // namespace

bool SceneNode::FindLimbByName(const char* n, uint32_t* limbOut) {
  return FindFrame(
      this, [&](FrameNode& f) { return n && std::strcmp(n, f.name) == 0; },
      [&](FrameNode& f) { *limbOut = f.limbNumber; });
}

bool SceneNode::GetLimbFrameName(uint32_t limb, std::string* out) {
  return FindFrame(
      this, [&](FrameNode& f) { return f.limbNumber == limb; }, [&](FrameNode& f) { *out = f.name; });
}

void SceneNode::SetRootMatrix(uint32_t flag, const float m[16]) {
  EachFrame(this, [&](FrameNode& f) {
    if (f.limbNumber != 0) return;
    f.rootMatrixFlag = flag;
    std::memcpy(f.rootExtraMatrix, m, sizeof f.rootExtraMatrix);
  });
}
void SceneNode::GetRootMatrix(float** out) {
  EachFrame(this, [&](FrameNode& f) {
    if (f.limbNumber == 0) *out = f.rootExtraMatrix;
  });
}

void SceneNode::CollectTextures(SceneTextureList* list, double value) {
  EachMesh(this, [&](MeshNode& m) { m.CollectTextures(list, value); });
}
void SceneNode::DrawTextureGroup(Device3D& device, int32_t texture, uint32_t* drawnIndices) {
  EachMeshInWorld(this, device, false, [&](MeshNode& m) { m.DrawTextureGroup(device, texture, drawnIndices); });
}
void SceneNode::ComputeWorldMatrices(Device3D& device) {
  EachMeshInWorld(this, device, true, [](MeshNode&) {});
}
void SceneNode::RestoreBuffers(Device3D& device) {
  EachMesh(this, [&](MeshNode& m) { m.BuildVertexBuffer(&device); });
}

void SceneNode::SetCollisionShape(uint32_t object, int32_t kind, float a, float b, float c) {
  ForEachNode(this, [&](SceneNode* n) {
    if (n->IsFrame()) AsFrame(n).objectIndex = object;
    else AsMesh(n).SetCollisionShape(object, kind, a, b, c);
  });
}
void SceneNode::RemoveCollision() {
  EachMesh(this, [](MeshNode& m) { m.ReleaseCollision(); });
}
void SceneNode::RemoveLimbCollision(uint32_t limb) {
  EachMesh(this, [&](MeshNode& m) { m.RemoveLimbCollision(limb); });
}
void SceneNode::SetLimbCollision(uint32_t object, uint32_t limb, int32_t kind) {
  EachMesh(this, [&](MeshNode& m) { m.SetLimbCollision(object, limb, kind); });
}
void SceneNode::UpdateCollisionTransforms(Device3D& device, uint32_t object) {
  EachMeshInWorld(this, device, false, [&](MeshNode& m) { m.UpdateCollisionTransforms(device, object); });
}

void SceneNode::SumVertices(const float m[16], double sum[3], uint32_t* count) {
  EachPlacedMesh(this, m, [&](MeshNode& mesh, const float* p) { mesh.SumVertices(p, sum, count); });
}
void SceneNode::MaxVertexDistance(const float m[16], const float centre[3], float* radius) {
  EachPlacedMesh(this, m, [&](MeshNode& mesh, const float* p) { mesh.MaxVertexDistance(p, centre, radius); });
}
void SceneNode::MinAxisDistance(const float m[16], const float centre[3], float* distance) {
  EachPlacedMesh(this, m, [&](MeshNode& mesh, const float* p) { mesh.MinAxisDistance(p, centre, distance); });
}
void SceneNode::SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count) {
  EachPlacedMesh(this, m, [&](MeshNode& mesh, const float* p) { mesh.SumLimbVertices(limb, p, sum, count); });
}
void SceneNode::MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius) {
  EachPlacedMesh(this, m,
                 [&](MeshNode& mesh, const float* p) { mesh.MaxLimbVertexDistance(limb, p, centre, radius); });
}
void SceneNode::GrowBoundingBox(const float m[16], NodeBounds* bounds) {
  EachPlacedMesh(this, m, [&](MeshNode& mesh, const float* p) { mesh.GrowBoundingBox(p, bounds); });
}
void SceneNode::ExportGeometry(Device3D& device, GeometryExport* out) {
  EachMeshInWorld(this, device, false, [&](MeshNode& m) { m.ExportGeometry(device, out); });
}
void SceneNode::GetLimbMeshInfo(uint32_t limb, int32_t index, uint32_t* counter, int32_t* textureOut,
                                std::string* nameOut) {
  EachMesh(this, [&](MeshNode& m) { m.GetLimbMeshInfo(limb, index, counter, textureOut, nameOut); });
}

void SceneNode::FindFrameMatrixByName(const char* n, float** out) {
  WalkNodes(
      this,
      [&](SceneNode* node) {
        if (node->IsFrame() && n && std::strcmp(n, node->name) == 0) *out = AsFrame(node).localMatrix;
        return *out ? NodeWalk::kEnd : NodeWalk::kInto;
      },
      [](SceneNode*) {});
}
void SceneNode::FindMeshArraysByName(const char* n, MeshArrays* out) {
  WalkNodes(
      this,
      [&](SceneNode* node) {
        if (!node->IsFrame()) AsMesh(node).FindMeshArraysByName(n, out);
        return out->vertices ? NodeWalk::kEnd : NodeWalk::kInto;
      },
      [](SceneNode*) {});
}

void SceneNode::SetLimbMatrices(const float (*matrices)[16], size_t count) {
  EachFrame(this, [&](FrameNode& f) {
    if (f.limbNumber > 0 && f.limbNumber <= count)
      std::memcpy(f.localMatrix, matrices[f.limbNumber - 1], sizeof f.localMatrix);
  });
}
void SceneNode::SetLimbMatrix(uint32_t limb, const float m[16]) {
  EachFrame(this, [&](FrameNode& f) {
    if (f.limbNumber == limb) std::memcpy(f.localMatrix, m, sizeof f.localMatrix);
  });
}
void SceneNode::GetLimbMatrix(uint32_t limb, float out[16]) {
  EachFrame(this, [&](FrameNode& f) {
    if (f.limbNumber == limb) std::memcpy(out, f.localMatrix, sizeof f.localMatrix);
  });
}
void SceneNode::GetLimbWorldMatrix(uint32_t limb, float out[16]) {
  EachFrame(this, [&](FrameNode& f) {
    if (f.limbNumber == limb && f.firstChild) std::memcpy(out, f.worldMatrix, sizeof f.worldMatrix);
  });
}
void SceneNode::SetLimbTexture(uint32_t limb, int32_t texture) {
  EachMesh(this, [&](MeshNode& m) { m.SetLimbTexture(limb, texture); });
}
void SceneNode::GetLimbTexture(uint32_t limb, int32_t* out) {
  EachMesh(this, [&](MeshNode& m) { m.GetLimbTexture(limb, out); });
}
void SceneNode::GetLimbTextureName(uint32_t limb, std::string* out) {
  EachMesh(this, [&](MeshNode& m) { m.GetLimbTextureName(limb, out); });
}
void SceneNode::QueryLimbTexture(uint32_t limb, int32_t* out) {
  EachMesh(this, [&](MeshNode& m) { m.GetLimbTexture(limb, out); });
}
void SceneNode::ScaleLimbOffset(uint32_t limb, float sx, float sy, float sz) {
  EachFrame(this, [&](FrameNode& f) {
    if (f.limbNumber == limb) f.ScaleOffset(sx, sy, sz);
  });
}
void SceneNode::ScaleAllOffsets(float sx, float sy, float sz) {
  EachFrame(this, [&](FrameNode& f) { f.ScaleOffset(sx, sy, sz); });
}
void SceneNode::ScaleLimbVertices(uint32_t limb, float sx, float sy, float sz) {
  EachMesh(this, [&](MeshNode& m) { m.ScaleLimbVertices(limb, sx, sy, sz); });
}
void SceneNode::ScaleAllVertices(float sx, float sy, float sz) {
  EachMesh(this, [&](MeshNode& m) { m.ScaleAllVertices(sx, sy, sz); });
}
void SceneNode::ScaleNormals(float factor) {
  EachMesh(this, [&](MeshNode& m) { m.ScaleNormals(factor); });
}
void SceneNode::ChangeLimbMesh(uint32_t limb, const MeshGeometry& geometry) {
  EachMesh(this, [&](MeshNode& m) { m.ChangeLimbMesh(limb, geometry); });
}
void SceneNode::SetLimbVisible(uint32_t limb, uint32_t flag) {
  EachMesh(this, [&](MeshNode& m) { m.SetLimbVisible(limb, flag); });
}
void SceneNode::ScrollLimbTexture(uint32_t limb, float du, float dv) {
  EachMesh(this, [&](MeshNode& m) { m.ScrollLimbTexture(limb, du, dv); });
}
void SceneNode::ScaleLimbTexture(uint32_t limb, float su, float sv) {
  EachMesh(this, [&](MeshNode& m) { m.ScaleLimbTexture(limb, su, sv); });
}
void SceneNode::ListLimbs() {
  EachFrame(this, [](FrameNode& f) {
    if (f.limbNumber == 0) return;
    if (ChecklistRow* row = AddChecklistRow()) {
      row->a = int32_t(f.limbNumber);
      SetChecklistText(*row, f.name);
    }
  });
}
void SceneNode::SaveToX(MeshSink* sink) {
  EachMesh(this, [&](MeshNode& m) {
    if (sink) sink->WriteMesh(m);
  });
}

bool ReparentLimbInTree(SceneNode* root, uint32_t limb, uint32_t newParent, bool* tooDeep) {
  if (!root) return false;
  // Pass 1 finds the new parent, the first frame of its number; pass 2 moves the first frame of
  // the limb's number that may go under it. The root takes part in neither.
  FrameNode* parent = nullptr;
  EachFrame(root, [&](FrameNode& f) {
    if (!parent && &f != root && f.limbNumber == newParent) parent = &f;
  });
  if (tooDeep) *tooDeep = false;
  if (!parent) return false;
  bool moved = false, deep = false;
  EachFrame(root, [&](FrameNode& f) {
    if (moved || &f == root || f.limbNumber != limb) return;
    // Refused when the new parent lies inside this frame's subtree (or is this frame).
    if (NodeInSubtree(&f, parent)) return;
    deep = tooDeep && !FitsUnderWithinDepth(parent, &f);
    if (deep) return;
    f.DetachNode();
    parent->AddChildNode(&f);
    moved = true;
  });
  if (tooDeep) *tooDeep = deep;
  return moved;
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
