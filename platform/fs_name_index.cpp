#include "platform/fs_name_index.h"

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/codepage.h"
#include "platform/fs.h"

namespace {

using Steady = std::chrono::steady_clock;

// A folder index read while the folder was changing may miss a name: trusted this long.
constexpr auto kRacyTrust = std::chrono::milliseconds(500);
// Coarser than any file system's time stamps: a folder whose last change is older than this
// when its listing starts cannot change again with the same time stamp.
constexpr int64_t kStampResolutionNs = 20'000'000;
// Indexes kept at most (when more are needed, all are dropped), and names noted before a
// folder is listed again.
constexpr size_t kMaxFolders = 256, kMaxNames = 1 << 20, kMaxNoted = 4096;

// A name on disk as the program's code page spells it, in lower case: UTF-8 names in their
// code-page form, a name that is not UTF-8 by its bytes.
std::string FoldedEntry(const std::string& entry, int32_t codePage) {
  return CodePageLower(codePage, IsValidUtf8(entry) ? Utf8ToCodePage(codePage, entry) : entry);
}

int64_t Ns(const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

// What tells one state of a folder from another.
struct Stamp {
  dev_t dev = 0;
  ino_t ino = 0;
  int64_t mtime = 0, ctime = 0;
  off_t size = 0;
  bool operator==(const Stamp&) const = default;
};

bool StampOf(const std::string& dir, Stamp& s) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  s = {st.st_dev, st.st_ino, Ns(st.st_mtim), Ns(st.st_ctim), st.st_size};
  return true;
}

// The entries of a folder that one folded name fits: the first in listing order, how many, and
// whether any of them has a '?' for a letter the code page cannot spell.
struct Fit {
  std::string first;
  uint32_t count = 0;
  bool unspelled = false;
};

struct FolderIndex {
  Stamp stamp;
  int32_t codePage = 0;  // of the folded names
  // Folded name -> the entries it fits, and the names resolved as new since the listing (which
  // may or may not have been made).
  std::unordered_map<std::string, Fit> names;
  // The folded names resolved as new that the listing did not hold.
  std::unordered_set<std::string> notedOnly;
  size_t noted = 0;  // names resolved as new since the last look-up, the last of them
  std::string lastNoted;
  size_t notedSinceListing = 0;
  Steady::time_point listedAt;
  bool settled = false;  // listed long enough after the folder's last change
};

std::mutex g_lock;
std::unordered_map<std::string, FolderIndex> g_folders;
std::atomic<uint64_t> g_listings{0};

std::string Join(const std::string& dir, const std::string& name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool List(const std::string& dir, FolderIndex& index) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  if (!StampOf(dir, index.stamp)) return false;
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  index.names.clear();
  index.notedOnly.clear();
  index.codePage = TextCodePage();
  g_listings.fetch_add(1, std::memory_order_relaxed);
  while (dirent* e = readdir(d)) {
    const std::string entry = e->d_name;
    Fit& fit = index.names[FoldedEntry(entry, index.codePage)];
    if (fit.count++ == 0) fit.first = entry;
    // A name a program cannot spell is listed to it with '?' for a letter.
    fit.unspelled = fit.unspelled || !FsProgramCanSpell(entry);
  }
  closedir(d);
  index.noted = index.notedSinceListing = 0;
  index.listedAt = Steady::now();
  index.settled = index.stamp.mtime + kStampResolutionNs < Ns(now) &&
                  index.stamp.ctime + kStampResolutionNs < Ns(now);
  return true;
}

// Brings the index up to date with the folder as it stands (now); false when it cannot be
// listed.
bool Refresh(const std::string& dir, FolderIndex& index, const Stamp& now, bool fresh) {
  if (fresh || now.dev != index.stamp.dev || now.ino != index.stamp.ino ||
      index.notedSinceListing > kMaxNoted || index.codePage != TextCodePage())
    return List(dir, index);
  if (!(now == index.stamp)) {
    // A name resolved as new since the last look-up and made since explains the change.
    if (index.noted == 0 || !Exists(Join(dir, index.lastNoted))) return List(dir, index);
    index.stamp = now;
    index.settled = false;
  }
  index.noted = 0;
  if (!index.settled && Steady::now() - index.listedAt > kRacyTrust) return List(dir, index);
  return true;
}

}  // namespace

FsMatch FsMatchInFolder(const std::string& dir, const std::string& part, std::string& found) {
  const std::string folder = dir.empty() ? "." : dir;
  Stamp now;
  if (!StampOf(folder, now)) return FsMatch::kNoFolder;
  const std::string key = CodePageLower(TextCodePage(), part);
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = g_folders.find(folder);
  const bool fresh = it == g_folders.end();
  if (fresh) {
    size_t names = 0;
    for (const auto& [path, kept] : g_folders) names += kept.names.size();
    if (g_folders.size() >= kMaxFolders || names >= kMaxNames) g_folders.clear();
    it = g_folders.emplace(folder, FolderIndex{}).first;
  }
  FolderIndex& index = it->second;
  bool listed = fresh;
  if (Refresh(folder, index, now, fresh)) {
    for (;;) {
      auto name = index.names.find(key);
      if (name == index.names.end()) return FsMatch::kNone;
      // A '?' that stands for an unspellable letter of two or more names names none of them.
      if (name->second.count > 1 && name->second.unspelled) return FsMatch::kFitsMany;
      if (Exists(Join(folder, name->second.first))) {
        found = name->second.first;
        return FsMatch::kFound;
      }
      // Resolved as new and never made, in a folder that has not changed since: still new. A
      // name asked for again and again, or many such names, costs no listing each.
      if (index.notedOnly.erase(key) != 0) {
        index.names.erase(name);
        return FsMatch::kNone;
      }
      // Deleted: the folder is listed again.
      if (listed || !List(folder, index)) break;
      listed = true;
    }
  }
  g_folders.erase(it);
  return FsMatch::kNone;
}

std::string FsFoldedHostName(const std::string& hostName) { return FoldedEntry(hostName, TextCodePage()); }

void FsNoteNewName(const std::string& dir, const std::string& name) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = g_folders.find(dir.empty() ? "." : dir);
  if (it == g_folders.end()) return;
  FolderIndex& index = it->second;
  if (index.codePage != TextCodePage()) return;  // listed again at its next look-up
  const std::string key = FoldedEntry(name, index.codePage);
  if (index.names.emplace(key, Fit{name, 1, false}).second) index.notedOnly.insert(key);
  index.lastNoted = name;
  index.noted++;
  index.notedSinceListing++;
}

uint64_t FsFolderListings() { return g_listings.load(std::memory_order_relaxed); }
