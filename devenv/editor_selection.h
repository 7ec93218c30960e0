#pragma once
#include <cstdint>
#include <string>

#include "devenv/ide_state.h"

// Selections in the editor and the operations on them.

inline bool EditorHasSelection() {
  const EditorSelection& s = g_ide.editor.sel;
  return s.startRow != s.endRow || s.startCol != s.endCol;
}
// The byte at (row, col) lies inside the selection.
inline bool EditorIsSelected(int32_t row, int32_t col) {
  const EditorSelection& s = g_ide.editor.sel;
  if (row < s.startRow || row > s.endRow) return false;
  if (s.startRow == s.endRow) return col >= s.startCol && col < s.endCol;
  if (row == s.startRow) return col >= s.startCol;
  if (row == s.endRow) return col < s.endCol;
  return true;
}

// ---- selection, deletion and undo (editor_selection.cpp)
void EditorClearSelection();
// Extends the selection (starting it at the cursor when none is being made) to the cursor.
void EditorExtendSelection();
// Deletes the selected text; the cursor goes to where it began.
void EditorDeleteSelection();
void EditorUndoTake();
void EditorUndoRestore();
// A snapshot before an edit (the undo item becomes enabled) / back to it.
void IdeRecordUndo();
void IdeUndo();
