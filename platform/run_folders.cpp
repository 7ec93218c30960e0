// The run folders: where a process keeps its private temporary files, the lock that says it
// lives, the sweep of the folders of processes that have ended, and the settings folder.
#include "platform/run_folders.h"

#include <dirent.h>
#include <limits.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/fs.h"
#include "platform/message_name.h"
#include "platform/place_owner.h"
#include "platform/unsaved_copies.h"

void (*g_fsPlaceChecked)(const std::string& path) = nullptr;

namespace {

// How long a folder being made must have been left alone to be removed.
constexpr time_t kStaleTemporarySeconds = 10 * 60;

std::string g_tempFolder;
std::string g_configFolder;  // the settings folder as last checked

}  // namespace

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

// A hang-up ends the process: its temporary folder, and a file being written, go first.
void OnHangup(int signal) {
  if (OwnsTempFolder()) RemoveTreeAt(AT_FDCWD, g_tempPath, 0, true);
  FsRemoveWritingTempInSignal();
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

// Makes the lock file of a new folder open as folder, locked before it takes its name, so no
// sweep finds it there and free: the descriptor holding it, -1 on failure.
int TakeNewLock(int folder) {
  constexpr char kNew[] = "owner.new";
  const int fd = openat(folder, kNew, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX) == 0 && renameat(folder, kNew, folder, kRunFolderLock) == 0) return fd;
  unlinkat(folder, kNew, 0);  // errno keeps the cause: calls that succeed leave it
  close(fd);
  return -1;
}

// Whether the owner of the run folder open as folder has ended. The owner is told by the lock
// it holds on its lock file, not by its pid (another pid namespace sharing the folder has other
// pids); only a run folder of an earlier version, which has no lock file, is told by its pid
// ("run-<pid>-", none in a private folder's name), and is then taken by making its lock file,
// so one start alone keeps its text. lock receives the
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

// What a folder is to this user: its own (a real folder, not a link, of this uid, that no other
// user can change; its mode is left as it is), missing, or not its own. With held, an own folder
// stays open as *held.
enum class Own { kYes, kMissing, kNotOwn, kFailed };
Own OwnFolder(const std::string& path, struct stat* st, int* error, int* held = nullptr) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  *error = errno;
  struct stat named;
  if (fd < 0 && (errno == ELOOP || (errno == ENOTDIR && lstat(path.c_str(), &named) == 0))) return Own::kNotOwn;
  if (fd < 0) return *error == ENOENT ? Own::kMissing : Own::kFailed;
  const Own own = fstat(fd, st) != 0                                             ? Own::kFailed
                  : st->st_uid != getuid() || PlaceOthersCanChange(*st, path) ? Own::kNotOwn
                                                                                : Own::kYes;
  *error = errno;
  if (own == Own::kYes && held) *held = fd;
  else close(fd);
  return own;
}


// Why path (a full path) cannot be used, "" where it can: "other users can change <folder>" for
// the first folder above it that another user can change, or "<link>: too many links" where the
// walk cannot finish. Each folder on the way that exists is checked, and wherever a link stands
// on it, each folder the link leads through, at every hop; a link in a sticky folder that neither
// root nor the user owns can be changed by its owner. The names from the first missing one on
// are those a start makes, so ".." after them climbs back to folders checked as they are.
// resolved (when given) receives the path as walked, without a link, "." or "..": the one to
// use, which resolves as checked.
std::string ChangeableAbove(const std::string& path, std::string* resolved = nullptr) {
  std::vector<std::string> rest;
  const size_t last = path.rfind('/');
  PlacePushNames(path.substr(0, last), rest);
  std::string at = "/";  // the folder reached, every real folder above it checked
  struct stat st, in;
  if (stat(at.c_str(), &st) == 0 && PlaceOthersCanChange(st, at)) return "other users can change " + at;
  for (int hops = 0; !rest.empty();) {
    const std::string name = rest.back();
    rest.pop_back();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      at = at.substr(0, std::max<size_t>(at.rfind('/'), 1));
      continue;
    }
    // A name that is not there (nor anything below it) is made as it is reached, or refused
    // then as what is there is.
    const std::string next = (at == "/" ? "" : at) + "/" + name;
    if (lstat(next.c_str(), &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode))) {
      at = next;
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      if (stat(at.c_str(), &in) == 0 && (in.st_mode & S_ISVTX) != 0 && st.st_uid != 0 && st.st_uid != getuid())
        return "other users can change " + next;
      // A chain the walk cannot follow to its end is refused: its last link is no name to make.
      char target[PATH_MAX];
      const ssize_t n = ++hops > 40 ? -1 : readlink(next.c_str(), target, sizeof target);
      if (n <= 0 || size_t(n) >= sizeof target) return next + ": too many links";
      PlacePushNames(std::string(target, size_t(n)), rest);
      if (target[0] == '/') at = "/";
      continue;
    }
    if (PlaceOthersCanChange(st, next)) return "other users can change " + next;
    at = next;
  }
  if (resolved) *resolved = (at == "/" ? "" : at) + path.substr(last);
  return "";
}

