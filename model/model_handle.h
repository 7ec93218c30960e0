#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "model/anim_track.h"
#include "model/xfile/xfile.h"
#include "model/frame_node.h"
#include "model/limb_index.h"
#include "model/mesh_node.h"

// The model of one 3D object: the tree of scene nodes (the root frame is limb 0) and its
// animation. Every model operation goes through the handle: it checks for a root, calls one
// operation on the root (or a loader or writer) and turns the outcome into a result, 0 for
// success and kModelFailed for failure. Without a root, each operation behaves as described.
// An operation on one limb of a plain tree (see LimbIndex) acts on the limb's nodes through the
// index, with the outcome of the walk from the root; the tree is therefore changed only through
// the handle.

inline constexpr int32_t kModelOk = 0;
inline constexpr int32_t kModelFailed = int32_t(0x80004005u);
// A limb link refused because the chain would grow past the deepest level a tree may have.
inline constexpr int32_t kModelTooDeep = int32_t(0x8007000Eu);

struct ModelHandle {
  std::unique_ptr<FrameNode> root;
  uint32_t frameCount = 0;  // frames of the loaded file plus the root
  uint32_t userFrames = 0;  // frames ever added from meshes (limbs): with frameCount, a bound on the frames
  std::unique_ptr<AnimSet> animation;
  LimbIndex limbIndex;

  ModelHandle() = default;
  ModelHandle(const ModelHandle&) = delete;
  ModelHandle& operator=(const ModelHandle&) = delete;
  ~ModelHandle();  // the animation, then the tree
};

// ---- Loading, saving, building.
// Loads an .x file into a handle without a root (kModelFailed when it has one, or when the
// file gives no tree, with the cause in why); the meshes get their vertex buffers on the device
// (none without one).
int32_t LoadModelXFile(ModelHandle& h, const std::string& path, Device3D* device, std::string* why = nullptr);
// The same from objects already read.
int32_t LoadModelXObjects(ModelHandle& h, const XFile& file, Device3D* device, std::string* why = nullptr);
// Saves the animation as a text .x file (also without a root).
int32_t SaveAnimationXFile(ModelHandle& h, const std::string& path);
// Appends the animation of another .x file to the tracks of the limbs it names (the cause of a
// failure in why).
int32_t LoadAnimatedXFile(ModelHandle& h, const std::string& path, int32_t timeOffset, int32_t holdTime,
                          std::string* why = nullptr);
// Appends the animation of a file that names the frames of the model file (a saved animation).
// A failure gives the cause in why, and whether the model file (else the animation file) caused it.
int32_t MergeAnimationXFile(ModelHandle& h, const std::string& modelPath, const std::string& animationPath,
                            int32_t timeOffset, int32_t holdTime, std::string* why = nullptr,
                            bool* modelFileFailed = nullptr);
// A limb made from a mesh data record: limb 0 builds the root (of a handle without one), any
// other limb is added under the root (record 0: a limb without a mesh). Fails when the device
// cannot hold the mesh's vertex buffer (or there is no device).
int32_t AddUserFrame(ModelHandle& h, uint32_t limb, uint32_t meshNumber, int32_t texture, Device3D* device);

// ---- Limbs and the tree.
int32_t ModelHandleGetLimbFrameName(ModelHandle& h, uint32_t limb, std::string* out);
int32_t ModelHandleReparentLimb(ModelHandle& h, uint32_t limb, uint32_t newParent);
int32_t ModelHandleFindFrameMatrix(ModelHandle& h, const char* name, float** out);
// The limb's local matrix from a position, angles in degrees and a scale: scale x rotation x
// translation, the rotation Z x Y x X for order 0 and X x Y x Z for order 1.
void ModelHandleSetLimbTransform(ModelHandle& h, uint32_t limb, float px, float py, float pz, float rx, float ry,
                                 float rz, float sx, float sy, float sz, uint32_t order);
// The rotation of that transform alone: angles in degrees, Z x Y x X for order 0, X x Y x Z for 1.
void ModelHandleBuildLimbRotation(float out[16], float rx, float ry, float rz, uint32_t order);
// The same transform with a rotation matrix in place of the angles.
void ModelHandleSetLimbTransformEx(ModelHandle& h, uint32_t limb, float px, float py, float pz, const float r[16],
                                   float sx, float sy, float sz);
