// What a start costs the system: traced, `exec` of a one-line program reads the user database at
// most once, however many folders it judges by their group, stays within a budget of system
// calls, and loads no window library when it shows no window.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define VK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VK_SANITIZED 1
#endif
#endif

namespace {

std::string FindInPath(const std::string& program) {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
  for (std::string folder; std::getline(path, folder, ':');)
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return folder + "/" + program;
  return "";
}

TEST(StartCost, AStartReadsTheUserDatabaseOnceAtMost) {
  const std::string strace = FindInPath("strace");
  ASSERT_FALSE(strace.empty()) << "strace is missing (tools/setup.sh installs it)";
  const ProcessResult trial = RunProcess(strace, {"-f", "-o", "/dev/null", "true"});
  if (trial.status != 0) GTEST_SKIP() << "strace cannot trace here (ptrace refused?): " << trial.err;
  const struct {
    const char* name;
    bool groupWritable;  // a state folder its group can write: whether that group is the user's
                         // private one is asked of the user database at each folder judged
    int budget;          // of system calls, 0 for none
  } cases[] = {{"a plain start", false, 1500}, {"a start judging folders by their group", true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.Write("one.vka", "print 1\r\n");
    std::filesystem::create_directories(dir.File("state"));
    ASSERT_EQ(chmod(dir.File("state").c_str(), c.groupWritable ? 0775 : 0700), 0);
    const std::vector<std::string> env = {"XDG_STATE_HOME=" + dir.File("state"),
                                          "XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"};
    ASSERT_EQ(RunProcess(VellumarkExe(), {"compile", "one.vka"}, dir.path(), env).status, 0);
    // Every system call of the start and its threads, one a line (a call cut by another thread's
    // shows again as "<... resumed>", not counted twice).
    const ProcessResult r = RunProcess(strace,
                                       {"-f", "-qq", "-o", dir.File("trace.txt"), VellumarkExe(), "exec", "one.img",
                                        "--headless", "--frames", "1", "--transcript", "out.txt"},
                                       dir.path(), env);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(dir.Read("out.txt"), "1\n");
    int calls = 0, passwd = 0, group = 0, sdl = 0;
    std::istringstream trace(dir.Read("trace.txt"));
    for (std::string line; std::getline(trace, line);) {
      if (line.find("<... ") != std::string::npos || line.find('(') == std::string::npos) continue;
      ++calls;
      const bool open = line.find("open") != std::string::npos;
      passwd += open && line.find("\"/etc/passwd\"") != std::string::npos;
      group += open && line.find("\"/etc/group\"") != std::string::npos;
      sdl += open && line.find("libSDL2") != std::string::npos;
    }
    EXPECT_LE(passwd, 1);
    EXPECT_LE(group, 1);
    EXPECT_EQ(sdl, 0);
#ifndef VK_SANITIZED  // a sanitizer's runtime makes calls of its own
    if (c.budget) {
      EXPECT_LT(calls, c.budget);
    }
#endif
  }
}

}  // namespace
