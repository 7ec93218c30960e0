// A function's handler finds its result cell cleared, whatever an earlier expression left there.
#include <gtest/gtest.h>

#include "core/command_table.h"
#include "core/strings.h"
#include "core/threaded_code.h"
#include "runtime/command_families.h"
#include "tests/support/program_run.h"

namespace {

void GiveNothing() { SkipOperands(1); }
CodeWord* GiveNothingFast(CodeWord* pc) { return pc + 1; }

// Functions of each result type (numbers the keyword list gives as such), and one with a fast
// form, whose handler writes its result itself and is run as it is, on the fast path.
const CommandDef kSilentFunctions[] = {
    {8126, GiveNothing, "lsl"}, {7703, GiveNothing, "fl"}, {4551, GiveNothing, "s"}, {234, GiveNothing, "ls", GiveNothingFast}};

TEST(FunctionResultCell, HoldsZeroOrTheEmptyTextInItsOwnBlockWhenTheHandlerStarts) {
  InstallFamily(CommandFamily{"silent", [] { return std::span<const CommandDef>(kSilentFunctions); }});
  for (int number : {8126, 7703}) {
    VarCell result{};
    result.i = 778;
    CallHandler(number, {&result});
    EXPECT_EQ(result.raw, 0u) << number;
  }
  VarCell text{};
  SetCellString(&text, "778");
  const char* block = text.s;
  CallHandler(4551, {&text});
  EXPECT_STREQ(text.s, "");
  EXPECT_EQ(text.s, block);  // nothing allocated, nothing lost
  FreeString(text.s);
  EXPECT_TRUE(HasFastForm(234));
  InitCommandTable();
}

}  // namespace
