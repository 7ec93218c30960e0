// The threaded code of the fast path: forms made for their place behave as the commands one
// by one, and the handlers follow changes of the command table and of the loaded code.
#include "core/arrays.h"
#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "tests/support/program_run.h"

namespace {

TEST(ThreadedCode, PairsAndLonePartsGiveTheSameResults) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real);
    ProgramRun run;
    run.realClock = real;
    ImageBuilder b;
    int32_t i = b.IntVar(), q = b.IntVar(), n = b.IntVar(), hits = b.IntVar(), f = b.FloatVar();
    int32_t zero = b.Int(0), one = b.Int(1), three = b.Int(3), ten = b.Int(10), half = b.Float(0.5f);
    b.Emit({151, i, zero});
    int32_t head = b.Here();
    int32_t exitWord = b.Emit({7, i, ten, one, 0}) + 4;
    b.Emit({61, 10000, i, zero});  // division by zero: 0 (a warning), then the assignment
    b.Emit({151, q, 10000});
    int32_t ifJump = b.Emit({115, 10001, i, three}) + 4 + 2;  // IF i < 3 THEN hits = hits + 1
    b.Emit({1, 10001, 0});
    b.Emit({81, 10002, hits, one});
    b.Emit({151, hits, 10002});
    b.Patch(ifJump, b.Here());
    b.Emit({76, 11000, f, half});  // f# = f# * 0.5 + 1: a result used by the next operator
    b.Emit({86, 11001, 11000, b.Float(1.0f)});
    b.Emit({152, f, 11001});
    b.Emit({81, 10003, n, one});  // assigned to another cell than the result: not a pair
    b.Emit({151, n, 10004});
    b.Emit({8, i, head});
    b.Patch(exitWord, b.Here());
    b.Emit({111, 10005, i, ten});  // a comparison as the last command before the end
    SetBuiltGame(true);  // the warning does not stop a built game
    EXPECT_TRUE(run.LoadAndRun(b));
    SetBuiltGame(false);
    EXPECT_EQ(ProgramRun::Int(q), 0);
    EXPECT_EQ(ProgramRun::Int(hits), 2);
    EXPECT_FLOAT_EQ(ProgramRun::Float(f), 2.0f - 1.0f / 512.0f);
    EXPECT_EQ(ProgramRun::Int(n), 0);
    EXPECT_EQ(ProgramRun::Int(10003), 1);
    EXPECT_EQ(ProgramRun::Int(10005), 1);
    EXPECT_EQ(ProgramRun::Int(i), 11);
  }
}

// Commands that run the next one themselves: a long straight line of them, and an element
// store outside its array, after which nothing more runs.
TEST(ThreadedCode, ChainsRunEveryCommandAndStopAtAnError) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real);
    ProgramRun run;
    run.realClock = real;
    ImageBuilder b;
    int32_t i = b.IntVar(), s = b.IntVar(), a = b.IntVar(), x = b.IntVar();
    int32_t zero = b.Int(0), one = b.Int(1), ten = b.Int(10), big = b.Int(11);
    b.Emit({501, a, ten});
    b.Emit({151, i, zero});
    int32_t head = b.Here();
    int32_t exitWord = b.Emit({7, i, ten, one, 0}) + 4;
    for (int k = 0; k < 30; ++k) b.Emit({81, 10000 + k, k == 0 ? s : 10000 + k - 1, one});  // s + 30
    b.Emit({561, a, i, 10029});
    b.Emit({661, 10030, a, i});
    b.Emit({151, s, 10030});
    b.Emit({8, i, head});
    b.Patch(exitWord, b.Here());
    b.Emit({561, a, big, one});  // error 102
    b.Emit({151, x, one});
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(LastErrorCode(), 102);
    EXPECT_EQ(ProgramRun::Int(s), 300);
    EXPECT_EQ(ProgramRun::Int(x), 0);
  }
}

// WHILE k < 100: k = k + 7: WEND, and IF ... THEN with both ways on ahead in a loop.
TEST(ThreadedCode, TestsGoOnBothWays) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real);
    ProgramRun run;
    run.realClock = real;
    ImageBuilder b;
    int32_t k = b.IntVar(), odd = b.IntVar(), i = b.IntVar();
    int32_t zero = b.Int(0), one = b.Int(1), seven = b.Int(7), hundred = b.Int(100), ten = b.Int(10);
    int32_t head = b.Here();
    b.Emit({115, 10000, k, hundred});
    int32_t exitJump = b.Emit({9, 10000, 0}) + 2;
    b.Emit({81, 10001, k, seven});
    b.Emit({151, k, 10001});
    b.Emit({10, head});
    b.Patch(exitJump, b.Here());
    b.Emit({151, i, zero});
    int32_t loop = b.Here();
    int32_t exitWord = b.Emit({7, i, ten, one, 0}) + 4;
    b.Emit({123, 10002, i, one});
    int32_t ifJump = b.Emit({101, 10003, 10002, one}) + 4 + 2;
    b.Emit({1, 10003, 0});
    b.Emit({81, 10004, odd, one});
    b.Emit({151, odd, 10004});
    b.Patch(ifJump, b.Here());
    b.Emit({8, i, loop});
    b.Patch(exitWord, b.Here());
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(ProgramRun::Int(k), 105);
    EXPECT_EQ(ProgramRun::Int(odd), 5);
  }
}

