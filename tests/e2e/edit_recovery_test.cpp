// A signal that ends `vellumark edit` (the terminal closed, a repeated stop request) keeps the
// unsaved changes in a recovery file beside the source and names it on stderr.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

bool WaitFor(const std::string& path) {
  for (int i = 0; i < 4000 && !std::filesystem::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return std::filesystem::exists(path);
}

// `vellumark edit [project/game.vka]` headless in dir/project, stderr into dir/err.txt.
pid_t StartEdit(const TempDir& dir, bool named) {
  const std::string exe = VellumarkExe(), config = "XDG_CONFIG_HOME=" + dir.File("config");
  const std::string err = dir.File("err.txt"), source = dir.File("project/game.vka"), script = dir.File("script.txt");
  const std::string folder = dir.File("project");
  pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0 || chdir(folder.c_str()) != 0) _exit(127);
    for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    putenv(const_cast<char*>(config.c_str()));
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    if (named)
      execl(exe.c_str(), "vellumark", "edit", source.c_str(), "--headless", "--clock", "virtual", "--input",
            script.c_str(), static_cast<char*>(nullptr));
    else
      execl(exe.c_str(), "vellumark", "edit", "--headless", "--clock", "virtual", "--input", script.c_str(),
            static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

TEST(EditRecovery, EndingSignalsKeepTheUnsavedChanges) {
  struct {
    const char* name;
    int first, second;     // second 0: one signal
    bool named;            // the source has a name
    const char* recovery;  // where its text goes
  } cases[] = {{"hang-up", SIGHUP, 0, true, "project/game.vka.recovered"},
               {"second SIGTERM", SIGTERM, SIGTERM, true, "project/game.vka.recovered"},
               {"no name", SIGHUP, 0, false, "config/vellumark/untitled.vka.recovered"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directories(dir.File("project"));
    std::filesystem::create_directories(dir.File("config/vellumark"));
    dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
    dir.Write("project/game.vka", "");
    // The typed program runs once (it makes ran.txt) and the editor comes back, still modified.
    dir.Write("script.txt", "2 type make file \"ran.txt\"\n40 key F5 down\n41 key F5 up\n");
    const pid_t pid = StartEdit(dir, c.named);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitFor(dir.File("project/ran.txt")));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, c.first);
    if (c.second) {
      std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the first asks to save first
      kill(pid, c.second);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == (c.second ? c.second : c.first)) << status;
    const std::string recovered = dir.File(c.recovery);
    ASSERT_TRUE(std::filesystem::exists(recovered)) << dir.Read("err.txt");
    EXPECT_EQ(dir.Read(c.recovery), "make file \"ran.txt\"\r\n");
    EXPECT_EQ(dir.Read("project/game.vka"), "");
    EXPECT_NE(dir.Read("err.txt").find(recovered), std::string::npos) << dir.Read("err.txt");
  }
}

}  // namespace