// Opens the folder at path (a full path without links, as ChangeableAbove resolves it) from the
// root, each folder from its parent's descriptor, never through a link. Each folder found is
// checked again as it is opened: none that another user can change. With own, each missing
// folder is made (0700) from its parent's descriptor and checked again as made, and the last
// must be this user's own. Only a folder made here gets its mode set: one that was there keeps
// the mode its user gave it (a settings folder made read-only stays so). Its descriptor, or -1
// with why set.
int OpenCheckedFolder(const std::string& path, bool own, std::string& why) {
  // Folders are passed through with search permission only (O_PATH), as a folder other users
  // may only pass through (0711) allows; one whose mode may change is opened for reading.
  int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) why = FileErrorCause(errno);
  std::string at;
  for (size_t from = 1; fd >= 0 && from <= path.size();) {
    const size_t slash = std::min(path.find('/', from), path.size());
    const std::string name = path.substr(from, slash - from);
    from = slash + 1;
    if (name.empty()) continue;
    at += "/" + name;
    const bool last = from > path.size();
    constexpr int kFlags = O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int next = openat(fd, name.c_str(), kFlags | (own && last ? O_RDONLY : O_PATH));
    bool made = false;
    if (next < 0 && errno == ENOENT && own) {
      // No new entry in a folder its owner made read-only: its mode binds root too.
      struct stat parent;
      if (fstat(fd, &parent) == 0 && (parent.st_mode & S_IWUSR) == 0) errno = EACCES;
      else made = mkdirat(fd, name.c_str(), 0700) == 0;
      next = made || errno == EEXIST ? openat(fd, name.c_str(), kFlags | (made || last ? O_RDONLY : O_PATH)) : -1;
    }
    const int error = errno;
    close(fd);
    fd = next;
    struct stat st;
    if (fd < 0) {
      // A link or a file where the last folder goes is not this user's own folder.
      why = last && own && (error == ELOOP || error == ENOTDIR) ? "not this user's own folder" : FileErrorCause(error);
    } else if (fstat(fd, &st) != 0) {
      why = FileErrorCause(errno);
    } else if ((made || (own && last)) && st.st_uid != getuid()) {
      why = "not this user's own folder";  // another user's, made between the check and the making
    } else if (!made && PlaceOthersCanChange(st, at)) {
      why = "other users can change " + at + (last ? "" : " above it");
    } else if (made && (st.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0) {
      why = FileErrorCause(errno);
    } else {
      continue;
    }
    if (fd >= 0) close(fd);
    fd = -1;
  }
  return fd;
}

