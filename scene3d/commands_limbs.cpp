// Limbs of 3D objects: adding them from meshes, placing, turning, scaling and re-parenting them,
// showing and hiding, texturing and colouring, replacing their meshes, listing them in the
// checklist, and the limb queries.
#include <string>
#include <type_traits>

#include "core/checklist.h"
#include "display/textures.h"
#include "model/model_handle.h"
#include "model/model_state.h"
#include "scene3d/commands.h"
#include "scene3d/object_model.h"
#include "scene3d/object_operands.h"

namespace {

constexpr float kDegreesPerRadian = 57.29578f;

// The record of object n whose limb exists: 7006, 7008, 7021, 7023 in that order; 0 after an
// error.
uint32_t ExistingLimb(int32_t n, int32_t limb) {
  const uint32_t r = ExistingObject(n);
  return r && CheckLimbExists(r, limb) ? r : 0;
}

// The record of mesh number m: 7001 outside 1..65534 (0..65534 with allowZero), 7003 for a
// number without a mesh; 0 for mesh 0 and after an error (*ok tells them apart).
uint32_t MeshOperand(int32_t mesh, bool allowZero, bool* ok) {
  *ok = false;
  if (mesh < (allowZero ? 0 : 1) || mesh > kMaxMeshNumber) {
    RunError(kErrMeshNumberOutOfRange);
    return 0;
  }
  const uint32_t record = mesh != 0 ? g_model.meshNumbers[size_t(mesh)] : 0;
  if (mesh != 0 && record == 0) {
    RunError(kErrMeshMissing);
    return 0;
  }
  *ok = true;
  return record;
}

// The model takes the limb's offsets, angles and scales as its new local matrix.
void ApplyLimbTransform(uint32_t record, int32_t limb) {
  ObjectRecord& o = Obj(record);
  const LimbRecord& l = o.limbs[size_t(limb)];
  if (o.model)
    ModelHandleSetLimbTransform(*o.model, uint32_t(limb), l.offsetX, l.offsetY, l.offsetZ, l.angleX, l.angleY,
                                l.angleZ, l.scaleX, l.scaleY, l.scaleZ, uint32_t(o.rotationOrder));
  g_scene.sceneChanged = 1;
}

void CmdAddLimb() {
  const int32_t n = OpInt(0), limb = OpInt(1), mesh = OpInt(2);
  SkipOperands(3);
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  bool ok;
  const uint32_t meshRecord = MeshOperand(mesh, true, &ok);
  if (!ok) return;
  const ObjectRecord& o = Obj(r);
  if (limb < 1 || size_t(limb) >= o.limbs.size()) return RunError(kErrLimbNotAddable);
  if (o.limbs[size_t(limb)].exists == 1) return RunError(kErrLimbExists);
  if (limb != 1 && o.limbs[size_t(limb) - 1].exists != 1) return RunError(kErrLimbPreviousMissing);
  InitObjectLimb(r, limb);
  AddMeshLimbToObject(r, uint32_t(limb), meshRecord);
  ObjectRecord& grown = Obj(r);
  grown.limbCount += 1;
  // Every mesh of the model, the new one included, takes the box of its mesh; when the others
  // hold theirs already, only the new mesh is given its box (a model shared with a clone may
  // have been changed through the clone).
  const bool others = grown.limbShapesWhole == 1 && grown.collisionShape == 52 && grown.model &&
                      grown.model.use_count() == 1 && ModelHandleCollisionObject(*grown.model) == r;
  grown.collisionShape = 52;
  if (grown.model) {
    if (others) ModelHandleSetLimbCollision(*grown.model, r, uint32_t(limb), 52);
    else ModelHandleSetCollisionShape(*grown.model, r, 52, 0, 0, 0);
  }
  grown.limbShapesWhole = grown.model ? 1 : 0;
  g_scene.sceneChanged = 1;
}

void CmdTextureLimb() {
  const int32_t n = OpInt(0), limb = OpInt(1), image = OpInt(2);
  SkipOperands(3);
  const uint32_t r = ExistingObject(n);
  uint32_t imageRecord = 0;
  if (!r || !CheckImageOperand(image, &imageRecord) || !CheckLimbExists(r, limb)) return;
  const int32_t texture = image >= 1 ? AcquireImageTexture(imageRecord, 1) : 0;
  ObjectRecord& o = Obj(r);
  if (o.model) ModelHandleSetLimbTexture(*o.model, uint32_t(limb), texture);
  LimbRecord& l = o.limbs[size_t(limb)];
  l.textureImage = int32_t(imageRecord);
  l.imageNumber = image;
}

void CmdColourLimb() {
  const int32_t n = OpInt(0), limb = OpInt(1);
  const uint32_t colour = uint32_t(OpInt(2));
  SkipOperands(3);
  const uint32_t r = ExistingObject(n);
  if (!r || !CheckLimbExists(r, limb)) return;
  // The limb's previous colour goes before the new one is taken, so it holds one reference.
  if (const int32_t old = Obj(r).limbs[size_t(limb)].ownTexture; old != 0) ReleaseTexture(old, false);
  Obj(r).limbs[size_t(limb)].ownTexture = 0;
  const int32_t texture = LoadColorTexture(colour);
  ObjectRecord& o = Obj(r);
  if (o.model) ModelHandleSetLimbTexture(*o.model, uint32_t(limb), texture);
  LimbRecord& l = o.limbs[size_t(limb)];
  l.ownTexture = texture;
  l.textureImage = 0;
  l.imageNumber = 0;
}

void CmdOffsetLimb() {
  const int32_t n = OpInt(0), limb = OpInt(1);
  const float x = OpFloat(2), y = OpFloat(3), z = OpFloat(4);
  SkipOperands(5);
  const uint32_t r = ExistingLimb(n, limb);
  if (!r) return;
  LimbRecord& l = Obj(r).limbs[size_t(limb)];
  l.offsetX = x, l.offsetY = y, l.offsetZ = z;
  ApplyLimbTransform(r, limb);
}

// The angles are kept as given (360 stays 360).
void CmdRotateLimb() {
  const int32_t n = OpInt(0), limb = OpInt(1);
  const float a[3] = {OpFloat(2), OpFloat(3), OpFloat(4)};
  SkipOperands(5);
  const uint32_t r = ExistingLimb(n, limb);
  if (!r) return;
  for (float angle : a)
    if (!(angle >= 0.0f && angle <= 360.0f)) return RunError(kErrAngleOutOfRange);
  LimbRecord& l = Obj(r).limbs[size_t(limb)];
  l.angleX = a[0], l.angleY = a[1], l.angleZ = a[2];
  ApplyLimbTransform(r, limb);
}

void CmdScaleLimb() {
  const int32_t n = OpInt(0), limb = OpInt(1);
  const int32_t x = OpInt(2), y = OpInt(3), z = OpInt(4);
  SkipOperands(5);
  const uint32_t r = ExistingLimb(n, limb);
  if (!r) return;
  LimbRecord& l = Obj(r).limbs[size_t(limb)];
  l.scaleX = float(x) / 100.0f, l.scaleY = float(y) / 100.0f, l.scaleZ = float(z) / 100.0f;
  ApplyLimbTransform(r, limb);
}

// Limb a, with everything below it, moves under limb b; each added limb can be linked once.
void CmdLinkLimb() {
  const int32_t n = OpInt(0), a = OpInt(1), b = OpInt(2);
  SkipOperands(3);
  const uint32_t r = ExistingLimb(n, a);
  if (!r) return;
  ObjectRecord& o = Obj(r);
  if (b < 0 || size_t(b) >= o.limbs.size() || b == a) return RunError(kErrLimbOutOfRange);
  if (o.limbs[size_t(b)].exists != 1) return RunError(kErrLimbMissing);
  if (o.limbs[size_t(a)].linkable != 1) return RunError(kErrLimbNotLinkable);
  if (o.model) {
    const int32_t result = ModelHandleReparentLimb(*o.model, uint32_t(a), uint32_t(b));
    // A chain past the deepest level is refused as a limb that cannot be linked.
    if (result == kModelTooDeep) return RunError(kErrLimbNotLinkable);
    if (result != kModelOk) return RunError(kErrLimbNotReparented);
  }
  o.limbs[size_t(a)].linkable = 0;
  g_scene.sceneChanged = 1;
}

// Hidden limbs are not drawn and leave the collision library; shown again they get a shape of
// the object's kind back.
void ShowLimb(uint32_t shown) {
  const int32_t n = OpInt(0), limb = OpInt(1);
  SkipOperands(2);
  const uint32_t r = ExistingLimb(n, limb);
  if (!r) return;
  ObjectRecord& o = Obj(r);
  o.limbs[size_t(limb)].shown = int32_t(shown);
  o.limbShapesWhole = 0;
  if (o.model) {
    ModelHandleSetLimbVisible(*o.model, uint32_t(limb), shown);
    if (shown) ModelHandleSetLimbCollision(*o.model, r, uint32_t(limb), o.collisionShape);
    else ModelHandleRemoveLimbCollision(*o.model, uint32_t(limb));
  }
  g_scene.sceneChanged = 1;
}
void CmdHideLimb() { ShowLimb(0); }
void CmdShowLimb() { ShowLimb(1); }

void CmdChangeLimbMesh() {
  const int32_t n = OpInt(0), limb = OpInt(1), mesh = OpInt(2);
  SkipOperands(3);
  const uint32_t r = ExistingObject(n);
  if (!r || !CheckLimbIndex(r, limb)) return;
  bool ok;
  const uint32_t meshRecord = MeshOperand(mesh, false, &ok);
  if (!ok || !CheckLimbExists(r, limb)) return;
  ChangeObjectLimbMesh(r, uint32_t(limb), meshRecord);
  g_scene.sceneChanged = 1;
  RefreshScene();
}

// Texture scrolling and scaling pass over a limb that is not there without a word.
template <void (*Change)(ModelHandle&, uint32_t, float, float)>
void ChangeLimbTexture() {
  const int32_t n = OpInt(0), limb = OpInt(1);
  const float u = OpFloat(2), v = OpFloat(3);
  SkipOperands(4);
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  const ObjectRecord& o = Obj(r);
  if (limb >= 0 && size_t(limb) < o.limbs.size() && o.limbs[size_t(limb)].exists == 1 && o.model)
    Change(*o.model, uint32_t(limb), u, v);
  RefreshScene();
}

// One checklist row (limb number, frame name) for every limb above the root.
void CmdChecklistLimbs() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  BeginChecklist(true, true);
  g_checklist.made = 1;
  if (Obj(r).model) ModelHandleListLimbs(*Obj(r).model);
}

