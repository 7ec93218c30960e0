#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <random>
#include <vector>

#include "platform/codepage.h"
#include "platform/fs_name_index.h"
#include "platform/fs_walk.h"
#include "platform/host_files.h"
#include "platform/place_owner.h"
#include "platform/stop_request.h"
#include "platform/stop_signals.h"

namespace {

// Splits a program's name into the host folder of its drive ("" without a drive letter) and
// the rest, with '/' separators.
void SplitDrive(const std::string& name, std::string& root, std::string& rest) {
  rest = name;
  for (char& c : rest)
    if (c == '\\') c = '/';
  root.clear();
  if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
    // The drive's root folder (the root of the file system when the letter has none).
    root = FsDriveRoot(rest[0]);
    while (!root.empty() && root.back() == '/') root.pop_back();
    if (rest.size() == 2 || rest[2] != '/') root += '/';
    rest.erase(0, 2);
  }
}

std::string Normalise(const std::string& name) {
  std::string root, rest;
  SplitDrive(name, root, rest);
  return root + rest;
}

// Set by each name resolved on this thread: the name fits more than one file.
thread_local bool t_fitsMany = false;

// Set by each write target looked for on this thread (cleared by each name resolved): it was, or
// went through, another user's link in a folder others can write, which is never followed.
thread_local bool t_othersLink = false;

std::string FollowLinks(const std::string& path, bool last);

// A name refused because it fits more than one file: no path, so that every operation on it
// fails (ENOENT) and nothing is made.
std::string RefuseFitsMany() {
  t_fitsMany = true;
  return "";
}

std::string ToHost(const std::string& programText) { return CodePageToUtf8(TextCodePage(), programText); }

