// Drives, and the file and folder operations of the path layer: copies and moves that never
// replace a target, deletes and walks that never follow a link. Files are opened without
// blocking, so a pipe or device under a file's name is refused by its kind instead of
// holding the program.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/host_files.h"
#include "platform/place_owner.h"

namespace {

std::string g_drives[26] = {"", "", "/"};

int DriveIndex(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return -1;
}

std::string RealPath(const std::string& path) {
  char* r = realpath(path.c_str(), nullptr);
  if (!r) return "";
  std::string s = r;
  std::free(r);
  return s;
}

// Rename that fails when the target exists, also on file systems without RENAME_NOREPLACE, each
// name in the folder open as its descriptor.
bool RenameNoReplace(const FsWriteFolder& from, const FsWriteFolder& to) {
  const char *source = from.leaf.c_str(), *target = to.leaf.c_str();
  if (renameat2(from.fd, source, to.fd, target, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat st;
  if (fstatat(to.fd, target, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  if (fstatat(from.fd, source, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) {
    if (linkat(from.fd, source, to.fd, target, 0) != 0) return false;
    unlinkat(from.fd, source, 0);
    return true;
  }
  return renameat(from.fd, source, to.fd, target) == 0;
}

bool CopyFd(int in, int out) {
  static constexpr size_t kChunk = 1 << 20;
  std::vector<char> buf(kChunk);
  for (;;) {
    ssize_t n = read(in, buf.data(), kChunk);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buf.data() + done, size_t(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += w;
    }
  }
}

// Names of a folder's entries but "." and "..", read in one go so the folder is not held open.
std::vector<std::string> EntryNames(int dirFd) {
  std::vector<std::string> names;
  int copy = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return names;
  DIR* d = fdopendir(copy);
  if (!d) {
    close(copy);
    return names;
  }
  rewinddir(d);
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(std::move(n));
  }
  closedir(d);
  return names;
}

void DeleteContentsAt(int dirFd) {
  for (const std::string& name : EntryNames(dirFd)) {
    struct stat st;
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) {
        DeleteContentsAt(sub);
        close(sub);
      }
      unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    } else {
      unlinkat(dirFd, name.c_str(), 0);
    }
  }
}

void ListTreeAt(int dirFd, const std::string& prefix, std::vector<std::string>& out) {
  for (const std::string& name : EntryNames(dirFd)) {
    struct stat st;
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(st.st_mode)) {
      out.push_back(prefix + name);
    } else if (S_ISDIR(st.st_mode)) {
      int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) continue;
      ListTreeAt(sub, prefix + name + "/", out);
      close(sub);
    }
  }
}

// An entry of a listing with its name on disk, and its place: "." and ".." first, then by
// name ignoring case in the text code page's alphabet, then byte for byte (and by the name on
// disk where two read alike).
struct Listed {
  int rank;
  std::string folded, host;
  FsEntry entry;
  bool operator<(const Listed& o) const {
    return std::tie(rank, folded, entry.name, host) < std::tie(o.rank, o.folded, o.entry.name, o.host);
  }
};

bool IsDriveRoot(const std::string& real) {
  for (const std::string& root : g_drives)
    if (!root.empty() && RealPath(root) == real) return true;
  return false;
}

}  // namespace

void FsSetDriveRoot(char letter, const std::string& hostFolder) {
  int i = DriveIndex(letter);
  if (i >= 0) g_drives[i] = hostFolder;
}

void FsResetDrives() {
  for (std::string& d : g_drives) d.clear();
  g_drives[2].assign(1, '/');
}

std::string FsDriveRoot(char letter) {
  int i = DriveIndex(letter);
  return i >= 0 ? g_drives[i] : std::string();
}

