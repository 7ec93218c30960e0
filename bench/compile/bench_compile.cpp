// Writes a program of about 100,000 lines within the language's limits, compiles it and, in
// the same run, has "luac5.4 -p" parse a Lua program of the same statements. Prints the
// lines per second of both and their ratio.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "runtime/language_file.h"

namespace {

struct Programs {
  std::string basic, lua;
  int basicLines = 0, luaLines = 0;
};

void Add(Programs& p, const std::string& basic, const std::string& lua) {
  p.basic += basic + "\n";
  p.lua += lua + "\n";
  ++p.basicLines;
  ++p.luaLines;
}

Programs Generate(int targetLines) {
  Programs p;
  std::mt19937 rng(12345);
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  const int functions = 200;
  Add(p, "t$ = \"text \"", "t = \"text \"");
  while (p.basicLines < targetLines) {
    const std::string a = std::to_string(pick(150)), b = std::to_string(pick(150)), c = std::to_string(pick(150));
    const std::string k = std::to_string(1 + pick(900)), f = std::to_string(pick(functions));
    switch (pick(9)) {
      case 0:
        Add(p, "v" + a + " = v" + b + " + " + k + " * v" + c, "v" + a + " = v" + b + " + " + k + " * v" + c);
        break;
      case 1:
        Add(p, "f" + a + "# = f" + b + "# / 2.5 + " + k, "f" + a + " = f" + b + " / 2.5 + " + k);
        break;
      case 2:
        Add(p, "if v" + a + " > " + k + " then v" + b + " = v" + b + " - 1",
            "if v" + a + " > " + k + " then v" + b + " = v" + b + " - 1 end");
        break;
      case 3:
        Add(p, "for i" + a + " = 1 to " + k, "for i" + a + " = 1, " + k + " do");
        Add(p, "  v" + b + " = v" + b + " + i" + a, "  v" + b + " = v" + b + " + i" + a);
        Add(p, "next i" + a, "end");
        break;
      case 4:
        Add(p, "while v" + a + " < " + k, "while v" + a + " < " + k + " do");
        Add(p, "  v" + a + " = v" + a + " + 1", "  v" + a + " = v" + a + " + 1");
        Add(p, "endwhile", "end");
        break;
      case 5:
        Add(p, "s" + a + "$ = t$ + str$(v" + b + ")", "s" + a + " = t .. tostring(v" + b + ")");
        break;
      case 6:
        Add(p, "print v" + a, "print(v" + a + ")");
        break;
      case 7:
        Add(p, "v" + a + " = add" + f + "(v" + b + ", " + k + ")", "v" + a + " = add" + f + "(v" + b + ", " + k + ")");
        break;
      default:
        Add(p, "if v" + a + " = v" + b, "if v" + a + " == v" + b + " then");
        Add(p, "  v" + c + " = (v" + a + " - " + k + ") * 2", "  v" + c + " = (v" + a + " - " + k + ") * 2");
        Add(p, "else", "else");
        Add(p, "  v" + c + " = v" + b + " / " + k, "  v" + c + " = v" + b + " // " + k);
        Add(p, "endif", "end");
        break;
    }
  }
  Add(p, "end", "");
  for (int i = 0; i < functions; ++i) {
    Add(p, "function add" + std::to_string(i) + "(x, y)", "function add" + std::to_string(i) + "(x, y)");
    Add(p, "endfunction x + y", "  return x + y end");
  }
  return p;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs "luac5.4 -p file" as its own process (no shell in between) and returns its time, or
// a negative value when it fails.
double TimeLuac(const std::string& file) {
  std::string prog = "luac5.4", flag = "-p", name = file;
  char* args[] = {prog.data(), flag.data(), name.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, prog.c_str(), nullptr, nullptr, args, environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  const double t = Seconds(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? t : -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  // With a second argument "keep" the generated programs stay for profiling.
  const bool keep = argc > 2 && std::string(argv[2]) == "keep";
  Programs p = Generate(lines);
  const std::string basicFile = "bench_compile_program.vka", luaFile = "bench_compile_program.lua",
                    emptyFile = "bench_compile_empty.lua";
  std::ofstream(basicFile, std::ios::binary) << p.basic;
  std::ofstream(luaFile, std::ios::binary) << p.lua;
  std::ofstream(emptyFile, std::ios::binary) << "";

  Compiler compiler;
  compiler.LoadKeywordTable();
  LoadLanguageTables("");
  compiler.SetMessageTexts(g_language.compiler);
  // Both sides read their program from a file and compile it without writing anything.
  // luac runs as a process of its own: the time of the same run on an empty file (process
  // start and exit) is taken off its time, so only its reading and compiling count, as on
  // our side. Rounds alternate so that a busy machine slows both alike; the best time of
  // each counts, and the medians show how steady the runs were.
  const int rounds = 15;
  std::vector<double> ours, theirs, startup;
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    bool ok = compiler.CompileToDefaultImage(basicFile);
    ours.push_back(Seconds(start));
    if (!ok) {
      std::fprintf(stderr, "compile failed: %s\n", compiler.ResultText().c_str());
      return 1;
    }
    const double whole = TimeLuac(luaFile), empty = TimeLuac(emptyFile);
    if (whole < 0 || empty < 0) {
      std::fprintf(stderr, "luac5.4 -p failed\n");
      return 1;
    }
    theirs.push_back(whole);
    startup.push_back(empty);
  }
  const double start = *std::min_element(startup.begin(), startup.end());
  const double best = *std::min_element(ours.begin(), ours.end());
  const double luaBest = *std::min_element(theirs.begin(), theirs.end()) - start;
  const double median = Median(ours), luaMedian = Median(theirs) - start;
  std::printf("vellumark compile: %d lines in %.4f s (median %.4f) = %.0f lines/s\n", p.basicLines, best, median,
              p.basicLines / best);
  std::printf("luac5.4 -p:        %d lines in %.4f s (median %.4f) = %.0f lines/s (start-up %.4f s taken off)\n",
              p.luaLines, luaBest, luaMedian, p.luaLines / luaBest, start);
  std::printf("ratio (vellumark / luac): %.2f (medians %.2f)\n", (p.basicLines / best) / (p.luaLines / luaBest),
              (p.basicLines / median) / (p.luaLines / luaMedian));
  if (!keep) {
    std::remove(basicFile.c_str());
    std::remove(luaFile.c_str());
  }
  std::remove(emptyFile.c_str());
  return 0;
}
