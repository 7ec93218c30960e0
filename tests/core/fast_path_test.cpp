// The same programs on the real clock, where the interpreter runs loop steps, assignments of
// results and tests of comparisons together with the command before them.
#include "core/call_stack.h"
#include "runtime/command_families.h"
#include "tests/support/program_run.h"

namespace {

TEST(FastPath, LoopsAssignmentsAndConditionsGiveTheSameResults) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real);
    ProgramRun run;
    run.realClock = real;
    ImageBuilder b;
    // FOR i = 1 TO 100: IF i > 50 THEN big = big + 1: s = s + i: f# = f# + 0.5: NEXT
    int32_t i = b.IntVar(), s = b.IntVar(), big = b.IntVar(), f = b.FloatVar();
    int32_t zero = b.Int(0), one = b.Int(1), hundred = b.Int(100), fifty = b.Int(50), half = b.Float(0.5f);
    b.Emit({151, i, zero});
    int32_t head = b.Here();
    int32_t exitWord = b.Emit({7, i, hundred, one, 0}) + 4;
    int32_t ifJump = b.Emit({111, 10000, i, fifty}) + 4 + 2;
    b.Emit({1, 10000, 0});
    b.Emit({81, 10001, big, one});
    b.Emit({151, big, 10001});
    b.Patch(ifJump, b.Here());
    b.Emit({81, 10002, s, i});
    b.Emit({151, s, 10002});
    b.Emit({86, 11000, f, half});
    b.Emit({152, f, 11000});
    b.Emit({81, 10003, s, zero});  // a result that is not assigned next
    b.Emit({151, 10004, 10000});
    b.Emit({8, i, head});
    b.Patch(exitWord, b.Here());
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(LastErrorCode(), 0);
    EXPECT_EQ(ProgramRun::Int(s), 5050);
    EXPECT_EQ(ProgramRun::Int(big), 50);
    EXPECT_EQ(ProgramRun::Float(f), 50.0f);
    EXPECT_EQ(ProgramRun::Int(10003), 5050);
    EXPECT_EQ(ProgramRun::Int(i), 101);
  }
}

}  // namespace

#include "core/interp.h"
#include "runtime/run_loop.h"

namespace {

// FOR i = 1 TO n: NEXT, ended by a command without a handler.
ImageBuilder CountingLoop(int32_t n, int32_t& counter) {
  ImageBuilder b;
  counter = b.IntVar();
  int32_t one = b.Int(1), limit = b.Int(n);
  int32_t head = b.Here();
  int32_t exitWord = b.Emit({7, counter, limit, one, 0}) + 4;
  b.Emit({8, counter, head});
  b.Patch(exitWord, b.Here());
  return b;
}

TEST(FastPath, ASliceEnteredWithLeaveSliceRunsNothing) {
  ProgramRun run;
  run.realClock = true;
  int32_t counter;
  ASSERT_TRUE(run.Load(CountingLoop(10, counter)));
  LeaveSlice = 1;
  InterpretSlice();
  EXPECT_EQ(LeaveSlice, 0);
  EXPECT_EQ(ProgramRun::Int(counter), 0);
  EXPECT_TRUE(run.Run());
  EXPECT_EQ(ProgramRun::Int(counter), 11);
}

TEST(FastPath, ProgramControlledSlicesCheckEvery200Commands) {
  ProgramRun run;
  run.realClock = true;
  int32_t counter;
  ASSERT_TRUE(run.Load(CountingLoop(1000, counter)));
  LeaveSlice = 0;
  g_timing.timeSliceMode = 0;
  InputStale = 0;
  InterpretSlice();  // runs to the end: nothing in the loop ends a program-controlled slice
  EXPECT_EQ(ProgramRun::Int(counter), 1001);
  EXPECT_EQ(InputStale, 1);
  EXPECT_LE(g_timing.commandCounter, 200);
}

}  // namespace

#include <chrono>
#include <thread>

#include "core/command_table.h"

namespace {

void SlowCommandOfAnotherFamily() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

// A command of another family may take long: a timed slice tests the clock after each one,
// so a loop of them ends its 33 ms slice long before the loop is done.
TEST(FastPath, TimedSlicesEndAfterSlowCommandsOfOtherFamilies) {
  ProgramRun run;
  run.realClock = true;
  ImageBuilder b;
  int32_t counter = b.IntVar(), one = b.Int(1), limit = b.Int(200);
  int32_t head = b.Here();
  int32_t exitWord = b.Emit({7, counter, limit, one, 0}) + 4;
  b.Emit({9990});
  b.Emit({8, counter, head});
  b.Patch(exitWord, b.Here());
  ASSERT_TRUE(run.Load(b));
  g_commandTable[9990] = SlowCommandOfAnotherFamily;
  g_commandOperands[9990] = "";
  LeaveSlice = 0;
  InterpretSlice();
  EXPECT_GT(ProgramRun::Int(counter), 0);
  EXPECT_LT(ProgramRun::Int(counter), 100);
  InitCommandTable();
}

}  // namespace
