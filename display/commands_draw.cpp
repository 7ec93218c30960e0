// Basic drawing and colour commands.
#include "core/handler.h"
#include "display/bitmaps.h"
#include "display/commands.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/text_state.h"

namespace {

// Drawing to the screen shows at once in automatic mode.
void RefreshRule() {
  if (g_draw.programBitmap == 0) AutoRefresh();
}

void CmdCls() {
  QueueCls();
  g_cursorX = g_cursorY = 0;
  RefreshRule();
}

void CmdClsColor() {
  QueueClsColor(uint32_t(OpInt(0)));
  QueueCls();
  g_cursorX = g_cursorY = 0;
  SkipOperands(1);
  RefreshRule();
}

void CmdDot() {
  QueueDot(OpInt(0), OpInt(1));
  SkipOperands(2);
  RefreshRule();
}

void CmdLine() {
  QueueLine(OpInt(0), OpInt(1), OpInt(2), OpInt(3));
  SkipOperands(4);
  RefreshRule();
}

void CmdBox() {
  QueueBox(OpInt(0), OpInt(1), OpInt(2), OpInt(3));
  SkipOperands(4);
  AutoRefresh();
}

void CmdCircle() {
  QueueEllipse(OpInt(0), OpInt(1), float(OpInt(2)), float(OpInt(2)));
  SkipOperands(3);
  RefreshRule();
}

void CmdEllipse() {
  QueueEllipse(OpInt(0), OpInt(1), float(OpInt(2)), float(OpInt(3)));
  SkipOperands(4);
  RefreshRule();
}

void CmdInk() {
  QueueInk(uint32_t(OpInt(0)), uint32_t(OpInt(1)));
  SkipOperands(2);
}

void CmdQueuePointRead() {
  QueueReadPoint(OpInt(1), OpInt(2), OpCell(0));
  SkipOperands(3);
  LeaveSlice = 1;
}

void CmdRgb() {
  OpCell(0)->i = int32_t(uint32_t(OpInt(3)) + uint32_t(OpInt(2)) * 256u + uint32_t(OpInt(1)) * 65536u);
  SkipOperands(4);
}
void CmdRgbRed() {
  OpCell(0)->i = (OpInt(1) & 16711680) >> 16;
  SkipOperands(2);
}
void CmdRgbGreen() {
  OpCell(0)->i = (OpInt(1) & 65280) >> 8;
  SkipOperands(2);
}
void CmdRgbBlue() {
  OpCell(0)->i = OpInt(1) & 255;
  SkipOperands(2);
}

const CommandDef kDrawCommands[] = {
    {212, CmdCls, ""},          {405, CmdClsColor, "l"},     {215, CmdDot, "ll"},
    {235, CmdLine, "llll"},     {208, CmdBox, "llll"},       {210, CmdCircle, "lll"},
    {216, CmdEllipse, "llll"},  {227, CmdInk, "ll"},         {243, CmdQueuePointRead, "lll"},
    {391, CmdRgb, "llll"},      {392, CmdRgbRed, "ll"},      {393, CmdRgbGreen, "ll"},
    {394, CmdRgbBlue, "ll"},
};

}  // namespace

std::span<const CommandDef> DrawCommands() { return kDrawCommands; }

