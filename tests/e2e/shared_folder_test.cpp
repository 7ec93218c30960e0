// In a folder other users can write (a group's, a sticky one), a link another user planted at an
// output's name or at a folder on its path is never followed into this user's files; in a folder no one else can write it is
// written through, as a link of the user's own is. The debug log never follows a link, and a
// settings file another user left in such a folder turns no debug log on.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uid_t kOtherUser = 65534;  // nobody
constexpr const char* kSecret = "private\n";

struct FolderKind {
  const char* name;
  mode_t mode;
  bool shared;  // other users can write in it
};
constexpr FolderKind kFolders[] = {{"private", 0755, false}, {"group", 02775, true}, {"sticky", 01777, true}};

// A folder of the kind in dir, owned by this user (a group's: of a group that is not its own).
std::string MakeFolder(const TempDir& dir, const FolderKind& kind) {
  const std::string folder = dir.File(kind.name);
  std::filesystem::create_directory(folder);
  const group* users = getgrnam("users");
  if (kind.mode & 020) {
    EXPECT_EQ(chown(folder.c_str(), uid_t(-1), users ? users->gr_gid : 4242), 0);
  }
  EXPECT_EQ(chmod(folder.c_str(), kind.mode), 0);
  return folder;
}

// Another user's link at name, to the user's private file target.
void PlantLink(const std::string& target, const std::string& name) {
  ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0);
  ASSERT_EQ(lchown(name.c_str(), kOtherUser, kOtherUser), 0);
}

bool IsLink(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST(SharedFolder, AnotherUsersLinkAtAnOutputIsNeverFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  dir.Write("a.vka", "print \"shown\"\n");
  const std::string secret = dir.File("secret.txt");
  const std::vector<std::vector<std::string>> kOutputs = {
      {"compile", "a.vka", "-o", "OUT"},
      {"build", "a.vka", "-o", "OUT"},
      {"run", "a.vka", "--headless", "--frames", "2", "--transcript", "OUT"},
      {"run", "a.vka", "--headless", "--frames", "2", "--grab", "OUT"},
  };
  for (const FolderKind& kind : kFolders) {
    const std::string folder = MakeFolder(dir, kind);
    // The link stands for the output itself, or for a folder on its path (also one named after a
    // "." part of the path).
    for (const int via : {0, 1, 2})
    for (std::vector<std::string> args : kOutputs) {
      const bool viaFolder = via > 0;
      const std::string row = std::string(kind.name) + " " + args[0] + " " + args[args.size() - 2] +
                              (viaFolder ? " through a folder" : "") + (via == 2 ? " after ./" : "");
      dir.Write("secret.txt", kSecret);
      chmod(secret.c_str(), 0600);
      const std::string link = folder + (via == 2 ? "/o" : "/out");
      const std::string out = via == 0 ? link : via == 1 ? link + "/secret.txt" : folder + "/./o/secret.txt";
      std::filesystem::remove(link);
      PlantLink(viaFolder ? dir.path() : secret, link);
      args.back() = out;
      const ProcessResult r = RunProcess(VellumarkExe(), args, dir.path());
      EXPECT_TRUE(IsLink(link)) << row;
      if (kind.shared) {
        EXPECT_EQ(r.status, 2) << row << r.err;
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << row << r.err;
        EXPECT_NE(r.err.find(": another user's link is in the way"), std::string::npos) << row << r.err;
        EXPECT_TRUE(dir.Read("secret.txt") == kSecret) << row;
      } else {  // a folder no one else can write: the link is written through
        EXPECT_EQ(r.status, 0) << row << r.err;
        EXPECT_FALSE(dir.Read("secret.txt") == kSecret) << row;
      }
    }
  }
}

// A program's own writes go through a folder another user's link stands for only where no other
// user can write: each write, delete and rename, as the outputs of the command line.
TEST(SharedFolder, AProgramsWritesNeverGoThroughAnotherUsersFolderLink) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  const char* kWrites[] = {
      "open to write 1, \"out/new.txt\"\nwrite string 1, \"x\"\nclose file 1",
      "write byte to file \"out/notes.txt\", 0, 88",
      "make file \"out/made.txt\"",
      "make directory \"out/newdir\"",
      "rename file \"mine.txt\", \"out/r.txt\"",
      "copy file \"mine.txt\", \"out/c.txt\"",
      "delete file \"out/notes.txt\"",
      "delete directory \"out/sub\"",
      "dim a(2)\nsave array \"out/a.arr\", a(0)",
      "open to write 1, \"blk.dat\"\nwrite dirblock 1, \"srcdir\"\nclose file 1\n"
      "open to read 1, \"blk.dat\"\nread dirblock 1, \"out\"\nclose file 1",
      "open to write 1, \"blk.dat\"\nwrite fileblock 1, \"mine.txt\"\nclose file 1\n"
      "open to read 1, \"blk.dat\"\nread fileblock 1, \"out/deep/x.txt\"\nclose file 1",
  };
  for (const FolderKind& kind : kFolders) {
    const std::string folder = MakeFolder(dir, kind);
    for (const char* write : kWrites) {
      const std::string row = std::string(kind.name) + ": " + write;
      std::filesystem::remove_all(dir.File("victim"));
      std::filesystem::create_directories(dir.File("victim/sub"));
      dir.Write("victim/notes.txt", kSecret);
      chmod(dir.File("victim").c_str(), 0700);
      std::filesystem::remove(folder + "/out");
      PlantLink(dir.File("victim"), folder + "/out");
      dir.Write(std::string(kind.name) + "/mine.txt", "mine");
      std::filesystem::create_directories(folder + "/srcdir");
      dir.Write(std::string(kind.name) + "/srcdir/s.txt", "s");
      std::filesystem::remove(folder + "/blk.dat");
      dir.Write(std::string(kind.name) + "/p.vka", std::string(write) + "\n");
      const ProcessResult r = RunProcess(VellumarkExe(), {"run", "p.vka", "--headless", "--clock", "virtual", "--frames", "30"}, folder);
      std::set<std::string> names;
      for (const auto& e : std::filesystem::directory_iterator(dir.File("victim"))) names.insert(e.path().filename());
      if (kind.shared) {
        EXPECT_EQ(r.status, 1) << row << r.err;
        EXPECT_NE(r.err.find("another user's link is in the way"), std::string::npos) << row << r.err;
        EXPECT_EQ(names, (std::set<std::string>{"notes.txt", "sub"})) << row;
        EXPECT_TRUE(dir.Read("victim/notes.txt") == kSecret) << row;
      } else {
        EXPECT_EQ(r.status, 0) << row << r.err;
        EXPECT_TRUE(names != (std::set<std::string>{"notes.txt", "sub"}) || dir.Read("victim/notes.txt") != kSecret) << row;
      }
    }
    // The user's own link whose target lies behind the other user's: judged at each link on the way.
    dir.Write("victim/notes.txt", kSecret);
    std::filesystem::remove(folder + "/o");
    PlantLink(dir.File("victim"), folder + "/o");
    std::filesystem::remove(folder + "/own.txt");
    std::filesystem::create_symlink("o/notes.txt", folder + "/own.txt");
    dir.Write(std::string(kind.name) + "/p.vka", "write byte to file \"own.txt\", 0, 88\n");
    const ProcessResult r = RunProcess(VellumarkExe(), {"run", "p.vka", "--headless", "--clock", "virtual", "--frames", "30"}, folder);
    EXPECT_EQ(r.status, kind.shared ? 1 : 0) << kind.name << r.err;
    EXPECT_EQ(dir.Read("victim/notes.txt") == kSecret, kind.shared) << kind.name;
  }
}

