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

// Case folding of the code page's letters (ASCII, Latin-1 and the few in 0x80-0x9F).
unsigned char FoldCp(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c == 0x8A || c == 0x8C || c == 0x8E) return c + 0x10;
  if (c == 0x9F) return 0xFF;
  return c;
}

std::string Fold(std::string s) {
  for (char& c : s) c = char(FoldCp(static_cast<unsigned char>(c)));
  return s;
}

std::string FoldedEntry(const std::string& entry) {
  return Fold(IsValidUtf8(entry) ? Utf8ToCp1252(entry) : entry);
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

struct FolderIndex {
  Stamp stamp;
  // Folded name -> the first entry so named, and the names resolved as new since the listing
  // (which may or may not have been made).
  std::unordered_map<std::string, std::string> names;
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
  g_listings.fetch_add(1, std::memory_order_relaxed);
  while (dirent* e = readdir(d)) {
    // A name a program cannot spell is listed to it with '?' for a character: that '?' names
    // nothing, so the name is left out.
    const std::string entry = e->d_name;
    if (FsProgramCanSpell(entry)) index.names.emplace(FoldedEntry(entry), entry);
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
      index.notedSinceListing > kMaxNoted)
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
  const std::string key = Fold(part);
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
      if (Exists(Join(folder, name->second))) {
        found = name->second;
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

void FsNoteNewName(const std::string& dir, const std::string& name) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = g_folders.find(dir.empty() ? "." : dir);
  if (it == g_folders.end()) return;
  FolderIndex& index = it->second;
  const std::string key = FoldedEntry(name);
  if (index.names.emplace(key, name).second) index.notedOnly.insert(key);
  index.lastNoted = name;
  index.noted++;
  index.notedSinceListing++;
}

uint64_t FsFolderListings() { return g_listings.load(std::memory_order_relaxed); }
