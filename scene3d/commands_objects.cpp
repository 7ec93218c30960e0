// Making, cloning, loading and deleting 3D objects, and the existence query.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "model/model_state.h"
#include "platform/events.h"
#include "scene3d/commands.h"
#include "scene3d/object_model.h"
#include "scene3d/object_operands.h"

namespace {

// What a primitive maker gives the object: its shape in the collision library, its sizes and
// whether collision queries use its box.
struct PrimitiveShape {
  int32_t kind;
  float a, b, c;
  uint8_t boxCollision;
  bool cullOff = false;
};

// Takes a record for object number n and enters it in the map; kNoRecord when the pool is full.
uint32_t TakeObjectRecord(int32_t number) {
  const uint32_t r = AllocObjectRecord();
  if (r == kNoRecord) return r;
  g_scene.objectNumbers[size_t(number)] = r;
  Obj(r).number = number;
  return r;
}

// The record's defaults; false (the record deleted again) when no frame record could be had.
bool InitNewObject(uint32_t record, int32_t number) {
  if (InitObjectRecord(record, 1) != 0) return true;
  DeleteObjectRecord(record, number);
  return false;
}

// The maker of every primitive: number n checked and absent, the mesh filled into a temporary
// mesh data record, an object made from it, the temporary freed, the shape given.
void MakePrimitive(int32_t number, const std::function<void(uint32_t)>& fill, const PrimitiveShape& shape) {
  if (!CheckObjectNumber(number)) return;
  if (ObjectRecordOf(number) != 0) return RunError(kErrObjectExists);
  const uint32_t mesh = AllocMeshData();
  if (mesh == kNoRecord) return;
  fill(mesh);
  const uint32_t r = TakeObjectRecord(number);
  if (r != kNoRecord) {
    EnsureObjectVisual(r, mesh);
    if (InitNewObject(r, number)) {
      ObjectRecord& o = Obj(r);
      o.limbCount = 1;
      o.collisionShape = shape.kind;
      o.boxCollision = shape.boxCollision;
      o.boxPushBack = 0;
      if (shape.cullOff) g_framePool[o.frameIndex].cull = 0;
      if (o.model) ModelHandleSetCollisionShape(*o.model, r, shape.kind, shape.a, shape.b, shape.c);
      g_scene.sceneChanged = 1;
    }
  }
  FreeMeshData(mesh);
  RefreshScene();
}

void CmdMakeObjectBox() {
  const float w = OpFloat(1), h = OpFloat(2), d = OpFloat(3);
  MakePrimitive(OpInt(0), [&](uint32_t m) { BuildBoxMesh(m, w, h, d); }, {1, w, h, d, 1});
  SkipOperands(4);
}

// A built-in solid scaled to s on every axis.
void MakeSolid(uint16_t mesh, int32_t kind, float a, float b, uint8_t boxCollision) {
  const float s = OpFloat(1);
  MakePrimitive(OpInt(0), [&](uint32_t m) { LoadScaledBuiltinMesh(m, mesh, s, s, s); }, {kind, a, b, 0, boxCollision});
  SkipOperands(2);
}

void CmdMakeObjectSphere() { MakeSolid(kMeshSphere, 2, OpFloat(1) / 2, 0, 0); }
void CmdMakeObjectCube() { MakeSolid(kMeshCube, 3, OpFloat(1), 0, 1); }
void CmdMakeObjectCylinder() { MakeSolid(kMeshCylinder, 4, OpFloat(1) / 2, OpFloat(1), 0); }
void CmdMakeObjectCone() { MakeSolid(kMeshCone, 5, OpFloat(1) / 2, OpFloat(1), 0); }

void CmdMakeObjectPlane() {
  const float w = OpFloat(1), h = OpFloat(2);
  MakePrimitive(OpInt(0), [&](uint32_t m) { LoadScaledBuiltinMesh(m, kMeshPlane, w, h, 1.0f); },
                {6, w, h, 1.0f, 1, true});
  SkipOperands(3);
}

void CmdMakeObjectTriangle() {
  float p[9];
  for (int k = 0; k < 9; ++k) p[k] = OpFloat(1 + k);
  MakePrimitive(OpInt(0),
                [&](uint32_t m) { BuildTriangleMesh(m, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]); },
                {99, 0, 0, 0, 0, true});
  SkipOperands(10);
}

