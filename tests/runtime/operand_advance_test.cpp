// Every command of a fixed number of operands that does not jump moves the program counter
// past exactly its operands: on success, on every error and whatever its operands hold.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/strings.h"
#include "platform/events.h"
#include "runtime/command_families.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

// Commands that wait by running again (the counter goes back to their own word): the timed
// waits, the waits for a key or a click and line input.
const std::set<int32_t> kWaiting = {255, 410, 263, 264, 265, 351, 352, 355};

// Operand kinds a command of fixed length has; a code or DATA position means it jumps.
bool FixedAndNotJumping(const char* kinds) {
  for (const char* k = kinds; *k; ++k)
    if (!std::strchr("lfsvn", *k)) return false;
  return true;
}

struct Failure {
  int32_t number;
  long moved;
};
int g_checked = 0;

// Runs every such command on operand cells holding `value` (texts: its digits) and collects
// those that left the counter anywhere but after their operands.
std::vector<Failure> RunEveryCommand(int32_t value) {
  std::vector<Failure> failures;
  for (const CommandFamily& family : CommandFamilies()) {
    for (const CommandDef& d : family.commands()) {
      if (!FixedAndNotJumping(d.operands)) continue;
      const size_t n = std::strlen(d.operands);
      std::vector<VarCell> cells(n + 1);
      for (size_t k = 0; k < n; ++k) {
        cells[k].raw = 0;
        if (d.operands[k] == 's') SetCellString(&cells[k], std::to_string(value).c_str());
        else if (d.operands[k] == 'f') cells[k].f = float(value);
        else cells[k].i = value;
      }
      // Three blank words ahead of the command: array-file commands read the element fetch
      // that stands before them.
      std::vector<CodeWord> words(n + 5, 0);
      CodeWord* const start = words.data() + 4;
      start[-1] = d.number;
      for (size_t k = 0; k < n; ++k) start[k] = reinterpret_cast<CodeWord>(&cells[k]);
      ProgramCounter = start;
      d.handler();
      const long moved = long(ProgramCounter - start);
      if (moved != long(n) && !(kWaiting.count(d.number) && moved == -1)) failures.push_back({d.number, moved});
      ++g_checked;
      for (size_t k = 0; k < n; ++k)
        if (d.operands[k] == 's') FreeString(cells[k].s);
      g_errorCode = 0;
      g_errorKind = 0;
      EventsReset();
    }
  }
  ProgramCounter = nullptr;
  return failures;
}

TEST(OperandAdvance, EveryFixedLengthCommandMovesPastExactlyItsOperands) {
  ImageBuilder b;
  b.Emit({0});
  TestRun run = RunFor(1);
  std::vector<Failure> failures;
  // With the display up and the program loaded, as a handler finds it.
  run.afterRun = [&] {
    for (int32_t value : {0, 1, -1, 100000}) {
      for (const Failure& f : RunEveryCommand(value)) failures.push_back(f);
    }
  };
  // Commands that write files (named "1", "-1", ...) write them into a folder of their own.
  TempDir dir;
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  RunTestImage(b, run);
  std::filesystem::current_path(here);
  EXPECT_GT(g_checked, 4 * 300);
  for (const Failure& f : failures) ADD_FAILURE() << "command " << f.number << " moved " << f.moved;
}

}  // namespace
