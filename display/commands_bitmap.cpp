// Bitmap commands.
#include "core/handler.h"
#include "core/pack.h"
#include "display/bitmaps.h"
#include "display/commands.h"
#include "display/display.h"
#include "display/draw_queue.h"

namespace {

void CmdLoadBitmapToScreen() {
  QueueLoadBitmap(0, OpString(0));
  SkipOperands(1);
  LeaveSlice = 1;
}

void CmdLoadBitmap() {
  QueueLoadBitmap(OpInt(1), OpString(0));
  SkipOperands(2);
  LeaveSlice = 1;
}

// The screen is saved after the next refresh is shown, with what was drawn before the command.
void CmdSaveScreen() {
  MakePackedFoldersFor(OpString(0));
  QueueScreenGrab(OpString(0));
  SkipOperands(1);
  LeaveSlice = 1;
}

void CmdSaveBitmap() {
  MakePackedFoldersFor(OpString(0));
  if (OpInt(1) == 0) QueueScreenGrab(OpString(0));
  else QueueSaveBitmap(OpInt(1), OpString(0));
  SkipOperands(2);
  LeaveSlice = 1;
}

void CmdCreateBitmap() {
  QueueCreateBitmap(OpInt(0), OpInt(1), OpInt(2));
  SkipOperands(3);
  LeaveSlice = 1;
}

void CmdSetCurrentBitmap() {
  QueueSetCurrentBitmap(OpInt(0));
  SkipOperands(1);
  AutoRefresh();
}

void CmdCopyBitmap() {
  QueueCopyBitmap(OpInt(0), OpInt(1));
  if (OpInt(1) == 0) AutoRefresh();
  SkipOperands(2);
}

void CmdCopyBitmapRect() {
  QueueCopyBitmapRect(OpInt(0), OpInt(1), OpInt(2), OpInt(3), OpInt(4), OpInt(5), OpInt(6), OpInt(7), OpInt(8),
                      OpInt(9));
  if (OpInt(5) == 0) AutoRefresh();
  SkipOperands(10);
}

void CmdDeleteBitmap() {
  QueueDeleteBitmap(OpInt(0));
  SkipOperands(1);
  LeaveSlice = 1;
}

void MirrorOrFlip(uint32_t code) {
  int32_t n = OpInt(0);
  if (n >= 0 && n <= 31) {
    int32_t& flag = code == kDrawMirrorBitmap ? g_bitmapInfo[n].mirrored : g_bitmapInfo[n].flipped;
    flag = 1 - flag;
  }
  QueueBitmapEffect(code, n, 0);
  if (n == 0) LeaveSlice = 1;
  SkipOperands(1);
}
void CmdMirrorBitmap() { MirrorOrFlip(kDrawMirrorBitmap); }
void CmdFlipBitmap() { MirrorOrFlip(kDrawFlipBitmap); }

void CmdBlurBitmap() {
  QueueBitmapEffect(kDrawBlurBitmap, OpInt(0), OpInt(1));
  if (OpInt(0) == 0) LeaveSlice = 1;
  SkipOperands(2);
}

void CmdFadeBitmap() {
  QueueBitmapEffect(kDrawFadeBitmap, OpInt(0), OpInt(1));
  if (OpInt(0) == 0) LeaveSlice = 1;
  SkipOperands(2);
}

void CmdSetGamma() {
  int32_t r = OpInt(0), g = OpInt(1), b = OpInt(2);
  SkipOperands(3);
  if (r < 0 || r > 511 || g < 0 || g > 511 || b < 0 || b > 511) return RunWarning(kErrGammaOutOfRange);
  SetGammaLevels(r, g, b);
  LeaveSlice = 1;
}

void CmdBitmapExist() {
  int32_t n = OpInt(1);
  if (n < 0 || n > 31) {
    SkipOperands(2);
    return RunError(kErrBitmapNumberOutOfRange);
  }
  OpCell(0)->i = (n == 0 || BitmapSurface(n)) ? 1 : 0;
  SkipOperands(2);
}

void CmdCurrentBitmap() {
  OpCell(0)->i = int32_t(g_draw.programBitmap);
  SkipOperands(1);
}

// Field k of the current bitmap (1053-1057) or of bitmap n (1058-1062).
void CurrentBitmapField(int k) {
  int32_t n = int32_t(g_draw.programBitmap);
  if (n < 0 || n > 31 || (n != 0 && !BitmapSurface(n))) {
    SkipOperands(1);
    return RunError(kErrBitmapMissing);
  }
  const BitmapInfo& i = g_bitmapInfo[n];
  const int32_t v[5] = {i.width, i.height, i.depth, i.mirrored, i.flipped};
  OpCell(0)->i = v[k];
  SkipOperands(1);
}
void NumberedBitmapField(int k) {
  VarCell* out = OpCell(0);
  int32_t n = OpInt(1);
  SkipOperands(2);
  if (n < 0 || n > 31) return RunError(kErrBitmapNumberOutOfRange);
  if (n != 0 && !BitmapSurface(n)) return RunError(kErrBitmapMissing);
  const BitmapInfo& i = g_bitmapInfo[n];
  const int32_t v[5] = {i.width, i.height, i.depth, i.mirrored, i.flipped};
  out->i = v[k];
}
void CmdBitmapWidth() { CurrentBitmapField(0); }
void CmdBitmapHeight() { CurrentBitmapField(1); }
void CmdBitmapDepth() { CurrentBitmapField(2); }
void CmdBitmapMirrored() { CurrentBitmapField(3); }
void CmdBitmapFlipped() { CurrentBitmapField(4); }
void CmdBitmapWidthOf() { NumberedBitmapField(0); }
void CmdBitmapHeightOf() { NumberedBitmapField(1); }
void CmdBitmapDepthOf() { NumberedBitmapField(2); }
void CmdBitmapMirroredOf() { NumberedBitmapField(3); }
void CmdBitmapFlippedOf() { NumberedBitmapField(4); }

const CommandDef kBitmapCommands[] = {
    {1001, CmdLoadBitmapToScreen, "s"},
    {1002, CmdLoadBitmap, "sl"},
    {1003, CmdSaveScreen, "s"},
    {1004, CmdSaveBitmap, "sl"},
    {1005, CmdCreateBitmap, "lll"},
    {1006, CmdSetCurrentBitmap, "l"},
    {1007, CmdCopyBitmap, "ll"},
    {1008, CmdCopyBitmapRect, "llllllllll"},
    {1009, CmdDeleteBitmap, "l"},
    {1010, CmdMirrorBitmap, "l"},
    {1011, CmdFlipBitmap, "l"},
    {1012, CmdBlurBitmap, "ll"},
    {1013, CmdFadeBitmap, "ll"},
    {1014, CmdSetGamma, "lll"},
    {1051, CmdBitmapExist, "ll"},
    {1052, CmdCurrentBitmap, "l"},
    {1053, CmdBitmapWidth, "l"},
    {1054, CmdBitmapHeight, "l"},
    {1055, CmdBitmapDepth, "l"},
    {1056, CmdBitmapMirrored, "l"},
    {1057, CmdBitmapFlipped, "l"},
    {1058, CmdBitmapWidthOf, "ll"},
    {1059, CmdBitmapHeightOf, "ll"},
    {1060, CmdBitmapDepthOf, "ll"},
    {1061, CmdBitmapMirroredOf, "ll"},
    {1062, CmdBitmapFlippedOf, "ll"},
};

}  // namespace

std::span<const CommandDef> BitmapCommands() { return kBitmapCommands; }
