#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/model_state.h"
#include "platform/device3d.h"

// The model of a 3D object is a tree of scene nodes: frame nodes carry matrices, mesh nodes
// carry geometry, a texture and a collision shape. The model handle calls an operation on the
// root frame and the operation walks the tree: each operation here acts on this node and its
// subtree, depth first (node, then each child's subtree in chain order). The walks keep their
// place in a stack of their own rather than in calls, so the depth of a tree costs no call stack.
// Operations that take a limb number act in every node that carries it.
//
// Ownership: a node owns its first child and its next sibling; deleting a node deletes its
// subtree and every sibling after it. The root is owned by the model handle.

class FrameNode;
class MeshNode;

inline constexpr size_t kNodeNameSize = 80;  // names keep at most 79 characters

// The render's list of the textures in use, each with the mean of the values entered for it.
struct SceneTextureEntry {
  int32_t texture;
  double value;
};
using SceneTextureList = std::vector<SceneTextureEntry>;

// Axis-aligned bounds grown by GrowBoundingBox.
struct NodeBounds {
  float min[3], max[3];
};

// Geometry copied out by ExportGeometry: mode 2 writes vertices (transformed by the device's
// world transform) and indices at the cursors and the counts at meshCursor; mode 1 only grows
// bounds by the vertices so transformed (set once vertexCursor is above 0); any other mode
// only counts. The arrays must hold what a counting pass found.
struct GeometryExport {
  Vertex* vertices = nullptr;
  uint32_t* indices = nullptr;
  uint32_t* vertexCounts = nullptr;
  uint32_t* indexCounts = nullptr;
  uint32_t vertexCursor = 0, indexCursor = 0, meshCursor = 0;
  int32_t mode = 0;
  int32_t limbFilter = -1, textureFilter = -1;  // -1: any
  NodeBounds bounds = {};
};

// The arrays of a mesh found by name.
struct MeshArrays {
  const Vertex* vertices = nullptr;
  uint32_t vertexCount = 0;
  const uint32_t* indices = nullptr;
  uint32_t indexCount = 0;
};

// Geometry of a mesh data record (positions and normals three floats a vertex, uvs two, faces
// as corner count then two words per corner, the vertex index first).
struct MeshGeometry {
  uint32_t vertexCount = 0;
  const float* positions = nullptr;
  const float* normals = nullptr;
  uint32_t normalCount = 0;  // normals the record holds; the rest of the array is zeros
  const float* uvs = nullptr;
  uint32_t faceCount = 0;
  const uint32_t* faceWords = nullptr;
  size_t faceWordCount = 0;
};

// Deepest level below the root a node may take: a link that would go deeper is refused. The
// walks take no call a level, but no model comes near this depth, and the bound keeps a depth
// check and the walks' own stacks small.
inline constexpr int kMaxNodeDepth = 16384;

// Receives each mesh when a model is saved.
class MeshSink {
 public:
  virtual ~MeshSink() = default;
  virtual void WriteMesh(const MeshNode& mesh) = 0;
};

class SceneNode {
 public:
  // The name is cut to 79 characters; null gives an empty name.
  explicit SceneNode(const char* name = nullptr, bool isFrame = false);
  virtual ~SceneNode();
  SceneNode(const SceneNode&) = delete;
  SceneNode& operator=(const SceneNode&) = delete;

  // Links. A child goes first under a node without children (and gets its parent link), else
  // at the end of the first child's chain.
  void AddChildNode(SceneNode* child);
  void AppendSiblingNode(SceneNode* node);
  // Unlinks the node from its chain (its parent's first child moves on); its children stay.
  void DetachNode();
  // The parent, found through the first node of the chain.
  SceneNode* ParentNode() const;
  void SetName(const char* name);

  SceneNode* nextSibling = nullptr;      // owning
  SceneNode* previousSibling = nullptr;  // not owning
  SceneNode* firstChild = nullptr;       // owning; meshes never have children
  SceneNode* parent = nullptr;           // set on a first child only
  char name[kNodeNameSize] = {};
  uint32_t limbNumber = 0;