// A built game says each file of a folder block it loses, not only the first.
TEST(SharedFolder, AGameSaysEachFileOfAFolderBlockItLoses) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  const std::string folder = MakeFolder(dir, kFolders[2]);
  std::filesystem::create_directories(dir.File("victim"));
  std::filesystem::create_directories(folder + "/srcdir");
  dir.Write("sticky/srcdir/one.txt", "1");
  dir.Write("sticky/srcdir/two.txt", "2");
  PlantLink(dir.File("victim"), folder + "/out");
  dir.Write("sticky/p.vka", "open to write 1, \"blk.dat\"\nwrite dirblock 1, \"srcdir\"\nclose file 1\n"
                            "open to read 1, \"blk.dat\"\nread dirblock 1, \"out\"\nclose file 1\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", "p.vka", "-o", "game"}, folder).status, 0);
  const ProcessResult r = RunProcess(folder + "/game", {}, folder, {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 1) << r.err;
  for (const char* name : {"one.txt", "two.txt"})
    EXPECT_NE(r.err.find(std::string("cannot write out/") + name + ": another user's link is in the way"), std::string::npos)
        << r.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("victim")));
}

// A program that fails at run time, which debug mode logs.
constexpr const char* kFailing = "print \"start\"\ndim a(2)\na(7) = 1\n";

// The debug log, which traces every command, is written as the user's own file: a link another
// user plants at its name while the run goes on (after the start removed the old log) is
// replaced, never written through, in any folder.
TEST(SharedFolder, TheDebugLogReplacesALinkPlantedDuringTheRun) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  const std::string secret = dir.File("secret.txt");
  for (const FolderKind& kind : kFolders) {
    const std::string folder = MakeFolder(dir, kind), log = folder + "/VK.LOG", name = kind.name;
    // A command the run has not done before is a new entry: the log is written a frame apart.
    std::string frames;
    for (int k = 0; k < 40; ++k) frames += "sync\n";
    dir.Write(name + "/p.vka", frames);
    dir.Write("secret.txt", kSecret);
    const int pid = StartHeadless(VellumarkExe(), {"run", "p.vka", "--headless", "--debug"}, folder);
    ASSERT_GT(pid, 0);
    // Each time the run has written the log, the link is planted again.
    int planted = 0, status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (!IsLink(log) && std::filesystem::exists(log)) {
        std::filesystem::remove(log + ".new");
        PlantLink(secret, log + ".new");
        ASSERT_EQ(rename((log + ".new").c_str(), log.c_str()), 0);
        ++planted;
      }
      usleep(2000);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name;
    EXPECT_GT(planted, 1) << name;
    EXPECT_TRUE(dir.Read("secret.txt") == kSecret) << name;
  }
}

