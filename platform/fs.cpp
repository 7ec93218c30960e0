#include "platform/fs.h"

#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <new>
#include <random>
#include <vector>

#include "platform/codepage.h"
#include "platform/fs_name_index.h"
#include "platform/host_files.h"
#include "platform/stop_request.h"
#include "platform/unsaved_copies.h"

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

bool HasHighBytes(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A program's name (code-page text) as a host path. Each component is tried as UTF-8, then as
// its raw bytes (a name on disk that is not UTF-8, or a host path given back), then matched
// ignoring case; from the first component that matches nothing on, the rest is kept as UTF-8.
std::string Resolve(const std::string& name) {
  std::string root, rest;
  SplitDrive(name, root, rest);
  const std::string raw = root + rest;
  const bool high = HasHighBytes(rest);
  const std::string s = high ? root + Cp1252ToUtf8(rest) : raw;
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
    if (match == FsMatch::kNone) {
      FsNoteNewName(dir, part);
      return raw;
    }
    if (lstat(dir.c_str(), &st) == 0) return raw;  // there, but not a folder to look in
  }
  bool absolute = raw[0] == '/';
  std::string out = absolute ? "/" : "";
  size_t pos = absolute ? 1 : 0;
  bool matching = true;
  while (pos <= raw.size()) {
    size_t slash = raw.find('/', pos);
    if (slash == std::string::npos) slash = raw.size();
    const std::string part = raw.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    const std::string base = out.empty() || out.back() == '/' ? out : out + "/";
    const bool partHigh = HasHighBytes(part);
    std::string next = base + (partHigh ? Cp1252ToUtf8(part) : part);
    if (matching && part != "." && part != ".." && lstat(next.c_str(), &st) != 0) {
      std::string found;
      if (partHigh && lstat((base + part).c_str(), &st) == 0)
        next = base + part;
      else if (FsMatchInFolder(out, part, found) == FsMatch::kFound)
        next = base + found;
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

std::string g_tempFolder;

}  // namespace

bool FsEqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string FsResolve(const std::string& name) { return Resolve(name); }
std::string FsResolveForWrite(const std::string& name) { return Resolve(name); }

std::string FsToProgramName(const std::string& hostName) {
  return IsValidUtf8(hostName) ? Utf8ToCp1252(hostName) : hostName;
}

bool FsProgramCanSpell(const std::string& hostName) {
  if (!HasHighBytes(hostName) || !IsValidUtf8(hostName)) return true;
  // A character the code page has is never '?', and a '?' stays one.
  const std::string programName = Utf8ToCp1252(hostName);
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
  return FsFolderExists(name) && access(FsResolve(name).c_str(), W_OK) == 0;
}

bool FsDeleteFile(const std::string& name) { return unlink(FsResolve(name).c_str()) == 0; }

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
  FILE* f = std::fopen(path.c_str(), "rb");
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
    why = errno == ENOENT ? FsRead::kNotRegular : FsRead::kFailed;  // a dangling link
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
    } catch (const std::bad_alloc&) {
      result = FsRead::kTooLarge;
    }
  }
  close(fd);
  if (result != FsRead::kOk) std::string().swap(out);
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
  int fd = open(FsResolveForWrite(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  return close(fd) == 0;
}

namespace {

// The file a save lands in: a symbolic link is followed to its target (the link stays);
// "" for a chain of links that never ends.
std::string SaveTarget(const std::string& path) {
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 255) + 2);
    ssize_t n = readlink(target.c_str(), buf.data(), buf.size() - 1);
    if (n <= 0) return "";
    std::string link(buf.data(), size_t(n));
    if (link[0] != '/') {
      std::string folder = FsFolderOf(target);
      link = (folder.empty() ? "" : folder == "/" ? "/" : folder + "/") + link;
    }
    target = link;
  }
  return "";
}

constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kTokenLength = 6;
// How long a temporary of a writer that looks gone must have been left alone to be removed.
constexpr time_t kStaleTemporarySeconds = 10 * 60;

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

