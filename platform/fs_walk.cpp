// The walk of a write's path from descriptors, and the plain writes made relative to the folder
// it ends in.
#include "platform/fs_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/fs.h"
#include "platform/place_owner.h"

void (*g_fsWriteWalked)(const std::string& path) = nullptr;

namespace {

constexpr int kMaxLinks = 40;

// Closes a descriptor, errno kept.
void CloseKeepingErrno(int fd) {
  const int error = errno;
  if (fd >= 0) close(fd);
  errno = error;
}


std::string JoinName(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The current folder as the kernel names it, "." where it has none.
std::string CurrentFolderPath() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : ".";
}

// The text of the link open as fd (O_PATH | O_NOFOLLOW): the very link judged.
bool ReadLinkHeld(int fd, std::string& target) {
  std::vector<char> buf(4096);
  const ssize_t n = readlinkat(fd, "", buf.data(), buf.size());
  if (n <= 0 || size_t(n) >= buf.size()) {
    if (n >= 0) errno = ENAMETOOLONG;
    return false;
  }
  target.assign(buf.data(), size_t(n));
  return true;
}

}  // namespace

FsWriteFolder::~FsWriteFolder() {
  if (fd >= 0) close(fd);
}

std::string FsWriteFolder::Join(const std::string& name) const { return JoinName(folder, name); }

bool FsWalkForWrite(const std::string& path, bool followLast, FsWriteFolder& out, bool makeFolders) {
  if (out.fd >= 0) close(out.fd);
  out.fd = -1;
  if (path.empty()) {  // refused as it was resolved
    errno = FsOthersLinkInTheWay() ? ELOOP : ENOENT;
    return false;
  }
  FsNoteOthersLink(false);
  // A name ending in '/' names a folder: a link there is followed (judged) as the kernel follows
  // it, and the last name keeps its '/' for the call that uses it.
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const bool folderNamed = trimmed.size() < path.size();
  followLast = followLast || folderNamed;
  std::vector<std::string> rest;
  if (trimmed != "/") PlacePushNames(trimmed[0] == '/' ? trimmed.substr(1) : trimmed, rest);
  std::string at = trimmed[0] == '/' ? "/" : CurrentFolderPath(), leaf = ".";
  int fd = open(trimmed[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (int hops = 0; fd >= 0 && !rest.empty();) {
    const std::string name = rest.back();
    rest.pop_back();
    const bool last = rest.empty();
    leaf = last ? (name.empty() ? "." : name) : leaf;
    if (last && (!followLast || name.empty() || name == "." || name == "..")) break;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      const int up = openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
      CloseKeepingErrno(fd);
      fd = up;
      at = at == "/" ? at : at.substr(0, std::max<size_t>(at.rfind('/'), 1));
      continue;
    }
    int next = openat(fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && last) break;  // the file is yet to be made, or its making fails as it is
    if (next < 0 && errno == ENOENT && makeFolders && (mkdirat(fd, name.c_str(), 0777) == 0 || errno == EEXIST))
      next = openat(fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (next < 0 || fstat(next, &st) != 0) {
      CloseKeepingErrno(next);
      CloseKeepingErrno(fd);
      fd = -1;
      break;
    }
    if (S_ISLNK(st.st_mode)) {
      // Judged on the link held and the folder held; followed by the text of that same link.
      std::string target;
      const bool trusted = PlaceEntryTrustedIn(st, fd, at);
      if (!trusted) FsNoteOthersLink(true);
      const bool followed = trusted && ++hops <= kMaxLinks && ReadLinkHeld(next, target) && !target.empty();
      if (!followed && (!trusted || hops > kMaxLinks)) errno = ELOOP;
      CloseKeepingErrno(next);
      if (!followed) {
        CloseKeepingErrno(fd);
        fd = -1;
        break;
      }
      while (target.size() > 1 && target.back() == '/') target.pop_back();
      if (target[0] == '/') {
        CloseKeepingErrno(fd);
        fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        at = "/";
        if (target != "/") PlacePushNames(target.substr(1), rest);
        else if (last) rest.push_back(".");
      } else {
        PlacePushNames(target, rest);
      }
      continue;
    }
    if (last) {
      close(next);
      break;
    }
    if (!S_ISDIR(st.st_mode)) {
      close(next);
      close(fd);
      fd = -1;
      errno = ENOTDIR;
      break;
    }
    close(fd);
    fd = next;
    at = JoinName(at, name);
  }
  if (fd < 0) return false;
  out.fd = fd;
  out.leaf = folderNamed && leaf != "." && leaf != ".." ? leaf + "/" : leaf;
  out.folder = at;
  if (g_fsWriteWalked) g_fsWriteWalked(path);
  return true;
}

int FsOpenForWrite(const std::string& name, int flags, unsigned mode) {
  FsWriteFolder at;
  if (!FsWalkForWrite(FsResolveForWrite(name), false, at)) return -1;
  return openat(at.fd, at.leaf.c_str(), flags, mode_t(mode));
}

bool FsUnlinkForWrite(const std::string& name, int flags) {
  FsWriteFolder at;
  return FsWalkForWrite(FsResolveForWrite(name), false, at) && unlinkat(at.fd, at.leaf.c_str(), flags) == 0;
}

bool FsMakeFolderForWrite(const std::string& name) {
  FsWriteFolder at;
  return FsWalkForWrite(FsResolveForWrite(name), false, at) && mkdirat(at.fd, at.leaf.c_str(), 0777) == 0;
}