  // ---- The operations, in their table order, each a walk of this node's subtree.
  // A frame of that name (case-sensitive) stores its limb number; a match ends the walk of the
  // chain it is in, its subtree included (later frames of an enclosing chain still answer).
  // True when this node itself matched.
  bool FindLimbByName(const char* name, uint32_t* limbOut);
  bool GetLimbFrameName(uint32_t limb, std::string* out);
  void SetRootMatrix(uint32_t flag, const float m[16]);
  void GetRootMatrix(float** out);
  void CollectTextures(SceneTextureList* list, double value);
  // Draws the meshes of the texture under the world transform the frames set; adds the
  // indices drawn to *drawnIndices.
  void DrawTextureGroup(Device3D& device, int32_t texture, uint32_t* drawnIndices);
  void ComputeWorldMatrices(Device3D& device);
  // Every mesh's vertex buffer made again on the device (after a display change).
  void RestoreBuffers(Device3D& device);
  void SetCollisionShape(uint32_t object, int32_t kind, float a, float b, float c);
  void RemoveCollision();
  void RemoveLimbCollision(uint32_t limb);
  void SetLimbCollision(uint32_t object, uint32_t limb, int32_t kind);
  // Places the meshes' collision objects by the world transform the frames set. With an object
  // other than the one the shapes were given under (0 for that one), the shapes are placed under
  // that object's keys instead, so objects that share a model each collide in their own place.
  void UpdateCollisionTransforms(Device3D& device, uint32_t object);
  // Bounding queries: m places this node's geometry; a frame hands local x m to its children.
  void SumVertices(const float m[16], double sum[3], uint32_t* count);
  void MaxVertexDistance(const float m[16], const float centre[3], float* radius);
  void MinAxisDistance(const float m[16], const float centre[3], float* distance);
  void SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count);
  void MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius);
  void GrowBoundingBox(const float m[16], NodeBounds* bounds);
  void ExportGeometry(Device3D& device, GeometryExport* out);
  // A mesh of the limb whose position among the limb's meshes (*counter) equals index (not -2)
  // gives its texture and texture name; every mesh of the limb moves *counter on.
  void GetLimbMeshInfo(uint32_t limb, int32_t index, uint32_t* counter, int32_t* textureOut, std::string* nameOut);
  // The first frame (mesh) of that name in walk order wins.
  void FindFrameMatrixByName(const char* name, float** out);
  void FindMeshArraysByName(const char* name, MeshArrays* out);
  // Frame n (n > 0) takes matrices[n - 1] as its local matrix when n <= count.
  void SetLimbMatrices(const float (*matrices)[16], size_t count);
  void SetLimbMatrix(uint32_t limb, const float m[16]);
  void GetLimbMatrix(uint32_t limb, float out[16]);
  void GetLimbWorldMatrix(uint32_t limb, float out[16]);
  void SetLimbTexture(uint32_t limb, int32_t texture);
  void GetLimbTexture(uint32_t limb, int32_t* out);
  void GetLimbTextureName(uint32_t limb, std::string* out);
  void QueryLimbTexture(uint32_t limb, int32_t* out);
  void ScaleLimbOffset(uint32_t limb, float sx, float sy, float sz);
  void ScaleAllOffsets(float sx, float sy, float sz);
  void ScaleLimbVertices(uint32_t limb, float sx, float sy, float sz);
  void ScaleAllVertices(float sx, float sy, float sz);
  void ScaleNormals(float factor);
  void ChangeLimbMesh(uint32_t limb, const MeshGeometry& geometry);
  void SetLimbVisible(uint32_t limb, uint32_t flag);
  void ScrollLimbTexture(uint32_t limb, float du, float dv);
  void ScaleLimbTexture(uint32_t limb, float su, float sv);
  // Frames above limb 0 add a checklist row (limb number, frame name) while rows are left.
  void ListLimbs();
  void SaveToX(MeshSink* sink);
  bool IsFrame() const { return isFrame_; }
  virtual void ReleaseResources() = 0;

 private:
  const bool isFrame_;
};