// The limb queries: operand 0 the result, 1 the object, 2 the limb.
void CmdLimbExist() {
  const int32_t n = OpInt(1), limb = OpInt(2);
  VarCell* result = OpCell(0);
  SkipOperands(3);
  const uint32_t r = ExistingObject(n);
  if (r && CheckLimbIndex(r, limb)) result->i = Obj(r).limbs[size_t(limb)].exists == 1 ? 1 : 0;
}

// The limb of an existing object, or nullptr after its error; with world, its world fields are
// brought up to date first (once per display frame).
const LimbRecord* QueriedLimb(bool world) {
  const int32_t n = OpInt(1), limb = OpInt(2);
  const uint32_t r = ExistingLimb(n, limb);
  if (!r) return nullptr;
  if (world) UpdateLimbWorldTransforms(r, 1);
  return &Obj(r).limbs[size_t(limb)];
}

// An integer or float field of the limb.
template <auto Field, bool World = false>
void LimbQuery() {
  VarCell* result = OpCell(0);
  if (const LimbRecord* l = QueriedLimb(World)) {
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(l->*Field)>, float>) result->f = l->*Field;
    else result->i = l->*Field;
  }
  SkipOperands(3);
}

// A world direction angle, in degrees.
template <float LimbRecord::*Field>
void LimbDirection() {
  VarCell* result = OpCell(0);
  if (const LimbRecord* l = QueriedLimb(true)) result->f = l->*Field * kDegreesPerRadian;
  SkipOperands(3);
}

