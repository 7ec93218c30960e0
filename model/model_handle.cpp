// The model handle: every model operation reaches the tree through here.
#include "model/model_handle.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/mesh_data.h"
#include "platform/math3d.h"

ModelHandle::~ModelHandle() {
  animation.reset();
  root.reset();
}

namespace {

// Runs f with the device's world transform saved before and put back after.
template <class F>
void KeepingWorld(Device3D& device, F&& f) {
  float saved[16];
  std::memcpy(saved, device.State().transforms[kTransformWorld - 1], sizeof saved);
  f();
  device.SetTransform(kTransformWorld, saved);
}

// The limb's frame through the index: true, with *frame set (nullptr when no frame has the
// number), when the tree is plain; false when the caller walks the tree instead.
bool LimbFrame(ModelHandle& h, uint32_t limb, FrameNode** frame) {
  if (!LimbIndexReady(h.limbIndex, h.root.get())) return false;
  *frame = IndexedFrame(h.limbIndex, limb);
  return true;
}

// Calls op on the nodes a mesh operation on the limb acts in: in a plain tree the meshes under
// the limb's frame, in chain order (the order the walk meets them); in another tree op is called
// on the root and walks the tree.
template <class Op>
void OnLimbMeshes(ModelHandle& h, uint32_t limb, Op&& op) {
  if (!h.root) return;
  FrameNode* frame = nullptr;
  if (!LimbFrame(h, limb, &frame)) return op(h.root.get());
  if (!frame) return;
  for (SceneNode* c = frame->firstChild; c; c = c->nextSibling)
    if (!c->IsFrame()) op(c);
}

struct Identity {
  float m[16];
  Identity() { SetMatrixIdentity(m); }
};

// The geometry of a mesh data record for a mesh node; normals fill up to the vertex count
// (with zeros where the record has fewer).
struct RecordGeometry {
  MeshGeometry g;
  std::vector<float> normals;
  explicit RecordGeometry(const MeshData& m) {
    g.vertexCount = m.vertexCount;
    g.positions = m.vertices.data();
    g.uvs = m.texCoords.data();
    g.faceCount = m.faceCount;
    g.faceWords = m.faceWords.data();
    g.faceWordCount = m.faceWords.size();
    g.normalCount = std::min(m.normalCount, m.vertexCount);
    if (m.normalCount >= m.vertexCount) {
      g.normals = m.normals.data();
    } else {
      normals.assign(size_t(m.vertexCount) * 3, 0.0f);
      std::copy(m.normals.begin(), m.normals.end(), normals.begin());
      g.normals = normals.data();
    }
  }
};

// A frame holding the user mesh of a record; nullptr when the record is not in use or its
// vertex buffer cannot be made. Mesh record 0 makes a limb above the root a frame without a
// mesh: the limb is in the model, listed and placed as any other.
FrameNode* UserFrame(const char* name, uint32_t limb, uint32_t meshNumber, int32_t texture, Device3D* device) {
  if (meshNumber == 0 && limb > 0) {
    auto frame = std::make_unique<FrameNode>(name);
    frame->limbNumber = limb;
    return frame.release();
  }
  const MeshData* m = MeshDataAt(meshNumber);
  if (!m) return nullptr;
  const RecordGeometry rg(*m);
  auto frame = std::make_unique<FrameNode>(name);
  frame->limbNumber = limb;
  auto mesh = std::make_unique<MeshNode>("usermesh", rg.g.vertexCount, rg.g.positions, rg.g.faceCount, rg.g.faceWords,
                                         rg.g.faceWordCount, true);
  mesh->limbNumber = limb;
  if (mesh->BuildVertexBuffer(device) != 1) return nullptr;
  mesh->textureNumber = texture;
  mesh->textureOwned = 0;
  mesh->SetNormals(rg.g.normals);
  mesh->SetTextureCoordinates(rg.g.uvs);
  frame->AddChildNode(mesh.release());
  return frame.release();
}

}  // namespace

