// Loops, subroutines and user functions, as the compiler lays them out.
#include "core/arrays.h"
#include "core/call_stack.h"
#include "runtime/run_loop.h"
#include "tests/support/program_run.h"

namespace {

// FOR v = start TO limit STEP step: counts the passes of the body into the returned variable.
int32_t CountLoop(ProgramRun& run, int32_t start, int32_t limit, int32_t step, int slices = 2000) {
  ImageBuilder b;
  int32_t v = b.IntVar(), count = b.IntVar(), first = b.Int(start), lim = b.Int(limit), st = b.Int(step);
  int32_t t = 10000;
  b.Emit({91, t, first, st});  // v = start - step
  b.Emit({151, v, t});
  int32_t head = b.Here();
  int32_t exitWord = b.Emit({7, v, lim, st, 0}) + 4;
  b.Emit({412, count});
  b.Emit({8, v, head});
  b.Patch(exitWord, b.Here());
  run.LoadAndRun(b, slices);
  return count;
}

TEST(Control, CountedLoopsRunTheLimitItself) {
  {
    ProgramRun run;
    int32_t count = CountLoop(run, 1, 10, 1);
    EXPECT_EQ(ProgramRun::Int(count), 10);
  }
  {
    ProgramRun run;
    int32_t count = CountLoop(run, 10, 1, -1);
    EXPECT_EQ(ProgramRun::Int(count), 10);
  }
  {
    ProgramRun run;
    int32_t count = CountLoop(run, 10, 1, -3);  // 10, 7, 4, 1
    EXPECT_EQ(ProgramRun::Int(count), 4);
  }
  {
    ProgramRun run;
    int32_t count = CountLoop(run, 5, 1, 1);  // never entered
    EXPECT_EQ(ProgramRun::Int(count), 0);
  }
}

TEST(Control, StepZeroNeverEnds) {
  ProgramRun run;
  ImageBuilder b;
  int32_t v = b.IntVar(), count = b.IntVar(), lim = b.Int(10), zero = b.Int(0);
  int32_t head = b.Here();
  int32_t exitWord = b.Emit({7, v, lim, zero, 0}) + 4;
  b.Emit({412, count});
  b.Emit({8, v, head});
  b.Patch(exitWord, b.Here());
  ASSERT_TRUE(run.Load(b));
  EXPECT_FALSE(run.Run(5));
  EXPECT_GT(ProgramRun::Int(count), 1000);
}

TEST(Control, ReturnWithoutGosubGoesOn) {
  ProgramRun run;
  ImageBuilder b;
  int32_t x = b.IntVar();
  b.Emit({43});
  b.Emit({412, x});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Int(x), 1);
  EXPECT_EQ(LastErrorCode(), 0);
}

// A damaged image that jumps onto an operand word stops there, naming the word as the image
// holds it (never the address the loader made of it).
TEST(Control, AnOperandRunAsACommandIsNamedByItsNumber) {
  ProgramRun run;
  ImageBuilder b;
  int32_t x = b.IntVar();
  b.Emit({2, 37002});
  b.Emit({x});
  testing::internal::CaptureStderr();
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "vellumark: no command 13000 at code word 2\n");
}

// Endless recursion of a function with long texts in its locals: the texts the calls keep
// are counted, and error 108 comes long before the levels run out.
TEST(Control, RecursionStopsWhenTheSavedLocalsGrowTooLarge) {
  ProgramRun run;
  ImageBuilder b;
  int32_t count = b.IntVar(), one = b.Int(1), zero = b.Int(0), text = b.Text(std::string(255, 'x'));
  for (int k = 0; k < 40; ++k) b.Emit({153, b.StringVar(1), text});
  const int32_t outer = b.Emit({21, 0, 10000, zero}) + 1;
  b.Emit({0});
  const int32_t entry = b.Emit({26, 1}) + 1;
  b.Emit({81, 10050, count, one});
  b.Emit({151, count, 10050});
  const int32_t inner = b.Emit({21, 0, 10051, zero}) + 1;
  b.Emit({22});
  b.Patch(outer, 37000 + entry);
  b.Patch(inner, 37000 + entry);
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 108);
  EXPECT_GT(ProgramRun::Int(count), 10000);
  EXPECT_LT(ProgramRun::Int(count), 30000);  // 40 x 288 bytes a level within 256 MiB
}

