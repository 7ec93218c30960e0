// The two source buffers: the live one in g_ide.editor, the other kept in its record.
#include <algorithm>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_draw.h"
#include "platform/fs.h"

namespace {

EditorBufferRecord& Record(int32_t n) { return g_ide.records[n - 1]; }

void KeepLiveIn(EditorBufferRecord& r, bool move) {
  if (move) r.buffer = std::move(g_ide.editor);
  else r.buffer = g_ide.editor;
  r.used = true;
  r.workFolder = FsCurrentFolder();
  r.browserFolder = g_ide.browserFolder;
  r.fileName = g_ide.fileName;
  r.projectFolder = g_ide.projectFolder;
  r.modified = g_ide.modified;
  r.title = g_ide.title;
  r.author = g_ide.author;
  r.date = g_ide.date;
}

}  // namespace

void EditorClearBuffer() {
  EditorBuffer& e = g_ide.editor;
  e.lines.clear();
  e.topLine = e.firstColumn = 0;
  e.sel = EditorSelection();
  EditorMarkRowsDrawn();
  EditorResetCursor();
  g_ide.scroll = IdeScrollBar();
}

void EditorNewEmpty() {
  EditorClearBuffer();
  g_ide.editor.lines.emplace_back();
  EditorRedrawVisible();
}

void EditorStoreBuffer(int32_t n) {
  if (n == 1 || n == 2) KeepLiveIn(Record(n), false);
}

void EditorSelectBuffer(int32_t n, bool redraw) {
  if (n != 1 && n != 2) return;
  if (g_ide.loadedBuffer > 0) KeepLiveIn(Record(g_ide.loadedBuffer), true);
  EditorBufferRecord& r = Record(n);
  g_ide.editor = r.used ? std::move(r.buffer) : EditorBuffer();
  if (g_ide.editor.lines.empty()) g_ide.editor.lines.emplace_back();
  g_ide.browserFolder = r.browserFolder;
  g_ide.fileName = r.fileName;
  g_ide.projectFolder = r.projectFolder;
  g_ide.modified = r.modified;
  g_ide.title = r.title;
  g_ide.author = r.author;
  g_ide.date = r.date;
  g_ide.loadedBuffer = n;
  EditorBuffer& e = g_ide.editor;
  e.cursorRow = std::clamp(e.cursorRow, 0, e.LineCount() - 1);
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
  EditorSetCaretRow(e.cursorRow);
  if (!redraw) return;
  if (!r.workFolder.empty()) FsChangeFolder(r.workFolder);
  e.sel = EditorSelection();
  EditorRedrawVisible();
  g_ide.caretHidden = true;
  g_ide.redrawStatus = true;
  g_ide.shownHotSpot = -1;  // the tabs show the new choice
}

bool IdeBufferTabClick(int32_t x, int32_t y) {
  if (y < 2 || y > 36) return false;
  const int32_t n = x >= 454 && x <= 469 ? 1 : x >= 471 && x <= 486 ? 2 : 0;
  if (n == 0) return false;
  g_ide.currentBuffer = n;
  EditorSelectBuffer(n, true);
  IdeUpdateStatusText();
  return true;
}
