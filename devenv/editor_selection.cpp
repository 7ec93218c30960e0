// The selection: extending it, deleting it; the single-level undo.
#include <algorithm>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_draw.h"

namespace {

EditorBuffer& E() { return g_ide.editor; }

void MarkStale(int32_t row) {
  const int32_t r = row - E().topLine;
  if (r >= 0 && r < kVisibleRows) E().rowDrawn[r] = false;
}

}  // namespace

void EditorClearSelection() {
  EditorSelection& s = E().sel;
  s.selecting = false;
  s.startRow = s.startCol = s.endRow = s.endCol = 0;
  EditorMarkRowsDrawn();
}

void EditorExtendSelection() {
  EditorBuffer& e = E();
  EditorSelection& s = e.sel;
  if (!s.selecting) {
    s.selecting = true;
    s.anchorRow = s.startRow = s.endRow = e.cursorRow;
    s.anchorCol = s.startCol = s.endCol = e.cursorCol;
    s.lastExtendRow = 0;
  }
  const int32_t oldStart = s.startRow, oldEnd = s.endRow;
  s.startRow = std::min(s.anchorRow, e.cursorRow);
  s.endRow = std::max(s.anchorRow, e.cursorRow);
  if (s.startRow == s.endRow) {
    s.startCol = std::min(s.anchorCol, e.cursorCol);
    s.endCol = std::max(s.anchorCol, e.cursorCol);
  } else if (e.cursorRow == s.startRow) {
    s.startCol = e.cursorCol;
    s.endCol = s.anchorCol;
  } else {
    s.startCol = s.anchorCol;
    s.endCol = e.cursorCol;
  }
  // Rows whose selected bytes may have changed are drawn again.
  MarkStale(oldStart);
  MarkStale(oldEnd);
  const int32_t previous = s.lastExtendRow > 0 ? s.lastExtendRow - 1 : e.cursorRow;
  for (int32_t r = std::min(previous, e.cursorRow); r <= std::max(previous, e.cursorRow); ++r) MarkStale(r);
  EditorRedrawStaleRows();
  s.lastExtendRow = e.cursorRow + 1;
}

void EditorDeleteSelection() {
  if (!EditorHasSelection()) return;
  EditorBuffer& e = E();
  const EditorSelection s = e.sel;
  std::string& first = e.lines[size_t(s.startRow)];
  const std::string tail = size_t(s.endCol) < e.lines[size_t(s.endRow)].size()
                               ? e.lines[size_t(s.endRow)].substr(size_t(s.endCol))
                               : std::string();
  first.resize(std::min(size_t(s.startCol), first.size()));
  if (s.endRow > s.startRow)
    e.lines.erase(e.lines.begin() + s.startRow + 1, e.lines.begin() + s.endRow + 1);
  e.cursorRow = s.startRow;
  e.cursorCol = int32_t(first.size());
  if (s.startRow < e.topLine) e.topLine = std::max(0, s.startRow - 10);
  e.lines[size_t(s.startRow)] += tail;
  g_ide.modified = 1;
}

void EditorUndoTake() {
  g_ide.undo.lines = E().lines;
  g_ide.undo.valid = true;
}

void EditorUndoRestore() {
  if (!g_ide.undo.valid) return;
  E().lines = std::move(g_ide.undo.lines);
  g_ide.undo.lines.clear();
  g_ide.undo.valid = false;
  if (E().lines.empty()) E().lines.emplace_back();
}

void IdeRecordUndo() {
  EditorUndoTake();
  g_ide.undoEnabled = true;
}

void IdeUndo() {
  EditorUndoRestore();
  g_ide.undoEnabled = false;
  EditorClearSelection();
  // The cursor stays where it was, brought back within the restored text.
  EditorBuffer& e = E();
  e.cursorRow = std::min(e.cursorRow, e.LineCount() - 1);
  e.cursorCol = std::min(e.cursorCol, int32_t(e.lines[size_t(e.cursorRow)].size()));
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
  EditorSetCaretRow(e.cursorRow);
  EditorRedrawVisible();
  g_ide.redrawStatus = true;
}

void EditorMouseFrame() {
  EditorBuffer& e = E();
  EditorSelection& s = e.sel;
  const int32_t x = g_ide.mouseX, y = g_ide.mouseY;
  if (g_ide.clickPending) {
    g_ide.clickPending = false;
    if (x >= 0 && x <= kPaneRight && y >= 44 && y <= 458) {
      EditorClearSelection();
      EditorRedrawVisible();
      s.dragging = true;
      g_ide.caretHidden = false;
      e.cursorRow = std::min(e.topLine + (y - kPaneTop) / kRowHeight, e.LineCount() - 1);
      EditorSetCaretRow(e.cursorRow);
      EditorColumnFromX(e.cursorRow, x);
      EditorExtendSelection();
    }
    return;
  }
  if (!s.dragging) return;
  if (!g_ide.buttonHeld) {
    s.dragging = false;
    s.selecting = false;
    return;
  }
  if (y < kPaneTop) {
    e.cursorRow = std::max(0, e.topLine - 1);  // the pane follows one row a frame
    e.cursorCol = 0;
    e.caretX = EditorCaretXFromColumn(e.cursorRow, 0);
  } else if (y >= kPaneTop + kVisibleRows * kRowHeight) {
    e.cursorRow = std::min(e.topLine + kVisibleRows, e.LineCount() - 1);
    EditorColumnFromX(e.cursorRow, x);
  } else {
    e.cursorRow = std::min(e.topLine + (y - kPaneTop) / kRowHeight, e.LineCount() - 1);
    EditorColumnFromX(e.cursorRow, x);
  }
  EditorSetCaretRow(e.cursorRow);
  EditorKeepCaretVisible();
  EditorExtendSelection();
}
