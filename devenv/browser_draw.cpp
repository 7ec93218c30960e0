// Drawing the browser panel on the environment screen: background, texts, fields, the list
// with its scroll bar, buttons, the caret, the animated icon and the message box.
#include <algorithm>

#include "devenv/browser_state.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "platform/fs.h"

namespace {

constexpr int32_t kBlinkFrames = 11;

Surface* Screen() { return g_ide.gfx.screen.get(); }

void Fill(int32_t l, int32_t t, int32_t r, int32_t b, uint32_t pixel) {
  SurfRect rect{g_browser.left + l, g_browser.top + t, g_browser.left + r, g_browser.top + b};
  SurfaceFill(Screen(), &rect, pixel);
}

// Panel-relative text in the dark band.
void Text(const std::string& text, int32_t x, int32_t y) {
  IdeDrawTextBand(Screen(), text, 2, g_browser.left + x, g_browser.top + y);
}
void Centred(const std::string& text, int32_t cx, int32_t y) { Text(text, cx - IdeTextWidth(text) / 2, y); }

// The widest line of text in the panel's message box.
constexpr int32_t kMessageWidth = 390;

// The end of a text that fits in width pixels (its front dropped).
std::string ClipFront(const std::string& text, int32_t width) {
  size_t from = 0;
  while (from < text.size() && IdeTextWidth(text.substr(from)) > width) ++from;
  return text.substr(from);
}
// The start of a text that fits in width pixels.
std::string ClipBack(std::string text, int32_t width) {
  while (!text.empty() && IdeTextWidth(text) > width) text.pop_back();
  return text;
}

void Picture(int32_t n, int32_t x, int32_t y) {
  if (Surface* s = BrowserPicture(n)) SurfaceBltFast(Screen(), x, y, s, nullptr, s->hasKey ? uint32_t(kBltKeySrc) : 0u);
}

// A button picture stretched to the button's width: its left part and its right edge.
void Button(const BrowserButton& button) {
  Surface* s = BrowserPicture(button.pressed ? 24 : 23);
  if (!s) return;
  const int32_t x = g_browser.left + button.x, y = g_browser.top + button.y;
  const int32_t w = std::min(button.width, s->Width());
  SurfRect body{0, 0, w - 2, button.height};
  SurfRect edge{s->Width() - 2, 0, s->Width(), button.height};
  SurfaceBltFast(Screen(), x, y, s, &body, 0);
  SurfaceBltFast(Screen(), x + w - 2, y, s, &edge, 0);
  const int32_t shift = button.pressed ? 1 : 0;
  IdeDrawTextBand(Screen(), button.label, 2, x + button.width / 2 - IdeTextWidth(button.label) / 2 + shift,
                  y + 3 + shift);
}

// A bevelled frame: outer top-left and bottom-right colours, then the inner ones, then the fill.
void Bevel(const BrowserField& f, uint32_t outerTl, uint32_t outerBr, uint32_t innerTl, uint32_t innerBr,
           uint32_t fill) {
  const int32_t l = f.x, t = f.y, r = f.x + f.width, b = f.y + f.height;
  Fill(l, t, r, b, fill);
  Fill(l, t, r, t + 1, outerTl);
  Fill(l, t, l + 1, b, outerTl);
  Fill(l, b - 1, r, b, outerBr);
  Fill(r - 1, t, r, b, outerBr);
  Fill(l + 1, t + 1, r - 1, t + 2, innerTl);
  Fill(l + 1, t + 1, l + 2, b - 1, innerTl);
  Fill(l + 1, b - 2, r - 1, b - 1, innerBr);
  Fill(r - 2, t + 1, r - 1, b - 1, innerBr);
}

void Field(int32_t i) {
  const BrowserState& b = g_browser;
  const BrowserField& f = b.fields[i];
  const uint32_t* c = b.colours;
  if (f.editable) Bevel(f, c[3], c[1], c[0], c[1], c[5]);
  else Bevel(f, c[3], c[3], c[0], c[0], c[2]);
  const bool active = b.activeField == i;
  const std::string& text = active ? b.editText : f.text;
  const int32_t room = f.width - 8;
  const std::string shown = ClipFront(text, room);
  const int32_t x = b.left + f.x + 4, y = b.top + f.y + 3;
  if (active && b.selectAll && !shown.empty()) {
    IdeDrawText(Screen(), shown, 2, x, y, 1, x + IdeTextWidth(shown));
  } else {
    IdeDrawTextBand(Screen(), shown, 2, x, y);
  }
  if (active && b.cursorShown && !b.selectAll) {
    // The caret after the characters before the cursor, less what the clipping dropped.
    const int32_t dropped = int32_t(text.size() - shown.size());
    const int32_t before = b.cursor > dropped ? IdeTextWidth(text.substr(size_t(dropped), size_t(b.cursor - dropped))) : 0;
    Picture(11, x + before, y);
  }
}

int32_t TitleOf(int32_t kind) {
  switch (kind) {
    case 2: return kTitleOpen;
    case 3: return kTitleSaveAs;
    case 6: return kTitleMake;
    case 7: return kTitleMakeMedia;
    case 8: return kTitleNewProject;
    default: return kTitleEditorProgram;
  }
}

int32_t FirstDescLine(int32_t kind) {
  switch (kind) {
    case 6: return kDescMakeLines;
    case 7: return kDescMakeMediaLines;
    case 8: return kDescNewProjectLines;
    default: return kDescEditorLines;
  }
}

void ScrollBar() {
  BrowserState& b = g_browser;
  Fill(kTrackX, kTrackY, kTrackX + kTrackWidth, kTrackY + kTrackHeight, b.colours[1]);
  b.thumbLength = BrowserThumbLength();
  const int32_t count = int32_t(b.entries.size());
  const int32_t travel = kTrackHeight - b.thumbLength;
  b.thumbTop = kTrackY + (count > kBrowserRows ? travel * b.firstVisible / (count - kBrowserRows) : 0);
  Fill(kTrackX, b.thumbTop, kTrackX + kTrackWidth, b.thumbTop + b.thumbLength, b.colours[0]);
}

// The list kinds' texts, pictures and rows.
void ListPanel() {
  BrowserState& b = g_browser;
  const int32_t kind = b.kind;
  Centred(IdeText(IdeSection::Title, TitleOf(kind)), 210, 5);
  if (kind == 8) Centred(IdeText(IdeSection::General, kGeneralProject), 42, 178);
  else Centred(IdeText(IdeSection::General, kGeneralFileName), 52, 178);
  if (kind == 2 || kind == 3) {
    for (int32_t i = 0; i < 3; ++i) Centred(IdeText(IdeSection::General, kGeneralTitle + i), 119, 209 + 24 * i);
  } else {
    if (kind == 8) Picture(33, b.left, b.top + 175);
    else Picture(39, b.left + 13, b.top + 207);
    const int32_t first = FirstDescLine(kind);
    const bool four = !IdeText(IdeSection::Desc, first + 3).empty();
    for (int32_t i = 0; i < (four ? 4 : 3); ++i)
      Text(IdeText(IdeSection::Desc, first + i), 162, four ? 212 + 14 * i : 216 + 16 * i);
  }
  Text(ClipFront(FsToProgramName(g_ide.browserFolder), 370), 16, 28);
  for (int32_t row = 0; row < kBrowserRows; ++row) {
    const int32_t index = b.firstVisible + row;
    if (index >= int32_t(b.entries.size())) break;
    const BrowserEntry& e = b.entries[size_t(index)];
    const int32_t y = kTrackY + kBrowserRowHeight * row;
    Picture(12 + e.type, b.left + 16, b.top + y);
    const std::string name = ClipBack(e.name, 240);
    if (index + 1 == b.selected) IdeDrawText(Screen(), name, 2, b.left + 33, b.top + y, 1, b.left + 33 + IdeTextWidth(name));
    else Text(name, 33, y);
    // Without room for the seconds the date ends at the minutes.
    const std::string date = IdeTextWidth(e.date) > 116 ? e.date.substr(0, 12) : e.date;
    Text(ClipBack(date, 116), 280, y);
  }
}

void Question() {
  const int32_t mode = g_ide.dialogMode;
  std::string text;
  switch (mode) {
    case 3:
    case 13:
    case 14: text = g_browser.fields[1].text + " " + IdeText(IdeSection::Desc, kDescReplaceIt); break;
    case 51: text = IdeText(IdeSection::Desc, kDescLoadExample); break;
    case kModeReplaceChanged: {
      // On two lines where one does not hold it: the name first, whole where it fits.
      const std::string name = FsToProgramName(g_ide.fileName);
      const std::string& question = IdeText(IdeSection::Desc, kDescChangedOnDisk);
      const int32_t width = g_browser.width - 16;
      text = name + " " + question;
      if (IdeTextWidth(text) <= width) break;
      size_t cut = question.find(' ');
      while (cut != std::string::npos && question.find(' ', cut + 1) != std::string::npos &&
             IdeTextWidth(name + " " + question.substr(0, question.find(' ', cut + 1))) <= width)
        cut = question.find(' ', cut + 1);
      const bool joined = cut != std::string::npos && IdeTextWidth(name + " " + question.substr(0, cut)) <= width;
      Centred(ClipFront(joined ? name + " " + question.substr(0, cut) : name, width), g_browser.width / 2, 12);
      Centred(ClipFront(joined ? question.substr(cut + 1) : question, width), g_browser.width / 2, 30);
      return;
    }
    case 99: text = IdeText(IdeSection::Desc, kDescQuit); break;
    default: text = IdeSaveFirstQuestion(); break;
  }
  text = ClipFront(text, g_browser.width - 16);
  Centred(text, g_browser.width / 2, 22);
}

void IconFrame() {
  BrowserState& b = g_browser;
  const bool source = b.selected > 0 && b.entries[size_t(b.selected - 1)].type == kEntrySource;
  int32_t frame = 0;
  if (source) {
    b.iconFrame = (std::max(0, b.iconFrame) + 1) % kIconFrames;
    frame = b.iconFrame;
  } else {
    b.iconFrame = -1;
  }
  Surface* s = BrowserPicture(20);
  if (!s) return;
  const int32_t fx = (frame % kIconsPerRow) * kIconSize, fy = (frame / kIconsPerRow) * kIconSize;
  SurfRect r{fx, fy, fx + kIconSize, fy + kIconSize};
  SurfaceBltFast(Screen(), b.left + 14, b.top + 209, s, &r, 0);
}

}  // namespace