TEST(Control, GosubNestsTo65534LevelsThenError108) {
  ProgramRun run;
  ImageBuilder b;
  int32_t count = b.IntVar();
  int32_t sub = b.Here();
  b.Emit({412, count});
  b.Emit({41, sub});
  EXPECT_TRUE(run.LoadAndRun(b, 100000));
  EXPECT_EQ(LastErrorCode(), 108);
  EXPECT_EQ(g_callStack.depth, 65534);
  EXPECT_EQ(ProgramRun::Int(count), 65535);
}

TEST(Control, GosubReturnsAfterItsOperand) {
  ProgramRun run;
  ImageBuilder b;
  int32_t x = b.IntVar(), y = b.IntVar();
  int32_t call = b.Emit({41, 0});
  b.Emit({412, y});
  b.Emit({0});
  b.Patch(call + 1, b.Here());
  b.Emit({412, x});
  b.Emit({43});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Int(x), 1);
  EXPECT_EQ(ProgramRun::Int(y), 1);
  EXPECT_EQ(g_callStack.depth, 0);
}

// fib(n): IF n < 2 THEN return n ELSE return fib(n-1) + fib(n-2); temporaries in the
// function's window as the compiler numbers them.
void EmitFib(ImageBuilder& b, int32_t function, int32_t& entryWordOut, std::vector<int32_t>& callSites) {
  int32_t n = b.IntVar(function), one = b.Int(1), two = b.Int(2);
  int32_t o = 10000 + std::min(50 * function, 950);
  int32_t def = b.Emit({26, n, function});
  entryWordOut = def + 1;
  int32_t jump = b.Emit({115, o, n, two}) + 4;
  b.Emit({1, o, 0});
  b.Emit({23, n});
  b.Patch(jump + 2, b.Here());
  b.Emit({91, o + 1, n, one});
  callSites.push_back(b.Emit({21, 0, o + 2, one, o + 1}) + 1);
  b.Emit({91, o + 3, n, two});
  callSites.push_back(b.Emit({21, 0, o + 4, one, o + 3}) + 1);
  b.Emit({81, o + 5, o + 2, o + 4});
  b.Emit({23, o + 5});
}

int32_t RunFib(int32_t function, int32_t arg, bool realClock = false) {
  ProgramRun run;
  run.realClock = realClock;
  ImageBuilder b;
  int32_t out = b.IntVar(), one = b.Int(1), a = b.Int(arg);
  std::vector<int32_t> sites;
  sites.push_back(b.Emit({21, 0, 10000, one, a}) + 1);
  b.Emit({151, out, 10000});
  b.Emit({0});
  int32_t entry;
  EmitFib(b, function, entry, sites);
  for (int32_t s : sites) b.Patch(s, 37000 + entry);
  if (!run.LoadAndRun(b)) return -1;
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(g_callStack.depth, 0);
  return ProgramRun::Int(out);
}

