// The two source buffers: the live one in g_ide.editor, the other kept in its record.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_shell.h"
#include "core/run_state.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/unsaved_copies.h"

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
  r.disk = g_ide.disk;
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
  g_ide.disk = r.disk;
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

std::string EditorWorkFile(int32_t n) {
  const bool current = n == g_ide.currentBuffer;
  const std::string& set = current ? g_runtime.workFileTmp : g_runtime.workFileTmp2;
  return set.empty() ? FsTempFolderFile(kRunFolderWorkFiles[current ? 0 : 1]) : set;
}

namespace {

// The path from the root, without "." or ".." in it: the project folder stays the same wherever
// the environment goes, and the status line names it plainly.
std::string RootedPath(const std::string& name) {
  const std::filesystem::path path = !name.empty() && name[0] == '/' ? name : FsCurrentFolder() + "/" + name;
  bool dots = false;
  for (const std::filesystem::path& part : path) dots = dots || part == "." || part == "..";
  std::error_code error;
  const std::filesystem::path plain = dots ? std::filesystem::weakly_canonical(path, error) : path;
  return error ? path.string() : plain.string();
}

// A work file always holds the three header lines, so its lines come back exactly.
std::string WorkFileText(const EditorBuffer& b, const std::string& title, const std::string& author,
                         const std::string& date) {
  std::string out = WorkFileHeader(title, author, date);
  for (const std::string& line : b.lines) out += line + "\r\n";
  return out;
}

}  // namespace

void EditorCreateBuffers(const std::string& commandLineFile) {
  const int32_t current = g_ide.currentBuffer == 2 ? 2 : 1;
  for (int32_t n = 1; n <= 2; ++n) {
    const std::string folder = FsCurrentFolder();
    if (n == current) g_ide.browserFolder = folder;
    // A work file that was not written whole holds older text or none: the buffer keeps its own.
    const bool keep = Record(n).used && Record(n).workUnwritten;
    Record(n).workUnwritten = false;
    EditorSelectBuffer(n, false);
    if (!Record(n).workFolder.empty()) FsChangeFolder(Record(n).workFolder);
    bool loaded = keep;
    if (!keep) g_ide.editor = EditorBuffer();
    if (!keep && n == current && !commandLineFile.empty()) {
      // A host path, taken as it is; a name not there yet starts empty and the first save makes it.
      struct stat st;
      const bool absent = lstat(commandLineFile.c_str(), &st) != 0 && errno == ENOENT;
      const SourceStamp before = SourceStampAt(commandLineFile);
      loaded = !absent && LoadSourceIntoEditor(commandLineFile);
      if (loaded || absent) {
        const std::string path = RootedPath(commandLineFile);
        g_ide.projectFolder = FsFolderOf(path);
        g_ide.fileName = path.substr(path.find_last_of('/') + 1);
        // Worked on in its project folder, as a file opened with the browser is: the panels
        // (Make Program's among them) open there.
        g_ide.browserFolder = g_ide.projectFolder;
        FsEnterHostFolder(g_ide.projectFolder);
        IdeNoteSourceOnDisk(before);
      }
    } else if (!keep && (!g_ide.fileName.empty() || g_ide.created)) {
      const std::string title = g_ide.title, author = g_ide.author, date = g_ide.date;
      loaded = LoadSourceIntoEditor(EditorWorkFile(n));
      if (loaded && !title.empty()) g_ide.title = title;
      if (loaded && !author.empty()) g_ide.author = author;
      if (loaded && !date.empty()) g_ide.date = date;
    }
    if (!loaded) {
      g_ide.editor.lines.assign(1, std::string());
      EditorResetCursor();
    }
    EditorStoreBuffer(n);
  }
  EditorSelectBuffer(current, true);
  EditorResetCursor();
  g_ide.created = true;
}

bool EditorWriteWorkFiles(std::string* currentCause) {
  const int32_t current = g_ide.loadedBuffer > 0 ? g_ide.loadedBuffer : g_ide.currentBuffer;
  const int32_t other = current == 1 ? 2 : 1;
  EditorBufferRecord& r = Record(other);
  const bool ok = FsWriteFileDurable(EditorWorkFile(current), WorkFileText(g_ide.editor, g_ide.title, g_ide.author, g_ide.date));
  if (currentCause) *currentCause = ok ? "" : FileErrorCause(errno);
  Record(current).workUnwritten = !ok;
  r.workUnwritten = r.used && !FsWriteFileDurable(EditorWorkFile(other), WorkFileText(r.buffer, r.title, r.author, r.date));
  // A work file not written holds older text: gone, it is never taken for the buffer's.
  for (const int32_t n : {current, other})
    if (Record(n).workUnwritten) unlink(EditorWorkFile(n).c_str());
  IdeNoteWorkFiles();
  return ok && !r.workUnwritten;
}
