// A swept run folder is opened once and used only through that descriptor: a name swapped for a
// link after the check leads nowhere. Run folders go only where no other user can move them,
// and the environment's folders count only as full paths.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs.h"
#include "platform/unsaved_copies.h"
#include "tests/support/file_flags.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string kHeader = "Rem * Title  : \r\nRem * Author : \r\nRem * Date   : \r\n";

std::string Record(const std::string& run, const std::string& project) {
  std::string entry;
  for (const std::string& field : {run + "/workfile.tmp", project + "/game.vka", project, std::string("game.vka"),
                                   std::to_string(kHeader.size()), std::string()})
    entry += field + '\0';
  return entry;
}

// A run folder as a kill leaves it: its lock file free (none for an earlier version's), its
// work file listed with the text typed.
void MakeEndedRun(const std::string& run, const std::string& project, const std::string& typed, bool lock = true) {
  fs::create_directories(run);
  fs::create_directories(project);
  const auto write = [](const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
  };
  if (lock) write(run + "/owner.lock", "");
  write(run + "/workfile.tmp", kHeader + typed);
  write(run + "/work.rec", Record(run, project));
}

// Every file under the folder with its content: what a sweep must leave as it was.
std::string Listing(const std::string& folder) {
  std::string out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    out += e.path().string() + "\n";
    if (e.is_regular_file()) {
      FILE* f = fopen(e.path().c_str(), "rb");
      for (int c; f && (c = fgetc(f)) != EOF;) out += char(c);
      if (f) fclose(f);
    }
  }
  return out;
}

class ScopedConfig {
 public:
  explicit ScopedConfig(const std::string& folder) {
    if (const char* was = getenv("XDG_CONFIG_HOME")) was_ = was, had_ = true;
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  }
  ~ScopedConfig() { had_ ? (void)setenv("XDG_CONFIG_HOME", was_.c_str(), 1) : (void)unsetenv("XDG_CONFIG_HOME"); }

 private:
  std::string was_;
  bool had_ = false;
};

int OpenDescriptors() {
  int n = 0;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) n += !e.path().empty();
  return n;
}

std::string g_swapTrap;
// Between the check and the use: the folder is moved aside and its name becomes a link to
// another user's folder, which holds a run folder's files of its own.
void SwapForLink(const std::string& path) {
  fs::rename(path, path + ".aside");
  fs::create_directory_symlink(g_swapTrap, path);
}

// Nothing is read, locked, made or removed through the link: the trap is as it was, its text is
// kept nowhere, and the folder that was checked is the one whose text is kept. A folder put in
// the name's place instead is not removed with the one checked.
TEST(RunFolderSweep, ANameSwappedForALinkAfterTheCheckLeadsNowhere) {
  for (const bool lock : {true, false}) {
    SCOPED_TRACE(lock ? "a run folder with its lock file" : "an earlier version's, without one");
    TempDir dir;
    const ScopedConfig config(dir.File("config"));
    const std::string root = dir.File("root"), run = root + "/run-2147483647-abcdef";
    g_swapTrap = dir.File("trap/run-2147483647-abcdef");
    MakeEndedRun(run, dir.File("project"), "mine\r\n", lock);
    MakeEndedRun(g_swapTrap, dir.File("elsewhere"), "theirs\r\n", false);
    const std::string trapBefore = Listing(dir.File("trap")), elsewhereBefore = Listing(dir.File("elsewhere"));
    g_fsRunFolderChecked = SwapForLink;
    testing::internal::CaptureStderr();
    FsSweepRunFolders(root, false);
    const std::string err = testing::internal::GetCapturedStderr();
    g_fsRunFolderChecked = nullptr;
    EXPECT_EQ(Listing(dir.File("trap")), trapBefore);
    EXPECT_EQ(Listing(dir.File("elsewhere")), elsewhereBefore);
    EXPECT_EQ(err.find("theirs"), std::string::npos) << err;
    EXPECT_EQ(dir.Read("project/game.vka.recovered"), "mine\r\n");
    EXPECT_TRUE(fs::is_symlink(run));
    EXPECT_FALSE(fs::exists(run + ".aside/work.rec"));
  }
  TempDir dir;
  const ScopedConfig config(dir.File("config"));
  const std::string run = dir.File("root/run-2147483647-abcdef");
  MakeEndedRun(run, dir.File("project"), "mine\r\n");
  g_fsRunFolderChecked = [](const std::string& path) {
    fs::rename(path, path + ".aside");
    fs::create_directory(path);
  };
  FsSweepRunFolders(dir.File("root"), false);
  g_fsRunFolderChecked = nullptr;
  EXPECT_TRUE(fs::is_directory(run));
  EXPECT_EQ(dir.Read("project/game.vka.recovered"), "mine\r\n");
}