// Another user's link at the debug log's name in a sticky folder, which this user may not replace,
// planted before the start or while the run goes on: the log cannot be written, and the run says
// so once, with the file and the cause, and goes on.
TEST(SharedFolder, ADebugLogAnotherUsersLinkHoldsIsSaidUnwritten) {
  if (geteuid() != 0) GTEST_SKIP() << "running as another user needs root";
  const std::string exe = VellumarkExeForAnyUser();
  if (exe.empty()) GTEST_SKIP() << "no copy of the tool another user can run can be made";
  TempDir dir;
  const std::string folder = dir.File("sticky"), log = folder + "/VK.LOG", secret = dir.File("secret.txt");
  std::filesystem::create_directory(folder);
  ASSERT_EQ(chmod(folder.c_str(), 01777), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);  // nobody passes through to it
  dir.Write("sticky/p.vka", "print \"go\"\nrepeat\nsync\nuntil file exist(\"planted\")\nprint \"end\"\n");
  ASSERT_EQ(chmod(dir.File("sticky/p.vka").c_str(), 0644), 0);  // readable by nobody under any umask
  for (const bool beforeStart : {true, false}) {
    dir.Write("secret.txt", kSecret);
    std::filesystem::remove(log);
    std::filesystem::remove(folder + "/planted");
    // Root's link: another user's for the run, which goes as nobody.
    const auto plant = [&] {
      ASSERT_EQ(symlink(secret.c_str(), (log + ".new").c_str()), 0);
      ASSERT_EQ(rename((log + ".new").c_str(), log.c_str()), 0);
    };
    if (beforeStart) plant();
    int out[2], err[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(err), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (const int fd : {out[0], out[1], err[0], err[1]}) close(fd);
      UseDefaultSignals();
      if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0 || chdir(folder.c_str()) != 0)
        _exit(126);
      // The run waits for a file this test makes: it ends with the test, should the test end first.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      for (const char* e : {"HOME=/nonexistent", "XDG_CONFIG_HOME=/nonexistent", "XDG_STATE_HOME=/tmp"})
        putenv(const_cast<char*>(e));
      execl(exe.c_str(), exe.c_str(), "run", "p.vka", "--headless", "--debug", "--clock", "virtual", "--transcript", "-",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // Planted once the run is under way: its first line is drawn.
    std::string shown;
    char c;
    while (shown.find("go\n") == std::string::npos && read(out[0], &c, 1) == 1) shown += c;
    if (!beforeStart) plant();
    dir.Write("sticky/planted", "");
    chmod(dir.File("sticky/planted").c_str(), 0644);  // seen by the other user under any umask
    std::string said;
    char buf[4096];
    for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
    close(out[0]);
    close(err[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0) << beforeStart << said;
    const std::string word = "cannot write the debug log " + log + ": another user's link is in the way";
    EXPECT_NE(said.find(word), std::string::npos) << beforeStart << said;
    EXPECT_EQ(said.find(word), said.rfind(word)) << "said once: " << said;
    EXPECT_TRUE(IsLink(log));
    EXPECT_TRUE(dir.Read("secret.txt") == kSecret) << beforeStart;
  }
}

// DEBUGMODE=1 in a settings file another user owns turns the log on only where no other user can
// write the folder (there it is as good as the folder owner's).
TEST(SharedFolder, AnotherUsersSettingsTurnNoDebugLogOn) {
  if (geteuid() != 0) GTEST_SKIP() << "leaving another user's file needs root";
  TempDir dir;
  for (const FolderKind& kind : kFolders) {
    const std::string folder = MakeFolder(dir, kind), name = std::string(kind.name);
    dir.Write(name + "/p.vka", kFailing);
    dir.Write(name + "/SETUP.INI", "[SETTINGS]\r\nDEBUGMODE=1\r\n");
    ASSERT_EQ(lchown(dir.File(name + "/SETUP.INI").c_str(), kOtherUser, kOtherUser), 0);
    const ProcessResult r = RunProcess(VellumarkExe(), {"run", "p.vka", "--headless", "--clock", "virtual", "--frames", "30"}, folder);
    EXPECT_EQ(r.status, 1) << name << r.err;
    EXPECT_EQ(std::filesystem::exists(folder + "/VK.LOG"), !kind.shared) << name;
  }
}

}  // namespace
