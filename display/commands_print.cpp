// Printing at the text cursor, the key character and line input.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/handler.h"
#include "core/run_state.h"
#include "display/commands.h"
#include "display/draw_queue.h"
#include "display/text_state.h"

namespace {

// Line input: up to 255 characters, then the cursor mark and a terminator.
char g_lineText[258];
int32_t g_lineStartX = 0;

void Print(const char* text, bool stayOnLine) {
  QueueTextWithExtent(text, &g_cursorX, &g_cursorY, stayOnLine, false, stayOnLine);
  if (g_draw.programBitmap == 0) AutoRefresh();
}

void PrintInt(bool stay) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d", OpInt(0));
  SkipOperands(1);
  Print(buf, stay);
}

void PrintFloat(bool stay) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", double(OpFloat(0)));
  SkipOperands(1);
  Print(buf, stay);
}

void PrintString(bool stay) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s", OpString(0));
  SkipOperands(1);
  Print(buf, stay);
}

void CmdPrintInt() { PrintInt(false); }
void CmdPrintFloat() { PrintFloat(false); }
void CmdPrintString() { PrintString(false); }
void CmdPrintNewLine() { Print(" ", false); }
void CmdPrintIntOnLine() { PrintInt(true); }
void CmdPrintFloatOnLine() { PrintFloat(true); }
void CmdPrintStringOnLine() { PrintString(true); }

void CmdSetCursor() {
  g_cursorX = OpInt(0);
  g_cursorY = OpInt(1);
  SkipOperands(2);
}

void CmdInkey() {
  if (!g_timing.timeSliceMode) PumpMessagesOccasionally();
  char text[2] = {char(g_runtime.lastCharacter), 0};
  SetCellString(OpCell(0), text);
  SkipOperands(1);
}

// The line as it is typed (the cursor mark, each character) is drawn but not transcribed: the
// transcript takes the finished line once.
void QueueEcho(const char* text) {
  if (DrawOp* op = QueueTextWithExtent(text, &g_cursorX, &g_cursorY, true, true, false)) op->transcribed = 1;
}

void LineInputEcho(uint8_t c) {
  int32_t& length = g_timing.lineInputLength;
  if (length == -1) {
    g_lineStartX = g_cursorX;
    length = 0;
    g_lineText[0] = 0;
    QueueEcho("_");
  }
  if (c == 8) {
    if (length > 0) {
      g_cursorX = g_lineStartX;
      QueueTextAt(g_lineText, &g_cursorX, &g_cursorY);
      --length;
    }
  } else if (length < 255) {
    g_lineText[length++] = char(c);
  }
  g_lineText[length] = '_';
  g_lineText[length + 1] = 0;
  g_cursorX = g_lineStartX;
  QueueEcho(g_lineText);
}

void LineInputFinish() {
  int32_t& length = g_timing.lineInputLength;
  g_lineText[length < 0 ? 0 : length] = 0;
  g_cursorX = g_lineStartX;
  // Two blanks cover the cursor mark (when the record's text has room for them); the
  // transcript has the line without them.
  char shown[260];
  std::snprintf(shown, sizeof shown, "%s  ", g_lineText);
  if (DrawOp* op = QueueTextWithExtent(shown, &g_cursorX, &g_cursorY, false, true, false))
    op->blankTail = uint8_t(std::strlen(op->text) - std::min(std::strlen(op->text), std::strlen(g_lineText)));
  length = -1;
}

// 0 integer, 1 float, 2 text.
void LineInput(int kind) {
  const uint8_t c = g_runtime.lastCharacter;
  bool accept;
  if (kind == 2) accept = c >= 32 || c == 8;  // 128-255: letters of the text code page
  else accept = (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 8;
  if (accept && c != 0) LineInputEcho(c);
  if (c == 13) {
    LineInputFinish();
    // A temporary that holds a fetched array element stands for that element, as with READ.
    VarCell* target = OpCell(0);
    if (kind == 0) {
      long long v = std::strtoll(g_lineText, nullptr, 10);
      const int32_t value = int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
      if (int32_t* element = ElementRefInt(target)) *element = value;
      else target->i = value;
    } else if (kind == 1) {
      double d = std::strtod(g_lineText, nullptr);
      const float value = d > FLT_MAX ? INFINITY : d < -FLT_MAX ? -INFINITY : float(d);
      if (float* element = ElementRefFloat(target)) *element = value;
      else target->f = value;
    } else if (char** element = ElementRefString(target)) {
      StoreElementText(element, g_lineText);
    } else {
      SetCellString(target, g_lineText);
    }
    g_lineText[0] = 0;
    SkipOperands(1);
  } else {
    WaitAndRetry();
  }
  g_runtime.lastCharacter = 0;
  LeaveSlice = 1;
}

void CmdInputInt() { LineInput(0); }
void CmdInputFloat() { LineInput(1); }
void CmdInputString() { LineInput(2); }

const CommandDef kPrintCommands[] = {
    {301, CmdPrintInt, "l"},          {302, CmdPrintFloat, "f"},        {303, CmdPrintString, "s"},
    {304, CmdPrintNewLine, ""},       {305, CmdPrintIntOnLine, "l"},    {306, CmdPrintFloatOnLine, "f"},
    {307, CmdPrintStringOnLine, "s"}, {252, CmdSetCursor, "ll"},        {228, CmdInkey, "s"},
    {351, CmdInputInt, "l"},          {355, CmdInputFloat, "f"},        {352, CmdInputString, "s"},
};

}  // namespace

void ResetLineInput() {
  g_lineText[0] = 0;
  g_lineStartX = 0;
}

std::span<const CommandDef> PrintCommands() { return kPrintCommands; }