// Files of a run folder are never read through a link: a work file, a record or a copy that is
// a link (to a file of the user's, say), or a work file that is no file, is refused and named,
// the folder stays, and no descriptor is left open.
TEST(RunFolderSweep, LinksInARunFolderAreNotFollowed) {
  const struct {
    const char* name;
    const char* linked;  // the file made a link to the user's secret
    const char* said;
  } cases[] = {{"a work file", "workfile.tmp", "workfile.tmp: not a regular file"},
               {"the work record", "work.rec", "work.rec is damaged"},
               {"a copy", "../project/.game.vka.unsaved-1-1", ".game.vka.unsaved-1-1: not a copy of the run"},
               {"a work file that is a folder", "", "workfile.tmp: not a regular file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const ScopedConfig config(dir.File("config"));
    const std::string run = dir.File("run-1-x");
    MakeEndedRun(run, dir.File("project"), "typed\r\n");
    dir.Write("secret", kHeader + "secret\r\n");
    if (std::string(c.linked) == "work.rec") dir.Write("secret", Record(run, dir.File("project")));
    if (c.linked[0] == '.') {  // the copy's record alone
      fs::remove(run + "/work.rec");
      const std::string project = dir.File("project");
      dir.Write("run-1-x/unsaved.rec", project + "/.game.vka.unsaved-1-1" + '\0' + project + "/game.vka.recovered" +
                                           '\0' + "game.vka" + '\0');
    }
    if (c.linked[0]) {
      fs::remove(run + "/" + c.linked);
      fs::create_symlink(dir.File("secret"), run + "/" + c.linked);
    } else {
      fs::remove(run + "/workfile.tmp");
      fs::create_directory(run + "/workfile.tmp");
    }
    const int open = OpenDescriptors();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(UnsavedCopiesRecover(run));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(OpenDescriptors(), open);
    EXPECT_NE(err.find(c.said), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir.File("project/game.vka.recovered")));
    EXPECT_FALSE(fs::exists(dir.File("config/vellumark/game.vka.recovered")));
  }
}

// A copy in the project folder swapped after its check (for a link to a file of the user's, or
// for another file) is never made the recovery file: it is named as not the run's, the
// recovery name is taken back, and the file put there stays as it was; so is a copy whose
// recovery name holds another file just after it is linked, and the copy stays. A copy that
// cannot be linked is named where it is; one gone meanwhile was kept.
TEST(RunFolderSweep, ACopySwappedAfterItsCheckIsNotLinked) {
  static std::string swapIn;
  for (const char* kind : {"link", "file", "no link", "gone", "file after the link"}) {
    SCOPED_TRACE(kind);
    TempDir dir;
    const ScopedConfig config(dir.File("config"));
    const std::string run = dir.File("run-1-x"), project = dir.File("project");
    MakeEndedRun(run, project, "typed\r\n");
    fs::remove(run + "/work.rec");
    const std::string copy = project + "/.game.vka.unsaved-1-1";
    dir.Write("project/.game.vka.unsaved-1-1", "typed\r\n");
    dir.Write("run-1-x/unsaved.rec", copy + '\0' + project + "/game.vka.recovered" + '\0' + "game.vka" + '\0');
    dir.Write("secret", "secret\r\n");
    swapIn = project + "/swap";
    if (std::string(kind) == "no link") {
      // A folder that takes no new name: the copy stays, and is named where it is.
      if (!SetImmutable(project, true)) continue;
      testing::internal::CaptureStderr();
      EXPECT_FALSE(UnsavedCopiesRecover(run));
      const std::string err = testing::internal::GetCapturedStderr();
      SetImmutable(project, false);
      EXPECT_NE(err.find("game.vka are kept in " + copy + "\n"), std::string::npos) << err;
      continue;
    }
    if (std::string(kind) == "gone") {
      // Kept meanwhile by the ending process itself: nothing is left to say.
      g_unsavedCopyChecked = [](const char* checked) { fs::remove(checked); };
      testing::internal::CaptureStderr();
      EXPECT_TRUE(UnsavedCopiesRecover(run));
      g_unsavedCopyChecked = nullptr;
      EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
      continue;
    }
    if (std::string(kind) == "file after the link") {
      g_unsavedCopyLinked = [](const char* name) {
        fs::remove(name);
        if (FILE* other = fopen(name, "w")) fclose(other);
      };
      testing::internal::CaptureStderr();
      EXPECT_FALSE(UnsavedCopiesRecover(run));
      const std::string err = testing::internal::GetCapturedStderr();
      g_unsavedCopyLinked = nullptr;
      EXPECT_NE(err.find(".game.vka.unsaved-1-1: not a copy of the run"), std::string::npos) << err;
      EXPECT_EQ(dir.Read("project/.game.vka.unsaved-1-1"), "typed\r\n");
      continue;
    }
    if (std::string(kind) == "link") fs::create_symlink(dir.File("secret"), swapIn);
    else dir.Write("project/swap", "notes\r\n");
    g_unsavedCopyChecked = [](const char* checked) { fs::rename(swapIn, checked); };
    testing::internal::CaptureStderr();
    EXPECT_FALSE(UnsavedCopiesRecover(run));
    const std::string err = testing::internal::GetCapturedStderr();
    g_unsavedCopyChecked = nullptr;
    EXPECT_NE(err.find(".game.vka.unsaved-1-1: not a copy of the run"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(project + "/game.vka.recovered"))) << err;
    EXPECT_EQ(dir.Read("secret"), "secret\r\n");
  }
}

