// A signal that ends `vellumark edit` (the terminal closed, a repeated stop request) keeps the
// unsaved changes in a recovery file beside the source and names it on stderr; after a kill
// during a run, the next start does.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/file_flags.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// Waits (a minute at most) for the file to exist, or to hold the text when one is given.
bool WaitFor(const std::string& path, const std::string& text = "") {
  auto there = [&] {
    if (!std::filesystem::exists(path)) return false;
    if (text.empty()) return true;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {}) == text;
  };
  for (int i = 0; i < 12000 && !there(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return there();
}

// Waits (a minute at most) until the signal sent to the process is no longer pending: taken, or
// the process gone.
bool WaitUntilTaken(pid_t pid, int signal) {
  const auto pending = [&] {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
      if (line.rfind("ShdPnd:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
    return false;
  };
  for (int i = 0; i < 12000 && pending(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return !pending();
}

// A folder no file can be made in, root or not (the immutable flag), for the scope; clear
// says whether the file system has the flag.
class NoNewFiles {
 public:
  explicit NoNewFiles(std::vector<std::string> folders) : folders_(std::move(folders)) {
    for (const std::string& f : folders_) set_ = SetImmutable(f, true) && set_;
  }
  ~NoNewFiles() { Release(); }
  bool set() const { return set_; }
  void Release() {
    for (const std::string& f : folders_) SetImmutable(f, false);
    folders_.clear();
  }

 private:
  std::vector<std::string> folders_;
  bool set_ = true;
};

// Waits (a minute at most) until no run folder under the folder has the record: "work.rec"
// (work files listed) or "unsaved.rec" (copies for a run, dropped once the editor is back).
bool WaitForNoRecord(const std::string& folder, const char* record) {
  auto listed = [&] {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec); !ec && it != decltype(it)(); it.increment(ec))
      if (it->path().filename() == record) return true;
    return false;
  };
  for (int i = 0; i < 12000 && listed(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return !listed();
}

// Waits (a minute at most) for the process to end; one that has not ended by then is killed
// and false is answered.
bool WaitForEnd(pid_t pid, int& status) {
  for (int i = 0; i < 12000; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return false;
}

// `vellumark edit [project/FILE]` headless in dir/project under umask 022, stderr into
// dir/err.txt (or a pipe whose reader is gone).
pid_t StartEdit(const TempDir& dir, const std::string& file, bool named, bool brokenStderr) {
  const std::string exe = VellumarkExe(), config = "XDG_CONFIG_HOME=" + dir.File("config");
  const std::string err = dir.File("err.txt"), source = dir.File("project/" + file), script = dir.File("script.txt");
  const std::string folder = dir.File("project"), tmp = dir.File("tmp"), grab = dir.File("out.png");
  pid_t pid = fork();
  if (pid == 0) {
    umask(022);
    // The signals the test sends act whatever the test's own parent ignores or blocks.
    sigset_t nothing;
    sigemptyset(&nothing);
    for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
    sigprocmask(SIG_SETMASK, &nothing, nullptr);
    // Nothing the run leaves behind (a program it started) holds the test's output open.
    int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), none = open("/dev/null", O_WRONLY);
    int gone[2];
    if (brokenStderr && pipe(gone) == 0) {
      close(gone[0]);
      fd = gone[1];
    }
    if (fd < 0 || none < 0 || dup2(fd, 2) < 0 || dup2(none, 1) < 0 || chdir(folder.c_str()) != 0) _exit(127);
    for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    putenv(const_cast<char*>(config.c_str()));
    setenv("TMPDIR", tmp.c_str(), 1);
    setenv("XDG_STATE_HOME", (dir.path() + "/state").c_str(), 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    if (named)
      execl(exe.c_str(), "vellumark", "edit", source.c_str(), "--headless", "--clock", "virtual", "--input",
            script.c_str(), "--grab", grab.c_str(), static_cast<char*>(nullptr));
    else
      execl(exe.c_str(), "vellumark", "edit", "--headless", "--clock", "virtual", "--input", script.c_str(), "--grab",
            grab.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// The typed program runs once (it makes ran.txt) and the editor comes back, still modified.
constexpr const char* kTypeAndRun = "2 type make file \"ran.txt\"\n40 key F5 down\n41 key F5 up\n";

struct Ending {
  const char* name;
  const char* script = kTypeAndRun;
  const char* source = "";  // project/FILE
  bool named = true;        // the environment opens the source
  int first = SIGHUP, second = 0;  // second 0: one signal
  // The second signal follows once the first has kept the text (a stop signal keeps it before
  // asking), and half a second more where it must count as a repeat; otherwise at once.
  bool secondOnceKept = false;
  const char* planted = "";  // at project/game.vka.recovered: "file", "link" or nothing
  bool nextStart = false;    // another start follows (after a kill it keeps the files)
  std::vector<std::pair<std::string, std::string>> kept;  // recovery files and their text
  std::string file = "game.vka";
  unsigned mode = 0644;       // the source's: 0600 makes every recovery file as private
  const char* group = "";     // the source's group, where not the test's (as root only)
  bool moveProject = false;   // the project folder is moved before the next start
  bool brokenStderr = false;  // stderr is a pipe whose reader is gone
  // The first signal comes once the program has made its file and, where its run ends, once the
  // run has ended (its grab written), then once waitFile holds waitText.
  bool runEnds = true;
  std::string waitFile = {}, waitText = {};
  std::string sourceAfter = "\x01";  // the source's text at the end: "\x01" for as written
  // During the run the project folder is moved and the settings folder made unusable: no folder
  // takes the text at the ending. The settings folder is back for the next start.
  bool lostDuringRun = false;
  // No new file can be made in the project or the settings folder until the next start: no
  // copy for the run, no recovery file at the ending.
  bool noPlace = false;
  std::string ranFile = "project/ran.txt";
  std::string nextCommand = "run none.vka --headless";  // the next start's, in a shell
  // The settings folder's mode from the start (0: as made); one made read-only takes no file, by
  // root neither: a buffer's text it would take stays in its work file, named there once.
  unsigned configMode = 0;
};

// Whether user nobody can open the file (as root; otherwise its mode alone tells).
bool OthersCanRead(const std::string& path) {
  if (geteuid() != 0) return (std::filesystem::status(path).permissions() & std::filesystem::perms::others_read) !=
                             std::filesystem::perms::none;
  const pid_t child = fork();
  if (child == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(2);
    _exit(open(path.c_str(), O_RDONLY) >= 0 ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  return status == 0;
}

// The recovery files in a folder.
int RecoveryFiles(const std::string& folder) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    n += e.is_regular_file() && e.path().filename().string().find(".recovered") != std::string::npos;
  return n;
}

// Runs the case: the signals come once the typed program has run (or while it runs on).
void CheckEnding(const Ending& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  std::filesystem::create_directories(dir.File("project"));
  std::filesystem::create_directories(dir.File("config/vellumark"));
  std::filesystem::create_directories(dir.File("tmp"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("project/" + c.file, c.source);
  chmod(dir.File("project/" + c.file).c_str(), c.mode);
  const group* owners = c.group[0] ? getgrnam(c.group) : nullptr;
  if (c.group[0] && (geteuid() != 0 || !owners)) {
    GTEST_LOG_(INFO) << c.name << ": skipped, only root can give a file group " << c.group;
    return;
  }
  if (owners) {
    ASSERT_EQ(chown(dir.File("project/" + c.file).c_str(), uid_t(-1), owners->gr_gid), 0);
  }
  chmod(dir.path().c_str(), 0755);
  dir.Write("script.txt", c.script);
  NoNewFiles fixed(c.noPlace ? std::vector<std::string>{dir.File("project"), dir.File("config/vellumark")}
                             : std::vector<std::string>{});
  if (!fixed.set()) {
    GTEST_LOG_(INFO) << c.name << ": skipped, the file system has no immutable folders";
    return;
  }
  const std::string planted = dir.File("project/game.vka.recovered");
  if (c.configMode) chmod(dir.File("config/vellumark").c_str(), c.configMode);
  if (std::string(c.planted) == "file") dir.Write("project/game.vka.recovered", "earlier");
  if (std::string(c.planted) == "link") std::filesystem::create_symlink(dir.File("elsewhere.txt"), planted);
  const pid_t pid = StartEdit(dir, c.file, c.named, c.brokenStderr);
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitFor(dir.File(c.ranFile)));
  // A run that ends: the signal comes once the editor is back.
  if (c.runEnds) {
    EXPECT_TRUE(WaitFor(dir.File("out.png")));
    EXPECT_TRUE(WaitForNoRecord(dir.path(), "unsaved.rec"));
  }
  if (!c.waitFile.empty()) {
    EXPECT_TRUE(WaitFor(dir.File(c.waitFile), c.waitText));
  }
  // Everything saved: the save is over once no run folder lists a work file.
  if (c.sourceAfter != "\x01" && c.kept.empty()) {
    EXPECT_TRUE(WaitForNoRecord(dir.path(), "work.rec"));
  }
  if (c.lostDuringRun) {
    std::filesystem::rename(dir.File("project"), dir.File("moved"));
    std::filesystem::rename(dir.File("config/vellumark"), dir.File("config.kept"));
    dir.Write("config/vellumark", "a file in the way");
  }
  std::filesystem::remove(dir.File("out.png"));  // the run's
  kill(pid, c.first);
  if (c.secondOnceKept) {
    // Kept once stderr names it: the file is there, and on the disk, before it is named.
    const auto named = [&] { return dir.Read("err.txt").find(dir.File(c.kept.at(0).first)) != std::string::npos; };
    for (int i = 0; i < 12000 && !named(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(named());
    // A stop signal within half a second of the last is the same request.
    if (c.second != SIGKILL) std::this_thread::sleep_for(std::chrono::milliseconds(600));
  }
  if (c.second) kill(pid, c.second);
  int status = 0;
  ASSERT_TRUE(WaitForEnd(pid, status)) << "still running: " << dir.Read("err.txt");
  // A stop signal ends the environment once its text is kept: a second one after that may come
  // too late to end it.
  EXPECT_TRUE(WIFSIGNALED(status) && (WTERMSIG(status) == (c.second ? c.second : c.first) ||
                                      (c.secondOnceKept && WTERMSIG(status) == c.first)))
      << status;
  std::string err = dir.Read("err.txt");
  // Each buffer's text is named in one place, a file that holds it.
  if (c.lostDuringRun || c.noPlace) {
    EXPECT_EQ(err.find("could not be kept"), std::string::npos) << err;
    EXPECT_EQ(err.find("unsaved changes of"), err.rfind("unsaved changes of")) << err;
  }
  // An ending signal leaves the last frame as closing the window does.
  if ((c.second ? c.second : c.first) != SIGKILL) {
    EXPECT_TRUE(std::filesystem::exists(dir.File("out.png")));
  }
  if (c.nextStart) {
    for (const auto& [file, text] : c.kept) {
      if (c.first == SIGKILL) {
        EXPECT_FALSE(std::filesystem::exists(dir.File(file))) << file;
      }
    }
    fixed.Release();
    if (c.lostDuringRun) {
      std::filesystem::remove(dir.File("config/vellumark"));
      std::filesystem::rename(dir.File("config.kept"), dir.File("config/vellumark"));
    } else if (c.moveProject) {
      std::filesystem::rename(dir.File("project"), dir.File("moved"));
    }
    dir.Write("none.vka", "");
    err += RunProcess("/bin/sh", {"-c", "exec \"$0\" " + c.nextCommand, VellumarkExe()}, dir.path(),
                      {"TMPDIR=" + dir.File("tmp"), "XDG_CONFIG_HOME=" + dir.File("config"),
                       "XDG_STATE_HOME=" + dir.File("state")})
               .err;
  }
  for (const auto& [file, text] : c.kept) {
    ASSERT_TRUE(std::filesystem::exists(dir.File(file))) << file << ": " << err;
    EXPECT_EQ(dir.Read(file), text) << file;
    // Named once, however many signals came.
    if (!c.brokenStderr && c.nextCommand.find("2>&-") == std::string::npos) {
      const std::string named = "kept in " + dir.File(file) + "\n";
      const size_t first = err.find(named);
      EXPECT_NE(first, std::string::npos) << err;
      EXPECT_EQ(first, err.rfind(named)) << err;
    }
    if (c.mode == 0600) {
      EXPECT_EQ(std::filesystem::status(dir.File(file)).permissions(), std::filesystem::perms(0600)) << file;
      EXPECT_FALSE(OthersCanRead(dir.File(file))) << file;
    }
    struct stat st {};
    if (owners && stat(dir.File(file).c_str(), &st) == 0) {
      EXPECT_EQ(st.st_mode & 0777, c.mode) << file;
      EXPECT_EQ(st.st_gid, owners->gr_gid) << file;
    }
  }
  // One file for each buffer: no copy is kept twice, and none is left behind (but in a folder
  // moved away during the run, where no one finds it).
  const std::string project = dir.File(c.moveProject ? "moved" : "project");
  if (!c.lostDuringRun && !c.noPlace) {
    for (const auto& e : std::filesystem::directory_iterator(project))
      EXPECT_EQ(e.path().filename().string().find(".unsaved-"), std::string::npos) << e.path() << ": " << err;
    EXPECT_EQ(err.find("could not be kept"), std::string::npos) << err;
  }
  EXPECT_EQ(RecoveryFiles(project) + RecoveryFiles(dir.File("config/vellumark")),
            int(c.kept.size()) + (std::string(c.planted) == "file")) << err;
  if (c.configMode) {
    const size_t named = err.find("untitled.vka are kept in " + dir.path() + "/state/vellumark/run-");
    EXPECT_NE(named, std::string::npos) << err;
    EXPECT_EQ(err.find("unsaved changes of"), err.rfind("unsaved changes of")) << err;
    EXPECT_NE(err.find("/workfile.tmp\n", named), std::string::npos) << err;
    EXPECT_EQ(std::filesystem::status(dir.File("config/vellumark")).permissions(), std::filesystem::perms(c.configMode));
    chmod(dir.File("config/vellumark").c_str(), 0700);
  }
  EXPECT_EQ(dir.Read((c.moveProject ? "moved/" : "project/") + c.file), c.sourceAfter == "\x01" ? c.source : c.sourceAfter);
  if (std::string(c.planted) == "file") {
    EXPECT_EQ(dir.Read("project/game.vka.recovered"), "earlier");
  } else if (std::string(c.planted) == "link") {
    EXPECT_TRUE(std::filesystem::is_symlink(planted));
    EXPECT_FALSE(std::filesystem::exists(dir.File("elsewhere.txt")));
  }
}

TEST(EditRecovery, EndingSignalsKeepTheUnsavedChanges) {
  const std::string typed = "make file \"ran.txt\"\r\n";
  const std::string wait = "execute file \"/bin/sleep\", \"20\", \"\", 1\r\n", waiting = "\r\n" + wait;
  // The next start after a hang-up that kept everything finds nothing to keep.
  Ending cases[] = {{.name = "hang-up", .nextStart = true, .kept = {{"project/game.vka.recovered", typed}}},
                    // A stop signal asks nothing: it keeps the text and ends the environment.
                    {.name = "SIGTERM", .first = SIGTERM, .kept = {{"project/game.vka.recovered", typed}}},
                    {.name = "SIGINT", .first = SIGINT, .kept = {{"project/game.vka.recovered", typed}}},
                    {.name = "PIPE sent", .first = SIGPIPE, .kept = {{"project/game.vka.recovered", typed}}},
                    {.name = "XFSZ sent", .first = SIGXFSZ, .kept = {{"project/game.vka.recovered", typed}}},
                    // A shutdown's TERM, then KILL: the text was kept at the TERM, and the next
                    // start finds nothing more to keep.
                    {.name = "TERM, then KILL", .first = SIGTERM, .second = SIGKILL, .secondOnceKept = true,
                     .nextStart = true, .kept = {{"project/game.vka.recovered", typed}}},
                    {.name = "no name", .named = false, .kept = {{"config/vellumark/untitled.vka.recovered", typed}}},
                    {.name = "no name, a stop, the settings folder read-only", .named = false, .first = SIGTERM,
                     .kept = {}, .configMode = 0555},
                    // A closing terminal's two hang-ups while the program waits: the run stops and
                    // the second changes nothing.
                    {.name = "two hang-ups in a long command", .source = waiting.c_str(),
                     .second = SIGHUP, .kept = {{"project/game.vka.recovered", typed + wait}}, .runEnds = false},
                    // Two stop requests while the program waits: the first stops the run, keeps
                    // the text and ends the environment; the second changes nothing.
                    {.name = "two TERMs in a long command", .source = waiting.c_str(), .first = SIGTERM,
                     .second = SIGTERM, .secondOnceKept = true, .kept = {{"project/game.vka.recovered", typed + wait}},
                     .runEnds = false},
                    // Any signal whose default would end the process stops the run as SIGTERM does;
                    // the alarm is the one the environment also uses for itself.
                    {.name = "two alarms in a long command", .source = waiting.c_str(), .first = SIGALRM,
                     .second = SIGALRM, .secondOnceKept = true, .kept = {{"project/game.vka.recovered", typed + wait}},
                     .runEnds = false},
                    // Killed while the program runs on: nothing of the process acts, the next start does.
                    {.name = "kill -9", .source = "\r\ndo\r\nsync\r\nloop\r\n", .first = SIGKILL, .nextStart = true,
                     .kept = {{"project/game.vka.recovered", typed + "do\r\nsync\r\nloop\r\n"}}, .runEnds = false},
                    // Killed once the run is over: the run folder's work file has the text.
                    {.name = "kill -9 after the run", .first = SIGKILL, .nextStart = true,
                     .kept = {{"project/game.vka.recovered", typed}}},
                    {.name = "kill -9, then the project moved", .first = SIGKILL, .nextStart = true,
                     .kept = {{"config/vellumark/game.vka.recovered", typed}}, .moveProject = true},
                    // The next start keeps it whatever the start: a usage error, or one whose stderr
                    // is closed (no message may land in the file written).
                    {.name = "kill -9, a usage error next", .first = SIGKILL, .nextStart = true,
                     .kept = {{"project/game.vka.recovered", typed}}, .nextCommand = "--bogus"},
                    {.name = "kill -9, stderr closed next", .first = SIGKILL, .nextStart = true,
                     .kept = {{"project/game.vka.recovered", typed}}, .nextCommand = "run none.vka --headless 2>&-"},
                    // Saved after the run, then killed: nothing is left to keep.
                    {.name = "saved, then kill -9",
                     .script = "2 type make file \"ran.txt\"\n40 key F5 down\n41 key F5 up\n60 key Return down\n"
                               "61 key Return up\n70 type rem more\n90 key F3 down\n91 key F3 up\n",
                     .first = SIGKILL, .nextStart = true, .kept = {}, .waitFile = "project/game.vka",
                     .waitText = typed + "rem more\r\n", .sourceAfter = typed + "rem more\r\n"},
                    // No folder takes the text at the ending: the run folder stays with it in its
                    // work file, the one place named, and the next start keeps it.
                    {.name = "project and settings gone during the run", .source = "\r\ndo\r\nsync\r\nloop\r\n",
                     .nextStart = true, .kept = {{"config/vellumark/game.vka.recovered", typed + "do\r\nsync\r\nloop\r\n"}},
                     .moveProject = true, .runEnds = false, .lostDuringRun = true},
                    // Neither the project nor the settings folder takes a file: the run goes on
                    // with the work file as the only copy, the ending names it alone, and the next
                    // start keeps it.
                    // The program writes beside the project by a relative name: a typed path
                    // as long as the test's folder would outlast the typing's frames.
                    {.name = "no folder takes a file", .script = "2 type make file \"../ran.txt\"\n40 key F5 down\n41 key F5 up\n",
                     .nextStart = true, .kept = {{"project/game.vka.recovered", "make file \"../ran.txt\"\r\n"}},
                     .noPlace = true, .ranFile = "ran.txt"},
                    // Text typed after the run reaches the recovery file too. The second buffer
                    // runs and is typed into; the first is then saved, which tells the test that
                    // the typing before it was taken.
                    {.name = "typed after the run",
                     .script = "2 mouse 480 10\n3 button left down\n4 button left up\n"
                               "10 type make file \"ran.txt\"\n40 key F5 down\n41 key F5 up\n"
                               "60 key Return down\n61 key Return up\n70 type rem more\n"
                               "90 mouse 460 10\n91 button left down\n92 button left up\n"
                               "100 type rem one\n120 key F3 down\n121 key F3 up\n",
                     .kept = {{"config/vellumark/untitled.vka.recovered", typed + "rem more\r\n"}},
                     .waitFile = "project/game.vka", .waitText = "rem one\r\n", .sourceAfter = "rem one\r\n"}};
  for (const Ending& c : cases) CheckEnding(c);
}

// A stop signal during a run asks nothing: whoever sent it (a shutdown) may not wait for an
// answer. The environment keeps the text in its recovery file, says where, and ends by the
// signal; the file stays, as said, and the source is as it was. The program waits in a command
// until the signal comes, so the frames (and the scripted clicks) go on only after it.
TEST(EditRecovery, AStopSignalKeepsTheTextAndEndsWithoutAQuestion) {
  TempDir dir;
  for (const char* folder : {"project", "config/vellumark", "tmp"}) std::filesystem::create_directories(dir.File(folder));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  const std::string source = "\r\nexecute file \"/bin/sh\", \"nap.sh\", \"\", 1\r\n";
  dir.Write("project/game.vka", source);
  dir.Write("project/nap.sh", "echo $$ > nap.tmp && mv nap.tmp nap.pid\nexec sleep 300 >/dev/null 2>&1\n");
  // Where "No" and then "Yes" to leave would be, were there questions.
  dir.Write("script.txt", "2 type rem\n40 key F5 down\n41 key F5 up\n"
                          "100 mouse 400 257\n101 button left down\n102 button left up\n"
                          "120 mouse 270 257\n121 button left down\n122 button left up\n");
  const pid_t pid = StartEdit(dir, "game.vka", true, false);
  ASSERT_GT(pid, 0);
  const bool started = WaitFor(dir.File("project/nap.pid"));
  EXPECT_TRUE(started) << dir.Read("err.txt");
  kill(pid, started ? SIGTERM : SIGKILL);
  int status = 0;
  EXPECT_TRUE(WaitForEnd(pid, status)) << "still running";
  if (started) kill(pid_t(std::stol(dir.Read("project/nap.pid"))), SIGKILL);
  const std::string err = dir.Read("err.txt");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status << ": " << err;
  EXPECT_NE(err.find("kept in " + dir.File("project/game.vka.recovered") + "\n"), std::string::npos) << err;
  EXPECT_EQ(dir.Read("project/game.vka.recovered"), "rem" + source);
  EXPECT_EQ(RecoveryFiles(dir.File("project")) + RecoveryFiles(dir.File("config/vellumark")), 1) << err;
  EXPECT_EQ(dir.Read("project/game.vka"), source);
}

// Every file made from a source's text has its access, as private or as its group's; a name too long for
// ".recovered" is shortened to fit, keeping its start and extension, and one beyond ASCII keeps
// its bytes; a stderr whose reader is gone ends nothing before each buffer is kept.
TEST(EditRecovery, PrivateLongAndUnheard) {
  const std::string typed = "make file \"ran.txt\"\r\n", looping = "\r\ndo\r\nsync\r\nloop\r\n";
  const std::string longName = std::string(246, 'a') + ".vka";
  Ending cases[] = {{.name = "private, hang-up", .kept = {{"project/game.vka.recovered", typed}}, .mode = 0600},
                    {.name = "private, kill -9 during the run", .source = looping.c_str(), .first = SIGKILL,
                     .nextStart = true, .kept = {{"project/game.vka.recovered", typed + "do\r\nsync\r\nloop\r\n"}},
                     .mode = 0600, .runEnds = false},
                    {.name = "a long name", .kept = {{"project/" + std::string(237, 'a') + ".vka.recovered", typed}},
                     .file = longName},
                    // The hidden copy of a long name holds its start: the next start after a kill
                    // during the run takes it as the run's copy.
                    {.name = "a long name, kill -9 during the run", .source = looping.c_str(), .first = SIGKILL,
                     .nextStart = true,
                     .kept = {{"project/" + std::string(196, 'b') + ".vka.recovered", typed + "do\r\nsync\r\nloop\r\n"}},
                     .file = std::string(196, 'b') + ".vka", .runEnds = false},
                    // Readable by its group, another than the test's: the recovery file is as well.
                    {.name = "another group", .kept = {{"project/game.vka.recovered", typed}}, .mode = 0640,
                     .group = "nogroup"},
                    {.name = "a name beyond ASCII", .kept = {{"project/caf\xc3\xa9.vka.recovered", typed}},
                     .file = "caf\xc3\xa9.vka"},
                    {.name = "a closed stderr",
                     .script = "2 type rem one\n20 mouse 480 10\n21 button left down\n22 button left up\n"
                               "30 type make file \"ran.txt\"\n70 key F5 down\n71 key F5 up\n",
                     .kept = {{"project/game.vka.recovered", "rem one\r\n"},
                              {"config/vellumark/untitled.vka.recovered", typed}},
                     .brokenStderr = true}};
  for (const Ending& c : cases) CheckEnding(c);
}

// Frames running out end the environment with no one to answer a save-first question: the
// unsaved text is kept and named as a hang-up keeps it, also with the question open.
TEST(EditRecovery, FramesRunningOutKeepTheUnsavedChanges) {
  for (const char* script : {"2 type print 1\n", "2 type print 1\n20 mouse 580 18\n21 button left down\n"
                                                  "22 button left up\n"}) {
    SCOPED_TRACE(script);
    TempDir dir;
    std::filesystem::create_directories(dir.File("config/vellumark"));
    dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
    dir.Write("game.vka", "rem\r\n");
    dir.Write("script.txt", script);
    const ProcessResult r =
        RunProcess(VellumarkExe(),
                   {"edit", dir.File("game.vka"), "--headless", "--clock", "virtual", "--input", dir.File("script.txt"),
                    "--frames", "60"},
                   dir.path(),
                   {"XDG_CONFIG_HOME=" + dir.File("config"), "TMPDIR=" + dir.path(), "XDG_STATE_HOME=" + dir.File("state")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("game.vka.recovered"), "print 1rem\r\n");
    EXPECT_NE(r.err.find("kept in " + dir.File("game.vka.recovered")), std::string::npos) << r.err;
  }
}

// Frames running out where no folder takes a file: the run folder stays with the text in its
// work file, the one place named, and the next start keeps it.
TEST(EditRecovery, FramesRunningOutWithNoFolderLeaveTheRunFolder) {
  TempDir dir;
  for (const char* folder : {"project", "config/vellumark", "tmp"}) std::filesystem::create_directories(dir.File(folder));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("project/game.vka", "rem\r\n");
  dir.Write("script.txt", "2 type print 1\n");
  dir.Write("none.vka", "");
  const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir.File("config"), "TMPDIR=" + dir.File("tmp"),
                                        "XDG_STATE_HOME=" + dir.File("state")};
  NoNewFiles fixed({dir.File("project"), dir.File("config/vellumark")});
  if (!fixed.set()) GTEST_SKIP() << "the file system has no immutable folders";
  const ProcessResult r = RunProcess(VellumarkExe(),
                                     {"edit", dir.File("project/game.vka"), "--headless", "--clock", "virtual", "--input",
                                      dir.File("script.txt"), "--frames", "60"},
                                     dir.path(), env);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("workfile.tmp"), std::string::npos) << r.err;
  fixed.Release();
  const std::string next = RunProcess(VellumarkExe(), {"run", "none.vka", "--headless"}, dir.path(), env).err;
  EXPECT_EQ(dir.Read("project/game.vka.recovered"), "print 1rem\r\n") << r.err << next;
}

// A hang-up, and a stop signal after it, while a compile holds the main thread (a long included
// file) end the environment from the handler: the copy made for the run in the settings folder
// (the project folder takes no file) is linked to its recovery name there and named at once.
TEST(EditRecovery, AnEndingDuringALongCompileKeepsTheSettingsFolderCopy) {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  // The sanitized compile of the long file takes a minute.
  GTEST_SKIP() << "too slow in a sanitized build";
#endif
#endif
  TempDir dir;
  for (const char* folder : {"project", "config/vellumark", "tmp"}) std::filesystem::create_directories(dir.File(folder));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("project/game.vka", "\r\n#include \"long.vka\"\r\n");
  std::string body, functions;
  for (int k = 0; k < 10000; ++k) body += "a1 = a2 + b3 * 3 + a4 * a5 - b6 + a7\r\n";
  for (int k = 0; k < 100; ++k) functions += "function f" + std::to_string(k) + "()\r\n" + body + "endfunction\r\n";
  dir.Write("project/long.vka", functions);
  dir.Write("script.txt", "2 type rem x\n40 key F5 down\n41 key F5 up\n");
  NoNewFiles fixed({dir.File("project")});
  if (!fixed.set()) GTEST_SKIP() << "the file system has no immutable folders";
  // The included file is read twice: at the start, for the files the grab may not be, and by
  // the run's compile, which is at work once it has closed the file.
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, dir.File("project/long.vka").c_str(), IN_CLOSE_NOWRITE), 0);
  const pid_t pid = StartEdit(dir, "game.vka", true, false);
  ASSERT_GT(pid, 0);
  alignas(inotify_event) char events[4096];
  for (int closed = 0; closed < 2;) {
    pollfd ready{watch, POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 120000), 1) << "the included file was read " << closed << " times: " << dir.Read("err.txt");
    const ssize_t n = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < n; ++closed) at += ssize_t(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(events + at)->len);
  }
  close(watch);
  kill(pid, SIGHUP);
  // A stop signal within half a second of the first is the same request: the half second is
  // counted from when the process took the hang-up, no longer pending.
  EXPECT_TRUE(WaitUntilTaken(pid, SIGHUP));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_TRUE(WaitForEnd(pid, status)) << "still running: " << dir.Read("err.txt");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << status;
  const std::string kept = dir.File("config/vellumark/game.vka.recovered");
  EXPECT_EQ(dir.Read("config/vellumark/game.vka.recovered"), "rem x\r\n#include \"long.vka\"\r\n");
  EXPECT_NE(dir.Read("err.txt").find("kept in " + kept + "\n"), std::string::npos) << dir.Read("err.txt");
}

// A recovery file is always a new one: an earlier recovery, or a link planted at its name, is
// left as it is and the next name takes the text. Each buffer with unsaved text gets its own.
TEST(EditRecovery, RecoveryFilesAreNewFiles) {
  const std::string typed = "make file \"ran.txt\"\r\n";
  const char* second = "project/game.vka.recovered-2";
  Ending cases[] = {{.name = "an earlier recovery", .planted = "file", .kept = {{second, typed}}},
                    {.name = "a planted link", .planted = "link", .kept = {{second, typed}}},
                    {.name = "both buffers",
                     .script = "2 type rem one\n20 mouse 480 10\n21 button left down\n22 button left up\n"
                               "30 type make file \"ran.txt\"\n70 key F5 down\n71 key F5 up\n",
                     .kept = {{"project/game.vka.recovered", "rem one\r\n"},
                              {"config/vellumark/untitled.vka.recovered", typed}}}};
  for (const Ending& c : cases) CheckEnding(c);
}

}  // namespace
