// The README's first command, as a new user runs it on a machine without a display.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/process.h"

namespace {

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Runs the executable without a display to reach; returns what it wrote to stdout.
std::string StdoutOfHeadlessRun(const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return "";
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    if (chdir(VK_SOURCE_DIR) != 0) _exit(127);
    const std::string exe = VellumarkExe();
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string seen;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) seen.append(buf, size_t(n));
  close(out[0]);
  waitpid(pid, nullptr, 0);
  return seen;
}

// It builds the executable alone, and its run shows the program's text even headless.
TEST(Readme, TheFirstCommandBuildsTheExecutableAndItsRunIsVisible) {
  std::ifstream in(std::string(VK_SOURCE_DIR) + "/README.md");
  std::string line;
  while (std::getline(in, line) && line.find("build/vellumark run") == std::string::npos) {}
  ASSERT_NE(line.find("tools/build.sh"), std::string::npos) << line;
  const size_t build = line.find("tools/build.sh") + 14;
  EXPECT_EQ(Words(line.substr(build, line.find("&&", build) - build)), std::vector<std::string>{"vellumark"});
  std::vector<std::string> args = Words(line.substr(line.find("build/vellumark run") + 16));
  args.insert(args.end(), {"--clock", "virtual"});  // the same frames without their real time
  EXPECT_NE(StdoutOfHeadlessRun(args).find("Hello from Vellumark"), std::string::npos);
}

}  // namespace