// The number of the last animation frame: the largest whole time of the last key of any key
// list of any track; 0 without animation.
float LastAnimationFrame(const ModelHandle& model) {
  float last = 0;
  for (const AnimSet* set = model.animation.get(); set; set = set->nextSet.get())
    for (const AnimTrack* t = set->firstTrack.get(); t; t = t->next.get()) {
      if (!t->rotationKeys.empty()) last = std::max(last, std::trunc(t->rotationKeys[TrackGetLastRotOffset(*t)]));
      if (!t->scaleKeys.empty()) last = std::max(last, std::trunc(t->scaleKeys[TrackGetLastScaleOffset(*t)]));
      if (!t->positionKeys.empty())
        last = std::max(last, std::trunc(t->positionKeys[TrackGetLastPositionOffset(*t)]));
    }
  return last;
}

// Limbs 0..limbCount - 1 as the model places them: offsets from each limb's local matrix,
// angles 0, scales 1, not linkable.
void InitLimbsFromModel(uint32_t record) {
  // The matrices of limbs 1 and up are found in one walk of the tree: a walk per limb would
  // take minutes for a model of 100,000 frames.
  const int32_t count = Obj(record).limbCount;
  std::vector<float*> matrices(count > 1 ? size_t(count) - 1 : 0, nullptr);
  if (Obj(record).model && !matrices.empty())
    ModelHandleLimbMatrixPointers(*Obj(record).model, matrices.data(), matrices.size());
  SizeLimbArray(record, count);
  for (int32_t k = 0; k < count; ++k) {
    if ((k & 0xFFFF) == 0xFFFF && WalkStopped()) return;  // the load's caller throws the object away
    InitObjectLimb(record, k);
    ObjectRecord& o = Obj(record);
    if (size_t(k) >= o.limbs.size()) break;
    float m[16] = {};
    if (k == 0 && o.model) ModelHandleGetLimbMatrix(*o.model, 0, m);
    else if (k > 0 && matrices[size_t(k) - 1]) std::memcpy(m, matrices[size_t(k) - 1], sizeof m);
    LimbRecord& limb = o.limbs[size_t(k)];
    limb.offsetX = m[12], limb.offsetY = m[13], limb.offsetZ = m[14];
    limb.linkable = 0;
  }
}

// Reports a failed model load by its code; the message names the file and the cause.
void ReportLoadFailure(int32_t code, const std::string& file, const std::string& why) {
  switch (code) {
    case -4: return RunFileError(kErrFileNotFound, file, why);
    case -3: return RunFileWarning(kErrModelNotRead, file, why);
    case -1: return RunFileError(kErrModelFileKind, file, why);
    default: return RunFileError(kErrModelNotLoaded, file, why);
  }
}