// A record a run never leaves, empty (as a machine stop leaves it), is damaged: the folder
// stays and its work files are named.
TEST(RunFolderSweep, AnEmptyRecordKeepsTheFolderAndNamesTheWorkFiles) {
  for (const char* record : {"work.rec", "unsaved.rec"}) {
    SCOPED_TRACE(record);
    TempDir dir;
    const ScopedConfig config(dir.File("config"));
    const std::string run = dir.File("root/run-2147483647-abcdef");
    MakeEndedRun(run, dir.File("project"), "typed\r\n");
    dir.Write("root/run-2147483647-abcdef/workfil2.tmp", kHeader + "other\r\n");
    dir.Write(std::string("root/run-2147483647-abcdef/") + record, "");
    testing::internal::CaptureStderr();
    FsSweepRunFolders(dir.File("root"), false);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fs::exists(run + "/workfile.tmp"));
    EXPECT_NE(err.find(std::string(record) + " is damaged): they are in " + run + "/workfil2.tmp\n"),
              std::string::npos)
        << err;
    if (std::string(record) == "work.rec") {
      EXPECT_NE(err.find("they are in " + run + "/workfile.tmp\n"), std::string::npos) << err;
    }
  }
}

// Under load, sweeps meet a name that is now the folder, now a link to another user's: the link
// is never followed, whatever the moment.
TEST(RunFolderSweep, ANameSwappedWhileSweepsRunIsNeverFollowed) {
  TempDir dir;
  const ScopedConfig config(dir.File("config"));
  const std::string root = dir.File("root"), name = root + "/run-2147483647-abcdef";
  const std::string trap = dir.File("trap/run-2147483647-abcdef");
  MakeEndedRun(trap, dir.File("elsewhere"), "theirs\r\n", false);
  const std::string trapBefore = Listing(dir.File("trap"));
  fs::create_directories(root);
  std::atomic<bool> done{false};
  std::thread swapper([&] {
    for (int k = 0; k < 1000; ++k) {
      std::error_code ec;
      MakeEndedRun(dir.File("aside"), dir.File("project"), "mine\r\n");
      fs::rename(dir.File("aside"), name, ec);
      fs::rename(name, dir.File("gone"), ec);
      fs::create_directory_symlink(trap, name, ec);
      fs::remove(name, ec);
      fs::remove_all(dir.File("gone"), ec);
      fs::remove_all(dir.File("aside"), ec);
    }
    done = true;
  });
  testing::internal::CaptureStderr();
  while (!done) FsSweepRunFolders(root, false);
  swapper.join();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Listing(dir.File("trap")), trapBefore);
  EXPECT_EQ(err.find("theirs"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("elsewhere/game.vka.recovered")));
}