bool HasHighBytes(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Host paths given to programs whose spelling has a '?' for a letter the code page cannot
// spell, by that spelling (normalised as SplitDrive does, in lower case): the path each stands
// for, or "" when two different paths were spelled alike. Kept in the order noted, so the
// oldest go first when there are too many.
struct SpelledPaths {
  std::mutex lock;
  int32_t codePage = 0;
  std::map<std::string, std::string> byKey;
  std::deque<std::string> order;
};
SpelledPaths& Spelled() {
  static SpelledPaths* paths = new SpelledPaths;  // outlives every thread that resolves names
  return *paths;
}
constexpr size_t kMaxSpelled = 1024;

std::string SpelledKey(const std::string& programPath, int32_t codePage) {
  return CodePageLower(codePage, Normalise(programPath));
}

// The longest leading folders of a name (root + rest, as SplitDrive gives them) that spell a
// host path given to the program: the current folder, or one noted (the current folder wins
// over a noted path spelled as it is). The name then goes on from that path (root: the host
// path and '/', rest: the remainder); false when none fits.
bool TakeSpelledPrefix(std::string& root, std::string& rest) {
  const int32_t codePage = TextCodePage();
  const std::string key = CodePageLower(codePage, root + rest);
  std::string host = FsCurrentFolder(), spelled;
  if (FsProgramCanSpell(host)) {
    host.clear();
  } else {
    spelled = SpelledKey(FsToProgramPath(host), codePage);
    // Only a prefix whose next character ends a folder.
    if (key.compare(0, spelled.size(), spelled) != 0 ||
        (key.size() > spelled.size() && key[spelled.size()] != '/' && spelled.back() != '/'))
      host.clear();
  }
  {
    SpelledPaths& paths = Spelled();
    std::lock_guard<std::mutex> hold(paths.lock);
    if (paths.codePage == codePage) {
      for (size_t end = key.size(); end != std::string::npos && end > (host.empty() ? 0 : spelled.size());
           end = key.rfind('/', end - 1)) {
        auto it = paths.byKey.find(key.substr(0, end));
        if (it != paths.byKey.end() && !it->second.empty()) {
          host = it->second;
          spelled = it->first;
          break;
        }
      }
    }
  }
  if (host.empty()) return false;
  const std::string name = root + rest;
  size_t next = spelled.size();
  while (next < name.size() && name[next] == '/') ++next;
  rest = name.substr(next);
  root = rest.empty() || host.back() == '/' ? host : host + '/';
  return true;
}

// A program's name (code-page text) as a host path. Leading folders that spell a host path
// given to the program are that path. Each other component is tried as UTF-8, then as its raw
// bytes (a name on disk that is not UTF-8, or a host path given back), then matched ignoring
// case; from the first component that matches nothing on, the rest is kept as UTF-8.
std::string Resolve(const std::string& name) {
  t_fitsMany = false;
  t_othersLink = false;
  std::string root, rest;
  SplitDrive(name, root, rest);
  const bool spelled = rest.find('?') != std::string::npos && TakeSpelledPrefix(root, rest);
  const std::string raw = root + rest;
  const bool high = HasHighBytes(rest);
  const std::string s = high ? root + ToHost(rest) : raw;
  if (s.empty()) return s;
  struct stat st;
  if (lstat(s.c_str(), &st) == 0) return s;  // exact match: the common case
  if (high && lstat(raw.c_str(), &st) == 0) return raw;
  // A new name in a folder that exists as written: only the last part needs matching.
  const size_t last = raw.find_last_of('/');
  if (!high && last != std::string::npos && last > 0 && last + 1 < raw.size()) {
    const std::string part = raw.substr(last + 1), dir = raw.substr(0, last);
    std::string found;
    const FsMatch match = part == "." || part == ".." ? FsMatch::kNoFolder : FsMatchInFolder(dir, part, found);
    if (match == FsMatch::kFound) return raw.substr(0, last + 1) + found;
    if (match == FsMatch::kFitsMany) return RefuseFitsMany();
    if (match == FsMatch::kNone) {
      FsNoteNewName(dir, part);
      return raw;
    }
    if (lstat(dir.c_str(), &st) == 0) return raw;  // there, but not a folder to look in
  }
  // A host path taken for the leading folders is there as it is.
  bool absolute = raw[0] == '/';
  std::string out = spelled ? root : absolute ? "/" : "";
  size_t pos = spelled ? root.size() : absolute ? 1 : 0;
  bool matching = true;
  while (pos <= raw.size()) {
    size_t slash = raw.find('/', pos);
    if (slash == std::string::npos) slash = raw.size();
    const std::string part = raw.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    const std::string base = out.empty() || out.back() == '/' ? out : out + "/";
    const bool partHigh = HasHighBytes(part);
    std::string next = base + (partHigh ? ToHost(part) : part);
    if (matching && part != "." && part != ".." && lstat(next.c_str(), &st) != 0) {
      std::string found;
      FsMatch match = FsMatch::kNone;
      if (partHigh && lstat((base + part).c_str(), &st) == 0)
        next = base + part;
      else if ((match = FsMatchInFolder(out, part, found)) == FsMatch::kFound)
        next = base + found;
      else if (match == FsMatch::kFitsMany)
        return RefuseFitsMany();
      else {
        matching = false;
        FsNoteNewName(out, next.substr(base.size()));
      }
    }
    out = next;
  }
  if (raw.back() == '/' && (out.empty() || out.back() != '/')) out += '/';
  return out;
}


}  // namespace

bool FsEqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string FsResolve(const std::string& name) { return Resolve(name); }
std::string FsResolveForWrite(const std::string& name) {
  const std::string path = Resolve(name);
  // A folder on the way that is another user's link, where others can write, is not gone through.
  if (!path.empty() && FollowLinks(path, false).empty() && t_othersLink) return "";
  return path;
}

bool FsWriteRefused(const std::string& name) {
  return FsResolveForWrite(name).empty() && t_othersLink;
}

bool FsNameFitsMany() { return t_fitsMany; }

bool FsOthersLinkInTheWay() { return t_othersLink; }

