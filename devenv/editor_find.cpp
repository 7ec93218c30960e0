// Find, find next and replace; Tab over a selection.
#include <algorithm>
#include <cctype>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_draw.h"

namespace {

EditorBuffer& E() { return g_ide.editor; }

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void ShowMatch(int32_t row, int32_t col, int32_t length) {
  EditorBuffer& e = E();
  e.cursorRow = row;
  e.cursorCol = col + length;
  e.sel = EditorSelection();
  e.sel.anchorRow = e.sel.startRow = e.sel.endRow = row;
  e.sel.anchorCol = e.sel.startCol = col;
  e.sel.endCol = col + length;
  if (row < e.topLine || row >= e.topLine + kVisibleRows) e.topLine = std::max(0, row - 15);
  e.firstColumn = 0;
  e.caretX = EditorCaretXFromColumn(row, e.cursorCol);
  EditorSetCaretRow(row);
  EditorRedrawVisible();
  EditorKeepCaretVisible();
}

}  // namespace

int32_t EditorFindInLine(int32_t row, const std::string& lowerPattern, int32_t fromCol, int32_t toCol) {
  const std::string text = Lower(E().lines[size_t(row)]);
  const int32_t len = int32_t(text.size()), plen = int32_t(lowerPattern.size());
  for (int32_t p = std::max(0, fromCol);; ++p) {
    if (p > len - plen || p > toCol - plen) return -1;
    if (text.compare(size_t(p), size_t(plen), lowerPattern) == 0) return p;
  }
}

int32_t EditorReplaceInLine(int32_t row, const std::string& lowerPattern, int32_t col,
                            const std::string& replacement) {
  std::string& line = E().lines[size_t(row)];
  line.replace(size_t(col), lowerPattern.size(), replacement);
  g_ide.modified = 1;
  return col + int32_t(replacement.size());
}

int32_t EditorFindReplace(const std::string& pattern, const std::string* replacement) {
  if (pattern.empty()) return -1;
  EditorBuffer& e = E();
  const std::string pat = Lower(pattern);
  const int32_t plen = int32_t(pat.size());
  g_ide.searchText = pat;
  if (replacement) {
    g_ide.replaceText = *replacement;
    IdeRecordUndo();
  }
  const bool limited = replacement && EditorHasSelection();
  const EditorSelection sel = e.sel;
  const int32_t startRow = limited ? sel.startRow : std::min(e.cursorRow, e.LineCount() - 1);
  const int32_t startCol = limited ? sel.startCol : e.cursorCol;
  bool replaced = false;
  int32_t row = startRow, col = startCol;
  // Every line once from the start, then the start line's part before the start column.
  for (int32_t visit = 0; visit <= e.LineCount(); ++visit) {
    const bool again = visit == e.LineCount();
    int32_t to = int32_t(e.lines[size_t(row)].size());
    if (limited && row == sel.endRow) to = sel.endCol;
    if (again) {
      if (row != startRow) break;
      to = std::min(to, startCol + plen - 1);
    }
    for (;;) {
      const int32_t at = EditorFindInLine(row, pat, col, to);
      if (at < 0) break;
      if (!replacement) {
        ShowMatch(row, at, plen);
        return row;
      }
      col = EditorReplaceInLine(row, pat, at, *replacement);
      to += int32_t(replacement->size()) - plen;
      replaced = true;
    }
    col = 0;
    if (limited && row >= sel.endRow) break;  // a selection never wraps to the lines above it
    if (++row >= e.LineCount()) row = 0;
  }
  if (!replaced) return -1;
  EditorClearSelection();
  e.cursorCol = std::min(e.cursorCol, int32_t(e.lines[size_t(e.cursorRow)].size()));
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
  EditorRedrawVisible();
  g_ide.redrawStatus = true;
  return 1;
}

void EditorIndentSelection(bool unindent) {
  EditorBuffer& e = E();
  const EditorSelection& s = e.sel;
  int32_t last = s.endRow;
  if (s.endRow > s.startRow && e.cursorCol == 0) --last;
  IdeRecordUndo();
  for (int32_t row = s.startRow; row <= last; ++row) {
    if (unindent) EditorUnindentLine(row);
    else EditorInsertChar(row, 0, '\t');
  }
  g_ide.modified = 1;
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
  EditorRedrawVisible();
}
