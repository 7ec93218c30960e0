// Runs each interpreter benchmark as a whole `vellumark exec` process and the same algorithm
// as a whole lua5.4 process, subtracts each side's start-up (its empty program) and prints
// the times and the ratio Lua time / our time. Usage: bench_interp [scale] [runs]
// (defaults 3 and 3); with VK_BENCH_KEEP set, the programs stay in their folder. Our runs end at a frame boundary, so a program can be measured up to
// one frame period (25 ms) slow: the default scale keeps that within a few per cent.
// The BASIC side is built with the test-side image builder, laid out as the compiler emits
// each statement (FOR as assignment, step command and NEXT; expressions into temporaries).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/interp/bench_programs.h"

namespace {

double RunSeconds(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  int status = std::system(command.c_str());
  auto end = std::chrono::steady_clock::now();
  if (status != 0) std::fprintf(stderr, "bench_interp: '%s' ended with status %d\n", command.c_str(), status);
  return std::chrono::duration<double>(end - start).count();
}

double Best(const std::string& command, int runs) {
  double best = 1e30;
  for (int k = 0; k < runs; ++k) best = std::min(best, RunSeconds(command));
  return best;
}

struct Commands {
  std::string ours, lua;
};

Commands Prepare(const BenchProgram& p, const std::string& folder, int index) {
  std::string image = folder + "/bench" + std::to_string(index) + ".img";
  std::string script = folder + "/bench" + std::to_string(index) + ".lua";
  if (!p.image.WriteFile(image)) std::fprintf(stderr, "bench_interp: cannot write %s\n", image.c_str());
  std::ofstream(script) << p.lua;
  return {std::string(VK_EXECUTABLE) + " exec " + image + " --headless --standalone >/dev/null 2>&1",
          "lua5.4 " + script};
}

}  // namespace

int main(int argc, char** argv) {
  const double scale = argc > 1 ? std::atof(argv[1]) : 3.0;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  char folderTemplate[] = "/tmp/vk_bench_XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  if (!folder) return 1;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);

  Commands empty = Prepare(MakeEmptyProgram(), folder, 0);
  const double oursStart = Best(empty.ours, runs), luaStart = Best(empty.lua, runs);
  std::printf("start-up: vellumark %.1f ms, lua %.1f ms (subtracted)\n\n", oursStart * 1e3, luaStart * 1e3);
  std::printf("%-28s %12s %12s %8s\n", "benchmark", "lua ms", "ours ms", "ratio");
  int index = 1;
  double worst = 1e30;
  for (const BenchProgram& p : MakeBenchPrograms(scale)) {
    Commands c = Prepare(p, folder, index++);
    const double ours = std::max(1e-4, Best(c.ours, runs) - oursStart);
    const double lua = std::max(1e-4, Best(c.lua, runs) - luaStart);
    worst = std::min(worst, lua / ours);
    std::printf("%-28s %12.1f %12.1f %8.2f\n", p.name.c_str(), lua * 1e3, ours * 1e3, lua / ours);
    std::fflush(stdout);
  }
  std::printf("\nlowest ratio: %.2f (goal: at least 1.0)\n", worst);
  // VK_BENCH_KEEP=1 keeps the images and scripts (for profiling a single program).
  if (std::getenv("VK_BENCH_KEEP")) std::printf("programs kept in %s\n", folder);
  else std::system(("rm -rf " + std::string(folder)).c_str());
  return 0;
}
