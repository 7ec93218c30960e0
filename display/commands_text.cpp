// Text and font commands.
#include "core/checklist.h"
#include "core/handler.h"
#include "display/commands.h"
#include "display/draw_queue.h"
#include "display/text_state.h"

namespace {

void CmdSetTextFont() {
  QueueTextState(kDrawSetTextFont, 0, OpString(0));
  SkipOperands(1);
  AutoRefresh();
}

void CmdSetTextSize() {
  QueueTextState(kDrawSetTextSize, OpInt(0), "");
  SkipOperands(1);
  AutoRefresh();
}

void CmdSetTextOpaque() { QueueTextState(kDrawTextOpaque, 0, ""); }
void CmdSetTextTransparent() { QueueTextState(kDrawTextTransparent, 0, ""); }
void CmdSetTextToNormal() {
  QueueTextState(kDrawTextNormal, 0, "");
  AutoRefresh();
}
void CmdSetTextToItalic() {
  QueueTextState(kDrawTextItalic, 0, "");
  AutoRefresh();
}
void CmdSetTextToBold() {
  QueueTextState(kDrawTextBold, 0, "");
  AutoRefresh();
}
void CmdSetTextToBoldItalic() {
  QueueTextState(kDrawTextBoldItalic, 0, "");
  AutoRefresh();
}

void CmdText() {
  QueueTextAtPoint(kDrawText, OpInt(0), OpInt(1), OpString(2));
  SkipOperands(3);
  if (g_draw.programBitmap == 0) AutoRefresh();
}

void CmdCenterText() {
  QueueTextAtPoint(kDrawCentreText, OpInt(0), OpInt(1), OpString(2));
  SkipOperands(3);
  if (g_draw.programBitmap == 0) AutoRefresh();
}

// The font families into the checklist: names only, each once, at most 255.
void CmdChecklistFonts() {
  BeginChecklist(false, true);
  for (const std::string& name : FontFamilyList()) {
    ChecklistRow* row = AddChecklistRow();
    if (!row) break;
    SetChecklistText(*row, name.c_str());
  }
  g_checklist.made = g_checklist.count > 0 ? 1 : 0;
}

void CmdTextFont() {
  SetCellString(OpCell(0), g_text.face.c_str());
  SkipOperands(1);
}
void CmdTextSize() {
  OpCell(0)->i = g_text.size;
  SkipOperands(1);
}
void CmdTextBackgroundType() {
  OpCell(0)->i = g_text.background;
  SkipOperands(1);
}
void CmdTextStyle() {
  OpCell(0)->i = g_text.style;
  SkipOperands(1);
}
void CmdTextWidth() {
  OpCell(0)->i = MeasureTextFont(OpString(1)).cx;
  SkipOperands(2);
}
void CmdTextHeight() {
  OpCell(0)->i = MeasureTextFont(OpString(1)).cy;
  SkipOperands(2);
}

const CommandDef kTextCommands[] = {
    {6001, CmdChecklistFonts, ""},     {6002, CmdSetTextFont, "s"},       {6003, CmdSetTextSize, "l"},         {6004, CmdSetTextOpaque, ""},
    {6005, CmdSetTextTransparent, ""}, {6006, CmdSetTextToNormal, ""},      {6007, CmdSetTextToItalic, ""},
    {6008, CmdSetTextToBold, ""},      {6009, CmdSetTextToBoldItalic, ""},  {6010, CmdText, "lls"},
    {6011, CmdCenterText, "lls"},      {6501, CmdTextFont, "s"},            {6502, CmdTextSize, "l"},
    {6503, CmdTextBackgroundType, "l"}, {6504, CmdTextStyle, "l"},          {6505, CmdTextWidth, "ls"},
    {6506, CmdTextHeight, "ls"},
};

}  // namespace

std::span<const CommandDef> TextCommands() { return kTextCommands; }