// An operator whose result the next operator uses, as its first or second operand or as
// both, with that result assigned or not, and in a mixed integer-float chain: the same
// results, temporaries included, as each operator alone.
TEST(ThreadedCode, AResultUsedByTheNextOperatorGivesTheSameResults) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real);
    ProgramRun run;
    run.realClock = real;
    ImageBuilder b;
    int32_t i = b.IntVar(), a = b.IntVar(), c = b.IntVar(), w = b.IntVar(), f = b.FloatVar(), g = b.FloatVar();
    int32_t one = b.Int(1), three = b.Int(3), ten = b.Int(10), big = b.Int(2147483647);
    int32_t tenth = b.Float(0.1f), third = b.Float(1.0f / 3.0f);
    b.Emit({151, i, b.Int(0)});
    int32_t head = b.Here();
    int32_t exitWord = b.Emit({7, i, ten, one, 0}) + 4;
    b.Emit({71, 10000, i, i});  // a = i * i + 3: the first operand, then assigned
    b.Emit({81, 10001, 10000, three});
    b.Emit({151, a, 10001});
    b.Emit({91, 10002, i, one});  // c = c - (i - 1) * (i - 1): both operands, then the second
    b.Emit({71, 10003, 10002, 10002});
    b.Emit({91, 10004, c, 10003});
    b.Emit({151, c, 10004});
    b.Emit({81, 10005, big, i});  // wraps; then BitAnd with another command after it
    b.Emit({123, 10006, three, 10005});
    b.Emit({81, 10007, w, 10006});
    b.Emit({151, w, 10007});
    b.Emit({76, 11000, f, tenth});  // g# = f# * 0.1 - i: float and mixed forms
    b.Emit({95, 11001, 11000, i});
    b.Emit({152, g, 11001});
    b.Emit({86, 11002, g, f});  // f# = 1/3 - (g# + f#)
    b.Emit({96, 11003, third, 11002});
    b.Emit({152, f, 11003});
    b.Emit({8, i, head});
    b.Patch(exitWord, b.Here());
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(ProgramRun::Int(a), 103);
    EXPECT_EQ(ProgramRun::Int(c), -285);
    EXPECT_EQ(ProgramRun::Int(10005), -2147483639);
    EXPECT_EQ(ProgramRun::Int(10006), 1);
    EXPECT_EQ(ProgramRun::Int(w), 13);
    float ff = 0.0f, gg = 0.0f;
    for (int k = 1; k <= 10; ++k) {
      gg = float(double(float(double(ff) * double(0.1f))) - double(k));
      ff = float(double(1.0f / 3.0f) - double(float(double(gg) + double(ff))));
    }
    EXPECT_EQ(ProgramRun::Float(g), gg);
    EXPECT_EQ(ProgramRun::Float(f), ff);
    EXPECT_EQ(ProgramRun::Int(i), 11);
  }
}

// An element fetch whose element the next operator uses: integer and float arrays, first and
// second operand, with and without the assignment; the element reference of the temporary
// is kept; a fetch outside its array stops there with error 102.
TEST(ThreadedCode, AnElementUsedByTheNextOperatorGivesTheSameResults) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real);
    ProgramRun run;
    run.realClock = real;
    ImageBuilder b;
    int32_t i = b.IntVar(), s = b.IntVar(), d = b.IntVar(), a = b.IntVar(), fa = b.FloatVar(), g = b.FloatVar();
    int32_t x = b.IntVar();
    int32_t zero = b.Int(0), one = b.Int(1), nine = b.Int(9), hundred = b.Int(100), big = b.Int(10);
    b.Emit({501, a, nine});
    b.Emit({511, fa, nine});
    b.Emit({151, i, zero});
    int32_t fill = b.Here();
    int32_t fillExit = b.Emit({7, i, nine, one, 0}) + 4;
    b.Emit({71, 10000, i, i});
    b.Emit({561, a, i, 10000});
    b.Emit({155, 11000, i});
    b.Emit({566, fa, i, 11000});
    b.Emit({8, i, fill});
    b.Patch(fillExit, b.Here());
    b.Emit({151, i, zero});
    int32_t head = b.Here();
    int32_t exitWord = b.Emit({7, i, nine, one, 0}) + 4;
    b.Emit({661, 10001, a, i});  // s = s + a(i): the second operand, assigned
    b.Emit({81, 10002, s, 10001});
    b.Emit({151, s, 10002});
    b.Emit({661, 10003, a, i});  // d = a(i) - 100 - d: the first operand, another operator after
    b.Emit({91, 10004, 10003, hundred});
    b.Emit({91, 10005, 10004, d});
    b.Emit({151, d, 10005});
    b.Emit({666, 11001, fa, i});  // g# = fa#(i) * 0.5 + g#
    b.Emit({76, 11002, 11001, b.Float(0.5f)});
    b.Emit({86, 11003, 11002, g});
    b.Emit({152, g, 11003});
    b.Emit({8, i, head});
    b.Patch(exitWord, b.Here());
    b.Emit({661, 10006, a, big});  // outside the array: error 102, nothing more runs
    b.Emit({81, 10007, 10006, one});
    b.Emit({151, x, 10007});
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(LastErrorCode(), 102);
    EXPECT_EQ(ProgramRun::Int(s), 285);
    int32_t dd = 0;
    for (int k = 1; k <= 9; ++k) dd = k * k - 100 - dd;  // the loop step runs first: i = 1 to 9
    EXPECT_EQ(ProgramRun::Int(d), dd);
    EXPECT_EQ(ProgramRun::Float(g), 22.5f);
    EXPECT_EQ(ProgramRun::Int(10003), 81);
    EXPECT_EQ(ProgramRun::Int(x), 0);
    ASSERT_NE(ElementRefInt(&ProgramRun::Cell(10001)), nullptr);  // the reference of the fetch into 10001
    EXPECT_EQ(*ElementRefInt(&ProgramRun::Cell(10001)), 81);
  }
}