// f(3) for an integer, a float and a text function: each level computes a value from n
// into the highest temporary of its window, calls f(n - 1) and then adds the two; that
// temporary must come back from the recursive call as it was.
TEST(Control, TheHighestLiveTemporaryOfEachTypeSurvivesARecursiveCall) {
  for (bool real : {false, true})
    for (int type = 0; type < 3; ++type) {
      SCOPED_TRACE(testing::Message() << real << type);
      ProgramRun run;
      run.realClock = real;
      ImageBuilder b;
      const int32_t base = 10000 + 1000 * type;  // this type's temporaries
      int32_t out = type == 0 ? b.IntVar() : type == 1 ? b.FloatVar() : b.StringVar();
      int32_t one = b.Int(1), three = b.Int(3), ten = b.Int(10), half = b.Float(1.5f), zero = b.Int(0);
      int32_t none = type == 0 ? zero : type == 1 ? b.Float(0.0f) : b.Text("");
      std::vector<int32_t> sites;
      sites.push_back(b.Emit({21, 0, base, one, three}) + 1);
      b.Emit({151 + type, out, base});
      b.Emit({0});
      const int32_t n = b.IntVar(1);
      const int32_t entry = b.Emit({26, n, 1}) + 1;
      const int32_t test = b.Emit({115, 10050, n, one}) + 4;
      b.Emit({1, 10050, 0});
      b.Emit({23 + type, none});
      b.Patch(test + 2, b.Here());
      if (type == 0) b.Emit({71, base + 52, n, ten});
      else if (type == 1) b.Emit({75, base + 52, half, n});
      else b.Emit({312, base + 52, n});
      b.Emit({91, 10051, n, one});
      sites.push_back(b.Emit({21, 0, base + 50, one, 10051}) + 1);
      b.Emit({type == 0 ? 81 : type == 1 ? 86 : 87, base + 50, base + 52, base + 50});
      b.Emit({23 + type, base + 50});
      for (int32_t site : sites) b.Patch(site, 37000 + entry);
      EXPECT_TRUE(run.LoadAndRun(b));
      EXPECT_EQ(LastErrorCode(), 0);
      if (type == 0) {
        EXPECT_EQ(ProgramRun::Int(out), 60);
      } else if (type == 1) {
        EXPECT_EQ(ProgramRun::Float(out), 9.0f);
      } else {
        EXPECT_EQ(ProgramRun::Text(out), "321");
      }
    }
}

TEST(Control, RecursiveFunctionsKeepTheirTemporaries) {
  EXPECT_EQ(RunFib(1, 15), 610);
  EXPECT_EQ(RunFib(1, 1), 1);
  // Functions from 19 on share the last temporary window.
  EXPECT_EQ(RunFib(20, 12), 144);
  EXPECT_EQ(RunFib(1, 20, true), 6765);
}

// f(n): IF n < 1 THEN return 0; return n * 10 + f(n - 1), the product computed before the
// call and added after it; with a jump between the call and the addition, or the product
// also assigned to a temporary the addition does not read.
int32_t RunSumOfTens(int32_t arg, bool jumpAfterCall, bool realClock) {
  ProgramRun run;
  run.realClock = realClock;
  ImageBuilder b;
  int32_t out = b.IntVar(), one = b.Int(1), ten = b.Int(10), zero = b.Int(0), a = b.Int(arg);
  std::vector<int32_t> sites;
  sites.push_back(b.Emit({21, 0, 10000, one, a}) + 1);
  b.Emit({151, out, 10000});
  b.Emit({0});
  const int32_t n = b.IntVar(1), o = 10050;
  const int32_t entry = b.Emit({26, n, 1}) + 1;
  const int32_t test = b.Emit({115, o, n, one}) + 4;
  b.Emit({1, o, 0});
  b.Emit({23, zero});
  b.Patch(test + 2, b.Here());
  b.Emit({71, o + 1, n, ten});
  b.Emit({91, o + 2, n, one});
  sites.push_back(b.Emit({21, 0, o + 3, one, o + 2}) + 1);
  if (jumpAfterCall) {
    const int32_t jump = b.Emit({2, 0}) + 1;
    b.Patch(jump, b.Here());
  }
  b.Emit({151, o + 5, o + 1});  // read first: live across the call
  b.Emit({81, o + 4, o + 5, o + 3});
  b.Emit({23, o + 4});
  for (int32_t s : sites) b.Patch(s, 37000 + entry);
  if (!run.LoadAndRun(b)) return -1;
  EXPECT_EQ(LastErrorCode(), 0);
  return ProgramRun::Int(out);
}

TEST(Control, TemporariesReadAfterARecursiveCallAreKept) {
  for (bool real : {false, true}) {
    EXPECT_EQ(RunSumOfTens(4, false, real), 100);
    EXPECT_EQ(RunSumOfTens(6, true, real), 210);
  }
}

