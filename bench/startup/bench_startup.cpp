// Start-up: `vellumark run` of an empty program (headless) against `lua5.4 -e ''`, each a whole
// process started directly (no shell between), the two in turns. A round times a batch of
// launches of each side; every figure is the median of the rounds with its range. Also shown:
// `vellumark --version`, the cost of loading the executable alone.
// Usage: bench_startup [launches per round] [rounds] (defaults 20 and 5).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"

extern char** environ;

namespace {

bool g_failed = false;

// Runs the command to its end with its output discarded; false unless it ended with status 0.
bool Launch(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &files, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  int status = 0;
  return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Milliseconds per launch over a batch.
double BatchMs(const std::vector<std::string>& argv, int launches) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < launches; ++i)
    if (!Launch(argv) && !g_failed) {
      std::fprintf(stderr, "bench_startup: %s failed\n", argv[0].c_str());
      g_failed = true;
    }
  return bench::SecondsSince(start) * 1e3 / launches;
}

}  // namespace

int main(int argc, char** argv) {
  const int launches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : bench::kMinRounds;
  char folderTemplate[] = "/tmp/vk_bench_XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  if (!folder) return 1;
  const std::string source = std::string(folder) + "/empty.vka";
  std::ofstream(source) << "end\r\n";
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  bench::PrintMachine("bench_startup");

  const std::vector<std::string> run = {VK_EXECUTABLE, "run", source, "--headless"};
  const std::vector<std::string> version = {VK_EXECUTABLE, "--version"};
  const std::vector<std::string> lua = {"lua5.4", "-e", ""};
  const auto t = bench::Alternate(rounds, {[&] { return BatchMs(run, launches); },
                                           [&] { return BatchMs(version, launches); },
                                           [&] { return BatchMs(lua, launches); }});
  std::printf("ms per launch (%d launches a round):\n", launches);
  std::printf("  vellumark run empty.vka --headless  %s\n", bench::Show(bench::Summarise(t[0]), 1, 2).c_str());
  std::printf("  vellumark --version                 %s\n", bench::Show(bench::Summarise(t[1]), 1, 2).c_str());
  std::printf("  lua5.4 -e ''                        %s\n", bench::Show(bench::Summarise(t[2]), 1, 2).c_str());
  std::printf("ratio run / lua: %s (goal under 8)\n", bench::Show(bench::Ratio(t[0], t[2]), 1, 1).c_str());
  bench::PrintLoad();
  std::system(("rm -rf " + std::string(folder)).c_str());
  return g_failed ? 1 : 0;
}