std::string FsToProgramPath(const std::string& hostPath) {
  int best = -1;
  size_t bestLength = 0;
  for (int i = 0; i < 26; ++i) {
    std::string root = g_drives[i];
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (root.empty()) continue;
    bool inside = root == "/" ? !hostPath.empty() && hostPath[0] == '/'
                              : hostPath.compare(0, root.size(), root) == 0 &&
                                    (hostPath.size() == root.size() || hostPath[root.size()] == '/');
    if (inside && (best < 0 || root.size() > bestLength)) {
      best = i;
      bestLength = root.size();
    }
  }
  std::string path;
  if (best < 0) {
    path = FsToSystemPath(hostPath);
  } else {
    std::string rest = bestLength == 1 ? hostPath.substr(1) : hostPath.substr(std::min(hostPath.size(), bestLength + 1));
    path = {char('A' + best), ':', '\\'};
    path.append(FsToSystemPath(rest));
  }
  FsNoteSpelledPath(hostPath, path);
  return path;
}

bool FsPathExists(const std::string& name) {
  struct stat st;
  return !name.empty() && stat(FsResolve(name).c_str(), &st) == 0;
}

int64_t FsFileSize(const std::string& name) {
  int fd = open(FsResolve(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  int64_t size = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? int64_t(st.st_size) : -1;
  close(fd);
  return size;
}

bool FsIsReadOnly(const std::string& name) {
  struct stat st;
  if (stat(FsResolve(name).c_str(), &st) != 0) return true;
  return (st.st_mode & S_IWUSR) == 0;
}

bool FsReadOnlyTarget(const std::string& name) {
  const std::string path = name.empty() ? "" : FsResolveForWrite(name);
  const std::string target = path.empty() ? "" : FsHostWriteTarget(path);
  struct stat st;
  if (target.empty() || stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return (st.st_mode & S_IWUSR) == 0 || (access(target.c_str(), W_OK) != 0 && (errno == EACCES || errno == EPERM));
}

std::string FsProgramWriteCause(const std::string& name, int error) {
  if (name.empty()) return "no name given";
  // The failed write's own resolve tells these, before another name is resolved.
  const bool folderMissing = error == ENOENT && !FsNameFitsMany() && !FsOthersLinkInTheWay();
  const std::string cause = FileErrorCause(error);
  if (FsReadOnlyTarget(name)) return "it is read-only";
  const std::string path = FsResolveForWrite(name);
  struct stat st;
  if (!path.empty() && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
  return folderMissing ? "its folder does not exist" : cause;
}

bool FsMakeFileExclusive(const std::string& name) {
  int fd = FsOpenForWrite(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  return true;
}

FsNewFile FsWriteNewFile(const std::string& path, const std::string& data, const FsAccess& access) {
  FsWriteFolder at;
  if (!FsWalkForWrite(path, false, at)) return FsNewFile::kFailed;
  struct stat st;
  if (fstatat(at.fd, at.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return FsNewFile::kTaken;
  // Written whole into a temporary first, then linked to the name: link() never replaces
  // anything (a dangling link included), and a cut write leaves no file under the name. The
  // temporary has its access before the data goes in.
  std::string temp;
  const int fd = FsCreateTempIn(at, temp);
  if (fd < 0) return FsNewFile::kFailed;
  bool ok = FsGiveAccess(fd, access);
  for (size_t done = 0; ok && done < data.size();) {
    const ssize_t w = write(fd, data.data() + done, data.size() - done);
    if (w >= 0) done += size_t(w);
    else ok = errno == EINTR;
  }
  // On the disk before it has a name: a power cut never leaves the name on an empty file.
  ok = ok && FsFlushFile(fd);
  // Its lock is held until it is linked and gone (FsRemoveEndedTemporaries).
  const int held = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  ok = close(fd) == 0 && ok;
  // The name is given in the folder walked, where the temporary was made beside it.
  const std::string tempName = temp.substr(temp.rfind('/') + 1);
  FsNewFile made = FsNewFile::kFailed;
  if (ok && linkat(at.fd, tempName.c_str(), at.fd, at.leaf.c_str(), 0) == 0) made = FsNewFile::kWritten;
  else if (ok && errno == EEXIST) made = FsNewFile::kTaken;
  unlinkat(at.fd, tempName.c_str(), 0);
  if (held >= 0) close(held);
  // The name is on the disk once the folder is; a name that may not survive is no copy.
  const int folder = openat(at.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (made == FsNewFile::kWritten && (folder < 0 || !FsFlushFile(folder))) {
    unlinkat(at.fd, at.leaf.c_str(), 0);
    made = FsNewFile::kFailed;
  }
  if (folder >= 0) close(folder);
  return made;
}

bool FsCopyFile(const std::string& from, const std::string& to, const FsAccess* access) {
  int in = open(FsResolve(from).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  FsWriteFolder target;
  struct stat existing;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode) || !FsWalkForWrite(FsResolveForWrite(to), false, target) ||
      fstatat(target.fd, target.leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    close(in);
    return false;
  }
  std::string temp;
  int out = FsCreateTempIn(target, temp);
  if (out < 0) {
    close(in);
    return false;
  }
  // The copy has the source's bits and group before any byte goes in (FsAccess): no one the
  // source is closed to can open it.
  bool ok = FsGiveAccess(out, access ? *access : FsAccess{uint32_t(st.st_mode) & 0777, int64_t(st.st_gid)}) &&
            CopyFd(in, out);
  close(in);
  ok = close(out) == 0 && ok;
  // The temporary stands beside the target, in the folder its walk judged.
  FsWriteFolder made;
  made.fd = fcntl(target.fd, F_DUPFD_CLOEXEC, 0);
  made.leaf = temp.substr(temp.rfind('/') + 1);
  if (ok && made.fd >= 0 && RenameNoReplace(made, target)) return true;
  unlinkat(target.fd, made.leaf.c_str(), 0);
  return false;
}

bool FsMoveFile(const std::string& from, const std::string& to) {
  FsWriteFolder source, target;  // the source is taken out of its folder
  struct stat st;
  if (from.empty() || !FsWalkForWrite(FsResolveForWrite(from), false, source) ||
      fstatat(source.fd, source.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  if (!FsWalkForWrite(FsResolveForWrite(to), false, target)) return false;
  if (RenameNoReplace(source, target)) return true;
  if (errno != EXDEV || !S_ISREG(st.st_mode)) return false;
  return FsCopyFile(from, to) && unlinkat(source.fd, source.leaf.c_str(), 0) == 0;
}

bool FsMakeFolder(const std::string& name) { return !name.empty() && FsMakeFolderForWrite(name); }

bool FsMakeFolders(const std::string& name) {
  if (name.empty()) return false;
  // Each folder is made from its parent's descriptor, the walk judging each link on the way.
  FsWriteFolder at;
  if (!FsWalkForWrite(FsResolveForWrite(name), false, at, true)) return false;
  struct stat st;
  if (mkdirat(at.fd, at.leaf.c_str(), 0777) != 0 && errno != EEXIST) return false;
  if (fstatat(at.fd, at.leaf.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

bool FsIsProtectedFolder(const std::string& name) {
  std::string real = RealPath(FsResolve(name));
  if (real.empty()) return false;
  if (real == "/") return true;
  // The home folder itself, or a folder that holds it.
  auto holds = [&](const std::string& home) {
    const std::string h = home.empty() ? "" : RealPath(home);
    return !h.empty() && (h == real || h.starts_with(real + "/"));
  };
  const char* home = std::getenv("HOME");
  return (home && *home && holds(home)) || holds(PlaceUserDatabaseHome());
}

bool FsDeleteTree(const std::string& name, bool removeTop) {
  if (name.empty() || FsIsProtectedFolder(name)) return false;
  std::string path = FsResolveForWrite(name);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  FsWriteFolder at;
  struct stat st;
  if (!FsWalkForWrite(path, false, at) || fstatat(at.fd, at.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(st.st_mode)) return removeTop && unlinkat(at.fd, at.leaf.c_str(), 0) == 0;
  int fd = openat(at.fd, at.leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DeleteContentsAt(fd);
  close(fd);
  // A folder that stays (its own folder not writable, a file in it that could not go) is no
  // folder deleted.
  return !removeTop || IsDriveRoot(RealPath(path)) || unlinkat(at.fd, at.leaf.c_str(), AT_REMOVEDIR) == 0;
}

bool FsListFolder(const std::string& name, std::vector<FsEntry>& out) {
  out.clear();
  std::string path = FsResolve(name);
  if (path.empty() && !name.empty()) return false;  // a name that fits more than one folder
  DIR* d = opendir(path.empty() ? "." : path.c_str());
  if (!d) return false;
  std::vector<Listed> listed;
  const int32_t page = TextCodePage();
  while (dirent* e = readdir(d)) {
    FsEntry entry;
    entry.name = FsToProgramName(e->d_name);
    struct stat st;
    if (fstatat(dirfd(d), e->d_name, &st, 0) == 0 || fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.folder = S_ISDIR(st.st_mode);
      entry.size = S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
      entry.writeTime = int64_t(st.st_mtime);
    }
    const int rank = entry.name == "." ? 0 : entry.name == ".." ? 1 : 2;
    listed.push_back({rank, CodePageSortKey(page, entry.name), e->d_name, std::move(entry)});
  }
  closedir(d);
  std::sort(listed.begin(), listed.end());
  for (Listed& e : listed) out.push_back(std::move(e.entry));
  return true;
}

bool FsListTreeFiles(const std::string& top, std::vector<std::string>& out) {
  out.clear();
  int fd = open(FsResolve(top).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  ListTreeAt(fd, "", out);
  close(fd);
  return true;
}

namespace {

// The folder holding the last part of relative below top, reached without following a link
// (missing folders made with create): its descriptor and, in leaf, that last part; -1 when a
// part is ".." or the walk fails. A walk that writes (writing) takes top as a write takes its
// target: never through another user's link where others can write (errno ELOOP).
int OpenParentBelow(const std::string& top, const std::string& relative, bool create, std::string& leaf,
                    bool writing) {
  int cur = -1;
  if (writing) {
    FsWriteFolder at;
    if (FsWalkForWrite(FsResolveForWrite(top), true, at))
      cur = openat(at.fd, at.leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } else {
    const std::string path = FsResolve(top);
    if (path.empty()) {
      errno = ENOENT;
      return -1;
    }
    cur = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  size_t pos = 0;
  while (cur >= 0) {
    size_t slash = relative.find('/', pos);
    std::string part = relative.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    if (part == "..") break;
    if (slash == std::string::npos) {
      if (part.empty() || part == ".") break;
      leaf = part;
      return cur;
    }
    pos = slash + 1;
    if (part.empty() || part == ".") continue;
    int next = openat(cur, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && create && errno == ENOENT && mkdirat(cur, part.c_str(), 0777) == 0)
      next = openat(cur, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int saved = errno;
    close(cur);
    errno = saved;
    cur = next;
  }
  if (cur >= 0) {
    close(cur);
    errno = EINVAL;  // a ".." part or no file name
  }
  return -1;
}

}  // namespace

int FsOpenBelow(const std::string& top, const std::string& relative, bool create) {
  std::string leaf;
  const int folder = OpenParentBelow(top, relative, create, leaf, create);
  if (folder < 0) return -1;
  const int fd = create ? openat(folder, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)
                        : openat(folder, leaf.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  const int saved = errno;
  close(folder);
  errno = saved;
  return fd;
}

bool FsRemoveBelow(const std::string& top, const std::string& relative) {
  std::string leaf;
  const int folder = OpenParentBelow(top, relative, false, leaf, true);
  if (folder < 0) return false;
  const bool removed = unlinkat(folder, leaf.c_str(), 0) == 0;
  close(folder);
  return removed;
}

bool FsPeekByte(const std::string& name, int64_t offset, uint8_t* value) {
  int fd = open(FsResolve(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  *value = 0;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && offset >= 0 && offset < st.st_size)
    if (pread(fd, value, 1, offset) != 1) *value = 0;
  close(fd);
  return true;
}

bool FsPokeByte(const std::string& name, int64_t offset, uint8_t value) {
  if (FsReadOnlyTarget(name)) {
    errno = EACCES;
    return false;
  }
  // A link is written through to its target as a save's is (FsHostWriteTarget).
  FsWriteFolder at;
  int fd = FsWalkForWrite(FsResolveForWrite(name), true, at)
               ? openat(at.fd, at.leaf.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)
               : -1;
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok && offset >= 0 && offset < st.st_size) ok = pwrite(fd, &value, 1, offset) == 1;
  ok = close(fd) == 0 && ok;
  return ok;
}