int32_t AddUserFrame(ModelHandle& h, uint32_t limb, uint32_t meshNumber, int32_t texture, Device3D* device) {
  if (limb == 0 ? h.root != nullptr : h.root == nullptr) return kModelFailed;
  FrameNode* frame = UserFrame(limb == 0 ? "root" : "userframe", limb, meshNumber, texture, device);
  if (!frame) return kModelFailed;
  ++h.userFrames;
  if (limb == 0) {
    h.root.reset(frame);
    h.limbIndex = {};
  } else {
    AddFrameUnderRoot(h.limbIndex, h.root.get(), frame);
  }
  return kModelOk;
}

int32_t ModelHandleGetLimbFrameName(ModelHandle& h, uint32_t limb, std::string* out) {
  if (!h.root) return kModelFailed;
  out->clear();
  FrameNode* frame = nullptr;
  if (!LimbFrame(h, limb, &frame)) h.root->GetLimbFrameName(limb, out);
  else if (frame) *out = frame->name;
  return kModelOk;
}

int32_t ModelHandleReparentLimb(ModelHandle& h, uint32_t limb, uint32_t newParent) {
  if (!h.root) return kModelOk;
  FrameNode* moved = nullptr;
  // Only frames have children, so no node lies deeper than the frame count: a tree of fewer
  // frames than the deepest level needs no depth check (a check climbs the whole chain).
  const bool checkDepth = uint64_t(h.frameCount) + h.userFrames + 1 > uint64_t(kMaxNodeDepth);
  if (!LimbFrame(h, limb, &moved)) {
    bool tooDeep = false;
    if (ReparentLimbInTree(h.root.get(), limb, newParent, checkDepth ? &tooDeep : nullptr)) return kModelOk;
    return tooDeep ? kModelTooDeep : kModelFailed;
  }
  // As the two-pass move: the root takes no part, and a frame never goes inside itself.
  FrameNode* parent = IndexedFrame(h.limbIndex, newParent);
  if (limb == 0 || newParent == 0 || !moved || !parent || NodeInSubtree(moved, parent)) return kModelFailed;
  if (checkDepth && !FitsUnderWithinDepth(parent, moved)) return kModelTooDeep;
  MoveIndexedFrame(h.limbIndex, moved, parent);
  return kModelOk;
}

int32_t ModelHandleFindFrameMatrix(ModelHandle& h, const char* name, float** out) {
  if (!h.root) return kModelFailed;
  *out = nullptr;
  h.root->FindFrameMatrixByName(name, out);
  return *out ? kModelOk : kModelFailed;
}

namespace {

// Scale x rotation x translation, written out: S scales the first three rows and T adds the
// position, weighted by each row's last element, to the first three columns.
void ComposeLimbMatrix(float out[16], float px, float py, float pz, const float r[16], float sx, float sy, float sz) {
  const float p[3] = {px, py, pz}, s[4] = {sx, sy, sz, 1.0f};
  for (int i = 0; i < 4; ++i) {
    const float* row = r + 4 * i;
    for (int j = 0; j < 3; ++j) out[4 * i + j] = s[i] * (row[j] + row[3] * p[j]);
    out[4 * i + 3] = s[i] * row[3];
  }
}

}  // namespace

void ModelHandleBuildLimbRotation(float out[16], float rx, float ry, float rz, uint32_t order) {
  const float toRadians = 0.017453292f;
  float x[16], y[16], z[16];
  BuildRotationXMatrix(x, rx * toRadians);
  BuildRotationYMatrix(y, ry * toRadians);
  BuildRotationZMatrix(z, rz * toRadians);
  // Order 0: Rz x (Ry x Rx); order 1: Rx x (Ry x Rz).
  MultiplyMatrix4x4(out, y, order == 1 ? z : x);
  MultiplyMatrix4x4(out, order == 1 ? x : z, out);
}

void ModelHandleSetLimbTransform(ModelHandle& h, uint32_t limb, float px, float py, float pz, float rx, float ry,
                                 float rz, float sx, float sy, float sz, uint32_t order) {
  float r[16], m[16];
  ModelHandleBuildLimbRotation(r, rx, ry, rz, order);
  ComposeLimbMatrix(m, px, py, pz, r, sx, sy, sz);
  ModelHandleSetLimbMatrix(h, limb, m);
}

void ModelHandleSetLimbTransformEx(ModelHandle& h, uint32_t limb, float px, float py, float pz, const float r[16],
                                   float sx, float sy, float sz) {
  float m[16];
  ComposeLimbMatrix(m, px, py, pz, r, sx, sy, sz);
  ModelHandleSetLimbMatrix(h, limb, m);
}

