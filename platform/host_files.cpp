#include "platform/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/fs_name_index.h"
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
  struct stat sa, sb;
  return a == b || (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
                    sa.st_ino == sb.st_ino);
}

std::string FsWriteCause(int error) {
  if (error == ENOENT) return "its folder does not exist";
  if (error == EINVAL) return "not a regular file";
  return FileErrorCause(error);
}

int FsDescriptorOfName(const std::string& path) {
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (const char* folder : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::string prefix = folder;
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size() || path.size() > prefix.size() + 9)
      continue;
    int fd = 0;
    for (size_t k = prefix.size(); k < path.size(); ++k) {
      if (path[k] < '0' || path[k] > '9') return -1;
      fd = fd * 10 + (path[k] - '0');
    }
    return fd;
  }
  return -1;
}

bool FsWriteHostOutput(const std::string& path, const std::string& data) {
  int fd = FsDescriptorOfName(path);
  const bool given = fd >= 0;
  struct stat st;
  if (!given && (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
    return FsWriteHostFileAtomic(path, data);
  if (!given) fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  int error = 0;
  for (size_t done = 0; done < data.size() && !error;) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n > 0) done += size_t(n);
    else if (n == 0) error = ENOSPC;
    else if (errno != EINTR) error = errno;
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
