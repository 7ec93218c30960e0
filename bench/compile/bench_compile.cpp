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

#include "bench/common/bench_rounds.h"
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
  // start and exit), taken in the same round, is taken off its time, so only its reading and
  // compiling count, as on our side. The sides take turns so that a busy machine slows both
  // alike; the figures are medians of the rounds with their spread.
  bench::PrintMachine("bench_compile");
  bool failed = false;
  const auto t = bench::Alternate(15, {
      [&] {
        auto start = std::chrono::steady_clock::now();
        const bool ok = compiler.CompileToDefaultImage(basicFile);
        const double s = Seconds(start);
        if (!ok && !failed) std::fprintf(stderr, "compile failed: %s\n", compiler.ResultText().c_str());
        failed = failed || !ok;
        return p.basicLines / s;
      },
      [&] {
        const double whole = TimeLuac(luaFile), empty = TimeLuac(emptyFile);
        if ((whole < 0 || empty < 0) && !failed) std::fprintf(stderr, "luac5.4 -p failed\n");
        failed = failed || whole < 0 || empty < 0;
        return p.luaLines / std::max(1e-6, whole - empty);
      }});
  if (failed) return 1;
  std::printf("vellumark compile: %d lines, %s lines/s\n", p.basicLines, bench::Show(bench::Summarise(t[0]), 1, 0).c_str());
  std::printf("luac5.4 -p:        %d lines, %s lines/s (start-up taken off)\n", p.luaLines,
              bench::Show(bench::Summarise(t[1]), 1, 0).c_str());
  std::printf("ratio (vellumark / luac lines per second): %s (goal >= 2)\n", bench::Show(bench::Ratio(t[0], t[1])).c_str());
  bench::PrintLoad();
  if (!keep) {
    std::remove(basicFile.c_str());
    std::remove(luaFile.c_str());
  }
  std::remove(emptyFile.c_str());
  return 0;
}
