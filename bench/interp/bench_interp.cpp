// Runs each interpreter benchmark as a whole `vellumark exec` process and the same algorithm
// as a whole lua5.4 process, the two in turns, subtracts each side's start-up (the median of its
// empty program) and prints the times and the ratio Lua time / our time, medians of the rounds
// with their spread. Each program prints a checksum of its work on both sides, and the two are
// compared. Usage: bench_interp [scale] [rounds] (defaults 2 and 5); with VK_BENCH_KEEP set, the
// programs stay in their folder. Our runs end at a frame boundary, so a program can be measured
// up to one frame period (25 ms) slow: at the default scale most programs run for about a second.
// The BASIC side is built with the test-side image builder, laid out as the compiler emits
// each statement (FOR as assignment, step command and NEXT; expressions into temporaries).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "bench/interp/bench_programs.h"

namespace {

double RunSeconds(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  int status = std::system(command.c_str());
  const double t = bench::SecondsSince(start);
  if (status != 0) std::fprintf(stderr, "bench_interp: '%s' ended with status %d\n", command.c_str(), status);
  return t;
}

struct Commands {
  std::string ours, lua, oursOut, luaOut;
};

Commands Prepare(const BenchProgram& p, const std::string& folder, int index) {
  const std::string base = folder + "/bench" + std::to_string(index);
  if (!p.image.WriteFile(base + ".img")) std::fprintf(stderr, "bench_interp: cannot write %s.img\n", base.c_str());
  std::ofstream(base + ".lua") << p.lua;
  return {std::string(VK_EXECUTABLE) + " exec " + base + ".img --headless --standalone --transcript " + base +
              ".ours.txt >/dev/null 2>&1",
          "lua5.4 " + base + ".lua >" + base + ".lua.txt", base + ".ours.txt", base + ".lua.txt"};
}

std::vector<std::string> Words(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// The checksums agree word by word: whole numbers modulo 2^32 (our integers are 32-bit, Lua's
// 64-bit), other numbers to a relative 1e-3 (single against double precision), text exactly.
bool SameChecksums(const std::vector<std::string>& ours, const std::vector<std::string>& lua) {
  if (ours.size() != lua.size() || ours.empty()) return false;
  for (size_t i = 0; i < ours.size(); ++i) {
    char *endA = nullptr, *endB = nullptr;
    const double a = std::strtod(ours[i].c_str(), &endA), b = std::strtod(lua[i].c_str(), &endB);
    if (*endA || *endB || endA == ours[i].c_str()) {
      if (ours[i] != lua[i]) return false;
    } else if (a == std::floor(a) && b == std::floor(b) && std::fabs(b) < 9e18) {
      if (uint32_t(int64_t(a)) != uint32_t(int64_t(b))) return false;
    } else if (std::fabs(a - b) > 1e-3 * std::max(std::fabs(a), std::fabs(b))) {
      return false;
    }
  }
  return true;
}

std::string Join(const std::vector<std::string>& words) {
  std::string s;
  for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const double scale = argc > 1 ? std::atof(argv[1]) : 2.0;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : bench::kMinRounds;
  char folderTemplate[] = "/tmp/vk_bench_XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  if (!folder) return 1;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  bench::PrintMachine("bench_interp");

  Commands empty = Prepare(MakeEmptyProgram(), folder, 0);
  const auto start = bench::Alternate(rounds, {[&] { return RunSeconds(empty.ours); },
                                               [&] { return RunSeconds(empty.lua); }});
  const double oursStart = bench::Summarise(start[0]).median, luaStart = bench::Summarise(start[1]).median;
  std::printf("start-up: vellumark %s ms, lua %s ms (medians subtracted)\n"
              "  ratio ours/lua %s (goal <= 10)\n\n",
              bench::Show(bench::Summarise(start[0]), 1e3, 1).c_str(),
              bench::Show(bench::Summarise(start[1]), 1e3, 1).c_str(), bench::Show(bench::Ratio(start[0], start[1]), 1, 1).c_str());
  std::printf("%-26s %-22s %-22s %-18s %s\n", "benchmark", "lua ms", "ours ms", "ratio lua/ours", "checksum");
  int index = 1;
  double worst = 1e30;
  bool allSame = true;
  for (const BenchProgram& p : MakeBenchPrograms(scale)) {
    Commands c = Prepare(p, folder, index++);
    const auto t = bench::Alternate(rounds, {[&] { return std::max(1e-4, RunSeconds(c.ours) - oursStart); },
                                             [&] { return std::max(1e-4, RunSeconds(c.lua) - luaStart); }});
    const bench::Figure ratio = bench::Ratio(t[1], t[0]);
    worst = std::min(worst, ratio.median);
    const std::vector<std::string> ours = Words(c.oursOut), lua = Words(c.luaOut);
    const bool same = SameChecksums(ours, lua);
    allSame = allSame && same;
    std::printf("%-26s %-22s %-22s %-18s %s\n", p.name.c_str(), bench::Show(bench::Summarise(t[1]), 1e3, 1).c_str(),
                bench::Show(bench::Summarise(t[0]), 1e3, 1).c_str(), bench::Show(ratio).c_str(),
                same ? Join(ours).c_str() : ("DIFFER: ours '" + Join(ours) + "', lua '" + Join(lua) + "'").c_str());
    std::fflush(stdout);
  }
  std::printf("\nlowest median ratio: %.2f (goal: at least 1.5 on every one)%s\n", worst,
              allSame ? "" : "; SOME CHECKSUMS DIFFER");
  bench::PrintLoad();
  // VK_BENCH_KEEP=1 keeps the images and scripts (for profiling a single program).
  if (std::getenv("VK_BENCH_KEEP")) std::printf("programs kept in %s\n", folder);
  else std::system(("rm -rf " + std::string(folder)).c_str());
  return allSame ? 0 : 1;
}
