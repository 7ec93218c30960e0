// The editor's lines and the arithmetic between columns and caret positions.
#include <algorithm>
#include <cctype>

#include "devenv/editor.h"
#include "devenv/ide_draw.h"

namespace {

EditorBuffer& E() { return g_ide.editor; }

}  // namespace

int32_t EditorLineColourBand(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && static_cast<unsigned char>(line[i]) < 33) ++i;
  if (i < line.size() && line[i] == '`') return 1792;
  if (line.size() - i >= 3 && std::tolower(static_cast<unsigned char>(line[i])) == 'r' &&
      std::tolower(static_cast<unsigned char>(line[i + 1])) == 'e' &&
      std::tolower(static_cast<unsigned char>(line[i + 2])) == 'm')
    return 1792;
  return 0;
}

int32_t EditorAdvance(int32_t x, unsigned char c) {
  if (c == '\t') return (x / kTabStop) * kTabStop + kTabStop;
  return c < 32 ? x : x + IdeGlyphWidth(c);
}

int32_t EditorCaretXFromColumn(int32_t row, int32_t col) {
  int32_t x = kCaretLeft;
  if (row < 0 || row >= E().LineCount()) return x;
  const std::string& line = E().lines[size_t(row)];
  const int32_t end = std::min<int32_t>(col, int32_t(line.size()));
  for (int32_t c = E().firstColumn; c < end; ++c) x = EditorAdvance(x, static_cast<unsigned char>(line[size_t(c)]));
  return x;
}

void EditorColumnFromX(int32_t row, int32_t x) {
  EditorBuffer& e = E();
  const std::string& line = e.lines[size_t(row)];
  const int32_t len = int32_t(line.size());
  int32_t col = std::min(e.firstColumn, len), edge = kCaretLeft;
  while (col < len && edge < x) edge = EditorAdvance(edge, static_cast<unsigned char>(line[size_t(col++)]));
  e.cursorCol = col;
  e.caretX = EditorCaretXFromColumn(row, col);
}

void EditorCursorToLineEnd() {
  EditorBuffer& e = E();
  e.cursorCol = int32_t(e.lines[size_t(e.cursorRow)].size());
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
}

void EditorSetCaretRow(int32_t row) { E().caretY = (row - E().topLine) * kRowHeight + kPaneTop; }

void EditorResetCursor() {
  EditorBuffer& e = E();
  e.cursorRow = e.cursorCol = 0;
  e.caretX = kCaretLeft;
  e.caretY = kPaneTop;
}

std::string EditorCutLineTail() {
  EditorBuffer& e = E();
  std::string& line = e.lines[size_t(e.cursorRow)];
  if (size_t(e.cursorCol) >= line.size()) return std::string();
  std::string tail = line.substr(size_t(e.cursorCol));
  line.resize(size_t(e.cursorCol));
  return tail;
}

void EditorAppendText(const std::string& text) { E().lines[size_t(E().cursorRow)] += text; }

void EditorInsertLine(const std::string& text) {
  EditorBuffer& e = E();
  if (e.LineCount() > e.tableCapacity - 64) e.tableCapacity *= 2;
  const size_t at = size_t(std::clamp(e.cursorRow, 0, e.LineCount()));
  e.lines.insert(e.lines.begin() + std::ptrdiff_t(at), text);
}

void EditorDeleteLine() {
  EditorBuffer& e = E();
  if (e.LineCount() <= 1 || e.cursorRow < 0 || e.cursorRow >= e.LineCount()) return;
  e.lines.erase(e.lines.begin() + e.cursorRow);
}

void EditorInsertChar(int32_t row, int32_t col, unsigned char c) {
  std::string& line = E().lines[size_t(row)];
  line.insert(std::min(size_t(col), line.size()), 1, char(c));
}

void EditorUnindentLine(int32_t row) {
  std::string& line = E().lines[size_t(row)];
  if (!line.empty() && line[0] == '\t') line.erase(0, 1);
}
