// How 3D objects are drawn: show and hide, the render flags, ghost, depth, last pass, texture
// modes, normals, texture, colour, texture scrolling and scaling, and the visibility query.
#include "display/display.h"
#include "display/record_pools.h"
#include "model/model_handle.h"
#include "scene3d/commands.h"
#include "scene3d/object_appearance.h"
#include "scene3d/object_operands.h"

namespace {

FrameRecord& Frame(uint32_t record) { return g_framePool[Obj(record).frameIndex]; }

void SetVisible(uint32_t visible) {
  if (const uint32_t r = ObjectOperand(0)) {
    // A copy in the static world stands for the object, which stays hidden.
    if (Obj(r).inStaticWorld == 0) Frame(r).visible = visible;
    RefreshScene();
  }
  SkipOperands(1);
}
void CmdHideObject() { SetVisible(0); }
void CmdShowObject() { SetVisible(1); }

// The set-flags commands: 3 to 7 integer operands after the object number.
void SetFlags(int count) {
  if (const uint32_t r = ObjectOperand(0)) {
    int32_t flags[7];
    for (int k = 0; k < count; ++k) flags[k] = OpInt(1 + k);
    SetObjectRenderFlags(r, flags, count);
    RefreshScene();
  }
  SkipOperands(1 + count);
}
void CmdSetObject3() { SetFlags(3); }
void CmdSetObject4() { SetFlags(4); }
void CmdSetObject5() { SetFlags(5); }
void CmdSetObject6() { SetFlags(6); }
void CmdSetObject7() { SetFlags(7); }

// Ghost: blended in the ghost pass with the blend mode, where the display can blend at all.
void SetGhost(int32_t mode, int operands) {
  if (const uint32_t r = ObjectOperand(0)) {
    if (HasBlendCapability()) {
      Frame(r).blend = 1;
      Frame(r).blendMode = uint16_t(mode);
    }
    RefreshScene();
  }
  SkipOperands(operands);
}
void CmdGhostObjectOn() { SetGhost(0, 1); }
void CmdGhostObjectOnMode() { SetGhost(OpInt(1), 2); }

void CmdGhostObjectOff() {
  if (const uint32_t r = ObjectOperand(0)) {
    Frame(r).blend = 0;
    Frame(r).blendMode = 0;
    RefreshScene();
  }
  SkipOperands(1);
}

void SetNoDepth(uint8_t on) {
  if (const uint32_t r = ObjectOperand(0)) {
    Frame(r).noDepth = on;
    g_scene.sceneChanged = 1;
    RefreshScene();
  }
  SkipOperands(1);
}
void CmdDisableObjectZDepth() { SetNoDepth(1); }
void CmdEnableObjectZDepth() { SetNoDepth(0); }

void SetLastPass(uint8_t on) {
  if (const uint32_t r = ObjectOperand(0)) {
    Frame(r).lastPass = on;
    RefreshScene();
  }
  SkipOperands(1);
}
void CmdObjectLastPassOn() { SetLastPass(1); }
void CmdObjectLastPassOff() { SetLastPass(0); }

void CmdSetObjectTexture() {
  if (const uint32_t r = ObjectOperand(0)) {
    SetObjectTextureMode(r, OpInt(1), OpInt(2));
    RefreshScene();
  }
  SkipOperands(3);
}

void CmdScaleObjectNormals() {
  if (const uint32_t r = ObjectOperand(0)) {
    if (Obj(r).model) ModelHandleScaleNormals(*Obj(r).model, float(OpInt(1)) / 100.0f);
    RefreshScene();
  }
  SkipOperands(2);
}

void CmdTextureObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    const int32_t image = OpInt(1);
    uint32_t imageRecord = 0;
    if (CheckImageOperand(image, &imageRecord)) {
      TextureObject(r, image, imageRecord);
      RefreshScene();
    }
  }
  SkipOperands(2);
}

void CmdColorObject() {
  if (const uint32_t r = ObjectOperand(0)) {
    ColourObject(r, uint32_t(OpInt(1)));
    RefreshScene();
  }
  SkipOperands(2);
}

void CmdScrollObjectTexture() {
  if (const uint32_t r = ObjectOperand(0)) {
    ScrollObjectTexture(r, OpFloat(1), OpFloat(2));
    RefreshScene();
  }
  SkipOperands(3);
}

void CmdScaleObjectTexture() {
  if (const uint32_t r = ObjectOperand(0)) {
    ScaleObjectTexture(r, OpFloat(1), OpFloat(2));
    RefreshScene();
  }
  SkipOperands(3);
}

void CmdObjectVisible() {
  if (const uint32_t r = ObjectOperand(1)) OpCell(0)->i = Frame(r).visible == 1 ? 1 : 0;
  SkipOperands(2);
}

const CommandDef kAppearanceCommands[] = {
    {7010, CmdSetObject3, "llll"},
    {7023, CmdHideObject, "l"},
    {7024, CmdShowObject, "l"},
    {7025, CmdGhostObjectOn, "l"},
    {7026, CmdGhostObjectOff, "l"},
    {7032, CmdDisableObjectZDepth, "l"},
    {7033, CmdEnableObjectZDepth, "l"},
    {7034, CmdScaleObjectNormals, "ll"},
    {7035, CmdTextureObject, "ll"},
    {7038, CmdColorObject, "ll"},
    {7039, CmdSetObject4, "lllll"},
    {7040, CmdSetObject5, "llllll"},
    {7048, CmdSetObject6, "lllllll"},
    {7049, CmdSetObject7, "llllllll"},
    {7050, CmdGhostObjectOnMode, "ll"},
    {7075, CmdSetObjectTexture, "lll"},
    {7076, CmdObjectLastPassOn, "l"},
    {7077, CmdObjectLastPassOff, "l"},
    {7201, CmdScrollObjectTexture, "lff"},
    {7203, CmdScaleObjectTexture, "lff"},
    {7518, CmdObjectVisible, "ll"},
};

}  // namespace

std::span<const CommandDef> AppearanceCommands() { return kAppearanceCommands; }
