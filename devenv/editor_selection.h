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

// Every frame of the editor view: a click in the pane starts a selection, dragging extends
// it (scrolling at the pane's edges), releasing the button ends it.
void EditorMouseFrame();

// ---- copy buffer, clipboard, cut and paste (editor_clipboard.cpp)
void EditorCopySelection();
// The copy buffer onto the system clipboard, line breaks as LF; false when it is empty.
bool CopyToClipboard();
// The clipboard's text into the copy buffer (CR LF, LF or CR each one break); false when the
// clipboard holds no text.
bool ReadClipboard();
int32_t EditorCountCopyLines();
// Inserts the copy buffer at the cursor; false (nothing inserted) when its lines would not fit
// in the line table.
bool EditorInsertCopy();
void EditorPaste();
// The edit actions: each takes an undo snapshot first where it changes the text.
void IdeCut();
void IdeCopy();
void IdePaste();
void IdeDelete();

// ---- find and replace, block indentation (editor_find.cpp)
int32_t EditorFindInLine(int32_t row, const std::string& lowerPattern, int32_t fromCol, int32_t toCol);
int32_t EditorReplaceInLine(int32_t row, const std::string& lowerPattern, int32_t col, const std::string& replacement);
// Without a replacement: finds the next match from the cursor (wrapping once), selects it and
// answers its row, or -1. With one: replaces every match (inside the selection when there is
// one) and answers 1, or -1 when nothing matched.
int32_t EditorFindReplace(const std::string& pattern, const std::string* replacement);
// Tab over a selection: a Tab in front of each selected line, or with Shift one taken away.
void EditorIndentSelection(bool unindent);

// ---- context help (context_help.cpp)
// The help page of a phrase from the help index ("index.htm" in the help folder).
bool ContextHelpLookup(const std::string& phrase, std::string* page);
// F1: the longest phrase holding the cursor's word that the index knows, else the longest left
// of it (the command of an operand), else "nocontex.htm".
void IdeContextHelp();