// The name of the texture of the limb's mesh as the model has it.
void CmdLimbTextureName() {
  VarCell* result = OpCell(0);
  const uint32_t limb = uint32_t(OpInt(2));
  const uint32_t r = ExistingLimb(OpInt(1), OpInt(2));
  SkipOperands(3);
  if (!r) return;
  std::string name;
  if (Obj(r).model) ModelHandleGetLimbMeshName(*Obj(r).model, limb, &name);
  StoreText(result, name.c_str());
}

const CommandDef kLimbCommands[] = {
    {7003, CmdChecklistLimbs, "l"},
    {7011, CmdAddLimb, "lll"},
    {7012, CmdTextureLimb, "lll"},
    {7013, CmdOffsetLimb, "llfff"},
    {7014, CmdRotateLimb, "llfff"},
    {7015, CmdScaleLimb, "lllll"},
    {7016, CmdLinkLimb, "lll"},
    {7018, CmdColourLimb, "lll"},
    {7019, CmdHideLimb, "ll"},
    {7020, CmdShowLimb, "ll"},
    {7027, CmdChangeLimbMesh, "lll"},
    {7202, ChangeLimbTexture<ModelHandleScrollLimbTexture>, "llff"},
    {7204, ChangeLimbTexture<ModelHandleScaleLimbTexture>, "llff"},
    {7521, CmdLimbExist, "lll"},
    {7522, LimbQuery<&LimbRecord::reserved>, "lll"},
    {7523, LimbQuery<&LimbRecord::imageNumber>, "lll"},
    {7524, LimbQuery<&LimbRecord::offsetX>, "fll"},
    {7525, LimbQuery<&LimbRecord::offsetY>, "fll"},
    {7526, LimbQuery<&LimbRecord::offsetZ>, "fll"},
    {7527, LimbQuery<&LimbRecord::angleX>, "fll"},
    {7528, LimbQuery<&LimbRecord::angleY>, "fll"},
    {7529, LimbQuery<&LimbRecord::angleZ>, "fll"},
    {7533, LimbQuery<&LimbRecord::worldX, true>, "fll"},
    {7534, LimbQuery<&LimbRecord::worldY, true>, "fll"},
    {7535, LimbQuery<&LimbRecord::worldZ, true>, "fll"},
    {7536, LimbQuery<&LimbRecord::shown>, "lll"},
    {7537, LimbDirection<&LimbRecord::dirX>, "fll"},
    {7538, LimbDirection<&LimbRecord::dirY>, "fll"},
    {7539, LimbDirection<&LimbRecord::dirZ>, "fll"},
    {7540, CmdLimbTextureName, "sll"},
};

}  // namespace

std::span<const CommandDef> LimbCommands() { return kLimbCommands; }
