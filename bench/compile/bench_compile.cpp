// Writes a program of about 100,000 lines within the language's limits, compiles it and, in
// the same run, has "luac5.4 -p" parse a Lua program of the same statements. Prints the
// lines per second of both and their ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "compiler/compiler.h"
#include "devenv/language.h"

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

}  // namespace

int main(int argc, char** argv) {
  int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  Programs p = Generate(lines);
  const std::string basicFile = "bench_compile_program.vka", luaFile = "bench_compile_program.lua";
  std::ofstream(basicFile, std::ios::binary) << p.basic;
  std::ofstream(luaFile, std::ios::binary) << p.lua;

  Compiler compiler;
  compiler.LoadKeywordTable();
  LoadLanguageTables("");
  compiler.SetMessageTexts(g_language.compiler);
  // Rounds alternate between the two so that a busy machine slows both alike; the best
  // time of each counts.
  double best = 1e9, luaBest = 1e9;
  for (int round = 0; round < 7; ++round) {
    auto start = std::chrono::steady_clock::now();
    bool ok = compiler.CompileToDefaultImage(basicFile);
    best = std::min(best, Seconds(start));
    if (!ok) {
      std::fprintf(stderr, "compile failed: %s\n", compiler.ResultText().c_str());
      return 1;
    }
    start = std::chrono::steady_clock::now();
    int status = std::system(("luac5.4 -p " + luaFile).c_str());
    luaBest = std::min(luaBest, Seconds(start));
    if (status != 0) {
      std::fprintf(stderr, "luac5.4 failed (status %d)\n", status);
      return 1;
    }
  }
  const double ours = p.basicLines / best, theirs = p.luaLines / luaBest;
  std::printf("vellumark compile: %d lines in %.3f s = %.0f lines/s\n", p.basicLines, best, ours);
  std::printf("luac5.4 -p:        %d lines in %.3f s = %.0f lines/s\n", p.luaLines, luaBest, theirs);
  std::printf("ratio (vellumark / luac): %.2f\n", ours / theirs);
  std::remove(basicFile.c_str());
  std::remove(luaFile.c_str());
  return 0;
}
