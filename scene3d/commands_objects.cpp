// Making, cloning, loading and deleting 3D objects, and the existence query.
#include <functional>

#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
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
    {7009, CmdDeleteObject, "l"},
    {7041, CmdMakeObjectBox, "lfff"},
    {7042, CmdMakeObjectSphere, "lf"},
    {7043, CmdMakeObjectCube, "lf"},
    {7044, CmdMakeObjectCylinder, "lf"},
    {7045, CmdMakeObjectCone, "lf"},
    {7046, CmdMakeObjectPlane, "lff"},
    {7047, CmdMakeObjectTriangle, "lfffffffff"},
    {7511, CmdObjectExist, "ll"},
};

}  // namespace

std::span<const CommandDef> ObjectCommands() { return kObjectCommands; }
