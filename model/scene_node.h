#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/model_state.h"
#include "platform/device3d.h"

// The model of a 3D object is a tree of scene nodes: frame nodes carry matrices, mesh nodes
// carry geometry, a texture and a collision shape. The model handle calls an operation on the
// root frame and the call travels the tree: each operation here acts on this node and its
// subtree (a parent walks its chain of children in order), so a call on the root reaches every
// node depth first: node, its subtree, then its later siblings. Operations that take a limb
// number act in every node that carries it.
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
// world transform) and indices at the cursors and the counts at meshCursor; any other mode
// only counts. The arrays must hold what a counting pass found.
struct GeometryExport {
  Vertex* vertices = nullptr;
  uint32_t* indices = nullptr;
  uint32_t* vertexCounts = nullptr;
  uint32_t* indexCounts = nullptr;
  uint32_t vertexCursor = 0, indexCursor = 0, meshCursor = 0;
  int32_t mode = 0;
  int32_t limbFilter = -1, textureFilter = -1;  // -1: any
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

// Deepest level below the root a node may take. Every walk of the tree goes one call deeper a
// level, so limbs linked into a longer chain would overflow the stack; a link that would go
// deeper is refused.
inline constexpr int kMaxNodeDepth = 16384;

// State of the two-pass limb move (see ReparentLimbInTree).
struct ReparentPass {
  int32_t pass = 0;
  FrameNode* parent = nullptr;
  bool checkDepth = false;
  bool tooDeep = false;  // the move was refused: it would go past kMaxNodeDepth
};

// Receives each mesh when a model is saved.
class MeshSink {
 public:
  virtual ~MeshSink() = default;
  virtual void WriteMesh(const MeshNode& mesh) = 0;
};

class SceneNode {
 public:
  // The name is cut to 79 characters; null gives an empty name.
  explicit SceneNode(const char* name = nullptr);
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

  // ---- The operations, in their table order. Unless a class says otherwise a node does its
  // share and passes the call to its children.
  // A frame of that name (case-sensitive) stores its limb number; true ends the walk of the
  // chain it is in (later frames of an enclosing walk still answer).
  virtual bool FindLimbByName(const char* name, uint32_t* limbOut);
  virtual bool GetLimbFrameName(uint32_t limb, std::string* out);
  virtual void SetRootMatrix(uint32_t flag, const float m[16]);
  virtual void GetRootMatrix(float** out);
  virtual void CollectTextures(SceneTextureList* list, double value) = 0;
  // Draws the meshes of the texture under the world transform the frames set; adds the
  // indices drawn to *drawnIndices.
  virtual void DrawTextureGroup(Device3D& device, int32_t texture, uint32_t* drawnIndices) = 0;
  virtual void ComputeWorldMatrices(Device3D& device) = 0;
  // Every mesh's vertex buffer made again on the device (after a display change).
  virtual void RestoreBuffers(Device3D& device) = 0;
  virtual void SetCollisionShape(uint32_t object, int32_t kind, float a, float b, float c) = 0;
  virtual void RemoveCollision() = 0;
  virtual void RemoveLimbCollision(uint32_t limb) = 0;
  virtual void SetLimbCollision(uint32_t object, uint32_t limb, int32_t kind) = 0;
  // Places the meshes' collision objects by the world transform the frames set. With an object
  // other than the one the shapes were given under (0 for that one), the shapes are placed under
  // that object's keys instead, so objects that share a model each collide in their own place.
  virtual void UpdateCollisionTransforms(Device3D& device, uint32_t object) = 0;
  // Passes ReparentLimbPass to the children, never acting itself (the root is not examined).
  virtual void ReparentLimb(ReparentPass* state, uint32_t limb, uint32_t newParent);
  virtual uint32_t ReparentLimbPass(ReparentPass* state, uint32_t limb, uint32_t newParent);
  // Bounding queries: m places this node's geometry; a frame hands local x m to its children.
  virtual void SumVertices(const float m[16], double sum[3], uint32_t* count);
  virtual void MaxVertexDistance(const float m[16], const float centre[3], float* radius);
  virtual void MinAxisDistance(const float m[16], const float centre[3], float* distance);
  virtual void SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count);
  virtual void MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius);
  virtual void GrowBoundingBox(const float m[16], NodeBounds* bounds);
  virtual void ExportGeometry(Device3D& device, GeometryExport* out);
  // A mesh of the limb whose position among the limb's meshes (*counter) equals index (not -2)
  // gives its texture and texture name; every mesh of the limb moves *counter on.
  virtual void GetLimbMeshInfo(uint32_t limb, int32_t index, uint32_t* counter, int32_t* textureOut,
                               std::string* nameOut);
  // The first frame (mesh) of that name in walk order wins.
  virtual void FindFrameMatrixByName(const char* name, float** out);
  virtual void FindMeshArraysByName(const char* name, MeshArrays* out);
  // Frame n (n > 0) takes matrices[n - 1] as its local matrix when n <= count.
  virtual void SetLimbMatrices(const float (*matrices)[16], size_t count);
  virtual void SetLimbMatrix(uint32_t limb, const float m[16]);
  virtual void GetLimbMatrix(uint32_t limb, float out[16]);
  virtual void GetLimbWorldMatrix(uint32_t limb, float out[16]);
  virtual void SetLimbTexture(uint32_t limb, int32_t texture);
  virtual void GetLimbTexture(uint32_t limb, int32_t* out);
  virtual void GetLimbTextureName(uint32_t limb, std::string* out);
  virtual void QueryLimbTexture(uint32_t limb, int32_t* out);
  virtual void ScaleLimbOffset(uint32_t limb, float sx, float sy, float sz);
  virtual void ScaleAllOffsets(float sx, float sy, float sz);
  virtual void ScaleLimbVertices(uint32_t limb, float sx, float sy, float sz);
  virtual void ScaleAllVertices(float sx, float sy, float sz);
  virtual void ScaleNormals(float factor);
  virtual void ChangeLimbMesh(uint32_t limb, const MeshGeometry& geometry);
  virtual void SetLimbVisible(uint32_t limb, uint32_t flag);
  virtual void ScrollLimbTexture(uint32_t limb, float du, float dv);
  virtual void ScaleLimbTexture(uint32_t limb, float su, float sv);
  // Frames above limb 0 add a checklist row (limb number, frame name) while rows are left.
  virtual void ListLimbs();
  virtual bool IsFrame() const { return false; }
  virtual void SaveToX(MeshSink* sink);
  virtual void ReleaseResources() = 0;

 protected:
  // Calls f on each child in chain order (the next child is read first, so f may move the one
  // it is given).
  template <class F>
  void EachChild(F&& f) {
    for (SceneNode* c = firstChild; c;) {
      SceneNode* next = c->nextSibling;
      ++g_model.nodesVisited;
      f(c);
      c = next;
    }
  }
};

// The two-pass move of limb `limb` under the first frame numbered `newParent` (the root takes
// no part); false, with the tree unchanged, when either is missing, the new parent lies inside
// the moved limb, or (checked only when tooDeep is given) the move would take a node past
// kMaxNodeDepth (then *tooDeep is set).
bool ReparentLimbInTree(SceneNode* root, uint32_t limb, uint32_t newParent, bool* tooDeep = nullptr);
// True when moved, with its subtree, placed under parent keeps every node within kMaxNodeDepth.
bool FitsUnderWithinDepth(const SceneNode* parent, const SceneNode* moved);
// True when node is top or lies in top's subtree.
bool NodeInSubtree(const SceneNode* top, const SceneNode* node);
