// The copy buffer and the system clipboard; cut, copy, paste and delete.
#include <algorithm>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_draw.h"
#include "platform/clipboard.h"

namespace {

EditorBuffer& E() { return g_ide.editor; }
bool IsBreak(char c) { return c == 0 || c == 13; }

void RedrawAfterEdit() {
  EditorBuffer& e = E();
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
  EditorSetCaretRow(e.cursorRow);
  EditorRedrawVisible();
  EditorKeepCaretVisible();
  g_ide.redrawStatus = true;
}

}  // namespace

void EditorCopySelection() {
  if (!EditorHasSelection()) return;
  const EditorSelection& s = E().sel;
  std::string out;
  for (int32_t row = s.startRow; row <= s.endRow; ++row) {
    const std::string& line = E().lines[size_t(row)];
    const size_t from = row == s.startRow ? std::min(size_t(s.startCol), line.size()) : 0;
    const size_t to = row == s.endRow ? std::min(size_t(s.endCol), line.size()) : line.size();
    out.append(line, from, to > from ? to - from : 0);
    if (row < s.endRow || size_t(s.endCol) >= line.size()) out += char(13);
  }
  g_ide.copyBuffer = out;
  CopyToClipboard();
}

bool CopyToClipboard() {
  if (g_ide.copyBuffer.empty()) return false;
  std::string text;
  for (char c : g_ide.copyBuffer) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (IsBreak(c)) text += '\n';
    else if (u >= 32 || u == '\t') text += c;
  }
  return ClipboardSetText(text);
}

bool ReadClipboard() {
  const std::string text = ClipboardGetText();
  if (text.empty()) return false;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      out += char(0);
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c >= 32 || c == '\t') {
      out += char(c);
    }
  }
  g_ide.copyBuffer = out;
  return true;
}

int32_t EditorCountCopyLines() {
  return int32_t(std::count_if(g_ide.copyBuffer.begin(), g_ide.copyBuffer.end(), IsBreak));
}

bool EditorInsertCopy() {
  ReadClipboard();
  EditorBuffer& e = E();
  if (int64_t(e.LineCount()) + EditorCountCopyLines() > e.tableCapacity) return false;
  for (char c : g_ide.copyBuffer) {
    if (!IsBreak(c)) {
      EditorInsertChar(e.cursorRow, e.cursorCol++, static_cast<unsigned char>(c));
    } else if (e.LineCount() < e.tableCapacity) {
      ++e.cursorRow;
      e.cursorCol = 0;
      EditorInsertLine(std::string());
    }
  }
  g_ide.modified = 1;
  return true;
}

void EditorPaste() {
  EditorBuffer& e = E();
  if (EditorHasSelection()) EditorDeleteSelection();
  const std::string tail = EditorCutLineTail();
  EditorInsertCopy();
  EditorAppendText(tail);
  EditorClearSelection();
  if (e.cursorRow >= e.topLine + kVisibleRows) e.topLine = std::max(0, e.cursorRow - kVisibleRows);
  RedrawAfterEdit();
}

void IdeCut() {
  if (!EditorHasSelection()) return;
  IdeRecordUndo();
  EditorCopySelection();
  EditorDeleteSelection();
  EditorClearSelection();
  RedrawAfterEdit();
}

void IdeCopy() { EditorCopySelection(); }

void IdePaste() {
  IdeRecordUndo();
  EditorPaste();
}

void IdeDelete() {
  if (!EditorHasSelection()) return;
  IdeRecordUndo();
  EditorDeleteSelection();
  EditorClearSelection();
  RedrawAfterEdit();
}
