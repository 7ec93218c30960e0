// The environment's last act when a signal ends it (a hang-up, a repeated stop request): the
// buffers with unsaved changes are kept in recovery files, so nothing typed is lost.
//
// A buffer's recovery file is "<source name>.recovered" beside its source; a source without a
// name, or one whose folder takes no new file, gets "<name or untitled.vka>.recovered" in the
// per-user settings folder. A name in use already (an earlier recovery) gets "-2", "-3", ...
// after it, so no file is ever written over. While a program runs, the text is kept on disk
// ready for these names (IdeKeepUnsavedForRun), so an ending the busy run never sees loses
// nothing either.
#include <cstdio>

#include "devenv/editor.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_state.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/unsaved_copies.h"

namespace {

constexpr int kMaxRecoveryNames = 100;

// Writes the text under the first free recovery name in the folder; "" when none was written.
// The file is made new: a name there in any form (a file, a link planted to send the text
// elsewhere) is taken.
std::string WriteFree(const std::string& folder, const std::string& name, const std::string& text) {
  if (folder.empty() || !FsFolderWritable(folder)) return "";
  const std::string base = (folder.back() == '/' ? folder : folder + "/") + name + ".recovered";
  for (int n = 1; n <= kMaxRecoveryNames; ++n) {
    const std::string path = n == 1 ? base : base + "-" + std::to_string(n);
    const FsNewFile made = FsWriteNewFile(path, text);
    if (made != FsNewFile::kTaken) return made == FsNewFile::kWritten ? path : "";
  }
  return "";
}

void Recover(const EditorBuffer& b, const std::string& fileName, const std::string& folder, const std::string& title,
             const std::string& author, const std::string& date) {
  const std::string text = SourceFileText(b, title, author, date);
  const std::string name = fileName.empty() ? "untitled.vka" : fileName;
  std::string path = fileName.empty() ? "" : WriteFree(folder, name, text);
  if (path.empty()) path = WriteFree(FsConfigFolder(), name, text);
  if (path.empty())
    std::fprintf(stderr, "vellumark: edit: the unsaved changes of %s could not be kept\n", name.c_str());
  else
    std::fprintf(stderr, "vellumark: edit: the unsaved changes of %s are kept in %s\n", name.c_str(), path.c_str());
}

// Copies one buffer for a run beside its recovery file (its source's folder, else the settings
// folder); where neither takes it, its work file is the copy.
void CopyForRun(const EditorBuffer& b, const std::string& fileName, const std::string& folder, const std::string& title,
                const std::string& author, const std::string& date, int32_t buffer) {
  const std::string text = SourceFileText(b, title, author, date);
  const std::string name = fileName.empty() ? "untitled.vka" : fileName;
  if (!fileName.empty() && UnsavedCopyAdd(folder, name, text)) return;
  if (!UnsavedCopyAdd(FsConfigFolder(), name, text)) UnsavedCopyAddOnlyCopy(EditorWorkFile(buffer), name);
}

}  // namespace

void IdeKeepUnsavedForRun() {
  IdeDropUnsavedCopies();
  const int32_t live = g_ide.loadedBuffer > 0 ? g_ide.loadedBuffer : g_ide.currentBuffer;
  if (g_ide.modified)
    CopyForRun(g_ide.editor, g_ide.fileName, g_ide.projectFolder, g_ide.title, g_ide.author, g_ide.date, live);
  const EditorBufferRecord& r = g_ide.records[live == 1 ? 1 : 0];
  if (r.used && r.modified) CopyForRun(r.buffer, r.fileName, r.projectFolder, r.title, r.author, r.date, live == 1 ? 2 : 1);
  UnsavedCopiesArm();
}

void IdeDropUnsavedCopies() { UnsavedCopiesDrop(); }

void IdeWriteRecoveryFiles() {
  // The copies made for the run hold the text the editor left with: linked, they are whole.
  if (UnsavedCopiesKeep()) return;
  const int32_t live = g_ide.loadedBuffer > 0 ? g_ide.loadedBuffer : g_ide.currentBuffer;
  if (g_ide.modified)
    Recover(g_ide.editor, g_ide.fileName, g_ide.projectFolder, g_ide.title, g_ide.author, g_ide.date);
  const EditorBufferRecord& r = g_ide.records[live == 1 ? 1 : 0];
  if (r.used && r.modified) Recover(r.buffer, r.fileName, r.projectFolder, r.title, r.author, r.date);
}

void IdeEndBySignal(int signal) {
  IdeWriteRecoveryFiles();
  std::fflush(stderr);
  EventsEndBySignal(signal);
}