// Removes the temporaries that saves of ended processes (killed mid-save) left in the folder.
// Only a temporary whose writer is surely gone is touched: its process id names no process,
// or names this process but with another run token. A live writer's temporary stays, so two
// processes saving beside each other never remove each other's files. A writer in another
// process id namespace (a container sharing the folder) looks gone, so a temporary must also
// be old: written to last kStaleTemporarySeconds ago or earlier.
void RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  const long self = long(getpid());
  const time_t now = time(nullptr);
  std::string token;
  while (const dirent* e = readdir(dir)) {
    long pid = 0;
    if (!ParseTempName(e->d_name, &pid, &token)) continue;
    const bool gone = pid == self ? token != RunToken() : kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    struct stat st {};
    if (!gone || fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (now - st.st_mtime >= kStaleTemporarySeconds) unlinkat(dirfd(dir), e->d_name, 0);
  }
  closedir(dir);
}

// Creates an unused private temporary file in the folder (O_EXCL, 0600), named after this
// process, once the stale temporaries there are gone; -1 on failure. Its caller gives it the
// access the file it becomes is to have.
int CreateUniqueFile(const std::string& folder, std::string& path) {
  RemoveStaleTemporaries(folder);
  const std::string prefix = ".vk-" + std::to_string(getpid()) + "-" + RunToken() + "-";
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::string name = prefix + RandomText(kTokenLength) + ".tmp";
    path = (folder.empty() ? "" : folder == "/" ? "/" : folder + "/") + name;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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

bool FsFlushFolder(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = FsFlushFile(fd);
  const int error = errno;
  close(fd);
  errno = error;
  return ok;
}

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
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
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

// FsWriteFileAtomic, and with durable set FsWriteFileDurable, at a host path; given (when not
// null) is the access of the file written, new or replaced. On failure errno holds the cause of
// the first step that failed.
bool WriteFileReplacing(const std::string& path, const std::string& data, bool durable,
                        const FsAccess* given = nullptr) {
  const std::string target = SaveTarget(path);
  if (target.empty()) return false;
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {  // a folder, device or pipe stays as it is
    errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  const std::string folder = FsFolderOf(target);
  std::string tmp;
  int fd = CreateUniqueFile(folder, tmp);
  if (fd < 0) return false;
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
  if (close(fd) != 0 && ok) {
    error = errno;
    ok = false;
  }
  if (ok && rename(tmp.c_str(), target.c_str()) != 0) {
    error = errno;
    ok = false;
  }
  if (!ok) {
    unlink(tmp.c_str());
    errno = error;
    return false;
  }
  // The rename is on the disk only once the folder is.
  return !durable || FsFlushFolder(folder);
}

}  // namespace

bool FsWriteFileAtomic(const std::string& name, const std::string& data) {
  return WriteFileReplacing(FsResolveForWrite(name), data, false);
}

bool FsWriteHostFileAtomic(const std::string& path, const std::string& data, const FsAccess* access) {
  return WriteFileReplacing(path, data, false, access);
}

bool FsWriteFileDurable(const std::string& name, const std::string& data) {
  return WriteFileReplacing(FsResolveForWrite(name), data, true);
}

bool FsWriteFileAtomicAs(const std::string& name, const std::string& data, const FsAccess& access) {
  return WriteFileReplacing(FsResolveForWrite(name), data, false, &access);
}

std::string FsReadCause(FsRead result, const char* kind) {
  switch (result) {
    case FsRead::kMissing: return "not found";
    case FsRead::kNotRegular: return "not a regular file";
    case FsRead::kTooLarge: return std::string("too large for ") + kind;
    default: return "cannot be read: " + FileErrorCause(errno);
  }
}

std::string FileErrorCause(int error) {
  switch (error) {
    case ENOENT: return "not found";
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
    case ELOOP: return "a link is in the way";
    case EINVAL: return "not a valid name";
    case EMFILE:
    case ENFILE: return "too many open files";
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
  const std::string path = SaveTarget(FsResolveForWrite(target));
  return path.empty() ? -1 : CreateUniqueFile(FsFolderOf(path), tempPath);
}

bool FsCommitTemp(const std::string& tempPath, const std::string& target) {
  const std::string path = SaveTarget(FsResolveForWrite(target));
  struct stat old;
  const bool exists = !path.empty() && stat(path.c_str(), &old) == 0;
  bool ok = false;
  if (!path.empty() && (!exists || S_ISREG(old.st_mode))) {
    const int fd = open(tempPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    ok = fd >= 0 && FsGiveAccess(fd, exists ? AccessOf(old, 07777) : FsNewFileAccess());
    if (fd >= 0) close(fd);
  }
  if (ok && rename(tempPath.c_str(), path.c_str()) == 0) return true;
  unlink(tempPath.c_str());
  return false;
}

namespace {

// The temporary folder's path for the SIGHUP handler, which may use nothing but system calls.
char g_tempPath[4096];
// The process that made the folder: a child forked from it (without a new program) shares the
// path but never removes the folder, which its parent still uses.
pid_t g_tempFolderOwner = 0;

bool OwnsTempFolder() { return g_tempPath[0] && getpid() == g_tempFolderOwner; }

struct KernelDirent {
  uint64_t ino;
  int64_t off;
  unsigned short reclen;
  unsigned char type;
  char name[1];
};

bool IsName(const char* name, const char* other) { return std::strcmp(name, other) == 0; }

void RemoveTreeAt(int parent, const char* name, int depth, bool runFolder = false);

// Removes everything in the open folder, with system calls only (safe in a signal handler). A
// run folder loses its records first, so a removal cut short leaves nothing naming text to keep
// again, and its lock file last: while the records are there, no start can take the folder for
// one without a lock (an earlier version's, told by its pid).
void RemoveContentsAt(int fd, int depth, bool runFolder) {
  if (runFolder) {
    unlinkat(fd, kRunFolderWork, 0);
    unlinkat(fd, kRunFolderCopies, 0);
  }
  alignas(8) char buf[4096];
  for (int pass = 0; pass < 16; ++pass) {  // removing entries may hide others from one pass
    bool removed = false;
    lseek(fd, 0, SEEK_SET);
    for (long n; (n = syscall(SYS_getdents64, fd, buf, sizeof buf)) > 0;) {
      for (long at = 0; at < n;) {
        const KernelDirent* d = reinterpret_cast<const KernelDirent*>(buf + at);
        at += d->reclen;
        if (d->name[0] == '.' && (d->name[1] == 0 || (d->name[1] == '.' && d->name[2] == 0))) continue;
        if (runFolder && IsName(d->name, kRunFolderLock)) continue;
        if (d->type == DT_DIR && depth < 16) RemoveTreeAt(fd, d->name, depth + 1);
        else unlinkat(fd, d->name, 0);
        removed = true;
      }
    }
    if (!removed) break;
  }
  if (runFolder) unlinkat(fd, kRunFolderLock, 0);
}

// Removes a folder with everything in it, never through a link (see RemoveContentsAt).
void RemoveTreeAt(int parent, const char* name, int depth, bool runFolder) {
  int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    unlinkat(parent, name, 0);
    return;
  }
  RemoveContentsAt(fd, depth, runFolder);
  close(fd);
  unlinkat(parent, name, AT_REMOVEDIR);
}

// A hang-up ends the process: its temporary folder goes first.
void OnHangup(int signal) {
  if (OwnsTempFolder()) RemoveTreeAt(AT_FDCWD, g_tempPath, 0, true);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// The run folder's lock file, held open and locked: it says this process lives (see FsTempFolder).
int g_runFolderLock = -1;

// Takes the lock of the lock file of the run folder open as folder: the descriptor holding it,
// -1 when another process holds it or the file cannot be opened (errno ENOENT: the folder has
// none). With create the file is made new (EEXIST: it is there) and the lock waited for.
int TakeRunFolderLock(int folder, bool create) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  const int fd = create ? openat(folder, kRunFolderLock, flags | O_CREAT | O_EXCL, 0600)
                        : openat(folder, kRunFolderLock, flags);
  if (fd < 0) return -1;
  while (flock(fd, LOCK_EX | (create ? 0 : LOCK_NB)) != 0) {
    if (errno == EINTR) continue;
    close(fd);
    errno = EWOULDBLOCK;
    return -1;
  }
  return fd;
}

// Whether the owner of the run folder open as folder has ended. The owner is told by the lock
// it holds on its lock file, not by its pid (another pid namespace sharing the folder has other
// pids); only a folder of an earlier version, which has no lock file, is told by its pid, and is
// then taken by making its lock file, so one start alone keeps its text. lock receives the
// descriptor holding the lock while the folder is dealt with.
bool RunFolderOwnerGone(int folder, const std::string& name, int& lock) {
  lock = TakeRunFolderLock(folder, false);
  if (lock >= 0) return true;
  if (errno != ENOENT) return false;
  char* end = nullptr;
  const long pid = std::strtol(name.c_str() + 4, &end, 10);
  if (end == name.c_str() + 4 || *end != '-' || pid <= 0 || kill(pid_t(pid), 0) == 0 || errno != ESRCH) return false;
  const int fd = openat(folder, kRunFolderLock, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) lock = fd;
  else if (fd >= 0) close(fd);
  return lock >= 0;
}

// What a folder is to this user: its own (a real folder, not a link, of this uid, closed to
// everyone else: its mode is made 0700 where it was not), missing, or not its own. With held,
// an own folder stays open as *held.
enum class Own { kYes, kMissing, kNotOwn, kFailed };
Own OwnFolder(const std::string& path, struct stat* st, int* error, int* held = nullptr) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  *error = errno;
  struct stat named;
  if (fd < 0 && (errno == ELOOP || (errno == ENOTDIR && lstat(path.c_str(), &named) == 0))) return Own::kNotOwn;
  if (fd < 0) return *error == ENOENT ? Own::kMissing : Own::kFailed;
  Own own = fstat(fd, st) != 0 ? Own::kFailed : st->st_uid != getuid() ? Own::kNotOwn : Own::kYes;
  if (own == Own::kYes && (st->st_mode & 077) != 0 && fchmod(fd, 0700) != 0) own = Own::kFailed;
  *error = errno;
  if (own == Own::kYes && held) *held = fd;
  else close(fd);
  return own;
}

// A folder another user can change: not root's nor this user's, or open to others' writing
// without the sticky bit (as ssh asks of a home). Such a user can rename what is in it away.
bool OthersCanChange(const struct stat& st) {
  return (st.st_uid != 0 && st.st_uid != getuid()) || ((st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0);
}

// The first folder above path (those that exist, and where a link stands on the way, those
// above the folder it leads to) that another user can change; "" for none.
std::string ChangeableAbove(const std::string& path) {
  std::vector<std::string> above = {"/"};
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    above.push_back(path.substr(0, slash));
  for (size_t k = above.size(); k-- > 1;) {
    char real[PATH_MAX];
    if (!realpath(above[k].c_str(), real)) continue;
    const std::string found = real;
    for (size_t slash = found.find('/', 1); slash != std::string::npos; slash = found.find('/', slash + 1))
      above.push_back(found.substr(0, slash));
    above.push_back(found);
    break;
  }
  for (const std::string& folder : above) {
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && OthersCanChange(st)) return folder;
  }
  return "";
}

// Makes a folder of this user's own, the missing folders above it too (private, as a state
// folder is); "" when it is, or else why it is not.
std::string MakeOwnFolder(const std::string& path) {
  if (const std::string open = ChangeableAbove(path); !open.empty())
    return "other users can change " + open + " above it";
  int refused = 0;  // why a missing folder on the way could not be made
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST && refused == 0) refused = errno;
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST && refused == 0) refused = errno;
  struct stat st;
  int error = 0;
  switch (OwnFolder(path, &st, &error)) {
    case Own::kYes: return "";
    case Own::kNotOwn: return "not this user's own folder";
    default: return FileErrorCause(error == ENOENT && refused != 0 ? refused : error);
  }
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A folder named by the environment: a full path only; a relative or empty one is ignored, as
// the XDG rules say.
const char* FolderFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? value : nullptr;
}

