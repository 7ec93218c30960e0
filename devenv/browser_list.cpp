// The browser's list: the roots in place of drives, a folder's entries in their order, and
// moving between folders.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

#include "core/run_state.h"
#include "devenv/browser_state.h"
#include "devenv/ide_texts.h"
#include "platform/codepage.h"
#include "platform/fs.h"

namespace {

bool EndsWithNoCase(const std::string& name, const char* ext) {
  const std::string e = ext;
  return name.size() >= e.size() && FsEqualsNoCase(name.substr(name.size() - e.size()), e);
}

std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The folders below a folder (not hidden), by name.
std::vector<std::string> SubFolders(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = opendir(folder.c_str());
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    struct stat st;
    if (name[0] != '.' && stat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      out.push_back(folder + "/" + name);
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

// "/", the home folder, the program folder and the mounts under /media, /run/media and /mnt.
std::vector<BrowserEntry> Roots() {
  std::vector<std::string> paths{"/"};
  if (const char* home = std::getenv("HOME"); home && *home) paths.push_back(WithoutTrailingSlash(home));
  if (!g_runtime.programFolder.empty()) paths.push_back(WithoutTrailingSlash(g_runtime.programFolder));
  for (const std::string& m : SubFolders("/media")) paths.push_back(m);
  for (const std::string& user : SubFolders("/run/media"))
    for (const std::string& m : SubFolders(user)) paths.push_back(m);
  for (const std::string& m : SubFolders("/mnt")) paths.push_back(m);
  std::vector<BrowserEntry> out;
  for (const std::string& p : paths) {
    if (int32_t(out.size()) >= kBrowserMaxEntries) break;
    if (std::any_of(out.begin(), out.end(), [&](const BrowserEntry& e) { return e.real == p; })) continue;
    out.push_back({kEntryRoot, FsToProgramName(p), p, ""});
  }
  return out;
}

struct Found {
  std::string name;
  bool folder = false, program = false;
  int64_t time = 0;
};

// The folder's entries that can be shown: folders and regular files, hidden ones left out
// ("." and ".." among them). Devices, pipes and dangling links are never offered.
bool ReadFolder(const std::string& folder, std::vector<Found>& out) {
  DIR* d = opendir(folder.c_str());
  if (!d) return false;
  while (dirent* e = readdir(d)) {
    Found f;
    f.name = e->d_name;
    if (f.name.empty() || f.name[0] == '.') continue;
    struct stat st;
    if (stat(BrowserJoin(folder, f.name).c_str(), &st) != 0) continue;
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
    f.folder = S_ISDIR(st.st_mode);
    f.program = S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
    f.time = int64_t(st.st_mtime);
    out.push_back(f);
  }
  closedir(d);
  return true;
}

int32_t Group(int32_t type) {
  switch (type) {
    case kEntryFolder: return 0;
    case kEntrySource: return 1;
    case kEntryProgram: return 2;
    default: return 3;
  }
}

void ShowFolderFailure() { BrowserShowMessage(IdeText(IdeSection::Desc, kDescFolderFailed)); }

}  // namespace

std::string BrowserJoin(const std::string& folder, const std::string& name) {
  if (folder.empty() || (!name.empty() && name[0] == '/')) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string BrowserDateText(int64_t seconds) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const time_t t = time_t(seconds);
  struct tm tm {};
  if (!localtime_r(&t, &tm)) return std::string(16, ' ');
  char text[40];
  std::snprintf(text, sizeof text, "%s %2d %02d:%02d:%02d ", kMonths[tm.tm_mon % 12], tm.tm_mday, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return std::string(text).substr(0, 16);
}

void BrowserSortEntries(std::vector<BrowserEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const BrowserEntry& a, const BrowserEntry& b) {
    const int32_t ga = Group(a.type), gb = Group(b.type);
    if (ga != gb) return ga < gb;
    const std::string la = CodePageSortKey(TextCodePage(), a.name), lb = CodePageSortKey(TextCodePage(), b.name);
    return la != lb ? la < lb : a.name < b.name;
  });
}

void BrowserBuildList() {
  BrowserState& b = g_browser;
  b.entries.clear();
  b.selected = 0;
  b.firstVisible = 0;
  b.redraw = true;
  std::string& folder = g_ide.browserFolder;
  std::vector<Found> found;
  if (!folder.empty() && (!FsChangeFolder(folder) || !ReadFolder(folder, found))) {
    ShowFolderFailure();
    folder.clear();
  }
  if (folder.empty()) {
    b.entries = Roots();
    return;
  }
  folder = WithoutTrailingSlash(folder);
  const int32_t kind = b.kind;
  const bool programsOnly = kind == 6 || kind == 7 || kind == 72;
  if (kind != 8) b.entries.push_back({kEntryFolder, IdeText(IdeSection::Desc, kDescParent), "..", ""});
  const size_t firstSorted = b.entries.size();
  auto add = [&](const Found& f, int32_t type) {
    if (int32_t(b.entries.size()) < kBrowserMaxEntries)
      b.entries.push_back({type, FsToProgramName(f.name), f.name, BrowserDateText(f.time)});
  };
  for (const Found& f : found)
    if (f.folder) add(f, kEntryFolder);
  if (kind != 8) {
    if (!programsOnly)
      for (const Found& f : found)
        if (!f.folder && EndsWithNoCase(f.name, ".vka")) add(f, kEntrySource);
    for (const Found& f : found) {
      if (f.folder || (!programsOnly && EndsWithNoCase(f.name, ".vka"))) continue;
      if (programsOnly && !f.program) continue;
      add(f, f.program ? kEntryProgram : kEntryOther);
    }
  }
  std::vector<BrowserEntry> rest(b.entries.begin() + std::ptrdiff_t(firstSorted), b.entries.end());
  BrowserSortEntries(rest);
  std::copy(rest.begin(), rest.end(), b.entries.begin() + std::ptrdiff_t(firstSorted));
}

void BrowserGoToParent() {
  std::string& folder = g_ide.browserFolder;
  if (folder.empty() || folder == "/") {
    folder.clear();
  } else {
    folder = WithoutTrailingSlash(folder);
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos || slash == 0 ? "/" : folder.substr(0, slash);
  }
  BrowserBuildList();
}

void BrowserOpenEntry(int32_t index) {
  BrowserState& b = g_browser;
  if (index < 1 || index > int32_t(b.entries.size())) return;
  const BrowserEntry e = b.entries[size_t(index - 1)];
  const std::string before = g_ide.browserFolder;
  if (e.type == kEntryFolder && index == 1 && e.real == ".." && !before.empty()) {
    BrowserGoToParent();
    return;
  }
  const std::string target = e.type == kEntryRoot ? e.real : BrowserJoin(before, e.real);
  if (!FsFolderExists(target) || !FsChangeFolder(target)) {
    ShowFolderFailure();
    return;
  }
  g_ide.browserFolder = target;
  BrowserBuildList();
}

bool BrowserEntryNamed(const std::string& name, bool ignoreCase) {
  for (const BrowserEntry& e : g_browser.entries) {
    if (e.real == ".." && e.type == kEntryFolder) continue;
    if (ignoreCase ? FsEqualsNoCase(e.name, name) : e.name == name) return true;
  }
  return false;
}

bool BrowserFieldIsChosen() {
  const BrowserState& b = g_browser;
  return !b.chosenReal.empty() && GetBrowserItem(1) == b.chosenName;
}

std::string BrowserChosenPath() {
  return BrowserJoin(g_ide.browserFolder, BrowserFieldIsChosen() ? g_browser.chosenReal : GetBrowserItem(1));
}

std::string BrowserWritePath() {
  if (BrowserFieldIsChosen()) return BrowserChosenPath();
  std::string name = CodePageToUtf8(TextCodePage(), GetBrowserItem(1));
  std::replace(name.begin(), name.end(), '\\', '/');
  return BrowserJoin(g_ide.browserFolder, name);
}