void CmdLoadObject() {
  const std::string file = OpString(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  if (!CheckObjectNumber(n)) return;
  if (const uint32_t old = ObjectRecordOf(n)) DeleteObjectRecord(old, n);
  const uint32_t r = AllocObjectRecord();
  if (r == kNoRecord) return;
  std::string why;
  const FileLoadScope load(kErrModelNotLoaded, file);
  // A stop ends the load and the set-up walks after it part way: the object is then not made.
  const StopEndsWalks stoppable;
  const int32_t limbs = LoadObject(r, file, &why);
  if (limbs <= 0 || WalkStopped()) {
    FreeObjectRecord(r);
    if (limbs <= 0) ReportLoadFailure(limbs, file, why);
    RefreshScene();
    return;
  }
  g_scene.objectNumbers[size_t(n)] = r;
  Obj(r).number = n;
  if (!InitNewObject(r, n)) return;
  if (WalkStopped()) return DeleteObjectRecord(r, n);
  ObjectRecord& o = Obj(r);
  o.limbCount = limbs;
  o.frameCount = LastAnimationFrame(*o.model);
  o.endFrame = o.frameCount;
  o.rotFrom.assign(size_t(limbs), {}), o.rotTo.assign(size_t(limbs), {});
  o.scaleFrom.assign(size_t(limbs), {}), o.scaleTo.assign(size_t(limbs), {});
  o.posFrom.assign(size_t(limbs), {}), o.posTo.assign(size_t(limbs), {});
  InitLimbsFromModel(r);
  if (WalkStopped()) return DeleteObjectRecord(r, n);
  Obj(r).boxCollision = 1;
  Obj(r).boxPushBack = 0;
  Obj(r).collisionShape = 52;
  ModelHandleSetCollisionShape(*Obj(r).model, r, 52, 0, 0, 0);
  g_scene.sceneChanged = 1;
  RefreshScene();
}

// A clone shares its source's model and limb array (the record copy shares both), and so its
// animation and frame count.
void CmdCloneObject() {
  const int32_t m = OpInt(0), n = OpInt(1);
  SkipOperands(2);
  const uint32_t source = ExistingObject(m);
  if (!source || !CheckObjectNumber(n)) return;
  // Taken before object n goes, which may be the source itself.
  ObjectRecord copy = Obj(source);
  copy.playingAnimation.reset();
  const uint32_t sharer = copy.nextSharer != 0 ? copy.nextSharer : copy.prevSharer;
  if (const uint32_t old = ObjectRecordOf(n)) DeleteObjectRecord(old, n);
  const uint32_t r = TakeObjectRecord(n);
  if (r == kNoRecord) return;
  ObjectRecord& o = Obj(r);
  const uint32_t next = o.next, prev = o.prev;
  o = std::move(copy);
  o.next = next, o.prev = prev;
  o.number = n;
  o.frameIndex = 0;
  o.rotFrom.clear(), o.rotTo.clear(), o.scaleFrom.clear(), o.scaleTo.clear(), o.posFrom.clear(), o.posTo.clear();
  o.referrers.clear(), o.referrersKept = 0;
  // The copied hit names its object as the source's does: deleting that object clears it here too.
  if (o.hitObject > 0) NoteObjectReference(r, uint32_t(o.hitObject));
  // Joins the source, or when the source was object n itself, a holder the source was linked to.
  LinkModelSharer(r, source != r && Obj(source).model == o.model ? source : sharer);
  if (!InitNewObject(r, n)) return;
  // The clone plays the shared animation over all its frames, from frame 0; it starts stopped.
  Obj(r).endFrame = Obj(r).frameCount;
  Obj(r).playing = Obj(r).looping = 0;
  InitLimbsFromModel(r);
  Obj(r).collisionShape = 52;
  if (Obj(r).model) ModelHandleSetCollisionShape(*Obj(r).model, r, 52, 0, 0, 0);
  g_scene.sceneChanged = 1;
  RefreshScene();
}

// Mesh number in 1..65534 (or 0..65534 with allowZero), else 7001.
bool CheckMeshNumber(int32_t mesh, bool allowZero = false) {
  if (mesh >= (allowZero ? 0 : 1) && mesh <= kMaxMeshNumber) return true;
  RunError(kErrMeshNumberOutOfRange);
  return false;
}

// Frees mesh number m's record (when it has one) and clears its entry.
void DropMesh(int32_t mesh) {
  uint32_t& entry = g_model.meshNumbers[size_t(mesh)];
  if (entry != 0) FreeMeshData(entry);
  entry = 0;
}

void CmdMakeObject() {
  const int32_t n = OpInt(0), mesh = OpInt(1), image = OpInt(2);
  SkipOperands(3);
  if (!CheckObjectNumber(n)) return;
  if (ObjectRecordOf(n) != 0) return RunError(kErrObjectExists);
  if (!CheckMeshNumber(mesh, true)) return;
  const uint32_t meshRecord = mesh != 0 ? g_model.meshNumbers[size_t(mesh)] : 0;
  if (mesh != 0 && meshRecord == 0) return RunError(kErrMeshMissing);
  uint32_t imageRecord = 0;
  if (!CheckImageOperand(image, &imageRecord)) return;
  const int32_t texture = image >= 1 ? AcquireImageTexture(imageRecord, 1) : 0;
  const uint32_t r = TakeObjectRecord(n);
  if (r == kNoRecord) {
    if (texture > 0) ReleaseTexture(texture, false);
    return;
  }
  // Without a model (an empty mesh) the texture has no holder.
  if (EnsureObjectVisualForLoad(r, meshRecord, texture) != 1 && texture > 0) ReleaseTexture(texture, false);
  if (!InitNewObject(r, n)) return;
  ObjectRecord& o = Obj(r);
  o.limbCount = 1;
  o.limbs[0].textureImage = int32_t(imageRecord);
  o.limbs[0].imageNumber = image;
  o.collisionShape = 52;
  if (o.model) ModelHandleSetCollisionShape(*o.model, r, 52, 0, 0, 0);
  g_scene.sceneChanged = 1;
  RefreshScene();
}

void CmdLoadMesh() {
  const std::string file = OpString(0);
  const int32_t mesh = OpInt(1);
  SkipOperands(2);
  if (!CheckMeshNumber(mesh)) return;
  DropMesh(mesh);
  const uint32_t temp = AllocObjectRecord();
  if (temp == kNoRecord) return;
  std::string why;
  const FileLoadScope load(kErrMeshNotLoaded, file);
  int32_t result = LoadObject(temp, file, &why);
  if (result > 0) {
    // A model without a vertex makes no mesh: the load says so rather than leaving none behind.
    const int32_t made = MakeMeshFromObject(temp, -1, -1);
    g_model.meshNumbers[size_t(mesh)] = made > 0 ? uint32_t(made) : 0;
    if (made <= 0) result = 0, why = "holds no mesh";
  }
  FreeObjectRecord(temp);
  if (result <= 0) RunFileError(result == -1 ? kErrModelFileKind : kErrMeshNotLoaded, file, why);
}

void CmdDeleteMesh() {
  const int32_t mesh = OpInt(0);
  SkipOperands(1);
  if (!CheckMeshNumber(mesh)) return;
  if (g_model.meshNumbers[size_t(mesh)] == 0) return RunError(kErrMeshMissing);
  DropMesh(mesh);
}

void CmdMakeMeshFromObject() {
  const int32_t mesh = OpInt(0), n = OpInt(1);
  SkipOperands(2);
  if (!CheckMeshNumber(mesh)) return;
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  DropMesh(mesh);
  const int32_t made = MakeMeshFromObject(r, -1, -1);
  if (made <= 0) return RunError(kErrMeshNotMade);
  g_model.meshNumbers[size_t(mesh)] = uint32_t(made);
}

void CmdMeshExist() {
  const int32_t mesh = OpInt(1);
  if (CheckMeshNumber(mesh)) OpCell(0)->i = g_model.meshNumbers[size_t(mesh)] != 0 ? 1 : 0;
  SkipOperands(2);
}

void CmdDeleteObject() {
  const int32_t n = OpInt(0);
  if (const uint32_t r = ExistingObject(n)) {
    DeleteObjectRecord(r, n);
    RefreshScene();
  }
  SkipOperands(1);
}

void CmdObjectExist() {
  const int32_t n = OpInt(1);
  if (CheckObjectNumber(n)) OpCell(0)->i = ObjectRecordOf(n) != 0 ? 1 : 0;
  SkipOperands(2);
}

const CommandDef kObjectCommands[] = {
    {7000, CmdLoadObject, "sl"},
    {7001, CmdLoadMesh, "sl"},
    {7002, CmdDeleteMesh, "l"},
    {7004, CmdMakeMeshFromObject, "ll"},
    {7008, CmdMakeObject, "lll"},
    {7009, CmdDeleteObject, "l"},
    {7041, CmdMakeObjectBox, "lfff"},
    {7042, CmdMakeObjectSphere, "lf"},
    {7043, CmdMakeObjectCube, "lf"},
    {7044, CmdMakeObjectCylinder, "lf"},
    {7045, CmdMakeObjectCone, "lf"},
    {7046, CmdMakeObjectPlane, "lff"},
    {7047, CmdMakeObjectTriangle, "lfffffffff"},
    {7264, CmdCloneObject, "ll"},
    {7501, CmdMeshExist, "ll"},
    {7511, CmdObjectExist, "ll"},
};

}  // namespace

std::span<const CommandDef> ObjectCommands() { return kObjectCommands; }