// What a visit tells a walk: go into the node's children, pass over them, end the walk of the
// chain the node is in (its children too), or end the whole walk.
enum class NodeWalk { kInto, kOver, kEndChain, kEnd };

// A stack whose first N entries live in place, so the walks of ordinary trees allocate nothing;
// deeper entries go to the heap.
template <class T, size_t N = 32>
class WalkStack {
 public:
  void Push(const T& v) {
    if (size_ < N) inline_[size_] = v;
    else heap_.push_back(v);
    ++size_;
  }
  // A new entry on top, for the caller to fill.
  T& PushEmpty() {
    if (size_ < N) return inline_[size_++];
    ++size_;
    return heap_.emplace_back();
  }
  void Pop() {
    if (--size_ >= N) heap_.pop_back();
  }
  T& Top() { return size_ <= N ? inline_[size_ - 1] : heap_.back(); }
  bool Empty() const { return size_ == 0; }
  size_t Size() const { return size_; }

 private:
  std::array<T, N> inline_;
  std::vector<T> heap_;
  size_t size_ = 0;
};

// Walks top and its subtree depth first without a call a level: visit(node) is called as the
// walk reaches a node and answers a NodeWalk; leave(node) follows, once the node's subtree is
// walked, for each node visit answered kInto for (kEnd stops at once, leaving none; so does a
// stop request inside a StopEndsWalks scope). A chain's
// next node is read before its node is visited, so a visit may move the node it is given.
template <class Visit, class Leave>
void WalkNodes(SceneNode* top, Visit&& visit, Leave&& leave) {
  // In a StopEndsWalks scope a stop ends the walk (one begun after it walks nothing), as kEnd.
  if (g_model.stopEndsWalks && WalkStopped()) return;
  if (visit(top) != NodeWalk::kInto) return;
  // The chain being walked is parent's, at n; the stack holds the chains above it, each with its
  // next node.
  struct Level {
    SceneNode* parent;
    SceneNode* next;
  };
  WalkStack<Level> levels;
  SceneNode* parent = top;
  SceneNode* n = top->firstChild;
  for (;;) {
    if (!n) {
      leave(parent);
      if (levels.Empty()) return;
      parent = levels.Top().parent;
      n = levels.Top().next;
      levels.Pop();
      continue;
    }
    SceneNode* next = n->nextSibling;
    if ((++g_model.nodesVisited & 0x3FFF) == 0 && g_model.stopEndsWalks && WalkStopped()) return;
    switch (visit(n)) {
      case NodeWalk::kInto:
        if (n->firstChild) {
          levels.Push({parent, next});
          parent = n;
          next = n->firstChild;
        } else {
          leave(n);
        }
        break;
      case NodeWalk::kOver: break;
      case NodeWalk::kEndChain: next = nullptr; break;
      case NodeWalk::kEnd: return;
    }
    n = next;
  }
}

// Calls f on top and every node of its subtree, depth first.
template <class F>
void ForEachNode(SceneNode* top, F&& f) {
  WalkNodes(
      top,
      [&](SceneNode* n) {
        f(n);
        return NodeWalk::kInto;
      },
      [](SceneNode*) {});
}

// The two-pass move of limb `limb` under the first frame numbered `newParent` (the root takes
// no part); false, with the tree unchanged, when either is missing, the new parent lies inside
// the moved limb, or (checked only when tooDeep is given) the move would take a node past
// kMaxNodeDepth (then *tooDeep is set).
bool ReparentLimbInTree(SceneNode* root, uint32_t limb, uint32_t newParent, bool* tooDeep = nullptr);
// True when moved, with its subtree, placed under parent keeps every node within kMaxNodeDepth.
bool FitsUnderWithinDepth(const SceneNode* parent, const SceneNode* moved);
// True when node is top or lies in top's subtree.
bool NodeInSubtree(const SceneNode* top, const SceneNode* node);