int32_t BrowserThumbLength() {
  const int32_t count = int32_t(g_browser.entries.size());
  if (count <= kBrowserRows) return kTrackHeight;
  return std::max(8, kTrackHeight * kBrowserRows / count);
}

void BrowserDraw() {
  BrowserState& b = g_browser;
  if (b.state != 1 || !Screen()) return;
  // The dragged thumb follows the pointer; letting go ends the drag.
  if (b.dragging) {
    if (!g_ide.buttonHeld) {
      b.dragging = false;
    } else {
      const int32_t count = int32_t(b.entries.size());
      const int32_t travel = kTrackHeight - BrowserThumbLength();
      const int32_t top = g_ide.mouseY - b.top - b.dragOffset - kTrackY;
      if (travel > 0 && count > kBrowserRows)
        b.firstVisible = std::clamp(top * (count - kBrowserRows) / travel, 0, count - kBrowserRows);
    }
  }
  if (b.activeField > 0 && ++b.blinkCounter >= kBlinkFrames) {
    b.blinkCounter = 0;
    b.cursorShown = !b.cursorShown;
  }
  // Drawn whole every frame: the screen under it may have been refreshed from the editor.
  b.redraw = false;
  Picture(b.background, b.left, b.top);
  const int32_t kind = b.kind;
  if (b.listShown) ListPanel();
  else if (kind == 4 && b.message.empty()) Question();
  else if (kind == 71) Centred(IdeText(IdeSection::Title, kTitleMediaEditors), 210, 5);
  // A message over a question stands alone: the question and its buttons give way until it goes.
  for (int32_t i = 1; i < kBrowserSlots; ++i)
    if (b.buttons[i].exists && (kind != 4 || b.message.empty())) Button(b.buttons[i]);
  for (int32_t i = 1; i < kBrowserSlots; ++i)
    if (b.fields[i].exists && i != b.activeField) Field(i);
  if (b.listShown) ScrollBar();
  if (b.activeField > 0 && b.fields[b.activeField].exists) Field(b.activeField);
  if (kind == 2 || kind == 3) IconFrame();
  if (!b.message.empty()) {
    if (Surface* box = BrowserPicture(2)) SurfaceBltFast(Screen(), 118, 205, box, nullptr, 0);
    const std::vector<std::string> lines = BrowserMessageLines(b.message);
    int32_t y = lines.size() == 1 ? 222 : 214;
    for (const std::string& line : lines) {
      IdeDrawTextBand(Screen(), line, 2, 320 - IdeTextWidth(line) / 2, y);
      y += 16;
    }
  }
}

std::vector<std::string> BrowserMessageLines(const std::string& text) {
  if (IdeTextWidth(text) <= kMessageWidth) return {text};
  // The first line ends at the last space that lets it fit; the second keeps the end.
  size_t space = text.rfind(' ');
  while (space != std::string::npos && space > 0 && IdeTextWidth(text.substr(0, space)) > kMessageWidth)
    space = text.rfind(' ', space - 1);
  if (space == std::string::npos || space == 0) return {ClipFront(text, kMessageWidth)};
  return {text.substr(0, space), ClipFront(text.substr(space + 1), kMessageWidth)};
}
