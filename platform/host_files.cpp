#include "platform/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs_name_index.h"

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

bool FsWriteHostOutput(const std::string& path, const std::string& data) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
    return FsWriteHostFileAtomic(path, data);
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  int error = 0;
  for (size_t done = 0; done < data.size() && !error;) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n > 0) done += size_t(n);
    else if (n == 0) error = ENOSPC;
    else if (errno != EINTR) error = errno;
  }
  if (close(fd) != 0 && !error) error = errno;
  errno = error;
  return error == 0;
}
