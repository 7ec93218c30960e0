// Keys and typed characters in the editor.
#include <algorithm>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_draw.h"

namespace {

EditorBuffer& E() { return g_ide.editor; }
const std::string& CursorLine() { return E().lines[size_t(E().cursorRow)]; }

void CaretFromCursor() {
  E().caretX = EditorCaretXFromColumn(E().cursorRow, E().cursorCol);
  EditorSetCaretRow(E().cursorRow);
}

// When a menu or dialog had hidden the caret, a key brings it back, and the cursor's row into
// the pane.
void ShowCaretAgain() {
  if (!g_ide.caretHidden) return;
  g_ide.caretHidden = false;
  EditorBuffer& e = E();
  if (e.cursorRow < e.topLine || e.cursorRow >= e.topLine + kVisibleRows) {
    e.topLine = std::max(0, e.cursorRow - 15);
    EditorRedrawVisible();
  }
  CaretFromCursor();
}

void DeleteForward() {
  EditorBuffer& e = E();
  if (e.cursorCol >= int32_t(CursorLine().size())) {
    if (e.cursorRow + 1 >= e.LineCount()) return;
    ++e.cursorRow;
    const std::string next = CursorLine();
    EditorDeleteLine();
    --e.cursorRow;
    EditorCursorToLineEnd();
    EditorAppendText(next);
    EditorRedrawVisible();
  } else {
    e.lines[size_t(e.cursorRow)].erase(size_t(e.cursorCol), 1);
    EditorRedrawRow(e.cursorRow);
  }
  g_ide.modified = 1;
}

void Backspace() {
  EditorBuffer& e = E();
  if (e.cursorCol > 0) {
    e.lines[size_t(e.cursorRow)].erase(size_t(e.cursorCol - 1), 1);
    --e.cursorCol;
    CaretFromCursor();
    EditorRedrawRow(e.cursorRow);
  } else {
    if (e.cursorRow == 0) return;
    const std::string text = CursorLine();
    EditorDeleteLine();
    --e.cursorRow;
    EditorCursorToLineEnd();
    EditorSetCaretRow(e.cursorRow);
    EditorAppendText(text);
    EditorRedrawVisible();
  }
  g_ide.modified = 1;
}

void Enter() {
  EditorBuffer& e = E();
  if (e.LineCount() >= e.tableCapacity) return;
  const std::string tail = EditorCutLineTail();
  e.cursorCol = 0;
  ++e.cursorRow;
  EditorInsertLine(tail);
  CaretFromCursor();
  EditorRedrawVisible();
  g_ide.modified = 1;
}

void Insert(unsigned char c) {
  EditorBuffer& e = E();
  EditorInsertChar(e.cursorRow, e.cursorCol, c);
  ++e.cursorCol;
  CaretFromCursor();
  EditorRedrawRow(e.cursorRow);
  g_ide.modified = 1;
}

void TypedChar(unsigned char c) {
  if (IdeControlHeld() || IdeKeyHeld(kVkIdeEscape)) return;
  const bool typed = c >= 32 || c == kVkTab || c == kVkBack || c == kVkReturn;
  if (!typed) return;
  if (c == kVkTab && EditorHasSelection()) {
    EditorIndentSelection(IdeShiftHeld());
    return;
  }
  if (EditorHasSelection()) {
    IdeRecordUndo();
    EditorDeleteSelection();
    EditorClearSelection();
    CaretFromCursor();
    EditorRedrawVisible();
    g_ide.modified = 1;
    if (c == kVkBack) return;
  }
  if (c == kVkBack) Backspace();
  else if (c == kVkReturn) Enter();
  else Insert(c);
}

bool KeyDown(int vk) {
  EditorBuffer& e = E();
  g_ide.lastKey = vk;
  g_ide.redrawStatus = true;
  ShowCaretAgain();
  const bool moves = vk >= kVkEnd && vk <= kVkDown;
  // Shift with a key that moves the cursor: the selection starts where the cursor was.
  if (moves && IdeShiftHeld() && !e.sel.selecting) EditorExtendSelection();
  // Control shortcuts are read from the keyboard state by the shell, once per press.
  if (IdeControlHeld() && vk >= 'A' && vk <= 'Z') return true;
  switch (vk) {
    case kVkEnd: EditorCursorToLineEnd(); break;
    case kVkHome:
      e.cursorCol = 0;
      e.caretX = EditorCaretXFromColumn(e.cursorRow, 0);
      break;
    case kVkLeft:
      if (e.cursorCol > 0) {
        --e.cursorCol;
        e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
      } else if (e.cursorRow > 0) {
        --e.cursorRow;
        EditorSetCaretRow(e.cursorRow);
        EditorCursorToLineEnd();
      }
      break;
    case kVkUp:
      if (e.cursorRow > 0) {
        --e.cursorRow;
        EditorSetCaretRow(e.cursorRow);
        EditorColumnFromX(e.cursorRow, e.caretX);
      }
      break;
    case kVkRight:
      if (e.cursorCol < int32_t(CursorLine().size())) {
        ++e.cursorCol;
        e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
      } else if (e.cursorRow + 1 < e.LineCount()) {
        ++e.cursorRow;
        e.cursorCol = 0;
        CaretFromCursor();
      }
      break;
    case kVkDown:
      if (e.cursorRow + 1 < e.LineCount()) {
        ++e.cursorRow;
        EditorSetCaretRow(e.cursorRow);
        EditorColumnFromX(e.cursorRow, e.caretX);
      }
      break;
    case kVkDelete:
      if (EditorHasSelection()) {
        IdeRecordUndo();
        EditorDeleteSelection();
        EditorClearSelection();
        CaretFromCursor();
        EditorRedrawVisible();
        g_ide.modified = 1;
      } else {
        DeleteForward();
      }
      break;
    default: return false;
  }
  EditorKeepCaretVisible();
  // A key that moves the cursor extends the selection with Shift and ends it without.
  if (moves && IdeShiftHeld()) {
    EditorExtendSelection();
  } else if (moves && EditorHasSelection()) {
    EditorClearSelection();
    EditorRedrawVisible();
  } else if (moves) {
    e.sel.selecting = false;
  }
  return true;
}

}  // namespace

bool IdeShiftHeld() { return IdeKeyHeld(kVkShift) || IdeKeyHeld(kVkLeftShift) || IdeKeyHeld(kVkRightShift); }
bool IdeControlHeld() {
  return IdeKeyHeld(kVkControl) || IdeKeyHeld(kVkLeftControl) || IdeKeyHeld(kVkRightControl);
}

bool EditorWindowMessage(const Message& m) {
  if (m.kind == MsgKind::KeyDown) return KeyDown(m.a);
  if (m.kind != MsgKind::Char) return false;
  TypedChar(static_cast<unsigned char>(m.a));
  EditorKeepCaretVisible();
  return true;
}