// f(s$, n): IF n = 0 THEN return s$; r$ = f(s$ + "x", n - 1); return s$ + r$
TEST(Control, RecursiveStringParametersAreRestored) {
  ProgramRun run;
  ImageBuilder b;
  int32_t out = b.StringVar(), two = b.Int(2), start = b.Text("a"), x = b.Text("x"), one = b.Int(1), zero = b.Int(0);
  int32_t s = b.StringVar(1), n = b.IntVar(1), r = b.StringVar(1);
  std::vector<int32_t> sites;
  sites.push_back(b.Emit({21, 0, 12000, two, start, two}) + 1);
  b.Emit({153, out, 12000});
  b.Emit({0});
  int32_t entry = b.Emit({26, s, n, 1}) + 1;
  int32_t test = b.Emit({101, 10050, n, zero});
  b.Emit({1, 10050, 0});
  b.Emit({25, s});
  b.Patch(test + 6, b.Here());
  b.Emit({87, 12050, s, x});
  b.Emit({91, 10051, n, one});
  sites.push_back(b.Emit({21, 0, 12051, two, 12050, 10051}) + 1);
  b.Emit({153, r, 12051});
  b.Emit({87, 12052, s, r});
  b.Emit({25, 12052});
  for (int32_t site : sites) b.Patch(site, 37000 + entry);
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ProgramRun::Text(out), "aaxaxx");
  EXPECT_EQ(ProgramRun::Text(s), "a");  // the outermost call's parameter is back too
}

// A call made from a subroutine of the main program saves the main program's variables;
// a call from the main program itself saves nothing.
TEST(Control, CallsInsideSubroutinesSaveTheMainVariables) {
  ProgramRun run;
  ImageBuilder b;
  int32_t x = b.IntVar(), y = b.IntVar(), zero = b.Int(0), five = b.Int(5), big = b.Int(99);
  b.Emit({151, x, five});
  int32_t g = b.Emit({41, 0});
  b.Emit({151, y, x});              // y = x after the call from the subroutine
  int32_t direct = b.Emit({21, 0, 10000, zero}) + 1;
  b.Emit({0});
  b.Patch(g + 1, b.Here());
  int32_t inSub = b.Emit({21, 0, 10000, zero}) + 1;
  b.Emit({43});
  int32_t entry = b.Emit({26, 1}) + 1;
  b.Emit({151, x, big});
  b.Emit({22});
  b.Patch(direct, 37000 + entry);
  b.Patch(inSub, 37000 + entry);
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Int(y), 5);
  EXPECT_EQ(ProgramRun::Int(x), 99);
  EXPECT_EQ(ProgramRun::Int(10000), 0);  // a function without a value gives 0
}

// A function that returns from inside a subroutine of its own drops that subroutine's level;
// a RETURN met directly in the function body does nothing.
TEST(Control, FunctionReturnsUnwindSubroutineLevels) {
  ProgramRun run;
  ImageBuilder b;
  int32_t out = b.IntVar(), after = b.IntVar(), zero = b.Int(0), seven = b.Int(7);
  int32_t call = b.Emit({21, 0, 10000, zero}) + 1;
  b.Emit({151, out, 10000});
  b.Emit({23, seven});  // a value return at depth 0 moves past its operand
  b.Emit({412, after});
  b.Emit({0});
  int32_t entry = b.Emit({26, 1}) + 1;
  b.Emit({43});
  int32_t g = b.Emit({41, 0});
  b.Emit({22});
  b.Patch(g + 1, b.Here());
  b.Emit({28, seven});
  b.Patch(call, 37000 + entry);
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ProgramRun::Int(out), 7);
  EXPECT_EQ(ProgramRun::Int(after), 1);
  EXPECT_EQ(g_callStack.depth, 0);
}

// The program ends there as by the end command, on either path of the interpreter.
TEST(Control, RunningIntoAFunctionDefinitionIsError21) {
  for (bool realClock : {false, true}) {
    ProgramRun run;
    run.realClock = realClock;
    ImageBuilder b;
    int32_t p = b.IntVar(1);
    b.Emit({26, p, 1});
    b.Emit({22});
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(LastErrorCode(), 21);
    EXPECT_EQ(g_timing.ended, 1);
  }
}