// A sweep closes every descriptor it opens, whatever it meets: another user's folder, a link, an
// ended run, a live one, a folder being made.
TEST(RunFolderSweep, ASweepLeavesNoDescriptorOpen) {
  TempDir dir;
  const ScopedConfig config(dir.File("config"));
  const std::string root = dir.File("root");
  MakeEndedRun(root + "/run-2147483647-ended", dir.File("project"), "typed\r\n");
  MakeEndedRun(root + "/run-2147483647-live", dir.File("project"), "live\r\n");
  const int live = open((root + "/run-2147483647-live/owner.lock").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  fs::create_directories(root + "/run-2147483647-theirs");
  fs::create_directories(root + "/new-2147483647-young");
  if (geteuid() == 0) {
    ASSERT_EQ(chown((root + "/run-2147483647-theirs").c_str(), 65534, 65534), 0);
  }
  fs::create_directory_symlink(dir.File("project"), root + "/run-2147483647-link");
  const int before = OpenDescriptors();
  testing::internal::CaptureStderr();
  FsSweepRunFolders(root, false);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_FALSE(fs::exists(root + "/run-2147483647-ended"));
  EXPECT_TRUE(fs::exists(root + "/run-2147483647-live/work.rec"));
  close(live);
}

// Only what a start's sweep says goes to the environment's status line.
TEST(RunFolderSweep, OnlyTheSweepsWordsAreKeptForTheStatusLine) {
  TempDir dir;
  const ScopedConfig config(dir.File("config"));
  UnsavedTakeSweepSaid();
  testing::internal::CaptureStderr();
  UnsavedSayKept("a.vka", dir.File("a.vka.recovered"));
  MakeEndedRun(dir.File("root/run-2147483647-ended"), dir.File("project"), "typed\r\n");
  MakeEndedRun(dir.File("root/run-2147483647-damaged"), dir.File("project"), "typed\r\n");
  dir.Write("root/run-2147483647-damaged/work.rec", "");
  FsSweepRunFolders(dir.File("root"), false);
  UnsavedSayKept("b.vka", dir.File("b.vka.recovered"));
  testing::internal::GetCapturedStderr();
  const std::vector<std::string> said = UnsavedTakeSweepSaid();
  EXPECT_EQ(std::set<std::string>(said.begin(), said.end()),
            (std::set<std::string>{"the unsaved changes of game.vka are kept in " + dir.File("project/game.vka.recovered"),
                                   "the unsaved changes of an ended run could not be kept (" +
                                       dir.File("root/run-2147483647-damaged/work.rec") + " is damaged): they are in " +
                                       dir.File("root/run-2147483647-damaged/workfile.tmp")}));
  EXPECT_TRUE(UnsavedTakeSweepSaid().empty());
}

// Whether a process may have a mount namespace of its own.
bool MountNamespacePossible() {
  const pid_t pid = fork();
  if (pid == 0) _exit(unshare(CLONE_NEWNS) == 0 ? 0 : 1);
  int status = -1;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A user of uid 256 or more, with a private group of its own (named as it, with no other
// member), that a test can start as: this user, or as root any such user; {0, 0} for none.
std::pair<uid_t, gid_t> UserOfALargeId() {
  struct User {
    uid_t uid;
    gid_t gid;
    std::string name;
  };
  std::vector<User> users;
  setpwent();
  while (const passwd* user = getpwent()) users.push_back({user->pw_uid, user->pw_gid, user->pw_name});
  endpwent();
  for (const User& user : users) {
    if (user.uid < 256 || user.uid == 65534 || (geteuid() != 0 && user.uid != getuid())) continue;
    const group* g = getgrgid(user.gid);
    bool alone = g && user.name == g->gr_name && !g->gr_mem[0];
    for (const User& other : users) alone = alone && (other.gid != user.gid || other.uid == user.uid);
    if (alone) return {user.uid, user.gid};
  }
  return {0, 0};
}

// Where a fresh process makes its run folder (the places are decided once a process), and what
// it says: the environment's folders count only as full paths, nothing is made under the working
// folder, a place below a folder another user can change is refused (through every link on the
// way, and another user's link in a sticky folder; a group-writable home counts as the user's
// where the group is the user's own under every entry of its id, and no access list lets another
// write), a place is used as it was checked (without its links; ".." after a missing name
// climbs as it will be made), a folder that cannot be made says why, and where none can be made
// that is said, and the run has a private folder (0700) in /tmp all the same.
TEST(RunFolderPlaces, OnlyWhereNoOtherUserCanMoveThem) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::optional<TempDir> made;
  const char* given = getenv("VK_RUN_PLACES_DIR");
  if (!given) made.emplace();
  const std::string top = given ? given : made->path();
  setenv("VK_RUN_PLACES_DIR", top.c_str(), 1);
  const std::string tmpRoot = "/tmp/vellumark-" + std::to_string(getuid());
  const std::pair<uid_t, gid_t> big = UserOfALargeId();
  // The folders the cases that fall back to /tmp or the home make there are not left behind.
  std::vector<std::string> madeHere;
  const passwd* account = getpwuid(getuid());
  for (std::string f : {tmpRoot, std::string(account && account->pw_dir ? account->pw_dir : "") + "/.local/state/vellumark"})
    for (; f.size() > 1 && !fs::exists(f); f = fs::path(f).parent_path()) madeHere.push_back(f);
  const struct {
    const char* name;
    const char* state;  // XDG_STATE_HOME; "-" unset; "@" the base folder before it
    const char* home;
    const char* tmp;
    std::string root;   // where the run folder is made, below the base unless full; "/tmp" where
                        // none can be made (the run's private folder is there)
    std::string said;   // stderr, a pattern; "@" the base folder
    bool nobody = false;
  } cases[] = {
      {"a relative state folder", "state", "@home", "@tmp", "home/.local/state/vellumark", "^$"},
      {"a relative temporary folder", "@file", "@home", "tmp", tmpRoot,
       "^vellumark: @file/vellumark: a part of the path is not a folder; run folders go to " + tmpRoot + "\n$"},
      {"an empty temporary folder", "@file", "@home", "", tmpRoot, "run folders go to " + tmpRoot + "\n$"},
      {"a file others can write on the way", "@open-file/state", "@home", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @open-file/state/vellumark: a part of the path is not a folder; run folders go to @tmp/vellumark-"},
      {"a folder above that others can write", "@open/state", "@home", "@tmp", "tmp/vellumark-" +
       std::to_string(getuid()), "^vellumark: @open/state/vellumark: other users can change @open above it; "
       "run folders go to @tmp/vellumark-"},
      {"a link to a folder below one others can write", "@link/state", "@home", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()), "^vellumark: @link/state/vellumark: other users can change @open"},
      {"a folder above of another user", "@theirs/state", "@home", "@tmp", "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @theirs/state/vellumark: other users can change @theirs above it"},
      {"a relative home", "-", "home", "@tmp", "~/.local/state/vellumark", "^$"},
      {"two links, the first to a folder below one others can write", "@two/a/s", "@home", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @two/a/s/vellumark: other users can change @two/x above it"},
      {"a relative link up to the root and down below a folder others can write", "@up/a/s", "@home", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @up/a/s/vellumark: other users can change @two/x above it"},
      {"a chain of 41 links to a folder others can write", "@chain/l1/s", "@home", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @chain/l1/s/vellumark: @chain/l41: too many links; run folders go to @tmp/vellumark-"},
      {"a link that leads round", "@round/s", "@home", "@tmp", "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @round/s/vellumark: @round: too many links; run folders go to @tmp/vellumark-"},
      {"a home its user's own group may write", "-", "@mine", "@tmp", "mine/.local/state/vellumark", "^$"},
      {"a home another group may write", "-", "@shared", "@tmp", "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @shared/.local/state/vellumark: other users can change @shared above it"},
      {"another user's link in a sticky folder, reached back by '..'", "@file", "@home", "@sticky/sub/../theirs",
       "/tmp", "^vellumark: @file/vellumark: a part of the path is not a folder; @sticky/sub/../theirs/vellumark-"
       "[0-9]+: other users can change @sticky/theirs above it; @sticky/sub/../theirs: other users can change "
       "@sticky/theirs; no run"},
      {"root's link in a sticky folder, seen by another user", "@file", "@home", "@sticky/roots", "nobodys/vellumark-"
       "65534", "^vellumark: @file/vellumark: a part of the path is not a folder; run folders go to "
       "@nobodys/vellumark-65534\n$", true},
      {"another user's sticky folder above", "@theirsticky/state", "@home", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @theirsticky/state/vellumark: other users can change @theirsticky above it"},
      {"the user's own link in a sticky folder, used as it leads", "@file", "@home", "@sticky/mine",
       "tmp/vellumark-" + std::to_string(getuid()), "run folders go to @tmp/vellumark-[0-9]+\n$"},
      {"a missing name, then up below a folder others can write", "@home/nx/../../open/s", "@home", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()),
       "^vellumark: @home/nx/../../open/s/vellumark: other users can change @open above it"},
      {"a home whose access list lets another user write", "-", "@acl", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()), "^vellumark: @acl/.local/state/vellumark: other users can change "
       "@acl above it"},
      {"a home whose access list lets another group write", "-", "@aclgroup", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()), "^vellumark: @aclgroup/.local/state/vellumark: other users can "
       "change @aclgroup above it"},
      {"a home whose access list names only its user", "-", "@aclself", "@tmp", "aclself/.local/state/vellumark",
       "^$"},
      {"a home whose access list's mask takes another user's writing away", "-", "@aclmasked", "@tmp",
       "aclmasked/.local/state/vellumark", "^$"},
      {"a home whose access list has 65 read-only entries of other users", "-", "@acl65", "@tmp",
       "acl65/.local/state/vellumark", "^$"},
      {"a home whose access list names its user, of a uid of 256 or more", "-", "@aclbig", "@tmp",
       "aclbig/.local/state/vellumark", "^$"},
      {"a home of another group whose access list adds writing for its user only", "-", "@aclowngroup", "@tmp",
       "aclowngroup/.local/state/vellumark", "^$"},
      {"a home of another group whose access list lets that group write", "-", "@aclgroupwrites", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()), "^vellumark: @aclgroupwrites/.local/state/vellumark: other "
       "users can change @aclgroupwrites above it"},
      {"a home whose access list lets root write, of a uid of 256 or more", "-", "@aclroot", "@tmp",
       "aclroot/.local/state/vellumark", "^$"},
      {"a home of a group another entry of its id gives another user", "-", "@twin", "@tmp",
       "tmp/vellumark-" + std::to_string(getuid()), "^vellumark: @twin/.local/state/vellumark: other users can "
       "change @twin above it"},
      {"a home below a folder others may only pass through, seen by another user", "-", "@pass/home", "@tmp",
       "pass/home/.local/state/vellumark", "^$", true},
      {"no place at all", "@open/state", "@home", "@open", "/tmp",
       "@open/vellumark-[0-9]+: other users can change @open above it; @open: other users can change @open; "
       "no run folder can be made, so the run's files go to /tmp/vellumark-[0-9]+-......\n$"},
      {"an unchangeable folder", "@fixed/state", "@home", "@fixed", "/tmp",
       "^vellumark: @fixed/state/vellumark: permission denied; @fixed/vellumark-[0-9]+: permission denied; "
       "@fixed: permission denied; no run folder can be made"},
      {"no permission", "@closed/state", "@home", "@closed", "/tmp",
       "^vellumark: @closed/state/vellumark: permission denied; @closed/vellumark-[0-9]+: permission denied; "
       "@closed: permission denied; no run folder can be made", true},
  };
  for (size_t k = 0; k < std::size(cases); ++k) {
    const auto& c = cases[k];
    SCOPED_TRACE(c.name);
    // Only root can give a folder away; a group of the user's own is one named as the user.
    const std::string name = c.name;
    const bool twin = name.find("another entry of its id") != std::string::npos;
    if ((name == "a folder above of another user" || name == "a home another group may write" ||
         name.find("another user's") != std::string::npos || name.find("seen by another") != std::string::npos ||
         name.find("of another group") != std::string::npos ||
         twin) &&
        geteuid() != 0)
      continue;
    const group* mine = getgrgid(getgid());
    const passwd* self = getpwuid(getuid());
    const bool asBig = name.find("256 or more") != std::string::npos;
    if ((name == "a home its user's own group may write" || name.find("access list") != std::string::npos) &&
        !asBig && (!mine || !self || std::string(mine->gr_name) != self->pw_name || mine->gr_mem[0]))
      continue;
    if (asBig && big.first == 0) continue;  // no such user to start as
    // The cases that use this machine's own folders need them as a start finds them usable.
    const auto own = [](const std::string& path) {
      struct stat st;
      return lstat(path.c_str(), &st) != 0 ? errno == ENOENT : S_ISDIR(st.st_mode) && st.st_uid == getuid();
    };
    const passwd* user = getpwuid(getuid());
    if (c.root == tmpRoot && !own(tmpRoot)) continue;
    if (c.root[0] == '~' && (!user || !user->pw_dir || user->pw_dir[0] != '/' || !fs::is_directory(user->pw_dir) ||
                             !own(user->pw_dir)))
      continue;
    const std::string base = top + "/" + std::to_string(k);
    const auto at = [&base](std::string text) {
      for (size_t p; (p = text.find('@')) != std::string::npos;) text.replace(p, 1, base + "/");
      return text;
    };
    if (!given) {
      // Made as under the usual umask, whatever the suite's: the cases run as another user reach
      // these folders as such a user's own start would.
      struct KeepUmask {
        mode_t was;
        ~KeepUmask() { umask(was); }
      } keep{umask(022)};
      for (const char* folder : {"cwd", "tmp", "home", "open", "closed"}) fs::create_directories(base + "/" + folder);
      for (const char* name : {"/file", "/open-file"})
        if (FILE* file = fopen((base + name).c_str(), "w")) fclose(file);
      chmod((base + "/open-file").c_str(), 0666);
      chmod((base + "/open").c_str(), 0777);
      chmod((base + "/closed").c_str(), 0555);
      chmod(top.c_str(), 0755);
      chmod(base.c_str(), 0755);
      fs::create_directories(base + "/fixed");
      SetImmutable(base + "/fixed", true);
      fs::create_directories(base + "/theirs");
      if (geteuid() == 0 && chown((base + "/theirs").c_str(), 65534, 65534) != 0) FAIL() << "chown";
      fs::create_directories(base + "/open/inner");
      chmod((base + "/open/inner").c_str(), 0700);
      fs::create_directory_symlink(base + "/open/inner", base + "/link");
      for (const char* folder : {"two/x/y", "two/z", "mine", "shared"}) fs::create_directories(base + "/" + folder);
      chmod((base + "/two/x").c_str(), 0777);
      fs::create_directory_symlink(base + "/two/x/y", base + "/two/a");
      fs::create_directory_symlink("../../z", base + "/two/x/y/s");
      // up/a leads to up/y, whose s climbs to the root by name and down to a folder below two/x.
      fs::create_directories(base + "/up/y");
      fs::create_directory_symlink(base + "/up/y", base + "/up/a");
      std::string climb;
      for (const char c : base + "/up/y")
        if (c == '/') climb += "../";
      fs::create_directory_symlink(climb + base.substr(1) + "/two/x/y", base + "/up/y/s");
      fs::create_directory_symlink(base + "/round", base + "/round");
      fs::create_directories(base + "/chain");
      for (int n = 1; n <= 41; ++n)
        fs::create_directory_symlink(n == 41 ? base + "/open" : base + "/chain/l" + std::to_string(n + 1),
                                     base + "/chain/l" + std::to_string(n));
      chmod((base + "/mine").c_str(), 0775);
      chmod((base + "/shared").c_str(), 0775);
      if (geteuid() == 0 && chown((base + "/shared").c_str(), 0, 65534) != 0) FAIL() << "chown";
      // A sticky folder with a link of another user's and one of the user's own to tmp.
      fs::create_directories(base + "/sticky");
      chmod((base + "/sticky").c_str(), 01777);
      fs::create_directory_symlink(base + "/tmp", base + "/sticky/theirs");
      fs::create_directory_symlink(base + "/tmp", base + "/sticky/mine");
      fs::create_directories(base + "/sticky/sub");
      if (geteuid() == 0 && lchown((base + "/sticky/theirs").c_str(), 65534, 65534) != 0) FAIL() << "lchown";
      // Root's link there to a folder of nobody's; a sticky folder of nobody's.
      fs::create_directories(base + "/nobodys");
      fs::create_directory_symlink(base + "/nobodys", base + "/sticky/roots");
      fs::create_directories(base + "/theirsticky");
      chmod((base + "/theirsticky").c_str(), 01777);
      if (geteuid() == 0 && (chown((base + "/nobodys").c_str(), 65534, 65534) != 0 ||
                             chown((base + "/theirsticky").c_str(), 65534, 65534) != 0))
        FAIL() << "chown";
      // 0755 homes with an access list entry user:nobody:rwx, group:nogroup:rwx, user:<the user>:rwx
      // or user:nobody:rwx masked to r-x (its mask shows as the group's bits).
      // Also 65 read-only entries of other users, and one naming a user of uid 256 or more (as
      // which the start runs), its own home, or root. And homes of nogroup (its mask writing)
      // whose own group entry is r-x or rwx, and that add user:<the user>:rwx.
      const struct {
        const char* home;
        uint32_t tag, id, mask, perm = 7, count = 1, groupPerm = 5;
        bool nogroup = false;
      } lists[] = {{"/acl", 0x02, 65534, 7},           {"/aclgroup", 0x08, 65534, 7},
                   {"/aclself", 0x02, getuid(), 7},    {"/aclmasked", 0x02, 65534, 5},
                   {"/acl65", 0x02, 10000, 7, 4, 65},  {"/aclbig", 0x02, big.first, 7},
                   {"/aclroot", 0x02, 0, 7},           {"/aclowngroup", 0x02, getuid(), 7, 7, 1, 5, true},
                   {"/aclgroupwrites", 0x02, getuid(), 7, 7, 1, 7, true}};
      for (const auto& [folder, tag, id, mask, perm, count, groupPerm, nogroup] : lists) {
        const std::string home = base + folder;
        fs::create_directories(home);
        // The user it starts as reaches its working folder, whatever the umask.
        if ((std::string(folder) == "/aclbig" || std::string(folder) == "/aclroot") && geteuid() == 0 &&
            (chown(home.c_str(), big.first, big.second) != 0 || chmod((base + "/cwd").c_str(), 0755) != 0))
          FAIL() << "chown";
        if (nogroup && geteuid() == 0 && chown(home.c_str(), getuid(), 65534) != 0) FAIL() << "chown";
        const uint32_t none = 0xFFFFFFFF;
        std::vector<std::array<uint32_t, 3>> entries{
            {0x01, 7, none}, {0x04, groupPerm, none}, {0x10, mask, none}, {0x20, 5, none}};
        for (uint32_t n = 0; n < count; ++n) entries.push_back({tag, perm, id + n});
        std::sort(entries.begin(), entries.end());  // in the order of their tags and ids
        std::string acl(4, '\0');
        acl[0] = 2;
        for (const auto& e : entries)
          for (const auto& [value, bytes] : {std::pair{e[0], 2}, {e[1], 2}, {e[2], 4}})
            for (int b = 0; b < bytes; ++b) acl += char(value >> (8 * b) & 0xFF);
        setxattr(home.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0);
      }
      // A home of nobody's in a folder others may only pass through.
      fs::create_directories(base + "/pass/home");
      chmod((base + "/pass").c_str(), 0711);
      if (geteuid() == 0 && chown((base + "/pass/home").c_str(), 65534, 65534) != 0) FAIL() << "chown";
      // A 0775 home of the user's own group, whose id a second group entry gives nobody.
      fs::create_directories(base + "/twin");
      chmod((base + "/twin").c_str(), 0775);
    }
    if (name.find("access list") != std::string::npos &&
        getxattr(at(c.home).c_str(), "system.posix_acl_access", nullptr, 0) <= 0)
      continue;  // no access lists here
    // The group database as a start sees it (in a mount namespace of its own): with a second
    // entry of the user's group id.
    const std::string groupFile = top + "/group";
    if (twin && (!mine || !self || std::string(mine->gr_name) != self->pw_name || mine->gr_mem[0] ||
                 !MountNamespacePossible()))
      continue;
    if (twin && !given) {
      fs::copy_file("/etc/group", groupFile, fs::copy_options::overwrite_existing);
      std::FILE* f = std::fopen(groupFile.c_str(), "a");
      ASSERT_TRUE(f);
      std::fprintf(f, "vktwin:x:%u:nobody\n", unsigned(getgid()));
      std::fclose(f);
    }
    if (std::string(c.name) == "an unchangeable folder" && !IsImmutable(base + "/fixed")) continue;  // no such flag
    const auto start = [&] {
      if (c.nobody && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(7);
      if (asBig && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(big.second) != 0 || setuid(big.first) != 0))
        _exit(7);
      if (chdir((base + "/cwd").c_str()) != 0) _exit(6);
      if (twin && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                   mount(groupFile.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) != 0))
        _exit(9);
      for (const auto& [name, value] : {std::pair{"XDG_STATE_HOME", c.state}, {"HOME", c.home}, {"TMPDIR", c.tmp}})
        if (std::string(value) == "-") unsetenv(name);
        else setenv(name, at(value).c_str(), 1);
      close(0);  // with no standard input, descriptor 0 is the first a start opens
      const int descriptors = OpenDescriptors();
      const std::string run = FsTempFolder();
      const std::string root = c.root.empty() || c.root[0] == '/' ? c.root
                               : c.root[0] == '~'                 ? std::string(user ? user->pw_dir : "") + c.root.substr(1)
                                                                  : base + "/" + c.root;
      struct stat made {};
      const bool there = !run.empty() && FsFolderOf(run) == root, closed = stat(run.c_str(), &made) == 0 &&
                                                                         (made.st_mode & 07777) == 0700;
      // Its lock is held, wherever it is, so no start sweeps it meanwhile.
      const int lock = open((run + "/owner.lock").c_str(), O_RDONLY | O_CLOEXEC);
      const bool held = lock >= 0 && flock(lock, LOCK_EX | LOCK_NB) != 0;
      if (lock >= 0) close(lock);
      FsRemoveTempFolder();
      // Made and gone, it leaves no descriptor open.
      const bool left = OpenDescriptors() != descriptors;
      _exit(!there ? 3 : !closed ? 5 : !held ? 10 : !fs::is_empty(base + "/cwd") ? 4 : fs::exists(run) ? 8 : left ? 11 : 0);
    };
    EXPECT_EXIT(start(), testing::ExitedWithCode(0), at(c.said));
  }
  for (size_t k = 0; !given && k < std::size(cases); ++k) SetImmutable(top + "/" + std::to_string(k) + "/fixed", false);
  for (size_t k = 0; !given && k < madeHere.size(); ++k) rmdir(madeHere[k].c_str());
  unsetenv("VK_RUN_PLACES_DIR");
}

std::string g_madeBetween;  // the folder another user makes once the path to it is checked
void MakeTheirsBetween(const std::string& path) {
  if (path.rfind(g_madeBetween + "/", 0) != 0) return;
  if (mkdir(g_madeBetween.c_str(), 0777) != 0 || chmod(g_madeBetween.c_str(), 0777) != 0 ||
      chown(g_madeBetween.c_str(), 65534, 65534) != 0)
    _exit(12);
}

// Each folder is made from the folder checked above it and checked again as made: one another
// user makes in a sticky folder between the check and the making is refused; the settings
// folder is checked as the places of run folders are.
TEST(RunFolderPlaces, EachFolderIsMadeAsItWasChecked) {
  // Each start is a fresh process (places are chosen once a process), in the test's folder.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::optional<TempDir> made;
  const char* given = getenv("VK_MADE_AS_CHECKED_DIR");
  if (!given) made.emplace();
  const std::string top = given ? given : made->path();
  setenv("VK_MADE_AS_CHECKED_DIR", top.c_str(), 1);
  const auto file = [&top](const std::string& name) { return top + "/" + name; };
  ASSERT_EQ(chmod(top.c_str(), 0755), 0);
  for (const auto& [folder, mode] : {std::pair{"sticky", 01777}, {"open", 0777}, {"tmp", 0700}}) {
    fs::create_directories(file(folder));
    ASSERT_EQ(chmod(file(folder).c_str(), mode_t(mode)), 0);
  }
  const struct {
    const char* name;
    const char* state;   // XDG_STATE_HOME below the test's folder
    const char* config;  // XDG_CONFIG_HOME
    const char* said;    // stderr, a pattern; "@" the test's folder
  } cases[] = {
      {"a folder another user makes between the check and the making", "sticky/me/state", "tmp/config",
       "^vellumark: @sticky/me/state/vellumark: other users can change @sticky/me above it; run folders go to "
       "@tmp/vellumark-[0-9]+\n$"},
      {"settings below a folder others can change", "tmp/state", "open/config",
       "^vellumark: no settings folder can be made: @open/config/vellumark: other users can change @open above "
       "it\n$"},
      {"a settings folder others can change that keeps its mode", "tmp/state", "fixed",
       "^vellumark: no settings folder can be made: @fixed/vellumark: other users can change @fixed/vellumark\n$"},
  };
  fs::create_directories(file("fixed/vellumark"));
  chmod(file("fixed/vellumark").c_str(), 0777);
  const bool fixed = SetImmutable(file("fixed/vellumark"), true);  // root only
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool between = std::string(c.state).rfind("sticky/me", 0) == 0;
    if (between && geteuid() != 0) continue;  // only root can make a folder of another user's
    if (std::string(c.config) == "fixed" && !fixed) continue;
    std::string said = c.said;
    for (size_t p; (p = said.find('@')) != std::string::npos;) said.replace(p, 1, top + "/");
    const auto start = [&] {
      setenv("XDG_STATE_HOME", file(c.state).c_str(), 1);
      setenv("XDG_CONFIG_HOME", file(c.config).c_str(), 1);
      setenv("TMPDIR", file("tmp").c_str(), 1);
      g_madeBetween = file("sticky/me");
      g_fsPlaceChecked = MakeTheirsBetween;
      const std::string run = FsTempFolder(), config = FsConfigFolder();
      const bool placed = !run.empty() && run.rfind(file("tmp/"), 0) == 0;
      const bool settings = between ? config == file("tmp/config/vellumark") : config.empty();
      FsRemoveTempFolder();
      _exit(!placed ? 3 : !settings ? 4 : fs::exists(file("sticky/me/state")) || !fs::is_empty(file("open")) ? 5 : 0);
    };
    EXPECT_EXIT(start(), testing::ExitedWithCode(0), said);
    fs::remove_all(file("sticky/me"));
  }
  SetImmutable(file("fixed/vellumark"), false);
  unsetenv("VK_MADE_AS_CHECKED_DIR");
}

