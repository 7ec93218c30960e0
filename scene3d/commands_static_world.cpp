// The static world's commands: objects in and out, boxes, load and save, and its drawing
// switches.
#include "core/errors.h"
#include "core/pack.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "scene3d/commands.h"
#include "scene3d/render_states.h"
#include "scene3d/object_operands.h"
#include "scene3d/static/static_bridges.h"
#include "scene3d/static/static_world.h"

namespace {

void AddObject(int32_t occluder, int32_t low, int32_t fullHeight, int operands) {
  if (const uint32_t r = ObjectOperand(0))
    if (AddObjectMeshesToStaticWorld(r, occluder, low, 0, fullHeight) != 0) RunError(kErrMeshNotMade);
  SkipOperands(operands);
}
void CmdMakeStaticObject() { AddObject(0, 0, 0, 1); }
// Mode 1 occludes, 2 is low, 3 only occludes (not drawn), 4 also spans the screen's height.
void CmdMakeStaticObjectMode() {
  const int32_t mode = OpInt(1);
  const bool both = mode == 3 || mode == 4;
  AddObject(mode == 1 || both, mode == 2 || both, mode == 4, 2);
}

void CmdDeleteStaticObjects() { ResetStaticObjects(); }

void CmdMakeObjectStatic() {
  if (const uint32_t r = ObjectOperand(0)) {
    ObjectRecord& o = Obj(r);
    if (o.inStaticWorld == 0) {
      MakeObjectStatic(r);
      ObjectRecord& again = Obj(r);
      if (again.frameIndex != 0) g_framePool[again.frameIndex].visible = 0;
      again.inStaticWorld = 1;
    }
  }
  SkipOperands(1);
}

void CmdMakeStaticObjectDynamic() {
  if (const uint32_t r = ObjectOperand(0)) {
    ObjectRecord& o = Obj(r);
    if (o.inStaticWorld != 0) {
      RemoveStaticObject(int32_t(r));
      if (o.frameIndex != 0) g_framePool[o.frameIndex].visible = 1;
      o.inStaticWorld = 0;
    }
  }
  SkipOperands(1);
}

void CmdMakeStaticCollisionBox() {
  MakeStaticBox(OpFloat(0), OpFloat(1), OpFloat(2), OpFloat(3), OpFloat(4), OpFloat(5));
  SkipOperands(6);
}

// A missing file is error 105; one that is no sound world a warning. Each names the file and
// the cause; the world loaded before stays.
void CmdLoadStaticObjects() {
  const std::string file = OpString(0);
  SkipOperands(1);
  std::string why;
  const FileLoadScope load(kErrModelNotRead, file);
  if (LoadStaticWorldFile(file, &why)) return;
  if (why == "not found") return RunFileError(kErrFileNotFound, file, why);
  RunFileWarning(kErrModelNotRead, file, why);
}
// A world that could not be written is reported as a failed write to its file, the old files
// left as they were.
void CmdSaveStaticObjects() {
  const std::string file = OpString(0);
  std::string why;
  MakePackedFoldersFor(file);
  if (SaveStaticWorldFile(file, &why) < 0) RunFileError(kErrStreamWriteFailed, file, why);
  SkipOperands(1);
}

void CmdStaticWireframeOn() { g_staticWorld.wireframe = 1; }
void CmdStaticWireframeOff() { g_staticWorld.wireframe = 0; }

// Mode 1 mirror, 2 clamp, anything else wrap.
void CmdSetStaticTextures() {
  const int32_t mode = OpInt(0);
  g_staticWorld.addressMode = mode == 1 ? 2 : mode == 2 ? 3 : 1;
  AutoRefresh();
  SkipOperands(1);
}

void CmdDisableStaticOcclusion() { g_staticWorld.occlusion = 0; }
void CmdEnableStaticOcclusion() { g_staticWorld.occlusion = 1; }

// Stage 0's mip filter: 0 none, 1 point, 2 linear, where the device filters mip levels (the
// render's state cache keeps it).
void CmdSetMipmapMode() {
  SetMipFilter(OpInt(0));
  SkipOperands(1);
}

const CommandDef kStaticWorldCommands[] = {
    {7005, CmdMakeStaticObject, "l"},
    {7006, CmdDeleteStaticObjects, ""},
    {7007, CmdMakeStaticObjectMode, "ll"},
    {7088, CmdLoadStaticObjects, "s"},
    {7089, CmdSaveStaticObjects, "s"},
    {7090, CmdStaticWireframeOn, ""},
    {7091, CmdMakeStaticCollisionBox, "ffffff"},
    {7094, CmdStaticWireframeOff, ""},
    {7095, CmdMakeObjectStatic, "l"},
    {7096, CmdMakeStaticObjectDynamic, "l"},
    {7097, CmdSetMipmapMode, "l"},
    {7098, CmdSetStaticTextures, "l"},
    {7099, CmdDisableStaticOcclusion, ""},
    {7100, CmdEnableStaticOcclusion, ""},
};

}  // namespace

std::span<const CommandDef> StaticWorldCommands() { return kStaticWorldCommands; }
