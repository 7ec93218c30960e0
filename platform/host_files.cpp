#include "platform/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/fs_name_index.h"
#include "platform/fs_walk.h"
#include "platform/place_owner.h"
#include "platform/stop_request.h"

bool FsHostAbsolute(const std::string& path, std::string& out) {
  if (!path.empty() && path[0] == '/') {
    out = path;
    return true;
  }
  const std::string folder = FsCurrentFolder();
  if (folder.empty()) return false;
  out = folder == "/" ? "/" + path : folder + "/" + path;
  return true;
}

std::string FsHostFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
}

bool FsEnterHostFolder(const std::string& folder) { return chdir(folder.c_str()) == 0; }

std::string FsFindHostFile(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) == 0) return path;
  std::string out = path[0] == '/' ? "/" : "";
  for (size_t pos = 0; pos < path.size();) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    const std::string base = out.empty() || out.back() == '/' ? out : out + "/";
    std::string found;
    if (part == "." || part == ".." || lstat((base + part).c_str(), &st) == 0)
      out = base + part;
    else if (FsProgramCanSpell(part) && FsMatchInFolder(out, FsToProgramName(part), found) == FsMatch::kFound &&
             FsProgramCanSpell(found))
      out = base + found;  // no '?' stands for a letter a program cannot spell, either way
    else
      return path;
  }
  // A name ending in '/' names a folder: the name found does too.
  if (path.back() == '/' && out.back() != '/') out += '/';
  return out;
}

bool FsSameHostFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa, sb;
  const bool hasA = stat(a.c_str(), &sa) == 0, hasB = stat(b.c_str(), &sb) == 0;
  if (hasA || hasB) return hasA && hasB && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  // Neither is there yet: the file a write makes is the same when it lands under one name in
  // one folder, links followed as the write follows them.
  const std::string ta = FsHostWriteTarget(a), tb = FsHostWriteTarget(b);
  const std::string na = ta.substr(ta.rfind('/') + 1), nb = tb.substr(tb.rfind('/') + 1);
  if (ta.empty() || tb.empty() || na != nb || na.empty() || na == "." || na == "..") return false;
  const std::string fa = FsHostFolderOf(ta), fb = FsHostFolderOf(tb);
  return stat(fa.empty() ? "." : fa.c_str(), &sa) == 0 && stat(fb.empty() ? "." : fb.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FsHostFileReadOnly(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ((st.st_mode & S_IWUSR) == 0 || (access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EPERM)));
}

bool FsReplaceHostFileLocked(const std::string& path) {
  const std::string folder = FsHostFolderOf(path);
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && FsHostFileReadOnly(path)) return true;
  return stat(folder.empty() ? "." : folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

std::string FsReplaceHostFileRefusal(const std::string& path) {
  if (FsReplaceHostFileLocked(path)) return "it is read-only";
  const std::string folder = FsHostFolderOf(path);
  return access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0 ? "" : FileErrorCause(errno);
}

bool FsHostFileTrusted(const std::string& path) {
  const std::string target = FsHostWriteTarget(path);
  struct stat st;
  return !target.empty() && (lstat(target.c_str(), &st) != 0 || PlaceEntryTrusted(st, target));
}

std::string FsWriteCause(int error) {
  if (error == ENOENT && !FsOthersLinkInTheWay()) return "its folder does not exist";
  if (error == EINVAL) return "not a regular file";
  return FileErrorCause(error);
}

namespace {

// Standard streams that were closed when the process started (bit n for descriptor n).
int g_closedAtStart = 0;

// A descriptor's number as a name spells it: digits only, at most nine; -1 otherwise.
int DescriptorNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(text);
}

// The folder as the kernel reaches it, links followed ("" when it cannot be reached).
std::string RealFolder(const std::string& folder) {
  char real[PATH_MAX];
  return realpath(folder.c_str(), real) ? real : "";
}

// Whether a real folder lists this process's descriptors: /proc/PID/fd or /proc/PID/task/TID/fd.
bool OwnDescriptorFolder(const std::string& folder) {
  const std::string self = RealFolder("/proc/self");
  if (self.empty() || folder.compare(0, self.size() + 1, self + "/") != 0) return false;
  const std::string rest = folder.substr(self.size());
  if (rest == "/fd") return true;
  const std::string task = "/task/";
  return rest.compare(0, task.size(), task) == 0 && rest.size() > task.size() + 3 &&
         rest.compare(rest.size() - 3, 3, "/fd") == 0 &&
         DescriptorNumber(rest.substr(task.size(), rest.size() - task.size() - 3)) >= 0;
}

}  // namespace

