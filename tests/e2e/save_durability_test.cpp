// A save of the environment is on the disk when it says so: traced, the temporary is written and
// flushed before it is renamed over the source, and the folder is flushed after. A work file
// that cannot be written at F5 is said to be so, and nothing is compiled.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> EditArgs(const TempDir& dir, const std::string& script, int frames) {
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("script.txt", script);
  return {"edit",    dir.File("game.vka"),   "--headless", "--clock",
          "virtual", "--input", dir.File("script.txt"), "--frames", std::to_string(frames)};
}

std::string FindInPath(const std::string& program) {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
  for (std::string folder; std::getline(path, folder, ':');)
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return folder + "/" + program;
  return "";
}

// The index of the first line from `from` on holding every part, or -1.
int Find(const std::vector<std::string>& lines, int from, std::initializer_list<std::string> parts) {
  for (int i = std::max(from, 0); i < int(lines.size()); ++i) {
    bool all = true;
    for (const std::string& p : parts) all = all && lines[size_t(i)].find(p) != std::string::npos;
    if (all) return i;
  }
  return -1;
}

// Runs vellumark with the arguments in dir, stderr into dir/err.txt, its state and temporary
// folder dir/state a small file system of its own (in a mount namespace of the started process's
// own), filled but for `left` bytes, as a full disk. Its wait status: exited with 125 where no
// such file system can be made; -1 where it had not ended within a minute (then killed).
int RunWithAFullStateFolder(const TempDir& dir, const std::vector<std::string>& args, off_t left) {
  std::filesystem::create_directories(dir.File("state"));
  const std::string exe = VellumarkExe(), err = dir.File("err.txt"), state = dir.File("state");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0 || chdir(dir.path().c_str()) != 0) _exit(126);
    DefaultSignals();
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", state.c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0)
      _exit(125);
    // Filled, then `left` given back.
    const int fill = open((state + "/fill").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string block(4096, 'x');
    off_t size = 0;
    for (ssize_t n; fill >= 0 && (n = write(fill, block.data(), block.size())) > 0;) size += n;
    if (fill < 0 || ftruncate(fill, size - left) != 0) _exit(126);
    for (const std::string& e : {"XDG_STATE_HOME=" + state, "TMPDIR=" + state, "XDG_CONFIG_HOME=" + dir.File("config"),
                                 std::string("ASAN_OPTIONS=detect_leaks=0")})
      putenv(strdup(e.c_str()));
    std::vector<char*> argv = {const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  if (pid < 0) return -1;
  int status = -1;
  for (int i = 0; i < 12000; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST(SaveDurability, ASourceSaveIsFlushedBeforeItsRenameAndItsFolderAfter) {
  const std::string strace = FindInPath("strace");
  ASSERT_FALSE(strace.empty()) << "strace is missing (tools/setup.sh installs it)";
  const ProcessResult trial = RunProcess(strace, {"-f", "-o", "/dev/null", "true"});
  if (trial.status != 0) GTEST_SKIP() << "strace cannot trace here (ptrace refused?): " << trial.err;

  TempDir dir;
  dir.Write("game.vka", "print 1\r\n");
  std::vector<std::string> args = {"-f", "-y", "-qq", "-o", dir.File("trace.txt"), "-e",
                                   "trace=%file,fsync,fdatasync,write", VellumarkExe()};
  for (const std::string& a : EditArgs(dir, "2 type x\n10 key F3 down\n11 key F3 up\n", 20)) args.push_back(a);
  const ProcessResult r = RunProcess(strace, args, dir.path(),
                                     {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(dir.Read("game.vka"), "xprint 1\r\n");

  std::vector<std::string> lines;
  std::istringstream trace(dir.Read("trace.txt"));
  for (std::string line; std::getline(trace, line);) lines.push_back(line);
  // renameat(N</folder>, ".vk-...tmp", N</folder>, "game.vka"), made in the folder held
  const int renamed = Find(lines, 0, {"rename", ".vk-", "\"game.vka\""});
  ASSERT_GE(renamed, 0) << "no rename onto game.vka in the trace";
  const std::string& rename = lines[size_t(renamed)];
  const size_t start = rename.find(".vk-");
  const std::string temp = rename.substr(start, rename.find('"', start) - start);
  const std::string folder = std::filesystem::canonical(dir.path()).string();
  int written = -1;
  for (int at = Find(lines, 0, {"write(", "/" + temp + ">"}); at >= 0 && at < renamed;
       at = Find(lines, at + 1, {"write(", "/" + temp + ">"}))
    written = at;
  ASSERT_GE(written, 0) << "the temporary " << temp << " is not written before the rename";
  const int flushed = std::max(Find(lines, written, {"fsync(", "/" + temp + ">"}),
                               Find(lines, written, {"fdatasync(", "/" + temp + ">"}));
  EXPECT_GT(flushed, written) << "the temporary is not flushed after its data";
  EXPECT_LT(flushed, renamed) << "the temporary is not flushed before the rename";
  EXPECT_GE(Find(lines, renamed, {"fsync(", "<" + folder + ">"}), 0) << "the folder is not flushed after the rename";
}

// The state folder full at F5 (the file-size limit, as a full disk meets the work file): the
// environment says the work file could not be written and why, and runs nothing.
TEST(SaveDurability, AWorkFileThatCannotBeWrittenAtF5IsSaidSoAndNothingRuns) {
  TempDir dir;
  std::string source = "make file \"ran.txt\"\r\n";
  while (source.size() < 100000) source += "rem " + std::string(70, 'x') + "\r\n";
  dir.Write("game.vka", source);
  const std::vector<std::string> args = EditArgs(dir, "10 key F5 down\n11 key F5 up\n", 40);
  const std::string exe = VellumarkExe(), err = dir.File("err.txt"), config = dir.File("config");
  const int status = RunWithFileSizeLimit(65536, [&] {
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0 || chdir(dir.path().c_str()) != 0) return 126;
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    std::vector<char*> argv = {const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    return 127;
  });
  const std::string said = dir.Read("err.txt");
  EXPECT_EQ(status, 0) << said;
  EXPECT_NE(said.find("vellumark: edit: the work file "), std::string::npos) << said;
  EXPECT_NE(said.find("workfile.tmp could not be written: file too large\n"), std::string::npos) << said;
  EXPECT_EQ(said.find("Cannot read the source file"), std::string::npos) << said;
  EXPECT_FALSE(std::filesystem::exists(dir.File("ran.txt")));
}

// The state folder on a small file system all but full, as a full disk: the run's small files
// still go in, the work file of a large source does not. F5 says the work file could not be
// written and why, and the typed text stays in the editor, where F3 saves it, or the end of the
// frames keeps it in a recovery file beside the source. Root only (a file system of the test's
// own, in a mount namespace of the started editor's own).
TEST(SaveDurability, AFullStateFolderAtF5KeepsTheTypedText) {
  if (geteuid() != 0) GTEST_SKIP() << "mounts a file system of its own";
  const struct {
    const char* name;
    const char* then;     // the script's lines after F5
    const char* source;   // game.vka's text at the end: "typed" for the typed text, "" for as it was
    const char* kept;     // game.vka.recovered's: "typed", or "" for none
  } cases[] = {{"F3 saves it", "50 key F3 down\n51 key F3 up\n", "typed", ""}, {"the frames end", "", "", "typed"}};
  std::string source = "print 1\r\n";
  while (source.size() < 200000) source += "rem " + std::string(70, 'x') + "\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.Write("game.vka", source);
    const std::vector<std::string> args =
        EditArgs(dir, std::string("2 type rem typed\n30 key F5 down\n31 key F5 up\n") + c.then, 80);
    const int status = RunWithAFullStateFolder(dir, args, 65536);
    ASSERT_NE(status, -1) << "still running";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 125) GTEST_SKIP() << "no mount namespace here";
    const std::string said = dir.Read("err.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << ": " << said;
    EXPECT_NE(said.find("workfile.tmp could not be written: disk full\n"), std::string::npos) << said;
    EXPECT_EQ(said.find("could not be kept"), std::string::npos) << said;
    const std::string typed = "rem typed" + source;
    EXPECT_TRUE(dir.Read("game.vka") == (c.source[0] ? typed : source));
    if (c.kept[0]) {
      EXPECT_TRUE(dir.Read("game.vka.recovered") == typed);
    } else {
      EXPECT_FALSE(std::filesystem::exists(dir.File("game.vka.recovered")));
    }
  }
}

// With the state folder's disk full from the start, the --input file cannot be copied for the
// editor: said, with the cause, status 2, and nothing typed (the run would have no input at all).
TEST(SaveDurability, AFullStateFolderAtTheStartStopsAnEditWithInput) {
  if (geteuid() != 0) GTEST_SKIP() << "mounts a file system of its own";
  TempDir dir;
  dir.Write("game.vka", "print 1\r\n");
  const int status =
      RunWithAFullStateFolder(dir, EditArgs(dir, "2 type rem typed\n10 key F3 down\n11 key F3 up\n", 30), 0);
  ASSERT_NE(status, -1) << "still running";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 125) GTEST_SKIP() << "no mount namespace here";
  const std::string said = dir.Read("err.txt");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status << ": " << said;
  EXPECT_NE(said.find("vellumark: edit: the --input file " + dir.File("script.txt") + " cannot be followed: "),
            std::string::npos) << said;
  EXPECT_NE(said.find("session_input.txt could not be written: disk full\n"), std::string::npos) << said;
  EXPECT_EQ(dir.Read("game.vka"), "print 1\r\n");
}

}  // namespace