// Without a home (HOME unset, none in the user database), the settings go to a folder of the
// user's own in /tmp, made private; one another user made first there is never taken, and that
// is said once. Run by root as a user with no name, in a /tmp of its own.
TEST(RunFolderPlaces, SettingsWithoutAHomeAreTheUsersOwn) {
  constexpr uid_t kNoName = 4321;
  if (geteuid() != 0 || getpwuid(kNoName)) GTEST_SKIP() << "needs root and a user with no home";
  for (const char* how : {"free", "made by another user", "/tmp writable by the user's group"}) {
    SCOPED_TRACE(how);
    const bool taken = std::string(how) != "free", groupTmp = how[0] == '/';
    TempDir dir;
    const std::string own = "/vellumark-" + std::to_string(kNoName);
    fs::create_directories(dir.File("tmp"));
    ASSERT_EQ(chmod(dir.File("tmp").c_str(), groupTmp ? 0775 : 01777), 0);
    // A user with no name has no private group: its group's writing is others'.
    ASSERT_EQ(chown(dir.File("tmp").c_str(), 0, groupTmp ? kNoName : 0), 0);
    if (taken && !groupTmp) {
      fs::create_directories(dir.File("tmp") + own);
      ASSERT_EQ(chmod((dir.File("tmp") + own).c_str(), 0777), 0);
      dir.Write("tmp" + own + "/WIN.INI", "[Settings]\r\n");
    }
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    if (child == 0) {
      dup2(err[1], 2);
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount(dir.File("tmp").c_str(), "/tmp", nullptr, MS_BIND, nullptr) != 0)
        _exit(125);
      if (setgroups(0, nullptr) != 0 || setgid(kNoName) != 0 || setuid(kNoName) != 0) _exit(126);
      unsetenv("HOME");
      unsetenv("XDG_CONFIG_HOME");
      const std::string folder = FsConfigFolder(), again = FsConfigFile("WIN.INI");
      FsConfigFolder();  // said once however often it is asked
      struct stat st {};
      if (taken) _exit(folder.empty() && again.empty() ? 0 : 1);
      _exit(folder == "/tmp" + own && again == folder + "/WIN.INI" && stat(folder.c_str(), &st) == 0 &&
                    st.st_uid == kNoName && (st.st_mode & 07777) == 0700
                ? 0
                : 1);
    }
    close(err[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
    close(err[0]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 125) GTEST_SKIP() << "no /tmp of its own can be had";
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said, !taken    ? ""
                    : groupTmp ? "vellumark: no settings folder can be made: /tmp" + own +
                                     ": other users can change /tmp above it\n"
                               : "vellumark: no settings folder can be made: /tmp" + own + ": not this user's own folder\n");
  }
}

}  // namespace
