// Text output and fonts: the text state, font creation and the text operations of the queue.
#include "display/text_state.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "display/display.h"
#include "display/draw_queue.h"
#include "display/record_pools.h"

TextState g_text;
int32_t g_cursorX = 0, g_cursorY = 0;

void ResetTextState() {
  g_text.face = "system";
  g_text.size = 10;
  g_text.background = 0;
  g_text.style = 0;
  g_text.printFont = TextDefaultFont();
  CreateTextFont(0, 10, "system");
  g_cursorX = g_cursorY = 0;
}

void CreateTextFont(int32_t style, int32_t size, const std::string& face) {
  FontRequest request;
  request.face = face;
  request.height = size;
  request.bold = style == 2 || style == 3;
  request.italic = style == 1 || style == 3;
  g_text.textFont = TextCreateFont(request);
  if (!g_text.textFont) g_text.textFont = TextDefaultFont();
}

TextExtent MeasurePrintText(const char* text) {
  // Measured in the device context's own font, which is the bundled system font.
  return TextMeasure(TextDefaultFont().get(), text, std::strlen(text));
}

TextExtent MeasureTextFont(const char* text) { return TextMeasure(g_text.textFont.get(), text, std::strlen(text)); }

DrawOp* QueueTextWithExtent(const char* text, int32_t* x, int32_t* y, bool stayOnLine, bool opaque, bool wrap) {
  DrawOp* op = TakeDrawOp(kDrawPrint, ScreenLifetime());
  if (op) {
    op->a = *x;
    op->b = *y;
    op->flag = opaque ? 1 : 0;
    CopyRecordText(*op, text);
  }
  TextExtent e = MeasurePrintText(text);
  bool newLine = false;
  if (stayOnLine) {
    *x = int32_t(uint32_t(*x) + uint32_t(e.cx));
  } else {
    *x = 0;
    *y = int32_t(uint32_t(*y) + uint32_t(e.cy));
    newLine = true;
  }
  if (wrap && *x >= g_display.width) {
    *x = 0;
    *y = int32_t(uint32_t(*y) + uint32_t(e.cy));
    newLine = true;
  }
  if (op) op->newLine = newLine;
  return op;
}

namespace {

uint32_t PixelOf(const Surface* s, const uint8_t rgb[3]) {
  return NarrowRgbToPixel(s->Format(), uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2]);
}

void Draw(Surface* target, const TextFontPtr& font, int32_t x, int32_t y, const char* text, bool opaque, bool blank) {
  TextContext dc;
  dc.surface = target;
  dc.font = font;
  dc.opaque = opaque;
  dc.backPixel = PixelOf(target, g_draw.background);
  dc.textPixel = blank ? dc.backPixel : PixelOf(target, g_draw.foreground);
  TextOut(dc, x, y, text, std::strlen(text));
}

void Transcribe(DrawOp& op, bool newLine) {
  if (op.transcribed) return;
  op.transcribed = 1;
  const size_t length = std::strlen(op.text);
  TranscriptWrite(op.text, length - std::min<size_t>(op.blankTail, length), newLine);
}

}  // namespace

void ExecuteTextOp(DrawOp& op, Surface* t) {
  switch (op.code) {
    case kDrawPrint:
      if (!t) return;
      Draw(t, g_text.printFont, op.a, op.b, op.text, op.flag == 1, false);
      Transcribe(op, op.newLine);
      break;
    case kDrawLineInput:
      if (t) Draw(t, g_text.printFont, op.a, op.b, op.text, true, true);
      break;
    case kDrawText:
      if (!t) return;
      Draw(t, g_text.textFont, op.a, op.b, op.text, g_text.background == 1, false);
      Transcribe(op, true);
      break;
    case kDrawCentreText: {
      if (!t) return;
      TextExtent e = TextMeasure(g_text.textFont.get(), op.text, std::strlen(op.text));
      int64_t left = int64_t(op.a) - e.cx / 2;
      Draw(t, g_text.textFont, int32_t(std::max<int64_t>(left, INT32_MIN)), op.b, op.text, g_text.background == 1,
           false);
      Transcribe(op, true);
      break;
    }
    case kDrawSetTextFont:
      g_text.face = op.text;
      CreateTextFont(g_text.style, g_text.size, g_text.face);
      break;
    case kDrawSetTextSize:
      g_text.size = op.values[0];
      CreateTextFont(g_text.style, g_text.size, g_text.face);
      break;
    case kDrawTextOpaque: g_text.background = 1; break;
    case kDrawTextTransparent: g_text.background = 0; break;
    case kDrawTextNormal:
    case kDrawTextItalic:
    case kDrawTextBold:
    case kDrawTextBoldItalic:
      g_text.style = int16_t(op.code - kDrawTextNormal);
      CreateTextFont(g_text.style, g_text.size, g_text.face);
      break;
    default: break;
  }
}

std::vector<std::string> FontFamilyList() {
  std::vector<std::string> names;
  for (const std::string& name : TextFontFamilies()) {
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    names.push_back(name.substr(0, 255));
    if (names.size() >= 255) break;
  }
  return names;
}
