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
#include <filesystem>
#include <tuple>

#include "platform/codepage.h"
#include "platform/fs.h"
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

// Rename that fails when the target exists, also on file systems without RENAME_NOREPLACE.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return false;
  if (lstat(from.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    if (link(from.c_str(), to.c_str()) != 0) return false;
    unlink(from.c_str());
    return true;
  }
  return rename(from.c_str(), to.c_str()) == 0;
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
  int fd = open(FsResolveForWrite(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  return true;
}

FsNewFile FsWriteNewFile(const std::string& path, const std::string& data, const FsAccess& access) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) return FsNewFile::kTaken;
  // Written whole into a temporary first, then linked to the name: link() never replaces
  // anything (a dangling link included), and a cut write leaves no file under the name. The
  // temporary has its access before the data goes in.
  std::string temp;
  const int fd = FsCreateTempBeside(path, temp);
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
  FsNewFile made = FsNewFile::kFailed;
  if (ok && link(temp.c_str(), path.c_str()) == 0) made = FsNewFile::kWritten;
  else if (ok && errno == EEXIST) made = FsNewFile::kTaken;
  unlink(temp.c_str());
  if (held >= 0) close(held);
  // The name is on the disk once the folder is; a name that may not survive is no copy.
  if (made == FsNewFile::kWritten && !FsFlushFolder(FsFolderOf(path))) {
    unlink(path.c_str());
    made = FsNewFile::kFailed;
  }
  return made;
}

bool FsCopyFile(const std::string& from, const std::string& to, const FsAccess* access) {
  int in = open(FsResolve(from).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  std::string target = FsResolveForWrite(to);
  struct stat existing;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode) || lstat(target.c_str(), &existing) == 0) {
    close(in);
    return false;
  }
  std::string temp;
  int out = FsCreateTempBeside(to, temp);
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
  if (ok && RenameNoReplace(temp, target)) return true;
  unlink(temp.c_str());
  return false;
}

bool FsMoveFile(const std::string& from, const std::string& to) {
  std::string source = FsResolveForWrite(from);  // taken out of its folder
  struct stat st;
  if (from.empty() || lstat(source.c_str(), &st) != 0) return false;
  std::string target = FsResolveForWrite(to);
  if (RenameNoReplace(source, target)) return true;
  if (errno != EXDEV || !S_ISREG(st.st_mode)) return false;
  return FsCopyFile(from, to) && unlink(source.c_str()) == 0;
}

bool FsMakeFolder(const std::string& name) {
  return !name.empty() && mkdir(FsResolveForWrite(name).c_str(), 0777) == 0;
}

bool FsMakeFolders(const std::string& name) {
  if (name.empty()) return false;
  std::error_code ec;
  std::string path = FsResolveForWrite(name);
  if (path.empty()) {  // fits more than one folder, or behind another user's link
    errno = FsOthersLinkInTheWay() ? ELOOP : ENOENT;
    return false;
  }
  std::filesystem::create_directories(path, ec);
  const int error = ec.value();
  if (std::filesystem::is_directory(path, ec)) return true;
  errno = error ? error : ENOTDIR;
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
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) return removeTop && unlink(path.c_str()) == 0;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DeleteContentsAt(fd);
  close(fd);
  // A folder that stays (its own folder not writable, a file in it that could not go) is no
  // folder deleted.
  return !removeTop || IsDriveRoot(RealPath(path)) || rmdir(path.c_str()) == 0;
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
  const std::string path = writing ? FsHostWriteTarget(FsResolveForWrite(top)) : FsResolve(top);
  if (path.empty()) {
    errno = FsOthersLinkInTheWay() ? ELOOP : ENOENT;
    return -1;
  }
  int cur = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
  int fd = open(FsHostWriteTarget(FsResolveForWrite(name)).c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok && offset >= 0 && offset < st.st_size) ok = pwrite(fd, &value, 1, offset) == 1;
  ok = close(fd) == 0 && ok;
  return ok;
}
