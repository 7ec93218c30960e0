// A start finds the recovery files an earlier ending kept: those of the source it opens, beside
// it or in the settings folder, or, started with no source, those of the unnamed buffer there. Each is
// named on stderr and in the status line, so that unsaved text is never kept unseen.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "devenv/ide_shell.h"
#include "devenv/ide_state.h"
#include "platform/fs.h"
#include "platform/unsaved_copies.h"

namespace {

// The number of a recovery file's name for base: 1 for base itself, n for "base-n", 0 for
// another name.
int RecoveryNumber(const std::string& entry, const std::string& base) {
  if (entry == base) return 1;
  if (entry.size() < base.size() + 2 || entry.compare(0, base.size() + 1, base + "-") != 0) return 0;
  const std::string digits = entry.substr(base.size() + 1);
  if (digits.size() > 4 || !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(uint8_t(c)); }))
    return 0;
  return std::stoi(digits) >= 2 ? std::stoi(digits) : 0;
}

// The user's regular recovery files of name in the folder, by number.
std::vector<std::string> RecoveryFilesOf(const std::string& folder, const std::string& name) {
  const std::string base = UnsavedRecoveryName(name);
  std::vector<std::pair<int, std::string>> found;
  std::error_code error;
  for (const auto& e : std::filesystem::directory_iterator(folder, error)) {
    const std::string entry = e.path().filename().string();
    const int number = RecoveryNumber(entry, base);
    struct stat st;
    const std::string path = folder + (folder.ends_with('/') ? "" : "/") + entry;
    if (number > 0 && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == getuid())
      found.emplace_back(number, path);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& f : found) paths.push_back(std::move(f.second));
  return paths;
}

}  // namespace

namespace {

// Names on stderr each recovery file kept of file (a host path; "" for the unnamed buffer) not
// named yet, and adds it to the notices; answers the first notice of file's, or the notices'
// count where none was kept.
size_t NameKept(const std::string& file) {
  // A source's copies are beside it, or in the settings folder where its folder took no file.
  std::vector<std::string> folders = {FsConfigFolder()};
  std::string name = "untitled.vka";
  if (!file.empty()) {
    const std::string path = file[0] == '/' ? file : FsCurrentFolder() + "/" + file;
    const size_t slash = path.find_last_of('/');
    folders.insert(folders.begin(), slash == 0 ? "/" : path.substr(0, slash));
    name = path.substr(slash + 1);
  }
  size_t first = g_ide.startNotices.size();
  if (name.empty()) return first;
  std::vector<std::string> kept;
  for (size_t k = 0; k < folders.size(); ++k)
    if (!folders[k].empty() && (k == 0 || folders[k] != folders[0]))
      for (std::string& path : RecoveryFilesOf(folders[k], name)) kept.push_back(std::move(path));
  auto& notices = g_ide.startNotices;
  for (const std::string& path : kept) {
    const std::string said = "the unsaved changes of " + name + " are kept in " + path;
    const std::string shown = FsToProgramName(said);
    // What was named already (by the start's sweep, or an earlier load) is not said again.
    const auto at = std::find(notices.begin(), notices.end(), shown);
    first = std::min(first, size_t(at - notices.begin()));
    if (at != notices.end()) continue;
    UnsavedSayKept(name, path);
    notices.push_back(shown);
  }
  return first;
}

void ShowNotice(size_t k) {
  g_ide.noticeShown = k;
  g_ide.noticeFrames = 0;
  g_ide.statusText = g_ide.startNotices[k];
  g_ide.statusColour = 0;
  g_ide.redrawStatus = true;
}

}  // namespace

void IdeNameKeptCopies(const std::string& file) {
  NameKept(file);
  if (!g_ide.startNotices.empty()) ShowNotice(0);
}

void IdeNameKeptCopiesOfExample(const std::string& path) {
  const size_t first = NameKept(path);
  if (first < g_ide.startNotices.size()) ShowNotice(first);
}
