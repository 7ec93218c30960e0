// What a buffer knows of its source's file: the device, inode, size and modification time it
// last read or wrote, so that a save never writes over a file another program changed since.
#include <sys/stat.h>

#include <filesystem>

#include "devenv/browser_state.h"
#include "devenv/editor.h"

namespace {

std::string LiveSourcePath() {
  return g_ide.fileName.empty() ? std::string() : BrowserJoin(g_ide.projectFolder, g_ide.fileName);
}

bool SameFile(const SourceStamp& a, const SourceStamp& b) {
  return a.exists == b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modifiedNs == b.modifiedNs;
}

}  // namespace

SourceStamp SourceStampAt(const std::string& path) {
  SourceStamp s;
  s.path = path;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.device = uint64_t(st.st_dev);
  s.inode = uint64_t(st.st_ino);
  s.size = int64_t(st.st_size);
  s.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

void IdeNoteSourceOnDisk(SourceStamp stamp) {
  stamp.path = LiveSourcePath();
  g_ide.disk = stamp;
}

bool IdeSourceChangedOnDisk() {
  const std::string path = LiveSourcePath();
  // A source the buffer never read or wrote under this name has nothing to compare with.
  if (path.empty() || g_ide.disk.path != path) return false;
  const SourceStamp now = SourceStampAt(path);
  return now.exists && !SameFile(now, g_ide.disk);
}

bool IdeInHelpFolder(const std::string& path) {
  std::string help = g_ide.settings.helpFolder;
  while (help.size() > 1 && help.back() == '/') help.pop_back();
  if (path.empty() || help.empty()) return false;
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::weakly_canonical(help, error);
  if (error) return false;
  const std::filesystem::path file = std::filesystem::weakly_canonical(path, error);
  if (error) return false;
  // Below the help folder: its relative path does not climb out of it.
  const std::filesystem::path inside = file.lexically_relative(folder);
  return !inside.empty() && *inside.begin() != "..";
}

bool IdeSourceInHelp() {
  return !g_ide.fileName.empty() && IdeInHelpFolder(BrowserJoin(g_ide.projectFolder, g_ide.fileName));
}