void ModelHandleSetLimbMatrix(ModelHandle& h, uint32_t limb, const float m[16]) {
  FrameNode* frame = nullptr;
  if (!h.root) return;
  if (!LimbFrame(h, limb, &frame)) h.root->SetLimbMatrix(limb, m);
  else if (frame) std::memcpy(frame->localMatrix, m, sizeof frame->localMatrix);
}
void ModelHandleGetLimbMatrix(ModelHandle& h, uint32_t limb, float out[16]) {
  FrameNode* frame = nullptr;
  if (!h.root) return;
  if (!LimbFrame(h, limb, &frame)) h.root->GetLimbMatrix(limb, out);
  else if (frame) std::memcpy(out, frame->localMatrix, sizeof frame->localMatrix);
}
void ModelHandleLimbMatrixPointers(ModelHandle& h, float** out, size_t count) {
  if (!h.root) return;
  ForEachNode(h.root.get(), [&](SceneNode* n) {
    if (n->limbNumber > 0 && n->limbNumber <= count && n->IsFrame())
      out[n->limbNumber - 1] = static_cast<FrameNode*>(n)->localMatrix;
  });
}
void ModelHandleGetLimbTexture(ModelHandle& h, uint32_t limb, int32_t* out) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->GetLimbTexture(limb, out); });
}
void ModelHandleGetLimbMeshName(ModelHandle& h, uint32_t limb, std::string* out) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->GetLimbTextureName(limb, out); });
}
void ModelHandleScaleAllVertices(ModelHandle& h, float sx, float sy, float sz) {
  if (h.root) h.root->ScaleAllVertices(sx, sy, sz);
}

int32_t ModelHandleChangeLimbMesh(ModelHandle& h, uint32_t limb, uint32_t meshNumber) {
  if (!h.root) return kModelFailed;
  if (const MeshData* m = MeshDataAt(meshNumber)) {
    const RecordGeometry rg(*m);
    OnLimbMeshes(h, limb, [&](SceneNode* n) { n->ChangeLimbMesh(limb, rg.g); });
  }
  return kModelOk;
}

void ModelHandleSetLimbTexture(ModelHandle& h, uint32_t limb, int32_t texture) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->SetLimbTexture(limb, texture); });
}
void ModelHandleSetLimbVisible(ModelHandle& h, uint32_t limb, uint32_t flag) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->SetLimbVisible(limb, flag); });
}
void ModelHandleQueryLimbTexture(ModelHandle& h, uint32_t limb, int32_t* out) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->QueryLimbTexture(limb, out); });
}
void ModelHandleScaleNormals(ModelHandle& h, float factor) {
  if (h.root) h.root->ScaleNormals(factor);
}
void ModelHandleScrollLimbTexture(ModelHandle& h, uint32_t limb, float du, float dv) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->ScrollLimbTexture(limb, du, dv); });
}
void ModelHandleScaleLimbTexture(ModelHandle& h, uint32_t limb, float su, float sv) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->ScaleLimbTexture(limb, su, sv); });
}
void ModelHandleListLimbs(ModelHandle& h) {
  if (h.root) h.root->ListLimbs();
}
void ModelHandleSetRootMatrix(ModelHandle& h, uint32_t flag, const float m[16]) {
  if (h.root) h.root->SetRootMatrix(flag, m);
}
void ModelHandleGetRootMatrix(ModelHandle& h, float** out) {
  if (h.root) h.root->GetRootMatrix(out);
}

// ---- Measurements.

int32_t ModelHandleGetBoundingSphere(ModelHandle& h, float centre[3], float* radius) {
  centre[0] = centre[1] = centre[2] = 0.0f;
  *radius = -1.0f;
  if (!h.root) return kModelFailed;
  const Identity id;
  double sum[3] = {0, 0, 0};
  uint32_t count = 0;
  h.root->SumVertices(id.m, sum, &count);
  if (count == 0) return kModelFailed;
  for (int i = 0; i < 3; ++i) centre[i] = float(sum[i] / count);
  h.root->MaxVertexDistance(id.m, centre, radius);
  return *radius > 0.0f ? kModelOk : kModelFailed;
}

