// The environment's last act when a signal ends it (a hang-up, a repeated stop request) or its
// frames run out: the buffers with unsaved changes are kept in recovery files, so nothing typed
// is lost.
//
// A buffer's recovery file is "<source name>.recovered" beside its source, with the source's
// access; a source without a name, an example of the help, or one whose folder takes no new
// file, gets "<name or untitled.vka>.recovered" in the per-user settings folder, private to the
// user. A name in use already (an earlier recovery) gets "-2", "-3", ... after it, so no file is
// ever written over. Once control leaves the editor, the text is on
// disk ready for these names: copies for the signal handlers (IdeKeepUnsavedForRun), and the
// work files listed for the next start after a kill (IdeNoteWorkFiles).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>

#include "core/run_state.h"
#include "devenv/editor.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_state.h"
#include "display/display.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/unsaved_copies.h"

namespace {

// One buffer as recovery sees it, live or kept in its record.
struct BufferView {
  int32_t number;
  const EditorBuffer& text;
  const std::string &fileName, &folder, &title, &author, &date;
  bool modified;
};

int32_t LiveBuffer() { return g_ide.loadedBuffer > 0 ? g_ide.loadedBuffer : g_ide.currentBuffer; }

// The buffers in use: the live one first.
std::vector<BufferView> Buffers() {
  const int32_t live = LiveBuffer(), other = live == 1 ? 2 : 1;
  std::vector<BufferView> out{{live, g_ide.editor, g_ide.fileName, g_ide.projectFolder, g_ide.title, g_ide.author,
                               g_ide.date, g_ide.modified != 0}};
  const EditorBufferRecord& r = g_ide.records[other - 1];
  if (r.used) out.push_back({other, r.buffer, r.fileName, r.projectFolder, r.title, r.author, r.date, r.modified != 0});
  return out;
}

std::string NameOf(const BufferView& b) { return b.fileName.empty() ? "untitled.vka" : b.fileName; }

// The folder a buffer's recovery file goes to first: its source's, "" for the settings folder
// (no name, or an example of the help, whose folder is never written into).
std::string KeptFolder(const BufferView& b) {
  return b.fileName.empty() || IdeInHelpFolder(b.folder + "/" + b.fileName) ? "" : b.folder;
}

FsAccess AccessOf(const BufferView& b) {
  return KeptFolder(b).empty() ? FsAccess{} : FsAccessOf(b.folder + "/" + b.fileName);
}

IdeState::KeptForQuestion& KeptOf(int32_t buffer) { return g_ide.keptForQuestion[buffer - 1]; }

// Removes a recovery file kept for the question (its text was saved, dropped or kept anew), only
// while it is the file written: this user's regular file, holding that text still.
void DropKept(IdeState::KeptForQuestion& kept) {
  struct stat st;
  std::string text;
  if (!kept.path.empty() && lstat(kept.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == getuid() &&
      size_t(st.st_size) == kept.textSize &&
      FsReadHostRegularFile(kept.path, text, kept.textSize, false) == FsRead::kOk &&
      std::hash<std::string>{}(text) == kept.textHash)
    unlink(kept.path.c_str());
  kept = {};
}

// Whether the buffer's text is in the file kept for the question already.
bool KeptAlready(const BufferView& b, const std::string& text) {
  const IdeState::KeptForQuestion& kept = KeptOf(b.number);
  struct stat st;
  return !kept.path.empty() && kept.fileName == b.fileName && kept.projectFolder == b.folder &&
         kept.textSize == text.size() && kept.textHash == std::hash<std::string>{}(text) &&
         lstat(kept.path.c_str(), &st) == 0;
}

// Writes the buffer's recovery file and names it; false when it could not be written. A file
// kept for the question with the same text, named when it was kept, stands for it; one with
// older text goes once the new one is written.
bool Recover(const BufferView& b) {
  const std::string text = SourceFileText(b.text, b.title, b.author, b.date);
  if (KeptAlready(b, text)) return true;
  const std::string name = NameOf(b);
  const FsAccess access = AccessOf(b);
  const std::string folder = KeptFolder(b);
  std::string path = folder.empty() ? "" : UnsavedWriteRecovery(folder, name, text, access);
  if (path.empty()) path = UnsavedWriteRecovery(FsConfigFolder(), name, text, FsAccess{});
  if (path.empty()) {
    // No folder takes it: the text as it is now goes into the run folder's work file, listed
    // for the next start, and that is the one place named, once (a stop signal keeps the text,
    // and the ending that follows finds it there).
    size_t& inWork = g_ide.keptInWork[b.number - 1];
    const size_t hash = std::hash<std::string>{}(text);
    if (inWork == hash) return false;
    const bool written = EditorWriteWorkFiles();
    UnsavedSayKept(name, written ? EditorWorkFile(b.number) : "");
    inWork = written ? hash : 0;
    return false;
  }
  UnsavedSayKept(name, path);
  IdeState::KeptForQuestion& kept = KeptOf(b.number);
  DropKept(kept);
  kept = {path, b.fileName, b.folder, std::hash<std::string>{}(text), text.size()};
  return true;
}

// Copies one buffer beside its recovery file (its source's folder, else the settings folder);
// where neither takes it, its work file is the copy.
void CopyForRun(const BufferView& b) {
  const std::string text = SourceFileText(b.text, b.title, b.author, b.date);
  const std::string name = NameOf(b);
  const FsAccess access = AccessOf(b);
  const std::string folder = KeptFolder(b);
  if (!folder.empty() && UnsavedCopyAdd(folder, name, text, access)) return;
  if (!UnsavedCopyAdd(FsConfigFolder(), name, text, FsAccess{})) UnsavedCopyAddOnlyCopy(EditorWorkFile(b.number), name);
}

// Ends the hold; an ending that came meanwhile is carried out now that the text is whole.
void Release() {
  if (!UnsavedCopiesRelease()) return;
  const int signal = EventsEndingSignal();
  IdeEndBySignal(signal ? signal : SIGTERM);
}

}  // namespace

void IdeKeepUnsavedForRun() {
  UnsavedCopiesHold();
  UnsavedCopiesDrop();
  for (const BufferView& b : Buffers())
    if (b.modified) CopyForRun(b);
  UnsavedCopiesArm();
  Release();
}

void IdeDropUnsavedCopies() {
  UnsavedCopiesHold();
  UnsavedCopiesDrop();
  Release();
}

void IdeNoteWorkFiles() {
  g_ide.notedWork.clear();
  std::vector<UnsavedWork> work;
  for (const BufferView& b : Buffers()) {
    if (!b.modified) continue;
    const std::string header = WorkFileHeader(b.title, b.author, b.date);
    // A recovery kept in the settings folder is listed without its source: the sweep takes a
    // source only in the folder its recovery goes to.
    const std::string folder = KeptFolder(b);
    UnsavedWork w{EditorWorkFile(b.number), folder.empty() ? "" : folder + "/" + b.fileName,
                  folder.empty() ? FsConfigFolder() : folder, NameOf(b), header.size(),
                  SourceFileHeader(b.title, b.author, b.date)};
    g_ide.notedWork.push_back({b.number, b.fileName, b.folder, w});
    work.push_back(std::move(w));
  }
  UnsavedWorkNote(work);
}

void IdeKeepForStop() {
  UnsavedCopiesHold();
  for (const BufferView& b : Buffers())
    if (b.modified) Recover(b);
  IdeSyncNotedWork();
  Release();
}

// Every changed buffer was asked about before leaving: none of the files kept stays.
void IdeDropAnsweredRecovery() {
  for (int32_t buffer = 1; buffer <= 2; ++buffer) DropKept(KeptOf(buffer));
}

namespace {

// A buffer saved, or given another source, since its text was kept for the question.
void SyncKeptForQuestion() {
  for (int32_t buffer = 1; buffer <= 2; ++buffer) {
    IdeState::KeptForQuestion& kept = KeptOf(buffer);
    if (kept.path.empty()) continue;
    const bool live = buffer == LiveBuffer();
    const EditorBufferRecord& r = g_ide.records[buffer - 1];
    const bool modified = live ? g_ide.modified != 0 : r.used && r.modified != 0;
    const std::string& fileName = live ? g_ide.fileName : r.fileName;
    const std::string& folder = live ? g_ide.projectFolder : r.projectFolder;
    if (!modified || fileName != kept.fileName || folder != kept.projectFolder) DropKept(kept);
  }
}

}  // namespace

void IdeSyncNotedWork() {
  SyncKeptForQuestion();
  bool changed = false;
  for (size_t k = 0; k < g_ide.notedWork.size();) {
    const auto& n = g_ide.notedWork[k];
    const bool live = n.buffer == LiveBuffer();
    const EditorBufferRecord& r = g_ide.records[n.buffer - 1];
    const bool modified = live ? g_ide.modified != 0 : r.modified != 0;
    const std::string& fileName = live ? g_ide.fileName : r.fileName;
    const std::string& folder = live ? g_ide.projectFolder : r.projectFolder;
    // A buffer whose text went into its recovery file at a stop signal is listed no more: that
    // file holds newer text than the work file.
    if (modified && fileName == n.fileName && folder == n.projectFolder && KeptOf(n.buffer).path.empty()) {
      ++k;
      continue;
    }
    g_ide.notedWork.erase(g_ide.notedWork.begin() + std::ptrdiff_t(k));
    changed = true;
  }
  if (!changed) return;
  std::vector<UnsavedWork> work;
  for (const auto& n : g_ide.notedWork) work.push_back(n.work);
  UnsavedWorkNote(work);
}

bool IdeWriteRecoveryFiles() {
  UnsavedCopiesHold();
  // The copies made for the run hold the text the editor left with: linked, they are whole.
  // Each buffer no copy kept is written now, so each is kept and named once.
  std::vector<std::string> linked = UnsavedCopiesKeepHeld();
  bool all = true;
  for (const BufferView& b : Buffers()) {
    if (!b.modified) continue;
    const auto copy = std::find(linked.begin(), linked.end(), NameOf(b));
    if (copy != linked.end()) linked.erase(copy);
    else all = Recover(b) && all;
  }
  Release();
  return all;
}

void IdeEndBySignal(int signal) {
  // Nothing ends the process until the text is whole on disk.
  UnsavedCopiesHold();
  const bool all = IdeWriteRecoveryFiles();
  // What the run leaves is written as when the window closes.
  WriteGrabFile();
  g_runtime.options.grabFile.clear();
  TranscriptClose();
  std::fflush(stderr);
  // Text that could not be kept stays in the run folder's work files for the next start.
  EventsEndBySignal(signal, all);
}