// NEXT that runs the first command of its loop's body itself, for a bounded number of turns:
// nested loops, and an error in the body many turns in, after which nothing more runs.
TEST(ThreadedCode, LoopsTurningThroughTheirBodyGiveTheSameResults) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real);
    ProgramRun run;
    run.realClock = real;
    ImageBuilder b;
    int32_t i = b.IntVar(), j = b.IntVar(), k = b.IntVar(), s = b.IntVar(), a = b.IntVar(), x = b.IntVar();
    int32_t zero = b.Int(0), one = b.Int(1), three = b.Int(3), thousand = b.Int(1000), hundred = b.Int(100);
    b.Emit({151, j, zero});
    int32_t outer = b.Here();
    int32_t outerExit = b.Emit({7, j, three, one, 0}) + 4;
    b.Emit({151, i, zero});
    int32_t inner = b.Here();
    int32_t innerExit = b.Emit({7, i, thousand, one, 0}) + 4;
    b.Emit({81, 10000, s, i});
    b.Emit({151, s, 10000});
    b.Emit({8, i, inner});
    b.Patch(innerExit, b.Here());
    b.Emit({8, j, outer});
    b.Patch(outerExit, b.Here());
    b.Emit({501, a, b.Int(30)});
    b.Emit({151, k, zero});
    int32_t fill = b.Here();
    int32_t fillExit = b.Emit({7, k, hundred, one, 0}) + 4;
    b.Emit({561, a, k, k});  // error 102 at k = 31
    b.Emit({8, k, fill});
    b.Patch(fillExit, b.Here());
    b.Emit({151, x, one});
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(ProgramRun::Int(s), 3 * 500500);
    EXPECT_EQ(ProgramRun::Int(i), 1001);
    EXPECT_EQ(ProgramRun::Int(j), 4);
    EXPECT_EQ(LastErrorCode(), 102);
    EXPECT_EQ(ProgramRun::Int(k), 31);
    EXPECT_EQ(ProgramRun::Int(x), 0);
  }
}

int32_t g_replacedRuns = 0;
void CountInstead() {
  ++g_replacedRuns;
  ProgramCounter += 3;
}

// A handler put in the table between slices is the one that runs, also where a pair was formed.
TEST(ThreadedCode, HandlersFollowTheCommandTable) {
  ProgramRun run;
  run.realClock = true;
  ImageBuilder b;
  int32_t s = b.IntVar(), one = b.Int(1);
  b.Emit({81, 10000, s, one});
  b.Emit({151, s, 10000});
  b.Emit({81, 10000, s, one});
  b.Emit({151, s, 10000});
  ASSERT_TRUE(run.Load(b));
  LeaveSlice = 0;
  g_timing.timeSliceMode = 0;
  InterpretSlice();  // a program-controlled slice runs the whole program
  EXPECT_EQ(ProgramRun::Int(s), 2);
  ASSERT_TRUE(run.Load(b));
  g_commandTable[81] = CountInstead;
  g_replacedRuns = 0;
  LeaveSlice = 0;
  g_timing.timeSliceMode = 0;
  InterpretSlice();
  EXPECT_EQ(g_replacedRuns, 2);
  EXPECT_EQ(ProgramRun::Int(s), 0);
  InitCommandTable();
}

// Two programs of the same size loaded one after the other (the code may land at the same
// address): the second runs its own commands.
TEST(ThreadedCode, HandlersFollowTheLoadedCode) {
  ProgramRun run;
  run.realClock = true;
  for (int32_t op : {81, 91, 71}) {
    SCOPED_TRACE(op);
    ImageBuilder b;
    int32_t x = b.IntVar(), six = b.Int(6), three = b.Int(3);
    b.Emit({op, 10000, six, three});
    b.Emit({151, x, 10000});
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(ProgramRun::Int(x), op == 81 ? 9 : op == 91 ? 3 : 18);
  }
}

}  // namespace