void ModelHandleSetLimbMatrix(ModelHandle& h, uint32_t limb, const float m[16]);
void ModelHandleGetLimbMatrix(ModelHandle& h, uint32_t limb, float out[16]);
// out[j - 1] = the local matrix of the frame with limb number j, for j in 1..count (entries of
// limbs no frame has are left as they are). The pointers hold until the tree changes: the
// per-frame playback writes the limbs its tracks drive through them in one walk of the tree.
void ModelHandleLimbMatrixPointers(ModelHandle& h, float** out, size_t count);
void ModelHandleGetLimbTexture(ModelHandle& h, uint32_t limb, int32_t* out);
void ModelHandleGetLimbMeshName(ModelHandle& h, uint32_t limb, std::string* out);
void ModelHandleScaleAllVertices(ModelHandle& h, float sx, float sy, float sz);
// The limb's meshes take the geometry of the mesh data record (nothing for a record not in use).
int32_t ModelHandleChangeLimbMesh(ModelHandle& h, uint32_t limb, uint32_t meshNumber);
// The limb's meshes take the texture (0 none), letting go of one they owned.
void ModelHandleSetLimbTexture(ModelHandle& h, uint32_t limb, int32_t texture);
// The limb's meshes are drawn (1) or not (0).
void ModelHandleSetLimbVisible(ModelHandle& h, uint32_t limb, uint32_t flag);
// The limb's texture coordinates moved by (du, dv) or multiplied by (su, sv).
void ModelHandleScrollLimbTexture(ModelHandle& h, uint32_t limb, float du, float dv);
void ModelHandleScaleLimbTexture(ModelHandle& h, uint32_t limb, float su, float sv);
// One checklist row (limb number, frame name) for every frame above limb 0, while rows are left.
void ModelHandleListLimbs(ModelHandle& h);
inline uint32_t ModelHandleGetFrameCount(const ModelHandle& h) { return h.frameCount; }

// ---- Appearance: textures, normals and the root's extra matrix.
// The limb's meshes take the texture (one they owned is released).
// The texture of the limb's meshes (out untouched for a limb without a mesh).
void ModelHandleQueryLimbTexture(ModelHandle& h, uint32_t limb, int32_t* out);
// Every mesh's vertex buffer made again with its normals scaled by the factor.
void ModelHandleScaleNormals(ModelHandle& h, float factor);
// Texture coordinates of the limb's meshes moved by (du, dv) / multiplied by (su, sv).
// The extra matrix the root frame applies ahead of its own (while the flag is 1).
void ModelHandleSetRootMatrix(ModelHandle& h, uint32_t flag, const float m[16]);
// The root frame's extra matrix (*out untouched without a root frame).
void ModelHandleGetRootMatrix(ModelHandle& h, float** out);

// ---- Measurements (the root placed by the identity).
int32_t ModelHandleGetBoundingSphere(ModelHandle& h, float centre[3], float* radius);
// The largest distance of a vertex from the model's origin (centre (0, 0, 0)); -1 without
// vertices.
int32_t ModelHandleGetBoundingRadius(ModelHandle& h, float centre[3], float* radius);
int32_t ModelHandleGetMinAxisDistance(ModelHandle& h, float centre[3], float* distance);
// Widens the caller's bounds; always 0.
int32_t ModelHandleGetBoundingBox(ModelHandle& h, NodeBounds* bounds);
int32_t ModelHandleGetLimbBoundingSphere(ModelHandle& h, uint32_t limb, float centre[3], float* radius);

// ---- Collision and world placement.
// Every mesh gets the collision shape, keyed by the object record index.
void ModelHandleSetCollisionShape(ModelHandle& h, uint32_t object, int32_t kind, float a, float b, float c);
// The limb's meshes lose their collision shapes, or get one of the kind (sizes from the mesh)
// keyed by the object record index.
void ModelHandleRemoveLimbCollision(ModelHandle& h, uint32_t limb);
void ModelHandleSetLimbCollision(ModelHandle& h, uint32_t object, uint32_t limb, int32_t kind);
// Every mesh loses its collision object and shape.
void ModelHandleRemoveCollision(ModelHandle& h);
// The collision objects placed by the model's frames over the device's world transform (left as
// it was); object as for SceneNode::UpdateCollisionTransforms.
void ModelHandleUpdateCollisionTransforms(ModelHandle& h, Device3D& device, uint32_t object);
// The object record index the shapes were last given under (0 none).
uint32_t ModelHandleCollisionObject(const ModelHandle& h);
// Every collision object of the model moves to the key of another object record.
void ModelHandleRekeyCollision(ModelHandle& h, uint32_t object);
// The world matrices of every frame from the device's world transform (left as it was).
void ModelHandleComputeWorldMatrices(ModelHandle& h, Device3D& device);
// The limb's world matrix as last computed (out untouched for a limb that is not there).
void ModelHandleGetLimbWorldMatrix(ModelHandle& h, uint32_t limb, float out[16]);

// ---- Engine operations. The vertex buffers made again on the device (after a display
// change); returns 0.
int32_t ModelHandleRestoreBuffers(ModelHandle& h, Device3D& device);
// The geometry copied out through the device's world transforms, which it leaves as it found
// them.
void ModelHandleExportGeometry(ModelHandle& h, Device3D& device, GeometryExport* out);