void FsNoteOthersLink(bool refused) { t_othersLink = refused; }

void FsNoteSpelledPath(const std::string& hostPath, const std::string& programPath) {
  if (hostPath.empty() || FsProgramCanSpell(hostPath)) return;
  SpelledPaths& paths = Spelled();
  const int32_t codePage = TextCodePage();
  const std::string key = SpelledKey(programPath, codePage);
  std::lock_guard<std::mutex> hold(paths.lock);
  if (paths.codePage != codePage) {
    paths.byKey.clear();
    paths.order.clear();
    paths.codePage = codePage;
  }
  auto [it, added] = paths.byKey.emplace(key, hostPath);
  if (!added) {
    if (it->second != hostPath) it->second.clear();  // spelled alike: stands for neither
    return;
  }
  paths.order.push_back(key);
  if (paths.order.size() > kMaxSpelled) {
    paths.byKey.erase(paths.order.front());
    paths.order.pop_front();
  }
}

std::string FsToHostName(const std::string& programName) { return ToHost(programName); }

std::string FsToProgramName(const std::string& hostName) {
  return IsValidUtf8(hostName) ? Utf8ToCodePage(TextCodePage(), hostName) : hostName;
}

bool FsProgramCanSpell(const std::string& hostName) {
  if (!HasHighBytes(hostName) || !IsValidUtf8(hostName)) return true;
  // A character the code page has is never '?', and a '?' stays one.
  const std::string programName = FsToProgramName(hostName);
  return std::count(programName.begin(), programName.end(), '?') == std::count(hostName.begin(), hostName.end(), '?');
}

