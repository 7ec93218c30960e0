// The editor pane: drawing rows, scrolling, the caret follow and the navigation keys.
#include <algorithm>
#include <cstring>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_draw.h"

namespace {

constexpr int32_t kPaneBottom = kPaneTop + kVisibleRows * kRowHeight;  // 459
constexpr int32_t kMaxFirstColumn = 20000000;

EditorBuffer& E() { return g_ide.editor; }
Surface* Pane() { return g_ide.gfx.editor.get(); }

void FillPane(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t pixel) {
  if (!Pane()) return;
  SurfRect r{left, top, right, bottom};
  SurfaceFill(Pane(), &r, pixel);
  g_ide.editorChanged = true;
}

// Moves the pane's pixel rows [from, from + count) to start at row to, in an order that
// never reads a row already overwritten.
void MovePaneRows(int32_t from, int32_t to, int32_t count) {
  Surface* s = Pane();
  if (!s) return;
  const size_t bytes = size_t(kPaneRight) * size_t(s->Format().BytesPerPixel());
  if (to < from)
    for (int32_t i = 0; i < count; ++i) std::memmove(s->Row(to + i), s->Row(from + i), bytes);
  else
    for (int32_t i = count; i-- > 0;) std::memmove(s->Row(to + i), s->Row(from + i), bytes);
  g_ide.editorChanged = true;
}

// The step by which the view moves sideways: half the distance to the cursor, at least 31.
int32_t SideStep() {
  const int32_t half = std::abs(E().cursorCol - E().firstColumn) / 2;
  return half <= 31 ? 31 : half;
}

}  // namespace

void EditorDrawLine(int32_t row, int32_t y) {
  EditorBuffer& e = E();
  Surface* s = Pane();
  if (!s || row < 0 || row >= e.LineCount()) return;
  const std::string& line = e.lines[size_t(row)];
  const int32_t band = EditorLineColourBand(line);
  const IdeColours& c = g_ide.gfx.colours;
  int32_t x = 0;
  for (int32_t col = e.firstColumn; col < int32_t(line.size()); ++col) {
    const unsigned char ch = static_cast<unsigned char>(line[size_t(col)]);
    const bool selected = EditorIsSelected(row, col);
    if (ch == '\t') {
      const int32_t stop = (x / kTabStop) * kTabStop + kTabStop;
      if (stop >= kPaneRight) break;
      SurfRect r{x, y, stop, y + kRowHeight};
      SurfaceFill(s, &r, selected ? c.selection : c.background);
      x = stop;
      continue;
    }
    if (ch < 32) continue;
    const int32_t code = (selected ? 256 : band) + ch;
    const int32_t w = IdeGlyphWidth(code);
    if (x + w >= kPaneRight) break;
    IdeDrawGlyph(s, code, x, y);
    x += w;
  }
  g_ide.editorChanged = true;
}

void EditorRedrawRowAt(int32_t row, int32_t y) {
  FillPane(0, y, kPaneRight, y + kRowHeight, g_ide.gfx.colours.background);
  EditorDrawLine(row, y);
}

void EditorRedrawRow(int32_t row) {
  if (row >= E().topLine && row < E().topLine + kVisibleRows) EditorRedrawRowAt(row, kPaneTop + (row - E().topLine) * kRowHeight);
}

void EditorRedrawVisible() {
  EditorBuffer& e = E();
  FillPane(0, kPaneTop, kPaneRight, kPaneBottom, g_ide.gfx.colours.background);
  for (int32_t r = 0; r < kVisibleRows && e.topLine + r < e.LineCount(); ++r)
    EditorDrawLine(e.topLine + r, kPaneTop + r * kRowHeight);
  EditorMarkRowsDrawn();
  g_ide.redrawScrollBar = true;
}

void EditorMarkRowsDrawn() { std::fill(std::begin(E().rowDrawn), std::end(E().rowDrawn), true); }
void EditorMarkRowsStale() { std::fill(std::begin(E().rowDrawn), std::end(E().rowDrawn), false); }

void EditorRedrawStaleRows() {
  EditorBuffer& e = E();
  for (int32_t r = 0; r < kVisibleRows; ++r) {
    if (e.rowDrawn[r]) continue;
    e.rowDrawn[r] = true;
    EditorRedrawRowAt(e.topLine + r, kPaneTop + r * kRowHeight);
  }
}

