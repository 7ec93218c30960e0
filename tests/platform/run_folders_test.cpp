// Where run folders are looked for at a start, what the sweep takes there, and how a run folder
// goes: checked on the files a start leaves, what it says, and how it ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/unsaved_copies.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "Rem * Title  : \r\nRem * Author : \r\nRem * Date   : \r\n";

void WriteFile(const std::string& path, const std::string& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f) fwrite(data.data(), 1, data.size(), f), fclose(f);
}

// A run folder as a killed run leaves it: a work file with typed text listed in its record, to be
// kept as "<project>/<name>.recovered"; with its lock file free, or without one (an earlier
// version's).
void MakeEndedRun(const std::string& run, const std::string& project, const std::string& name, bool lock = true) {
  fs::create_directories(run);
  if (lock) WriteFile(run + "/owner.lock", "");
  WriteFile(run + "/workfile.tmp", kHeader + "typed\r\n");
  std::string record;
  for (const std::string& f : {run + "/workfile.tmp", project + "/" + name, project, name,
                               std::to_string(kHeader.size()), std::string()})
    record += f + '\0';
  WriteFile(run + "/work.rec", record);
}

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Unique() {
  std::random_device random;
  return "vktest" + std::to_string(getpid()) + "x" + std::to_string(random() % 1000000);
}

// Runs the current test again in a fresh process (run folders are chosen and swept once a
// process), with the environment given and VK_RUN_FOLDERS_CHILD set.
ProcessResult Again(std::vector<std::string> env) {
  env.push_back("VK_RUN_FOLDERS_CHILD=1");
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  return RunProcess("/proc/self/exe",
                    {std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()}, "", env);
}

bool InChild() { return std::getenv("VK_RUN_FOLDERS_CHILD") != nullptr; }