int32_t ModelHandleGetBoundingRadius(ModelHandle& h, float centre[3], float* radius) {
  centre[0] = centre[1] = centre[2] = 0.0f;
  *radius = -1.0f;
  if (!h.root) return kModelFailed;
  h.root->MaxVertexDistance(Identity().m, centre, radius);
  return *radius > 0.0f ? kModelOk : kModelFailed;
}

int32_t ModelHandleGetMinAxisDistance(ModelHandle& h, float centre[3], float* distance) {
  centre[0] = centre[1] = centre[2] = 0.0f;
  *distance = 9999999.0f;
  if (h.root) h.root->MinAxisDistance(Identity().m, centre, distance);
  return *distance > 0.0f ? kModelOk : kModelFailed;
}

int32_t ModelHandleGetBoundingBox(ModelHandle& h, NodeBounds* bounds) {
  if (h.root) h.root->GrowBoundingBox(Identity().m, bounds);
  return kModelOk;
}

int32_t ModelHandleGetLimbBoundingSphere(ModelHandle& h, uint32_t limb, float centre[3], float* radius) {
  centre[0] = centre[1] = centre[2] = 0.0f;
  *radius = -1.0f;
  if (!h.root) return kModelFailed;
  const Identity id;
  double sum[3] = {0, 0, 0};
  uint32_t count = 0;
  h.root->SumLimbVertices(limb, id.m, sum, &count);
  if (count == 0) return kModelFailed;
  for (int i = 0; i < 3; ++i) centre[i] = float(sum[i] / count);
  h.root->MaxLimbVertexDistance(limb, id.m, centre, radius);
  return *radius > 0.0f ? kModelOk : kModelFailed;
}

// ---- Collision and world placement.

void ModelHandleSetCollisionShape(ModelHandle& h, uint32_t object, int32_t kind, float a, float b, float c) {
  if (h.root) h.root->SetCollisionShape(object, kind, a, b, c);
}

void ModelHandleRemoveLimbCollision(ModelHandle& h, uint32_t limb) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->RemoveLimbCollision(limb); });
}
void ModelHandleSetLimbCollision(ModelHandle& h, uint32_t object, uint32_t limb, int32_t kind) {
  OnLimbMeshes(h, limb, [&](SceneNode* n) { n->SetLimbCollision(object, limb, kind); });
}

void ModelHandleRemoveCollision(ModelHandle& h) {
  if (h.root) h.root->RemoveCollision();
}

void ModelHandleUpdateCollisionTransforms(ModelHandle& h, Device3D& device, uint32_t object) {
  if (h.root) KeepingWorld(device, [&] { h.root->UpdateCollisionTransforms(device, object); });
}

uint32_t ModelHandleCollisionObject(const ModelHandle& h) { return h.root ? h.root->objectIndex : 0; }

void ModelHandleRekeyCollision(ModelHandle& h, uint32_t object) {
  if (!h.root) return;
  ForEachNode(h.root.get(), [&](SceneNode* n) {
    if (n->IsFrame()) static_cast<FrameNode*>(n)->objectIndex = object;
    else static_cast<MeshNode*>(n)->RekeyCollision(object);
  });
}

void ModelHandleComputeWorldMatrices(ModelHandle& h, Device3D& device) {
  if (h.root) KeepingWorld(device, [&] { h.root->ComputeWorldMatrices(device); });
}

void ModelHandleGetLimbWorldMatrix(ModelHandle& h, uint32_t limb, float out[16]) {
  FrameNode* frame = nullptr;
  if (!h.root) return;
  if (!LimbFrame(h, limb, &frame)) h.root->GetLimbWorldMatrix(limb, out);
  else if (frame && frame->firstChild) std::memcpy(out, frame->worldMatrix, sizeof frame->worldMatrix);
}

// ---- Per-frame and engine operations.

int32_t ModelHandleRestoreBuffers(ModelHandle& h, Device3D& device) {
  if (h.root) h.root->RestoreBuffers(device);
  return kModelOk;
}

void ModelHandleExportGeometry(ModelHandle& h, Device3D& device, GeometryExport* out) {
  if (h.root) KeepingWorld(device, [&] { h.root->ExportGeometry(device, out); });
}