std::string HomeFolder() {
  if (const char* home = FolderFromEnvironment("HOME")) return WithoutTrailingSlash(home);
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir && user->pw_dir[0] == '/' ? WithoutTrailingSlash(user->pw_dir) : "";
}

// Where run folders are kept: the user's state folder ($XDG_STATE_HOME/vellumark, else
// ~/.local/state/vellumark), which no other user can make first, as editors keep their swap
// files; "" without a home.
std::string StateRunRoot() {
  if (const char* state = FolderFromEnvironment("XDG_STATE_HOME")) return WithoutTrailingSlash(state) + "/vellumark";
  const std::string home = HomeFolder();
  if (home.empty()) return "";
  return (home == "/" ? "" : home) + "/.local/state/vellumark";
}

// The temporary folder ($TMPDIR, else /tmp), which other users share.
std::string SharedTemp() {
  const char* given = FolderFromEnvironment("TMPDIR");
  return WithoutTrailingSlash(given ? given : "/tmp");
}

// The temporary folder's per-user folder, where run folders go only when the state folder
// cannot be made; "/tmp"'s is where earlier versions kept them.
std::string TempRunRoot(const char* tmp) {
  return (tmp ? std::string(tmp) : SharedTemp()) + "/vellumark-" + std::to_string(getuid());
}

