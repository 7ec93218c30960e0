#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "display/records.h"
#include "platform/text.h"

// Text state: the text font the program shapes (face, size, style, background) and the
// print font of the print commands, both made through the platform text layer.
struct TextState {
  std::string face = "system";
  int32_t size = 10;
  uint8_t background = 0;  // 1 opaque, 0 transparent
  int16_t style = 0;       // 0 normal, 1 italic, 2 bold, 3 bold italic
  TextFontPtr textFont, printFont;
};
extern TextState g_text;
// The text cursor of the print commands (pixels of the current bitmap).
extern int32_t g_cursorX, g_cursorY;

void ResetTextState();
// Remakes the text font; a face that cannot be made falls back to the default font.
void CreateTextFont(int32_t style, int32_t size, const std::string& face);
// Width and height of a text in the font the print commands measure with.
TextExtent MeasurePrintText(const char* text);
TextExtent MeasureTextFont(const char* text);
// Queues code 102 at the cursor and moves the cursor (see the print commands). The record, or
// null when none could be taken.
DrawOp* QueueTextWithExtent(const char* text, int32_t* x, int32_t* y, bool stayOnLine, bool opaque, bool wrap);
void ExecuteTextOp(DrawOp& op, Surface* target);
// The font list: the installed face names, each once (exact compare), at most 255.
std::vector<std::string> FontFamilyList();