void FsHoldClosedStandardStreams() {
  for (int fd = 0; fd < 3; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      g_closedAtStart |= 1 << fd;
      // Every lower number is open by now: the lowest free one, which open takes, is fd.
      static_cast<void>(open("/dev/null", O_RDWR));
    }
}

bool FsClosedAtStart(int fd) { return fd >= 0 && fd < 3 && (g_closedAtStart >> fd & 1) != 0; }

int FsDescriptorOfName(const std::string& path) {
  if (path == "-" || path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  if (path == "/dev/stdin") return 0;
  for (const std::string folder : {"/dev/fd/", "/proc/self/fd/"})
    if (path.compare(0, folder.size(), folder) == 0) {
      const int fd = DescriptorNumber(path.substr(folder.size()));
      if (fd >= 0) return fd;
      break;  // "/dev/fd/./1", "/dev/fd//1": spelled otherwise, judged below
    }
  // Any other spelling: the links of the name are followed as an open follows them, up to a name in a folder of
  // this process's descriptors: //dev/stdout, /dev/./stdout, a link to /dev/stdout and
  // /proc/thread-self/fd/1 all stand for descriptor 1.
  std::string name = path;
  for (int hops = 0; hops < 40; ++hops) {
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos) return -1;
    const std::string folder = RealFolder(slash == 0 ? "/" : name.substr(0, slash)), last = name.substr(slash + 1);
    if (folder.empty()) return -1;
    if (OwnDescriptorFolder(folder)) return DescriptorNumber(last);
    struct stat st;
    if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return -1;
    char buf[4096];
    const ssize_t n = readlink(name.c_str(), buf, sizeof buf);
    if (n <= 0 || size_t(n) >= sizeof buf) return -1;
    const std::string target(buf, size_t(n));
    name = target[0] == '/' ? target : (folder == "/" ? "" : folder) + "/" + target;
  }
  return -1;
}

bool FsWriteHostOutput(const std::string& path, const std::string& data) {
  int fd = FsDescriptorOfName(path);
  const bool given = fd >= 0;
  // Links are followed as a save follows them; the device or pipe found is opened by its own name.
  const std::string target = given ? path : FsHostWriteTarget(path);
  if (target.empty()) return false;
  struct stat st;
  if (!given && (stat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
    return FsWriteHostFileAtomic(path, data);
  // A FIFO waits for its reader, unless the run is already stopping: then one with no reader, or
  // one that does not take the data at once, is not waited for (EINTR, as a wait a stop ended).
  const bool stopping = !given && S_ISFIFO(st.st_mode) && StopSignalReceived();
  // Opened in the folder the walk judged, never in one put in its place meanwhile.
  FsWriteFolder at;
  if (!given)
    fd = FsWalkForWrite(path, true, at)
             ? openat(at.fd, at.leaf.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC | (stopping ? O_NONBLOCK : 0))
             : -1;
  if (fd < 0 && stopping && errno == ENXIO) errno = EINTR;
  if (fd < 0) return false;
  int error = 0;
  for (size_t done = 0; done < data.size() && !error;) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n > 0) done += size_t(n);
    else if (n == 0) error = ENOSPC;
    else if (stopping && errno == EAGAIN) error = EINTR;
    else if (errno != EINTR || StopSignalReceived()) error = errno;  // a stop ends a blocked write
  }
  if (!given && close(fd) != 0 && !error) error = errno;
  errno = error;
  return error == 0;
}

FsRead FsReadHostStream(const std::string& path, std::string& out, uint64_t maxBytes) {
  out.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FsRead::kMissing : FsRead::kFailed;
  // The text grows by doubling up to maxBytes; one byte more, read aside, tells a file too large.
  FsRead result = FsRead::kOk;
  size_t have = 0;
  for (;;) {
    if (StopSignalReceived()) {
      errno = EINTR;
      result = FsRead::kFailed;
      break;
    }
    ssize_t n;
    if (have < maxBytes) {
      if (have == out.size()) out.resize(size_t(std::min<uint64_t>(maxBytes, std::max<uint64_t>(65536, have * 2))));
      n = read(fd, out.data() + have, out.size() - have);
    } else {
      char beyond;
      n = read(fd, &beyond, 1);
      if (n > 0) {
        result = FsRead::kTooLarge;
        break;
      }
    }
    if (n > 0) {
      have += size_t(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      result = FsRead::kFailed;
      break;
    }
  }
  const int error = errno;
  close(fd);
  out.resize(result == FsRead::kOk ? have : 0);
  errno = error;
  return result;
}