// Removes a run folder whose lock this process holds: its records first, its lock file last.
void RemoveRunFolder(const std::string& path) { RemoveTreeAt(AT_FDCWD, path.c_str(), 0, true); }

// Removes a swept run folder through its descriptor (see RemoveContentsAt); its name in the
// root goes only while it names that folder still.
void RemoveRunFolderAt(int root, const char* name, int folder) {
  RemoveContentsAt(folder, 0, true);
  struct stat held, named;
  if (fstat(folder, &held) == 0 && fstatat(root, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
      held.st_dev == named.st_dev && held.st_ino == named.st_ino)
    unlinkat(root, name, AT_REMOVEDIR);
}

// The places of run folders, decided once a process.
struct RunFolders {
  bool rootChosen = false;
  std::string root;     // where this process makes its run folder ("" where none can be)
  std::string refused;  // the places refused on the way, and why
  bool said = false;
  bool swept = false;
};
RunFolders g_runFolders;

// The folder this process makes its run folder in: the state folder, or where that cannot be
// made, the temporary folder's per-user folder; where that is refused too, the temporary
// folder itself (the run folder private all the same, and swept there), unless another user
// can change it.
const std::string& RunFoldersRoot() {
  RunFolders& r = g_runFolders;
  if (r.rootChosen) return r.root;
  r.rootChosen = true;
  const std::string state = StateRunRoot();
  const std::string cause = state.empty() ? "no home folder" : MakeOwnFolder(state);
  if (cause.empty()) return r.root = state;
  r.refused = (state.empty() ? "" : state + ": ") + cause + "; ";
  const std::string temp = TempRunRoot(nullptr), tempCause = MakeOwnFolder(temp);
  if (tempCause.empty()) return r.root = temp;
  r.refused += temp + ": " + tempCause + "; ";
  const std::string shared = SharedTemp();
  struct stat st;
  if (stat(shared.c_str(), &st) != 0) r.refused += shared + ": " + FileErrorCause(errno) + "; ";
  else if (const std::string open = ChangeableAbove(shared + "/run"); !open.empty())
    r.refused += shared + ": other users can change " + open + "; ";
  else r.root = shared;
  return r.root;
}

// Says once where the usual place of run folders was refused, and where they go instead, or
// that none can be made (why: the last refusal).
void SayWhereRunFoldersGo(const std::string& made, const std::string& why) {
  RunFolders& r = g_runFolders;
  if (r.said || (r.refused.empty() && !made.empty())) return;
  r.said = true;
  const std::string said =
      "vellumark: " + r.refused +
      (made.empty() ? why + "no run folder can be made, so unsaved text will not be recovered after a kill"
                    : "run folders go to " + r.root) +
      "\n";
  std::fputs(said.c_str(), stderr);
}

// Makes the folder "<parent>/run-<pid>-XXXXXX" with this process's lock: it is made as
// "new-..." and renamed once locked, so no start ever sees it named and unlocked. "" when it
// cannot be made, with the cause in why.
std::string MakeLockedRunFolder(const std::string& parent, std::string& why) {
  const std::string pid = std::to_string(getpid());
  std::string tmpl = parent + "/new-" + pid + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (!mkdtemp(buf.data())) {
    why = parent + ": " + FileErrorCause(errno) + "; ";
    return "";
  }
  const std::string made = buf.data();
  const std::string named = parent + "/run-" + pid + made.substr(made.size() - 7);
  const int folder = open(made.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int lock = folder < 0 ? -1 : TakeRunFolderLock(folder, true);
  if (lock < 0 || rename(made.c_str(), named.c_str()) != 0) {
    why = parent + ": " + FileErrorCause(errno) + "; ";
    if (lock >= 0) close(lock);
    if (folder >= 0) unlinkat(folder, kRunFolderLock, 0), close(folder);
    rmdir(made.c_str());
    return "";
  }
  close(folder);
  g_runFolderLock = lock;
  return named;
}

// Sweeps one entry of a root open as root: the folder is opened once, never through a link,
// checked on its descriptor, and then only used through it.
void SweepEntry(int root, const std::string& rootPath, const std::string& name, bool run, time_t now) {
  const int folder = openat(root, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  struct stat st;
  // This user's folders only.
  if (fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
    close(folder);
    return;
  }
  const std::string path = rootPath + (rootPath == "/" ? "" : "/") + name;
  if (g_fsRunFolderChecked) g_fsRunFolderChecked(path);
  int lock = -1;
  bool gone = false;
  if (run) {
    // Unsaved text of an environment that was killed becomes its recovery files first; a
    // folder holding the only copy of such text stays. The lock is held throughout, so
    // another start at the same moment leaves the folder alone.
    gone = RunFolderOwnerGone(folder, name, lock) && UnsavedCopiesRecover(folder, path);
  } else {
    // A folder being made: removed only when left for ten minutes.
    lock = TakeRunFolderLock(folder, false);
    gone = (lock >= 0 || errno == ENOENT) && now - st.st_mtime >= kStaleTemporarySeconds;
  }
  if (gone) RemoveRunFolderAt(root, name.c_str(), folder);
  if (lock >= 0) close(lock);
  close(folder);
}

// Sweeps the root open as root (see FsSweepRunFolders).
void SweepRoot(int root, const std::string& rootPath, bool shared) {
  const int listed = openat(root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listed < 0 ? nullptr : fdopendir(listed);
  if (!dir) {
    if (listed >= 0) close(listed);
    return;
  }
  std::vector<std::string> runs, made;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.rfind("run-", 0) == 0) runs.push_back(name);
    else if (!shared && name.rfind("new-", 0) == 0) made.push_back(name);
  }
  closedir(dir);
  const time_t now = time(nullptr);
  for (const std::string& name : runs) SweepEntry(root, rootPath, name, true, now);
  for (const std::string& name : made) SweepEntry(root, rootPath, name, false, now);
}

}  // namespace

void (*g_fsRunFolderChecked)(const std::string& path) = nullptr;

void FsSweepRunFolders(const std::string& root, bool shared) {
  const int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  SweepRoot(fd, root, shared);
  close(fd);
}

namespace {

// Sweeps every place a run folder can be, each folder once however named.
void SweepEveryPlace() {
  // The state folder, the temporary folder's per-user folder, that of /tmp where earlier
  // versions kept them, and the temporary folders themselves (this user's "run-" folders only).
  std::vector<std::pair<dev_t, ino_t>> seen;
  const auto firstTime = [&seen](const struct stat& st) {
    if (std::find(seen.begin(), seen.end(), std::make_pair(st.st_dev, st.st_ino)) != seen.end()) return false;
    seen.emplace_back(st.st_dev, st.st_ino);
    return true;
  };
  for (const std::string& root : {StateRunRoot(), TempRunRoot(nullptr), TempRunRoot("/tmp")}) {
    struct stat st;
    int error = 0, fd = -1;
    if (root.empty() || OwnFolder(root, &st, &error, &fd) != Own::kYes) continue;
    if (firstTime(st)) SweepRoot(fd, root, false);
    close(fd);
  }
  for (const std::string& shared : {SharedTemp(), std::string("/tmp")}) {
    const int fd = open(shared.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && firstTime(st)) SweepRoot(fd, shared, true);
    if (fd >= 0) close(fd);
  }
}

}  // namespace

void FsRecoverEndedRuns() {
  RunFolders& r = g_runFolders;
  if (r.swept) return;
  r.swept = true;
  // What is kept is named on stderr: a reader gone must not end the start in the middle.
  struct sigaction ignore {}, pipe {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &pipe);
  SweepEveryPlace();
  sigaction(SIGPIPE, &pipe, nullptr);
}

const std::string& FsTempFolder() {
  if (!g_tempFolder.empty()) return g_tempFolder;
  FsRecoverEndedRuns();
  const std::string& root = RunFoldersRoot();
  std::string why;
  if (!root.empty()) g_tempFolder = MakeLockedRunFolder(root, why);
  SayWhereRunFoldersGo(g_tempFolder, why);
  if (!g_tempFolder.empty() && g_tempFolder.size() < sizeof g_tempPath) {
    std::memcpy(g_tempPath, g_tempFolder.c_str(), g_tempFolder.size() + 1);
    g_tempFolderOwner = getpid();
    // Only where a hang-up would end the process anyway (not under nohup).
    struct sigaction now {};
    if (sigaction(SIGHUP, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) {
      struct sigaction on {};
      on.sa_handler = OnHangup;
      sigemptyset(&on.sa_mask);
      sigaction(SIGHUP, &on, nullptr);
    }
  }
  return g_tempFolder;
}

void FsRemoveTempFolderInSignal() {
  if (OwnsTempFolder()) RemoveTreeAt(AT_FDCWD, g_tempPath, 0, true);
}

void FsLeaveTempFolder() {
  g_tempPath[0] = 0;
  g_tempFolder.clear();
  if (g_runFolderLock >= 0) close(g_runFolderLock);
  g_runFolderLock = -1;
}

void FsRemoveTempFolder() {
  if (g_tempFolder.empty()) return;
  const bool owner = OwnsTempFolder();
  g_tempPath[0] = 0;
  if (owner) RemoveRunFolder(g_tempFolder);
  FsLeaveTempFolder();
}

std::string FsCreateTempFile(const std::string& fileName, const void* data, size_t size) {
  const std::string& folder = FsTempFolder();
  if (folder.empty()) return "";
  std::string path = folder + "/" + fileName;
  // Replace by unlink and create, so a reader of an older copy keeps its data.
  unlink(path.c_str());
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return "";
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t w = write(fd, p + done, size - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      close(fd);
      unlink(path.c_str());
      return "";
    }
    done += size_t(w);
  }
  if (close(fd) != 0) {
    unlink(path.c_str());
    return "";
  }
  return path;
}

std::string FsConfigFolder() {
  const char* xdg = FolderFromEnvironment("XDG_CONFIG_HOME");
  const std::string home = HomeFolder();
  std::string base = xdg ? xdg : (home.empty() ? "/tmp" : home) + "/.config";
  std::string dir = base + "/vellumark";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir;
}
