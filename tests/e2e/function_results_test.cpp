// Every function of the keyword list, called where it has nothing to compute, right after the
// program left a value behind: as a built game, which goes past warnings, none gives that value
// back.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/embedded_data.h"
#include "tests/support/program_run.h"

namespace {

struct FunctionCall {
  std::string name, letters;  // letters: the result's, then the arguments'
  int number = 0;
  bool outOfRange = false;    // arguments past every range rather than naming nothing
  bool Operator() const { return !std::isalpha(static_cast<unsigned char>(name[0])); }
};

// Each function and operator (by name and letters, as a program can call it; array elements
// aside) with two sets of arguments: numbers with nothing behind them (77, "no such file.bin")
// and numbers outside every range (-1, a point left of and above the screen, the empty name).
// An operator's right-hand side is 0 in the first set (a division by zero), -1 in the second.
std::vector<FunctionCall> FunctionCalls() {
  const EmbeddedFile* list = FindEmbeddedFile("keywords.txt");
  std::vector<FunctionCall> calls;
  if (!list) return calls;
  std::istringstream in(std::string(reinterpret_cast<const char*>(list->data), list->size));
  std::set<std::string> seen;
  for (std::string line; std::getline(in, line);) {
    const size_t a = line.find('%'), b = line.find('%', a + 1);
    if (a == 0 || b == std::string::npos || line[a - 1] != '[' || line[0] == ';' || line[0] == '@') continue;
    FunctionCall call{line.substr(0, a - 1), line.substr(b + 1), std::stoi(line.substr(a + 1, b - a - 1))};
    while (!call.letters.empty() && std::isspace(static_cast<unsigned char>(call.letters.back()))) call.letters.pop_back();
    if (!seen.insert(call.name + "%" + call.letters).second) continue;
    calls.push_back(call);
    call.outOfRange = true;
    calls.push_back(call);
  }
  return calls;
}

std::string Suffix(char letter) { return letter == 'f' ? "#" : letter == 's' ? "$" : ""; }

std::string Argument(const FunctionCall& c, size_t j) {
  const char t = c.letters[j];
  if (t == 's') return c.outOfRange ? "\"\"" : "\"no such file.bin\"";
  const char* n = c.Operator() && j == 2 ? (c.outOfRange ? "-1" : "0") : c.outOfRange && !c.Operator() ? "-1" : "77";
  return t == 'f' ? n + std::string(".0") : n;
}

// From call `first` on: each call's arguments go into variables, then a statement leaves 778 in
// the first temporary of the result's type (where the call's result goes), then the call, then
// "k value" is printed; "end" after the last.
std::string WalkSource(const std::vector<FunctionCall>& calls, size_t first) {
  std::string s;
  for (size_t k = first; k < calls.size(); ++k) {
    const FunctionCall& c = calls[k];
    std::vector<std::string> vars;
    for (size_t j = 1; j < c.letters.size(); ++j) {
      vars.push_back("a" + std::to_string(j) + Suffix(c.letters[j]));
      s += vars.back() + " = " + Argument(c, j) + "\n";
    }
    std::string call = c.name + "(";
    if (c.Operator()) call = vars.at(0) + " " + (c.name == "==" ? "=" : c.name) + " " + vars.at(1);
    else
      for (size_t j = 0; j < vars.size(); ++j) call += (j ? ", " : "") + vars[j];
    if (!c.Operator()) call += ")";
    const char r = c.letters[0];
    s += r == 's' ? "y$ = \"77\" + \"8\"\n" : r == 'f' ? "y# = 777.0 + 1.0\n" : "y = 777 + 1\n";
    s += "r" + Suffix(r) + " = " + call + "\n";
    s += "print \"" + std::to_string(k) + " \"; r" + Suffix(r) + "\n";
  }
  return s + "print \"end\"\n";
}

TEST(FunctionResults, NoFunctionGivesBackTheValueLeftInItsResultCell) {
  const std::vector<FunctionCall> calls = FunctionCalls();
  ASSERT_GT(calls.size(), 500u);
  size_t first = 0, ended = 0;
  while (first < calls.size()) {
    VkaOptions options;
    options.frames = 1000000;
    options.builtGame = true;
    options.grab = false;
    const RunOutcome run = RunVkaSource(WalkSource(calls, first), options);
    std::istringstream lines(run.transcript);
    size_t next = first;
    bool end = false;
    for (std::string line; std::getline(lines, line);) {
      if (line == "end") {
        end = true;
        continue;
      }
      const size_t k = std::stoul(line);
      const std::string value = line.substr(line.find(' ') + 1);
      const FunctionCall& c = calls[k];
      EXPECT_NE(value, "778") << c.name << " (" << c.number << ") " << (c.outOfRange ? "out of range" : "on nothing");
      next = k + 1;
    }
    if (end) break;
    // A call that ends the program with an error gives nothing back: the walk goes on after it.
    ASSERT_EQ(run.status, 1) << "the run stopped at " << calls[next].name << ": " << run.err;
    ++ended;
    first = next + 1;
  }
  std::printf("%zu calls, %zu ended their run with an error\n", calls.size(), ended);
}

}  // namespace

// POINT one pixel past each edge of the screen and of a smaller current bitmap gives 0, not
// what the statement before left behind; the last pixel inside gives its colour.
TEST(FunctionResults, PointPastAnEdgeOfTheCurrentBitmapGivesZero) {
  std::string source = "cls rgb(0, 0, 255)\n";
  const char* const screen[] = {"639, 479", "640, 0", "0, 480", "-1, 0", "0, -1"};
  const char* const bitmap[] = {"9, 9", "10, 5", "5, 10", "-1, 5", "5, -1"};
  std::string print = "print p1";
  int k = 0;
  for (const auto* points : {screen, bitmap}) {
    if (points == bitmap) source += "create bitmap 1, 10, 10\ncls rgb(0, 0, 255)\n";
    for (int j = 0; j < 5; ++j) {
      source += "y = 777 + 1\np" + std::to_string(++k) + " = point(" + points[j] + ")\n";
      if (k > 1) print += "; \" \"; p" + std::to_string(k);
    }
  }
  VkaOptions options;
  options.frames = 1000;
  options.builtGame = true;
  options.grab = false;
  const RunOutcome run = RunVkaSource(source + "set current bitmap 0\n" + print + "\n", options);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.transcript, "255 0 0 0 0 255 0 0 0 0\n");
}