// Makes a folder of this user's own, the missing folders above it too (private, as a state
// folder is), each from its checked parent; "" when it is, or else why it is not. path receives
// the folder asked for as checked (see ChangeableAbove), the path to use.
std::string MakeOwnFolder(const std::string& asked, std::string& path) {
  if (const std::string why = ChangeableAbove(asked, &path); !why.empty())
    return why.rfind("other users", 0) == 0 ? why + " above it" : why;
  if (g_fsPlaceChecked) g_fsPlaceChecked(path);
  std::string why;
  const int fd = OpenCheckedFolder(path, true, why);
  if (fd >= 0) close(fd);
  return why;
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
  const std::string home = PlaceUserDatabaseHome();
  return !home.empty() && home[0] == '/' ? WithoutTrailingSlash(home) : "";
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

// Why a folder takes no run folders though it may be the user's own: "name too long" where a run
// folder in it ("run-<pid>-XXXXXX", "vellumark-<uid>-XXXXXX") with a file of any name in it
// would not fit a path; "" where they fit.
std::string RoomForRunFolders(const std::string& folder) {
  constexpr size_t kRunFolderName = 32;
  return folder.size() + 1 + kRunFolderName + 1 + NAME_MAX < PATH_MAX ? "" : FileErrorCause(ENAMETOOLONG);
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
// can change it. Each as checked: its path without links (ChangeableAbove).
const std::string& RunFoldersRoot() {
  RunFolders& r = g_runFolders;
  if (r.rootChosen) return r.root;
  r.rootChosen = true;
  const std::string state = StateRunRoot();
  std::string made;
  std::string cause = state.empty() ? "no home folder" : MakeOwnFolder(state, made);
  if (cause.empty() && (cause = RoomForRunFolders(made)).empty()) return r.root = made;
  r.refused = (state.empty() ? "" : state + ": ") + cause + "; ";
  const std::string temp = TempRunRoot(nullptr);
  std::string tempCause = MakeOwnFolder(temp, made);
  if (tempCause.empty() && (tempCause = RoomForRunFolders(made)).empty()) return r.root = made;
  r.refused += temp + ": " + tempCause + "; ";
  const std::string shared = SharedTemp();
  struct stat st;
  if (stat(shared.c_str(), &st) != 0) r.refused += shared + ": " + FileErrorCause(errno) + "; ";
  else if (std::string why = ChangeableAbove(shared + "/run", &made);
           !why.empty() || !(why = RoomForRunFolders(FsFolderOf(made))).empty())
    r.refused += shared + ": " + why + "; ";
  else r.root = FsFolderOf(made);
  return r.root;
}

// Says once where the usual place of run folders was refused, and where they go instead, or
// that none can be made (why: the last refusal), and then whether the run has a private folder
// all the same (privateMade; where not, whyNot says what refused it).
void SayWhereRunFoldersGo(const std::string& made, const std::string& why, bool privateMade,
                          const std::string& whyNot) {
  RunFolders& r = g_runFolders;
  if (r.said || (r.refused.empty() && !made.empty())) return;
  r.said = true;
  std::string end = "run folders go to " + r.root;
  if (made.empty())
    end = privateMade ? why + "no run folder can be made, so the run's files go to " + g_tempFolder
                      : why + whyNot + "no temporary folder can be made";
  std::fputs((std::string(MessageName()) + ": " + r.refused + end + "\n").c_str(), stderr);
}

// Makes a new folder "<prefix>XXXXXX" (0700) from the descriptor of its checked parent, and
// checks it as made: this user's, not a link. Its descriptor, or -1 with errno set; name
// receives its name.
int MakeFreshFolderAt(int parent, const std::string& prefix, std::string& name) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = prefix;
    for (int k = 0; k < 6; ++k) name += kChars[random() % 62];
    if (mkdirat(parent, name.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == getuid() &&
        ((st.st_mode & 07777) == 0700 || fchmod(fd, 0700) == 0))
      return fd;
    if (fd >= 0) close(fd);
    errno = EEXIST;
    return -1;
  }
  errno = EEXIST;
  return -1;
}

// Where no run folder can be made: a private folder of this run's own (0700), for its files, in
// the first temporary folder that takes one and that no other user can change ($TMPDIR, /tmp
// last), made from its descriptor as checked. It holds this process's lock as a run folder does,
// so a start sweeping that temporary folder after a kill keeps its text. "" when none takes it,
// with the causes not said already (said: what is) in why.
std::string MakePrivateFolder(const std::string& said, std::string& why) {
  const std::string places[] = {SharedTemp(), "/tmp"};
  for (size_t k = 0; k < (places[0] == places[1] ? 1u : 2u); ++k) {
    const std::string& temp = places[k];
    std::string cause, checked;
    if (cause = ChangeableAbove(temp + "/run", &checked); cause.empty() &&
        (cause = RoomForRunFolders(FsFolderOf(checked))).empty()) {
      const std::string parent = FsFolderOf(checked);
      const int above = OpenCheckedFolder(parent, false, cause);
      std::string name;
      const int folder = above < 0 ? -1 : MakeFreshFolderAt(above, "vellumark-" + std::to_string(getuid()) + "-", name);
      if (folder >= 0) g_runFolderLock = TakeNewLock(folder);
      if (above >= 0 && g_runFolderLock < 0) cause = FileErrorCause(errno);
      if (folder >= 0 && g_runFolderLock < 0) unlinkat(above, name.c_str(), AT_REMOVEDIR);
      if (folder >= 0) close(folder);
      if (above >= 0) close(above);
      if (g_runFolderLock >= 0) return (parent == "/" ? "" : parent) + "/" + name;  // none held before
    }
    if (said.find(temp + ": ") == std::string::npos) why += temp + ": " + cause + "; ";
  }
  return "";
}

// Makes the folder "<parent>/run-<pid>-XXXXXX" with this process's lock, from the descriptor of
// its checked parent: it is made as "new-..." and renamed once locked, so no start ever sees it
// named and unlocked. "" when it cannot be made, with the cause in why.
std::string MakeLockedRunFolder(const std::string& parent, std::string& why) {
  const std::string pid = std::to_string(getpid());
  std::string cause, made;
  const int above = OpenCheckedFolder(parent, false, cause);
  const int folder = above < 0 ? -1 : MakeFreshFolderAt(above, "new-" + pid + "-", made);
  const int lock = folder < 0 ? -1 : TakeRunFolderLock(folder, true);
  const std::string name = "run-" + pid + made.substr(std::min(made.size(), made.size() - 7));
  if (lock < 0 || renameat(above, made.c_str(), above, name.c_str()) != 0) {
    why = parent + ": " + (cause.empty() ? FileErrorCause(errno) : cause) + "; ";
    if (lock >= 0) close(lock);
    if (folder >= 0) unlinkat(folder, kRunFolderLock, 0), close(folder);
    if (folder >= 0) unlinkat(above, made.c_str(), AT_REMOVEDIR);
    if (above >= 0) close(above);
    return "";
  }
  close(folder);
  close(above);
  g_runFolderLock = lock;
  return (parent == "/" ? "" : parent) + "/" + name;
}

// Whether a file name is one a run writes in its run folder: its lock and records, its work
// files, and the temporaries of its writes.
bool IsRunFileName(const std::string& name) {
  static const char* const kNames[] = {kRunFolderLock,   kRunFolderCopies, kRunFolderWork,      "owner.new",
                                       "workfile.tmp",   "workfil2.tmp",   "workfile.wav",      "workfile.x",
                                       "program.img",    "_exefile.dat",   "_exesource.vka",    "input.txt",
                                       "session_input.txt"};
  for (const char* known : kNames)
    if (name == known) return true;
  const bool temporary = name.rfind(".vk-", 0) == 0 && name.size() > 8 && name.compare(name.size() - 4, 4, ".tmp") == 0;
  return temporary || (name.rfind("_virtual.", 0) == 0 && name.find('/') == std::string::npos);
}

// Whether the folder open as folder holds nothing but regular files a run writes there (a folder
// holding anything else, a subfolder or a file of the user's, is never the run's to remove), and
// with proof, also a run's lock or record: in a place other users share a name alone proves
// nothing (a script's "mktemp -d /tmp/run-$$-XXXXXX" is named as a run folder).
bool HoldsOnlyRunFiles(int folder, bool proof) {
  const int listed = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listed < 0 ? nullptr : fdopendir(listed);
  if (!dir) {
    if (listed >= 0) close(listed);
    return false;
  }
  bool proved = !proof, only = true;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (!IsRunFileName(name) || fstatat(folder, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
      only = false;
      break;
    }
    proved = proved || name == kRunFolderLock || name == kRunFolderCopies || name == kRunFolderWork;
  }
  closedir(dir);
  return proved && only;
}

// Sweeps one entry of a root open as root: the folder is opened once, never through a link,
// checked on its descriptor, and then only used through it. Only a folder holding nothing but a
// run's files is looked into further; in a place others share (shared) only one that proves it
// is a run's.
void SweepEntry(int root, const std::string& rootPath, const std::string& name, bool run, bool shared, time_t now) {
  const int folder = openat(root, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  struct stat st;
  // This user's folders only.
  if (fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || !HoldsOnlyRunFiles(folder, shared)) {
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
  // A temporary folder's private folders of last resort ("vellumark-<uid>-XXXXXX") are swept
  // as run folders are.
  const std::string own = "vellumark-" + std::to_string(getuid()) + "-";
  std::vector<std::string> runs, made;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.rfind("run-", 0) == 0 || (shared && name.size() == own.size() + 6 && name.rfind(own, 0) == 0))
      runs.push_back(name);
    else if (!shared && name.rfind("new-", 0) == 0) made.push_back(name);
  }
  closedir(dir);
  const time_t now = time(nullptr);
  for (const std::string& name : runs) SweepEntry(root, rootPath, name, true, shared, now);
  for (const std::string& name : made) SweepEntry(root, rootPath, name, false, shared, now);
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
  std::string why, whyNot;
  if (!root.empty()) g_tempFolder = MakeLockedRunFolder(root, why);
  const std::string made = g_tempFolder;
  if (made.empty()) g_tempFolder = MakePrivateFolder(g_runFolders.refused + why, whyNot);
  SayWhereRunFoldersGo(made, why, !g_tempFolder.empty(), whyNot);
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

std::string FsTempFolderFile(const std::string& name) {
  const std::string& folder = FsTempFolder();
  return folder.empty() ? "" : folder + "/" + name;
}

std::string FsConfigFolder() {
  const char* xdg = FolderFromEnvironment("XDG_CONFIG_HOME");
  const std::string home = HomeFolder();
  // No home: a folder of this user's own in /tmp, which no other user can make first or change.
  const std::string asked = !xdg && home.empty() ? TempRunRoot("/tmp")
                                                 : (xdg ? WithoutTrailingSlash(xdg) : home + "/.config") + "/vellumark";
  // Checked as a place of run folders is, once while it stays as it was checked.
  static std::string checkedAsked, saidFor;
  static struct stat checked;
  std::string& checkedMade = g_configFolder;
  struct stat st;
  if (asked == checkedAsked && lstat(checkedMade.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
      st.st_dev == checked.st_dev && st.st_ino == checked.st_ino && st.st_uid == checked.st_uid &&
      st.st_mode == checked.st_mode)
    return checkedMade;
  std::string made;
  const std::string cause = MakeOwnFolder(asked, made);
  if (cause.empty() && lstat(made.c_str(), &checked) == 0) {
    checkedAsked = asked;
    return checkedMade = made;
  }
  // Said once for each folder asked for, however often it is asked.
  if (saidFor != asked)
    std::fprintf(stderr, "%s: no settings folder can be made: %s: %s\n", MessageName(), asked.c_str(), cause.c_str());
  saidFor = asked;
  return "";
}

bool FsConfigFolderLocked(const std::string& folder) {
  struct stat st;
  return !g_configFolder.empty() && folder == g_configFolder && stat(folder.c_str(), &st) == 0 &&
         (st.st_mode & S_IWUSR) == 0;
}

std::string FsConfigFile(const std::string& name) {
  const std::string folder = FsConfigFolder();
  return folder.empty() ? "" : folder + "/" + name;
}