void EditorScrollTo(int32_t line) {
  E().topLine = std::max(0, line);
  EditorRedrawVisible();
  EditorSetCaretRow(E().cursorRow);
}

void EditorScrollUpOneRow() {
  EditorBuffer& e = E();
  ++e.topLine;
  MovePaneRows(kPaneTop + kRowHeight, kPaneTop, (kVisibleRows - 1) * kRowHeight);
  std::memmove(e.rowDrawn, e.rowDrawn + 1, sizeof(bool) * (kVisibleRows - 1));
  e.rowDrawn[kVisibleRows - 1] = false;
  EditorRedrawStaleRows();
  EditorSetCaretRow(e.cursorRow);
  EditorRedrawRow(e.cursorRow);
}

void EditorScrollDownOneRow() {
  EditorBuffer& e = E();
  if (e.topLine <= 0) return;
  --e.topLine;
  MovePaneRows(kPaneTop, kPaneTop + kRowHeight, (kVisibleRows - 1) * kRowHeight);
  std::memmove(e.rowDrawn + 1, e.rowDrawn, sizeof(bool) * (kVisibleRows - 1));
  e.rowDrawn[0] = false;
  EditorRedrawStaleRows();
  EditorSetCaretRow(e.cursorRow);
  EditorRedrawRow(e.cursorRow);
}

void EditorKeepCaretVisible() {
  EditorBuffer& e = E();
  if (e.caretX >= kPaneRight + 1) {
    while (e.caretX >= kPaneRight + 1 && e.firstColumn < kMaxFirstColumn) {
      e.firstColumn = std::min(e.firstColumn + SideStep(), kMaxFirstColumn);
      e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
    }
    EditorRedrawVisible();
  }
  if (e.firstColumn > 0 && e.cursorCol <= e.firstColumn) {
    while (e.firstColumn > 0 && e.cursorCol <= e.firstColumn) e.firstColumn = std::max(0, e.firstColumn - SideStep());
    e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
    EditorRedrawVisible();
  }
  if (g_ide.caretHidden) return;
  // One row off the pane scrolls by copying the pane; a longer jump redraws it.
  if (e.cursorRow < e.topLine) {
    if (e.topLine - e.cursorRow == 1) EditorScrollDownOneRow();
    else EditorScrollTo(e.cursorRow);
    g_ide.redrawScrollBar = true;
  } else if (e.cursorRow > e.topLine + kVisibleRows - 1) {
    if (e.cursorRow == e.topLine + kVisibleRows) EditorScrollUpOneRow();
    else EditorScrollTo(e.cursorRow - (kVisibleRows - 1));
    g_ide.redrawScrollBar = true;
  }
}

namespace {

void FinishNavigation() {
  EditorBuffer& e = E();
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
  EditorSetCaretRow(e.cursorRow);
  EditorRedrawVisible();
}

}  // namespace

void EditorGoToTop() {
  EditorBuffer& e = E();
  e.topLine = e.cursorRow = e.cursorCol = 0;
  FinishNavigation();
}

void EditorGoToEnd() {
  EditorBuffer& e = E();
  e.topLine = std::max(0, e.LineCount() - kVisibleRows);
  e.cursorRow = std::max(0, e.LineCount() - 1);
  e.cursorCol = 0;
  FinishNavigation();
}

void EditorPageUp() {
  EditorBuffer& e = E();
  e.topLine -= kVisibleRows - 1;
  e.cursorRow -= kVisibleRows - 1;
  if (e.topLine < 0) e.topLine = e.cursorRow = 0;
  e.cursorRow = std::max(0, e.cursorRow);
  e.cursorCol = 0;
  FinishNavigation();
}

void EditorPageDown() {
  EditorBuffer& e = E();
  e.topLine += kVisibleRows - 1;
  e.cursorRow += kVisibleRows - 1;
  if (e.topLine + kVisibleRows >= e.LineCount()) {
    e.topLine = std::max(0, e.LineCount() - kVisibleRows);
    e.cursorRow = e.LineCount() - 1;
  }
  e.cursorRow = std::min(e.cursorRow, e.LineCount() - 1);
  e.cursorCol = 0;
  FinishNavigation();
}

bool EditorCaretPosition(int32_t* x, int32_t* y) {
  if (g_ide.caretHidden || g_ide.openMenu > 0 || g_ide.dialogMode > 0) {
    *x = *y = -256;
    return false;
  }
  *x = E().caretX - 1;
  *y = E().caretY;
  return true;
}