std::string FsToSystemPath(const std::string& hostPath) {
  std::string s = FsToProgramName(hostPath);
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

bool FsFileExists(const std::string& name) {
  struct stat st;
  return stat(FsResolve(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FsFolderExists(const std::string& name) {
  struct stat st;
  return stat(FsResolve(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FsFolderWritable(const std::string& name) {
  // A folder its owner made read-only takes no new file, by root neither.
  const std::string path = FsResolve(name);
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) != 0 &&
         access(path.c_str(), W_OK) == 0;
}

bool FsDeleteFile(const std::string& name) { return FsUnlinkForWrite(name, 0); }

bool FsDeleteHostFile(const std::string& path) {
  FsWriteFolder at;
  return FsWalkForWrite(path, false, at) && unlinkat(at.fd, at.leaf.c_str(), 0) == 0;
}

std::string FsCurrentFolder() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

bool FsChangeFolder(const std::string& name) { return chdir(FsResolve(name).c_str()) == 0; }

std::string FsFolderOf(const std::string& path) {
  std::string s = Normalise(path);
  size_t slash = s.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return s.substr(0, slash);
}

bool FsReadFile(const std::string& name, std::string& out) { return FsReadHostFile(FsResolve(name), out); }

bool FsReadHostFile(const std::string& path, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rbe");
  if (!f) return false;
  out.clear();
  char buf[65536];
  size_t n;
  // A big file, or a slow one, is given up when the process is asked to stop.
  bool stopped = false;
  while (!(stopped = StopSignalReceived()) && (n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  bool ok = !stopped && !std::ferror(f);
  std::fclose(f);
  return ok;
}

namespace {

// Big files are read a piece at a time, so a stop request is seen between the pieces.
constexpr size_t kReadChunk = size_t(1) << 20;

// Opens a regular file (a host path) for reading without ever waiting on a pipe or a device:
// the path is opened without waiting for a writer, then checked on the open file itself. -1
// with the reason otherwise; st receives the file's status.
int OpenRegular(const std::string& path, struct stat& st, FsRead& why) {
  if (lstat(path.c_str(), &st) != 0) {
    why = errno == ENOENT ? FsRead::kMissing : FsRead::kFailed;
    return -1;
  }
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A dangling link, or a socket (which cannot be opened).
    why = errno == ENOENT || errno == ENXIO ? FsRead::kNotRegular : FsRead::kFailed;
    return -1;
  }
  why = fstat(fd, &st) != 0 ? FsRead::kFailed : !S_ISREG(st.st_mode) ? FsRead::kNotRegular : FsRead::kOk;
  if (why != FsRead::kOk) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::FILE* FsOpenRegularFile(const std::string& name, FsRead* why) {
  struct stat st;
  FsRead result = FsRead::kOk;
  int fd = OpenRegular(FsResolve(name), st, result);
  std::FILE* f = nullptr;
  if (fd >= 0) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    f = fdopen(fd, "rb");
    if (!f) {
      close(fd);
      result = FsRead::kFailed;
    }
  }
  if (why) *why = result;
  return f;
}

namespace {

// Reads the open regular file (st its status) into out, as FsReadRegularFile does; closes it.
FsRead ReadOpened(int fd, const struct stat& st, std::string& out, uint64_t maxBytes, bool cut) {
  FsRead result = FsRead::kOk;
  if (uint64_t(st.st_size) > maxBytes && !cut) {
    result = FsRead::kTooLarge;
  } else {
    try {
      out.resize(size_t(std::min<uint64_t>(uint64_t(st.st_size), maxBytes)));
      size_t done = 0;
      while (done < out.size()) {
        if (StopSignalReceived()) {  // a big file, or a slow one, is given up
          result = FsRead::kFailed;
          break;
        }
        ssize_t n = read(fd, out.data() + done, std::min<size_t>(out.size() - done, kReadChunk));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result = FsRead::kFailed;
        if (n <= 0) break;
        done += size_t(n);
      }
      out.resize(done);  // a file that shrank meanwhile
    } catch (const std::bad_alloc&) {  // a file the memory left cannot hold
      result = FsRead::kFailed;
      errno = ENOMEM;
    }
  }
  const int error = errno;
  close(fd);
  if (result != FsRead::kOk) std::string().swap(out);
  errno = error;
  return result;
}

}  // namespace

FsRead FsReadRegularFile(const std::string& name, std::string& out, uint64_t maxBytes, bool cut) {
  return FsReadHostRegularFile(FsResolve(name), out, maxBytes, cut);
}

FsRead FsReadHostRegularFile(const std::string& path, std::string& out, uint64_t maxBytes, bool cut) {
  out.clear();
  struct stat st;
  FsRead result = FsRead::kOk;
  int fd = OpenRegular(path, st, result);
  return fd < 0 ? result : ReadOpened(fd, st, out, maxBytes, cut);
}

FsRead FsReadRegularFileAt(int folder, const std::string& name, std::string& out, uint64_t maxBytes) {
  out.clear();
  const int fd = openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FsRead::kMissing : errno == ELOOP ? FsRead::kNotRegular : FsRead::kFailed;
  struct stat st;
  const FsRead why = fstat(fd, &st) != 0 ? FsRead::kFailed : !S_ISREG(st.st_mode) ? FsRead::kNotRegular : FsRead::kOk;
  if (why == FsRead::kOk) return ReadOpened(fd, st, out, maxBytes, false);
  close(fd);
  return why;
}

bool FsCreateEmptyFile(const std::string& name) {
  int fd = FsOpenForWrite(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  return close(fd) == 0;
}

namespace {

// The path with its symbolic links followed to their targets, the last part's too when last is
// set; "" (errno ELOOP) for a chain of links that never ends and for another user's link in a
// folder others can write (PlaceEntryTrusted), whether it stands for the file or for a folder
// on the way.
std::string FollowLinks(const std::string& path, bool last) {
  std::string target = path;
  int hops = 0;
  size_t from = 0;  // each part before this one is a folder of its own, no link
  while (true) {
    size_t end = target.find('/', from);
    const size_t stop = end == std::string::npos ? target.size() : end;
    const std::string part = target.substr(from, stop - from);
    if (end == std::string::npos && !last) return target;
    if (part.empty() || part == "." || part == "..") {
      if (end == std::string::npos) return target;
      from = end + 1;
      continue;
    }
    const std::string upTo = target.substr(0, stop);
    struct stat st;
    if (lstat(upTo.c_str(), &st) != 0) return target;  // the rest is yet to be made
    if (!S_ISLNK(st.st_mode)) {
      if (end == std::string::npos) return target;
      from = end + 1;
      continue;
    }
    if (!PlaceEntryTrusted(st, upTo)) {
      t_othersLink = true;
      errno = ELOOP;
      return "";
    }
    if (++hops > 40) break;
    std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 255) + 2);
    ssize_t n = readlink(upTo.c_str(), buf.data(), buf.size() - 1);
    if (n <= 0) return "";
    std::string link(buf.data(), size_t(n));
    if (link[0] != '/') {
      std::string folder = FsFolderOf(upTo);
      link = (folder.empty() ? "" : folder == "/" ? "/" : folder + "/") + link;
    }
    target = link + target.substr(stop);
    from = 0;
  }
  errno = ELOOP;
  return "";
}

// The file a save lands in: a symbolic link is followed to its target (the link stays); ""
// where FollowLinks refuses, or where the path was refused before (FsResolveForWrite).
std::string SaveTarget(const std::string& path) {
  if (path.empty()) {
    errno = t_othersLink ? ELOOP : ENOENT;
    return "";
  }
  t_othersLink = false;
  return FollowLinks(path, true);
}

constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kTokenLength = 6;

std::string RandomText(size_t length) {
  std::random_device random;
  std::string text;
  for (size_t k = 0; k < length; ++k) text += kNameChars[random() % 36];
  return text;
}

// Set once a process: tells this process's temporaries from those of an earlier one that had
// the same process id.
const std::string& RunToken() {
  static const std::string token = RandomText(kTokenLength);
  return token;
}

// A save's temporary file is named ".vk-<pid>-<run token>-<random>.tmp" after the process
// writing it. True when name has that form; pid and token receive its parts.
bool ParseTempName(const char* name, long* pid, std::string* token) {
  if (std::strncmp(name, ".vk-", 4) != 0 || !std::isdigit(static_cast<unsigned char>(name[4]))) return false;
  char* end = nullptr;
  errno = 0;
  *pid = std::strtol(name + 4, &end, 10);
  if (errno != 0 || *pid <= 0 || *pid > 0x7FFFFFFF || *end != '-') return false;
  auto alnum = [](const char* p) {
    for (size_t k = 0; k < kTokenLength; ++k)
      if (!p[k] || !std::strchr(kNameChars, p[k])) return false;
    return true;
  };
  const char* p = end + 1;
  if (!alnum(p) || p[kTokenLength] != '-' || !alnum(p + kTokenLength + 1)) return false;
  token->assign(p, kTokenLength);
  return std::strcmp(p + 2 * kTokenLength + 1, ".tmp") == 0;
}

// FsRemoveEndedTemporaries, for the folder open as folder.
void RemoveEndedTemporariesAt(int folder) {
  const int listed = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listed < 0 ? nullptr : fdopendir(listed);
  if (!dir) {
    if (listed >= 0) close(listed);
    return;
  }
  const int fd = dirfd(dir);
  std::string token;
  while (const dirent* e = readdir(dir)) {
    long pid = 0;
    if (!ParseTempName(e->d_name, &pid, &token)) continue;
    // Its writer is gone: no process has its id, or this one has it with another run token.
    if (pid == long(getpid()) ? token == RunToken() : kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
    // This user's own regular file, looked at before it is opened (a device is never opened).
    struct stat named, held;
    if (fstatat(fd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode) ||
        named.st_uid != getuid())
      continue;
    const int temp = openat(fd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (temp < 0) continue;
    // A writer in another process id namespace looks gone, but holds its lock while it writes;
    // the name goes only while it names the file checked.
    if (fstat(temp, &held) == 0 && held.st_uid == getuid() && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino && flock(temp, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(fd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
        named.st_dev == held.st_dev)
      unlinkat(fd, e->d_name, 0);
    close(temp);
  }
  closedir(dir);
}

}  // namespace

void FsRemoveEndedTemporaries(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  RemoveEndedTemporariesAt(fd);
  close(fd);
}

namespace {

// Creates an unused private temporary file in the folder open as folder (O_EXCL, 0600), named
// after this process and locked while it is written, once the temporaries of ended writers there
// are gone; -1 on failure, name its name. Its caller gives it the access the file it becomes is
// to have.
int CreateUniqueFile(int folder, std::string& name) {
  RemoveEndedTemporariesAt(folder);
  const std::string prefix = ".vk-" + std::to_string(getpid()) + "-" + RunToken() + "-";
  for (int attempt = 0; attempt < 64; ++attempt) {
    name = prefix + RandomText(kTokenLength) + ".tmp";
    int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) flock(fd, LOCK_EX | LOCK_NB);  // held while it is written (FsRemoveEndedTemporaries)
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

FsAccess AccessOf(const struct stat& st, uint32_t bits) { return FsAccess{uint32_t(st.st_mode) & bits, int64_t(st.st_gid)}; }

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t w = write(fd, data.data() + done, data.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += size_t(w);
  }
  return true;
}

}  // namespace

int32_t g_fsWriteFaults = 0;
void (*g_fsWritingTempMade)() = nullptr;
int32_t g_fsFlushFaults = 0, g_fsFlushesBeforeFaults = 0;

bool FsFlushFile(int fd) {
  if (g_fsFlushFaults > 0 && g_fsFlushesBeforeFaults > 0) {
    --g_fsFlushesBeforeFaults;
  } else if (g_fsFlushFaults > 0) {
    --g_fsFlushFaults;
    errno = EIO;
    return false;
  }
  return fsync(fd) == 0;
}

namespace {

// Flushes the entries of the folder name (relative to the folder open as at) to the disk.
bool FlushFolderNamed(int at, const char* name) {
  const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = FsFlushFile(fd);
  const int error = errno;
  close(fd);
  errno = error;
  return ok;
}

}  // namespace

bool FsFlushFolder(const std::string& folder) { return FlushFolderNamed(AT_FDCWD, folder.empty() ? "." : folder.c_str()); }

FsAccess FsAccessOf(const std::string& hostPath) {
  struct stat st;
  return stat(hostPath.c_str(), &st) == 0 ? AccessOf(st, 0666) : FsAccess{};
}

namespace {

// The process's umask, read once from the kernel: asking umask() would change it for a moment
// under other threads.
uint32_t ProcessUmask() {
  static const uint32_t mask = [] {
    std::string status;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
      char line[256];
      while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "Umask:", 6) == 0) status = line + 6;
      std::fclose(f);
    }
    return status.empty() ? 022u : uint32_t(std::strtoul(status.c_str(), nullptr, 8)) & 0777;
  }();
  return mask;
}

}  // namespace

FsAccess FsNewFileAccess() { return FsAccess{0666 & ~ProcessUmask(), -1}; }

FsAccess FsNewProgramAccess() { return FsAccess{0777 & ~ProcessUmask(), -1}; }

bool FsGiveAccess(int fd, const FsAccess& access) {
  uint32_t mode = access.mode;
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  // A file of another group than the one its readers are in: that group gets no bits.
  if (access.group >= 0 && st.st_gid != gid_t(access.group) && fchown(fd, uid_t(-1), gid_t(access.group)) != 0)
    mode &= ~uint32_t(070);
  return fchmod(fd, mode_t(mode)) == 0;
}

namespace {

// The temporary an atomic write is filling, its name kept in a fixed buffer and its folder open,
// for a signal handler that ends the process: set once the file is made, cleared once it is
// renamed or removed.
char g_writingTemp[256];
int g_writingTempFolder = -1;
volatile sig_atomic_t g_writingTempSet = 0;

void NoteWritingTemp(int folder, const std::string& name) {
  g_writingTempSet = 0;
  if (name.size() >= sizeof g_writingTemp) return;
  std::memcpy(g_writingTemp, name.c_str(), name.size() + 1);
  g_writingTempFolder = folder;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_writingTempSet = 1;
}

// Flushes the entries of the folder open (O_PATH) as folder to the disk.
bool FlushFolderAt(int folder) { return FlushFolderNamed(folder, "."); }

// FsWriteFileAtomic, and with durable set FsWriteFileDurable, at a host path; given (when not
// null) is the access of the file written, new or replaced. On failure errno holds the cause of
// the first step that failed. The file is made, replaced and removed in the folder the path's
// walk judged (FsWalkForWrite), never in one put in its place meanwhile.
// With follow false a link at the path is replaced by the file, never followed.
bool WriteFileReplacing(const std::string& path, const std::string& data, bool durable,
                        const FsAccess* given = nullptr, bool follow = true) {
  FsWriteFolder at;
  if (!FsWalkForWrite(path, follow, at)) return false;
  struct stat old;
  const bool exists = fstatat(at.fd, at.leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISLNK(old.st_mode);
  if (exists && !S_ISREG(old.st_mode)) {  // a folder, device or pipe stays as it is
    errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  std::string tmp;
  // No signal ends the process between the temporary's making and its noting.
  sigset_t ending, before;
  sigemptyset(&ending);
  AddStopSignals(ending);
  pthread_sigmask(SIG_BLOCK, &ending, &before);
  int fd = CreateUniqueFile(at.fd, tmp);
  if (fd >= 0) NoteWritingTemp(at.fd, tmp);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (fd < 0) return false;
  if (g_fsWritingTempMade) g_fsWritingTempMade();
  // A new file gets the usual mode and a replaced one keeps its own, unless one is given.
  const FsAccess access = given ? *given : exists ? AccessOf(old, 07777) : FsNewFileAccess();
  bool ok = FsGiveAccess(fd, access) && WriteAll(fd, data);
  if (g_fsWriteFaults > 0) {
    --g_fsWriteFaults;
    if (ok) errno = ENOSPC;
    ok = false;
  }
  ok = ok && (!durable || FsFlushFile(fd));
  int error = ok ? 0 : errno;
  // Its lock is held until it has its name: a sweep never takes it between close and rename.
  const int held = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (close(fd) != 0 && ok) {
    error = errno;
    ok = false;
  }
  if (ok && renameat(at.fd, tmp.c_str(), at.fd, at.leaf.c_str()) != 0) {
    error = errno;
    ok = false;
    // A link that may not be replaced (another user's, in a sticky folder) is in the way.
    struct stat in;
    if (!follow && (error == EPERM || error == EACCES) &&
        fstatat(at.fd, at.leaf.c_str(), &in, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(in.st_mode) && in.st_uid != getuid()) {
      FsNoteOthersLink(true);
      error = ELOOP;
    }
  }
  if (!ok) unlinkat(at.fd, tmp.c_str(), 0);
  g_writingTempSet = 0;
  if (held >= 0) close(held);
  if (!ok) {
    errno = error;
    return false;
  }
  // The rename is on the disk only once the folder is.
  return !durable || FlushFolderAt(at.fd);
}

}  // namespace

void FsRemoveWritingTempInSignal() {
  if (g_writingTempSet) unlinkat(g_writingTempFolder, g_writingTemp, 0);
}

bool FsWriteFileAtomic(const std::string& name, const std::string& data) {
  // A program's save never replaces a file made read-only.
  if (FsReadOnlyTarget(name)) {
    errno = EACCES;
    return false;
  }
  return WriteFileReplacing(FsResolveForWrite(name), data, false);
}

bool FsWriteHostFileAtomic(const std::string& path, const std::string& data, const FsAccess* access) {
  return WriteFileReplacing(path, data, false, access);
}

bool FsReplaceHostFile(const std::string& path, const std::string& data) {
  return WriteFileReplacing(path, data, false, nullptr, false);
}

std::string FsHostWriteTarget(const std::string& path) { return SaveTarget(path); }

bool FsWriteHostFileDurable(const std::string& path, const std::string& data) {
  return WriteFileReplacing(path, data, true);
}

bool FsWriteFileDurable(const std::string& name, const std::string& data) {
  return WriteFileReplacing(FsResolveForWrite(name), data, true);
}

bool FsWriteFileAtomicAs(const std::string& name, const std::string& data, const FsAccess& access) {
  return WriteFileReplacing(FsResolveForWrite(name), data, false, &access);
}

std::string FsReadCause(FsRead result, const char* kind) {
  switch (result) {
    case FsRead::kMissing: return FileErrorCause(ENOENT);
    case FsRead::kNotRegular: return "not a regular file";
    case FsRead::kTooLarge: return std::string("too large for ") + kind;
    default: return "cannot be read: " + FileErrorCause(errno);
  }
}

std::string FileErrorCause(int error) {
  switch (error) {
    case ENOENT: return t_othersLink ? "another user's link is in the way" : t_fitsMany ? "fits more than one file" : "not found";
    case ENOTDIR: return "a part of the path is not a folder";
    case EACCES:
    case EPERM: return "permission denied";
    case EEXIST: return "already exists";
    case EISDIR: return "is a folder";
    case ENOSPC:
    case EDQUOT: return "disk full";
    case EFBIG: return "file too large";
    case EROFS: return "read-only file system";
    case ENAMETOOLONG: return "name too long";
    case ELOOP: return t_othersLink ? "another user's link is in the way" : "a link is in the way";
    case EINVAL: return "not a valid name";
    case EMFILE:
    case ENFILE: return "too many open files";
    case ENOMEM: return "not enough memory";
    case 0: return "failed";
    default: {
      std::string text = std::strerror(error);
      if (!text.empty()) text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
      return text;
    }
  }
}

int FsCreateTempBeside(const std::string& target, std::string& tempPath) {
  tempPath.clear();
  FsWriteFolder at;
  return FsWalkForWrite(FsResolveForWrite(target), true, at) ? FsCreateTempIn(at, tempPath) : -1;
}

int FsCreateTempIn(const FsWriteFolder& at, std::string& tempPath) {
  std::string name;
  const int fd = CreateUniqueFile(at.fd, name);
  tempPath = fd >= 0 ? at.Join(name) : "";
  return fd;
}

bool FsCommitTemp(const std::string& tempPath, const std::string& target) {
  if (FsReadOnlyTarget(target)) {
    unlink(tempPath.c_str());
    errno = EACCES;
    return false;
  }
  // The temporary is renamed within the folder the target's walk judged: one beside the target.
  FsWriteFolder at;
  const bool walked = FsWalkForWrite(FsResolveForWrite(target), true, at);
  const std::string name = tempPath.substr(tempPath.rfind('/') + 1);
  struct stat old;
  const bool exists = walked && fstatat(at.fd, at.leaf.c_str(), &old, 0) == 0;
  bool ok = false;
  int fd = -1;
  if (walked && (!exists || S_ISREG(old.st_mode))) {
    fd = openat(at.fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    // Locked until renamed, where the writer has let its lock go (FsRemoveEndedTemporaries).
    if (fd >= 0) flock(fd, LOCK_EX | LOCK_NB);
    ok = fd >= 0 && FsGiveAccess(fd, exists ? AccessOf(old, 07777) : FsNewFileAccess());
  }
  ok = ok && renameat(at.fd, name.c_str(), at.fd, at.leaf.c_str()) == 0;
  if (!ok) unlink(tempPath.c_str());
  if (fd >= 0) close(fd);
  return ok;
}