// The settings folder is the one the environment asks for at each ask: asked for another place
// in the same process, it is that place's, and the first one's again when that is asked again.
TEST(RunFolders, TheSettingsFolderIsTheOneAskedForEachTime) {
  TempDir dir;
  const char* was = std::getenv("XDG_CONFIG_HOME");
  const std::string before = was ? was : "";
  std::vector<std::string> got;
  for (const char* place : {"a", "b", "a"}) {
    setenv("XDG_CONFIG_HOME", dir.File(place).c_str(), 1);
    got.push_back(FsConfigFolder());
  }
  if (was) setenv("XDG_CONFIG_HOME", before.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(got, (std::vector<std::string>{dir.File("a/vellumark"), dir.File("b/vellumark"), dir.File("a/vellumark")}));
}

// Where the state folder is refused, stderr says so once a process, however often its run
// folder is made again.
TEST(RunFolders, TheRefusalIsSaidOnce) {
  if (InChild()) {
    // Each run folder made and removed leaves no descriptor open either.
    const auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    const long was = open();  // the first also sweeps every place
    for (int k = 0; k < 3; ++k) {
      ASSERT_FALSE(FsTempFolder().empty());
      // Named after its process: "run-<pid>-XXXXXX".
      const std::string name = fs::path(FsTempFolder()).filename().string(), pid = std::to_string(getpid());
      ASSERT_EQ(name.size(), 11 + pid.size()) << name;
      ASSERT_EQ(name.rfind("run-" + pid + "-", 0), 0u) << name;
      struct stat lock {};  // the lock file is as private as the folder
      ASSERT_EQ(stat((FsTempFolder() + "/owner.lock").c_str(), &lock), 0);
      ASSERT_EQ(lock.st_mode & 07777, 0600u);
      FsRemoveTempFolder();
      ASSERT_EQ(open(), was);
    }
    return;
  }
  TempDir dir;
  fs::create_directories(dir.File("state"));
  fs::create_directories(dir.File("tmp"));
  dir.Write("state/vellumark", "a file in the way");
  // What the sweep names is named once too: the places are swept once a process.
  const std::string damaged = dir.File("tmp/vellumark-" + std::to_string(getuid()) + "/run-2147483647-x");
  fs::create_directories(damaged);
  ASSERT_EQ(chmod(fs::path(damaged).parent_path().c_str(), 0700), 0);
  WriteFile(damaged + "/owner.lock", "");
  WriteFile(damaged + "/unsaved.rec", "cut");
  const ProcessResult run = Again({"XDG_STATE_HOME=" + dir.File("state"), "TMPDIR=" + dir.File("tmp")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(CountOf(run.err, "they are in " + damaged + "\n"), 1) << run.err;
  EXPECT_EQ(CountOf(run.err, "run folders go to " + dir.File("tmp/vellumark-") + std::to_string(getuid()) + "\n"),
            1)
      << run.err;
}

// How a start is run: with a /tmp of its own (a mount namespace, the test's folder still reached
// by its path); with a stderr whose reader is gone; as root, as another user; in a user
// namespace of its own that maps only its user; with a user database of its own (passwd, bound
// over /etc/passwd in a mount namespace).
struct StartAs {
  std::string tmp;
  bool noReader = false;
  uid_t user = 0;
  bool userNamespace = false;
  std::string passwd = "";
};
// Exit statuses of a start that could not be set up as asked.
constexpr int kNoMount = 125, kNoUserNamespace = 124, kNoExecutable = 123;

// Lets every user pass through the folders of the path below /tmp, whatever the umask made them.
bool Reachable(const std::string& path) {
  for (fs::path part = path; part.has_relative_path() && part != "/tmp"; part = part.parent_path())
    if (chmod(part.c_str(), 0711) != 0) return false;
  return true;
}

// Runs vellumark in the folder with the environment given, as asked; its exit status (-1 when it
// died) and stderr. The executable is held open before anything is mounted and run through
// that descriptor, so a /tmp of its own never hides it wherever the build is. Another user runs
// a copy it can reach (kNoExecutable where none can be made).
ProcessResult Start(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env,
                    const StartAs& as = {}) {
  ProcessResult result;
  const std::string name = as.user != 0 && geteuid() == 0 ? VellumarkExeForAnyUser() : VellumarkExe();
  if (name.empty()) {
    result.status = kNoExecutable;
    return result;
  }
  int err[2];
  const int exe = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (exe < 0 || pipe(err) != 0) {
    if (exe >= 0) close(exe);
    return result;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(err[0]);
    int gone[2];
    if (as.noReader && (pipe(gone) != 0 || close(gone[0]) != 0)) _exit(126);
    dup2(as.noReader ? gone[1] : err[1], 2);
    const int none = open("/dev/null", O_RDWR);
    dup2(none, 0);
    dup2(none, 1);
    if (!as.tmp.empty()) {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(kNoMount);
      const int keep = open(dir.c_str(), O_PATH | O_DIRECTORY);  // the folder, should /tmp hide it
      std::error_code ec;
      if (keep < 0 || mount(as.tmp.c_str(), "/tmp", nullptr, MS_BIND, nullptr) != 0 ||
          (dir.rfind("/tmp/", 0) == 0 &&
           (!fs::create_directories(dir, ec) || !Reachable(dir) ||
            mount(("/proc/self/fd/" + std::to_string(keep)).c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0)))
        _exit(kNoMount);
    }
    if (!as.passwd.empty() &&
        (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
         mount(as.passwd.c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0))
      _exit(kNoMount);
    if (as.user != 0 && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(as.user) != 0 || setuid(as.user) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0))
      _exit(126);
    if (as.userNamespace) {
      const std::string map = std::to_string(geteuid()) + " " + std::to_string(geteuid()) + " 1";
      const int fd = unshare(CLONE_NEWUSER) == 0 ? open("/proc/self/uid_map", O_WRONLY) : -1;
      if (fd < 0 || write(fd, map.data(), map.size()) != ssize_t(map.size())) _exit(kNoUserNamespace);
      close(fd);
    }
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    if (chdir(dir.c_str()) != 0) _exit(126);
    DefaultSignals();
    std::vector<char*> argv{const_cast<char*>(name.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    fexecve(exe, argv.data(), environ);
    _exit(127);
  }
  close(exe);
  close(err[1]);
  char buf[4096];
  for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) result.err.append(buf, size_t(n));
  close(err[0]);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

// Whether a process may have a /tmp of its own (a mount namespace): the real /tmp is never used.
bool PrivateTmpPossible() {
  const pid_t pid = fork();
  if (pid == 0) _exit(unshare(CLONE_NEWNS) == 0 ? 0 : 1);
  int status = -1;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A start sweeps the folders where run folders of this or an earlier version can be: the temporary
// folders' per-user folders and the temporary folders themselves, /tmp too, each once; never
// through a link. A folder holding anything a run does not write (a file or folder of the user's)
// stays wherever it is. In a temporary folder others share only "run-" folders are looked at, and
// only those that prove they are a run's (a lock or record); in the
// state folder a "new-" folder left for ten minutes without its lock goes too; so does a killed
// run's private folder of last resort ("vellumark-<uid>-XXXXXX") in a temporary folder. Each
// start has a /tmp of its own, so no other start meets what is put there (without one those
// cases are skipped).
TEST(RunFolders, AStartSweepsEveryPlaceOnce) {
  const bool privateTmp = PrivateTmpPossible();
  const std::string own = "vellumark-" + std::to_string(getuid());
  const struct {
    const char* name;
    const char* tmpdir;   // "dir": the test's own; "/tmp"
    const char* place;    // the folder the planted one is in: "tmp/..." /tmp's, "TMPDIR/...", "STATE"
    const char* planted;  // "ended"; "damaged" (its record cut: it stays, named); "new" (without a lock);
                          // "private" (a run's of last resort, as "ended"; with no lock file; held;
                          // named longer); "script" (a script's results, named as a run's); "ended, more"
                          // (with a file of the user's too; "ended, notes.tmp" one named as a temporary); "ended, folder" (with a folder of the user's)
    bool goes;
  } cases[] = {
      {"/tmp's per-user folder", "dir", "tmp/own", "ended", true},
      {"/tmp itself", "dir", "tmp", "ended", true},
      {"TMPDIR's per-user folder a link", "dir", "TMPDIR/own", "ended", false},
      {"an old new- folder in TMPDIR", "dir", "TMPDIR", "new", false},
      {"an old new- folder in the state folder", "dir", "STATE", "new", true},
      {"/tmp's per-user folder, TMPDIR /tmp", "/tmp", "tmp/own", "damaged", false},
      {"/tmp, TMPDIR /tmp", "/tmp", "tmp", "damaged", false},
      {"a killed run's private folder in TMPDIR", "dir", "TMPDIR", "private", true},
      {"a killed run's private folder in /tmp", "dir", "tmp", "private", true},
      {"a private folder being made", "dir", "TMPDIR", "private, no lock", false},
      {"a live run's private folder", "dir", "TMPDIR", "private, held", false},
      {"a folder named longer than a private one", "dir", "TMPDIR", "private, longer", false},
      {"a script's folder named as a run's in /tmp", "dir", "tmp", "script", false},
      {"a script's folder named as a run's in TMPDIR", "dir", "TMPDIR", "script", false},
      {"an ended run's folder in TMPDIR holding a file of the user's", "dir", "TMPDIR", "ended, more", false},
      {"an ended run's folder in the state folder holding a file of the user's", "dir", "STATE", "ended, more", false},
      {"an ended run's folder in /tmp's per-user folder holding a folder of the user's", "dir", "tmp/own",
       "ended, folder", false},
      {"an ended run's folder in the state folder holding a .tmp file of the user's", "dir", "STATE", "ended, notes.tmp",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string place = c.place, planted = c.planted;
    if (place.rfind("tmp", 0) == 0 && !privateTmp) {
      GTEST_LOG_(INFO) << c.name << ": skipped, no /tmp of its own can be given to a start";
      continue;
    }
    TempDir dir;
    const std::string project = dir.File("project"), tmpdir = dir.File("tmpdir"), state = dir.File("state/vellumark");
    // The start's /tmp, and /tmp/vellumark-<uid> there.
    const std::string tmp = dir.File("tmp");
    for (const std::string& f : {project, tmpdir, state, dir.File("target"), tmp + "/" + own})
      fs::create_directories(f);
    ASSERT_EQ(chmod((tmp + "/" + own).c_str(), 0700), 0);
    if (place == "TMPDIR/own") fs::create_directory_symlink(dir.File("target"), tmpdir + "/" + own);
    const std::string folder = place == "STATE" ? state : place.rfind("TMPDIR", 0) == 0 ? tmpdir : tmp;
    const bool last = planted.rfind("private", 0) == 0;
    const std::string digits = std::to_string(100000 + std::random_device()() % 900000);
    const std::string name = last ? "vellumark-" + std::to_string(getuid()) + "-" + digits +
                                        (planted == "private, longer" ? "7" : "")
                                  : (planted == "new" ? "new-2147483647-" : "run-2147483647-") + Unique();
    const std::string path = folder + (place.find("own") != std::string::npos ? "/" + own : "") + "/" + name;
    if (planted == "damaged") {
      fs::create_directories(path);
      WriteFile(path + "/owner.lock", "");
      WriteFile(path + "/unsaved.rec", "cut");
    } else if (planted == "script") {  // mktemp -d /tmp/run-$$-XXXXXX, its process ended
      fs::create_directories(path);
      WriteFile(path + "/results.txt", "kept");
    } else {
      MakeEndedRun(path, project, "game.vka", planted != "new" && planted != "private, no lock");
    }
    if (planted == "ended, more") WriteFile(path + "/notes.txt", "kept");
    if (planted == "ended, notes.tmp") WriteFile(path + "/notes.tmp", "kept");
    if (planted == "ended, folder") fs::create_directories(path + "/notes");
    const int held = planted == "private, held" ? open((path + "/owner.lock").c_str(), O_RDONLY | O_CLOEXEC) : -1;
    ASSERT_TRUE(held < 0 || flock(held, LOCK_EX) == 0);
    if (planted == "new") fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(11));
    const std::vector<std::string> env = {"XDG_STATE_HOME=" + dir.File("state"), "XDG_CONFIG_HOME=" + dir.File("config"),
                                          "TMPDIR=" + (std::string(c.tmpdir) == "dir" ? tmpdir : c.tmpdir)};
    const ProcessResult run = Start(dir.path(), {"--version"}, env, {.tmp = privateTmp ? tmp : ""});
    EXPECT_EQ(run.status, 0) << run.err;
    // Named as the start sees it, once.
    const std::string seen = "/tmp" + path.substr(tmp.size());
    if (planted == "damaged") {
      EXPECT_EQ(CountOf(run.err, "they are in " + seen + "\n"), 1) << run.err;
    }
    if (held >= 0) close(held);
    EXPECT_EQ(!fs::exists(path), c.goes);
    EXPECT_EQ(fs::exists(project + "/game.vka.recovered"), c.goes && (planted == "ended" || planted == "private"));
  }
}

// A start whose stderr no one reads (a pipe whose reader is gone) keeps an ended run's text all the
// same, and ends as usual, its own run folder gone.
TEST(RunFolders, AStartWithNoReaderOnStderrKeepsTheText) {
  TempDir dir;
  const std::string project = dir.File("project"), state = dir.File("state/vellumark");
  fs::create_directories(project);
  MakeEndedRun(state + "/run-2147483647-" + Unique(), project, "game.vka");
  dir.Write("p.vka", "print 1\r\n");
  const ProcessResult run = Start(dir.path(), {"run", "p.vka", "--headless"},
                                  {"XDG_STATE_HOME=" + dir.File("state"), "XDG_CONFIG_HOME=" + dir.File("config"),
                                   "TMPDIR=" + dir.path()},
                                  {.tmp = {}, .noReader = true});
  EXPECT_EQ(run.status, 0);
  int recoveries = 0;
  for (const auto& e : fs::directory_iterator(project))
    recoveries += e.path().filename().string().find(".recovered") != std::string::npos;
  EXPECT_EQ(recoveries, 1);
  EXPECT_TRUE(fs::is_empty(state));
}

// As root, the user a start runs as where it must not be root: one with no other name.
constexpr uid_t kOtherUser = 4321;

// Gives the folder and everything in it to the user (as root), reachable by it.
void GiveTo(const std::string& folder, uid_t user) {
  if (geteuid() != 0) return;
  for (const auto& e : fs::recursive_directory_iterator(folder)) ASSERT_EQ(lchown(e.path().c_str(), user, user), 0);
  ASSERT_EQ(chown(folder.c_str(), user, user), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
}

// In a user namespace (a sandbox, a rootless container) the system's folders show as the
// overflow uid: they count as root's, and a program runs with its run folder in the state
// folder as anywhere else (one above the home the user database names too). Every other user
// shows as that uid too: another user's folder (not sticky, nor above that home or /tmp) counts
// as one others can change, and so does a home set inside another user's home, or a home or
// temporary folder the environment sets below another user's folder.
TEST(RunFolders, AProgramRunsInAUserNamespace) {
  const struct {
    const char* name;
    const char* state;  // XDG_STATE_HOME below the test's folder, "" for none
    const char* home;   // HOME below the test's folder
    const char* tmp;    // TMPDIR below the test's folder
    bool theirHome;     // the user database names "theirs" the other user's home
    const char* said;   // on stderr, "" for nothing about run folders
  } cases[] = {
      {"the system's folders", "", "home", "tmp", false, ""},
      {"another user's folder above the state folder", "theirs/state", "home", "tmp", false,
       "/theirs/state/vellumark: other users can change "},
      {"a home inside another user's home", "", "theirs/home", "tmp", true,
       "/theirs/home/.local/state/vellumark: other users can change "},
      {"a home set below another user's folder", "", "theirs/home", "tmp", false,
       "/theirs/home/.local/state/vellumark: other users can change "},
      {"a temporary folder set below another user's folder", "theirs/state", "home", "theirs/tmp", false,
       "/theirs/state/vellumark: other users can change "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool theirs = (std::string(c.state) + c.home + c.tmp).find("theirs") != std::string::npos;
    if (theirs && geteuid() != 0) continue;  // only root can give a folder away
    // The test's folder stays root's (the system's, above the home the user database names).
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    for (const char* folder : {"home", "tmp", "theirs/state", "theirs/home", "theirs/tmp"})
      fs::create_directories(dir.File(folder));
    dir.Write("p.vka", "print 1\r\n");
    ASSERT_EQ(chmod(dir.File("p.vka").c_str(), 0644), 0);  // read by the other user
    GiveTo(dir.File("home"), kOtherUser);
    GiveTo(dir.File("tmp"), kOtherUser);
    GiveTo(dir.File("theirs"), kOtherUser);
    if (geteuid() == 0) {
      ASSERT_EQ(chown(dir.File("theirs").c_str(), 1234, 1234), 0);
    }
    // The user database as root's start sees it: the user's home, and the other user's entry.
    if (geteuid() == 0) {
      fs::copy_file("/etc/passwd", dir.File("passwd"));
      std::FILE* f = std::fopen(dir.File("passwd").c_str(), "a");
      ASSERT_TRUE(f);
      std::fprintf(f, "vkself:x:%u:%u::%s:/bin/sh\n", unsigned(kOtherUser), unsigned(kOtherUser),
                   dir.File("home").c_str());
      std::fprintf(f, "vktheirs:x:1234:1234::%s:/bin/sh\n", c.theirHome ? dir.File("theirs").c_str() : "/nonexistent");
      std::fclose(f);
      ASSERT_EQ(chmod(dir.File("passwd").c_str(), 0644), 0);  // readable by all, whatever the umask
    }
    const ProcessResult run = Start(
        dir.path(), {"run", "p.vka", "--headless", "--frames", "2", "--transcript", dir.File("tmp/out.txt")},
        {"HOME=" + dir.File(c.home), std::string("XDG_STATE_HOME=") + (c.state[0] ? dir.File(c.state) : ""),
         "XDG_CONFIG_HOME=", "TMPDIR=" + dir.File(c.tmp)},
        {.tmp = {}, .noReader = false, .user = geteuid() == 0 ? kOtherUser : 0, .userNamespace = true,
         .passwd = geteuid() == 0 ? dir.File("passwd") : ""});
    if (run.status == kNoUserNamespace || run.status == kNoMount) {
      GTEST_SKIP() << "no user or mount namespace can be made here";
    }
    if (run.status == kNoExecutable) GTEST_SKIP() << "no copy of the executable another user can run can be made";
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(dir.Read("tmp/out.txt"), "1\n");
    if (c.said[0]) {
      EXPECT_NE(run.err.find(dir.path() + c.said + dir.File("theirs") + " above it"), std::string::npos) << run.err;
      EXPECT_TRUE(fs::is_empty(dir.File(c.state[0] ? c.state : c.home)));
    } else {
      EXPECT_EQ(run.err.find("other users can change"), std::string::npos) << run.err;
      EXPECT_TRUE(fs::is_empty(dir.File("home/.local/state/vellumark")));
    }
  }
}

// A state folder where a run folder's files would not fit a path is refused, with the cause, and
// the run folders go to the temporary folder's per-user folder; one where they fit is used.
TEST(RunFolders, AStateFolderTooLongForItsFilesIsRefused) {
  for (const size_t length : {size_t(3700), size_t(4220)}) {
    SCOPED_TRACE(length);
    TempDir dir;
    std::string state = dir.File("s");
    while (state.size() < length) state += "/" + std::string(std::min<size_t>(200, length - state.size() - 1), 's');
    fs::create_directories(dir.File("tmp"));
    dir.Write("p.vka", "print 1\r\n");
    const ProcessResult run =
        Start(dir.path(), {"run", "p.vka", "--headless", "--frames", "2", "--transcript", "out.txt"},
              {"XDG_STATE_HOME=" + state, "XDG_CONFIG_HOME=" + dir.File("config"), "TMPDIR=" + dir.File("tmp")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(dir.Read("out.txt"), "1\n");
    const std::string refused = state + "/vellumark: name too long; run folders go to " + dir.File("tmp") +
                                "/vellumark-" + std::to_string(getuid()) + "\n";
    EXPECT_EQ(run.err, length > 4000 ? "vellumark: " + refused : "");
    RunProcess("/bin/rm", {"-rf", "s"}, dir.path(), {});  // deeper than a path reaches
  }
}

// Where no run folder can be made (the state folder and TMPDIR plain files), a program runs all
// the same in a private folder of its own in /tmp, gone at its end; where /tmp takes none either,
// a command that needs one says so and ends with status 2. Run as a user /tmp can be closed to.
TEST(RunFolders, AProgramRunsWhereNoRunFolderCanBeMade) {
  if (!PrivateTmpPossible()) GTEST_SKIP() << "no /tmp of its own can be given to a start";
  const struct {
    const char* name;
    uint32_t tmpMode;  // of the start's /tmp, root's
    std::vector<std::string> args;
    int status;
    const char* said;
  } cases[] = {
      {"a private folder in /tmp", 01777, {"run", "p.vka", "--headless", "--frames", "2", "--transcript", "out.txt"}, 0,
       "no run folder can be made, so the run's files go to /tmp/vellumark-4321-"},
      {"no folder at all: run", 0555, {"run", "p.vka", "--headless"}, 2,
       "/tmp: permission denied; no temporary folder can be made\nvellumark: run: cannot be carried out without a "
       "temporary folder\n"},
      {"no folder at all: build", 0555, {"build", "p.vka", "-o", "game"}, 2,
       "vellumark: build: cannot be carried out without a temporary folder\n"},
      {"no folder at all: edit", 0555, {"edit", "p.vka", "--headless", "--frames", "1"}, 2,
       "vellumark: edit: cannot be carried out without a temporary folder\n"},
      {"a /tmp others can change", 0777, {"run", "p.vka", "--headless"}, 2,
       "/tmp: other users can change /tmp; no temporary folder can be made\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.Write("p.vka", "print 1\r\n");
    dir.Write("file", "");
    fs::create_directories(dir.File("tmp"));
    GiveTo(dir.path(), kOtherUser);
    ASSERT_EQ(chown(dir.File("tmp").c_str(), 0, 0) == 0 || geteuid() != 0, true);
    ASSERT_EQ(chmod(dir.File("tmp").c_str(), c.tmpMode), 0);
    const std::string file = dir.File("file");
    const ProcessResult run = Start(dir.path(), c.args,
                                    {"XDG_STATE_HOME=" + file, "XDG_CONFIG_HOME=" + file, "TMPDIR=" + file},
                                    {.tmp = dir.File("tmp"), .noReader = false, .user = kOtherUser});
    if (run.status == kNoExecutable) GTEST_SKIP() << "no copy of the executable another user can run can be made";
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(dir.Read("out.txt"), c.status == 0 ? "1\n" : "");
    // Nothing of the start's is left; the suite's own folder, bound there, may have a like name.
    const std::string left = "vellumark-" + std::to_string(kOtherUser);
    for (const auto& e : fs::directory_iterator(dir.File("tmp")))
      EXPECT_EQ(e.path().filename().string().rfind(left, 0), std::string::npos) << e.path();
    EXPECT_FALSE(fs::exists(dir.File("game")));
  }
}

// A folder named for a process that lives (pid 1), without a lock file as an earlier version's,
// stays as it is; one of a process that has ended is kept and goes. Seen as a user other than
// root, to whom a live process of another user is not its own.
TEST(RunFolders, ALockLessFolderOfALiveProcessStays) {
  TempDir dir;
  const std::string root = dir.File("root"), project = dir.File("project");
  fs::create_directories(project);
  MakeEndedRun(root + "/run-1-x", project, "live.vka", false);
  MakeEndedRun(root + "/run-2147483647-x", project, "dead.vka", false);
  // One whose text cannot be kept (its record cut) stays, taken with a lock file as private as
  // a run's own.
  MakeEndedRun(root + "/run-2147483646-x", project, "cut.vka", false);
  WriteFile(root + "/run-2147483646-x/work.rec", "cut");
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0) {
      for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        if (lchown(e.path().c_str(), 65534, 65534) != 0) _exit(2);
      if (chown(dir.path().c_str(), 65534, 65534) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    }
    const int none = open("/dev/null", O_WRONLY);
    dup2(none, 2);
    FsSweepRunFolders(root, false);
    _exit(0);
  }
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(fs::exists(root + "/run-1-x/work.rec"));
  EXPECT_FALSE(fs::exists(root + "/run-1-x/owner.lock"));
  EXPECT_FALSE(fs::exists(project + "/live.vka.recovered"));
  EXPECT_FALSE(fs::exists(root + "/run-2147483647-x"));
  EXPECT_TRUE(fs::exists(project + "/dead.vka.recovered"));
  EXPECT_EQ(fs::status(root + "/run-2147483646-x/owner.lock").permissions(), fs::perms(0600));
}

// The names deleted in the folder while action runs, in order.
std::vector<std::string> DeletedDuring(const std::string& folder, const std::function<void()>& action) {
  std::vector<std::string> names;
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, folder.c_str(), IN_DELETE) < 0) return names;
  action();
  alignas(inotify_event) char buf[65536];
  for (ssize_t n; (n = read(watch, buf, sizeof buf)) > 0;)
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
      if ((e->mask & IN_DELETE) && e->len) names.emplace_back(e->name);
      at += ssize_t(sizeof(inotify_event) + e->len);
    }
  close(watch);
  return names;
}

// A run folder loses its records first and its lock file last, so a removal cut short (the
// process killed meanwhile) leaves no record naming text kept already, nor a folder whose lock
// any start could take: whether a start sweeps it, or its run removes it at the end or in a
// signal handler.
TEST(RunFolders, ARemovalTakesTheRecordsFirstAndTheLockLast) {
  // Records as a run leaves them, naming a copy and a work file both gone already.
  const auto fill = [](const std::string& run) {
    for (const char* f : {"_exefile.dat", "program.img", "workfile.wav"}) WriteFile(run + "/" + f, "");
    WriteFile(run + "/unsaved.rec", std::string("/gone/.g.vka.unsaved-1-1\0/gone/g.vka.recovered\0g.vka\0", 53));
    WriteFile(run + "/work.rec", run + std::string("/workfile.tmp\0\0/gone\0g.vka\0" "0\0\0", 30));
    fs::create_directories(run + "/sub");
    WriteFile(run + "/sub/f", "");
  };
  const char* how = std::getenv("VK_REMOVAL");
  if (InChild()) {
    const std::string run = FsTempFolder();
    ASSERT_FALSE(run.empty());
    fill(run);
    const auto order = DeletedDuring(run, std::string(how) == "signal" ? FsRemoveTempFolderInSignal : FsRemoveTempFolder);
    for (const std::string& name : order) fprintf(stderr, "%s\n", name.c_str());
    return;
  }
  for (const char* removal : {"sweep", "end", "signal"}) {
    SCOPED_TRACE(removal);
    TempDir dir;
    std::string deleted;
    if (std::string(removal) == "sweep") {
      const std::string root = dir.File("root"), run = root + "/run-2147483647-x";
      fs::create_directories(run);
      WriteFile(run + "/owner.lock", "");
      fill(run);
      // A folder of the user's in it would keep it: a sweep takes only what a run writes.
      fs::rename(run + "/sub/f", run + "/input.txt");
      fs::remove(run + "/sub");
      for (const std::string& name : DeletedDuring(run, [&] { FsSweepRunFolders(root, false); })) deleted += name + "\n";
      EXPECT_FALSE(fs::exists(run));
    } else {
      const ProcessResult child = Again({"XDG_STATE_HOME=" + dir.path(), "TMPDIR=" + dir.path(),
                                         std::string("VK_REMOVAL=") + removal});
      ASSERT_EQ(child.status, 0) << child.err;
      deleted = child.err;
    }
    // The records (in either order), the rest, and the lock file.
    EXPECT_EQ(deleted.rfind("unsaved.rec\nwork.rec\n", 0) == 0 || deleted.rfind("work.rec\nunsaved.rec\n", 0) == 0,
              true)
        << deleted;
    EXPECT_EQ(CountOf(deleted, "\n"), 7) << deleted;
    EXPECT_EQ(deleted.substr(deleted.size() - std::min<size_t>(11, deleted.size())), "owner.lock\n") << deleted;
  }
}

}  // namespace