// Arguments are all taken before any parameter changes: f(b, a, k - 1) called inside
// f(a, b, k), the same site several times (a site met before takes a quicker way).
TEST(Control, SwappedArgumentsOfARecursiveCall) {
  for (int32_t depth : {1, 4}) {
    ProgramRun run;
    ImageBuilder b;
    int32_t outA = b.IntVar(), outB = b.IntVar(), two = b.Int(2), one = b.Int(1), three = b.Int(3), zero = b.Int(0);
    int32_t pa = b.IntVar(1), pb = b.IntVar(1), depthVar = b.IntVar(1), start = b.Int(depth);
    std::vector<int32_t> sites;
    sites.push_back(b.Emit({21, 0, 10000, three, one, two, start}) + 1);
    b.Emit({0});
    int32_t entry = b.Emit({26, pa, pb, depthVar, 1}) + 1;
    int32_t test = b.Emit({101, 10050, depthVar, zero});
    b.Emit({1, 10050, 0});
    b.Emit({151, outA, pa});
    b.Emit({151, outB, pb});
    b.Emit({22});
    b.Patch(test + 6, b.Here());
    b.Emit({91, 10052, depthVar, one});
    sites.push_back(b.Emit({21, 0, 10051, three, pb, pa, 10052}) + 1);
    b.Emit({22});
    for (int32_t s : sites) b.Patch(s, 37000 + entry);
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(ProgramRun::Int(outA), depth % 2 ? 2 : 1) << depth;
    EXPECT_EQ(ProgramRun::Int(outB), depth % 2 ? 1 : 2) << depth;
  }
}

TEST(Control, LoaderChecksCallsAndDefinitions) {
  ProgramRun run;
  ImageBuilder b;
  int32_t p = b.IntVar(1), count = b.Int(2), x = b.Int(1);
  int32_t call = b.Emit({21, 0, 10000, count, x});  // the count says 2, one argument follows
  b.Emit({0});
  int32_t entry = b.Emit({26, p, 1}) + 1;
  b.Emit({22});
  b.Patch(call + 1, 37000 + entry);
  EXPECT_FALSE(run.Load(b));
  ImageBuilder c;  // a definition whose function number is missing
  int32_t q = c.IntVar(1);
  c.Emit({43});
  c.Emit({26, q, q});
  EXPECT_FALSE(run.Load(c));
}

}  // namespace

namespace {

// f(n): a(n) = n: IF n > 0 THEN loc = n * 10: f(n - 1): b(n) = loc. The local comes back
// after each inner call; the main program's arrays keep what the inner calls stored.
TEST(Control, RecursionKeepsLocalsButNotArrays) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar(), bb = b.IntVar(), five = b.Int(5), three = b.Int(3), one = b.Int(1), zero = b.Int(0);
  int32_t ten = b.Int(10);
  int32_t n = b.IntVar(1), loc = b.IntVar(1);
  b.Emit({501, a, five});
  b.Emit({501, bb, five});
  std::vector<int32_t> sites;
  sites.push_back(b.Emit({21, 0, 10000, one, three}) + 1);
  b.Emit({0});
  int32_t entry = b.Emit({26, n, 1}) + 1;
  b.Emit({561, a, n, n});
  b.Emit({111, 10050, n, zero});
  int32_t skip = b.Emit({1, 10050, 0}) + 2;
  b.Emit({71, 10051, n, ten});
  b.Emit({151, loc, 10051});
  b.Emit({91, 10052, n, one});
  sites.push_back(b.Emit({21, 0, 10053, one, 10052}) + 1);
  b.Emit({561, bb, n, loc});
  b.Patch(skip, b.Here());
  b.Emit({22});
  for (int32_t s : sites) b.Patch(s, 37000 + entry);
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  const int32_t* av = static_cast<const int32_t*>(g_arrays[0].data);
  const int32_t* bv = static_cast<const int32_t*>(g_arrays[1].data);
  for (int k = 0; k <= 3; ++k) EXPECT_EQ(av[k], k);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(bv[k], 10 * k);
}

}  // namespace
