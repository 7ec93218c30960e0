// Operators, comparisons, assignment and conversions.
#include <cmath>
#include <functional>
#include <limits>

#include "tests/support/program_run.h"

namespace {

// Runs one instruction: command, result temporary, a, b; returns the result cell.
VarCell RunBinary(int32_t command, const std::function<int32_t(ImageBuilder&)>& a,
                  const std::function<int32_t(ImageBuilder&)>& b, int32_t result = 10000) {
  ProgramRun run;
  ImageBuilder img;
  int32_t x = a(img), y = b(img);
  img.Emit({command, result, x, y});
  run.LoadAndRun(img);
  VarCell c = ProgramRun::Cell(result);
  return c;
}
using Operand = std::function<int32_t(ImageBuilder&)>;
Operand I(int32_t v) { return [v](ImageBuilder& b) { return b.Int(v); }; }
Operand F(float v) { return [v](ImageBuilder& b) { return b.Float(v); }; }

TEST(Operators, IntegerArithmeticWraps) {
  EXPECT_EQ(RunBinary(61, I(7), I(2)).i, 3);
  EXPECT_EQ(RunBinary(61, I(-7), I(2)).i, -3);
  EXPECT_EQ(RunBinary(61, I(INT32_MIN), I(1)).i, INT32_MIN);
  EXPECT_EQ(RunBinary(61, I(INT32_MAX), I(-1)).i, -INT32_MAX);
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(RunBinary(81, I(2147483647), I(1)).i, INT32_MIN);
  EXPECT_EQ(RunBinary(91, I(INT32_MIN), I(1)).i, 2147483647);
  EXPECT_EQ(RunBinary(71, I(65536), I(65536)).i, 0);
  EXPECT_EQ(RunBinary(51, I(2), I(-1)).i, 0);
  EXPECT_EQ(RunBinary(51, I(2), I(10)).i, 1024);
  EXPECT_EQ(RunBinary(51, I(10), I(20)).i, INT32_MIN);  // out of range
  EXPECT_EQ(RunBinary(123, I(12), I(10)).i, 8);
  EXPECT_EQ(RunBinary(124, I(12), I(3)).i, 15);
}

// -2147483648 / -1 stops the program with system error 10010, on every dispatch path and
// also in a built game; the statement after it does not run.
TEST(Operators, DivisionOverflowIsASystemError) {
  for (bool builtGame : {false, true})
    for (bool real : {false, true}) {
      SCOPED_TRACE(testing::Message() << builtGame << real);
      SetBuiltGame(builtGame);
      ProgramRun run;
      run.realClock = real;
      ImageBuilder b;
      int32_t x = b.IntVar(), after = b.IntVar(), low = b.Int(INT32_MIN), minusOne = b.Int(-1), one = b.Int(1);
      b.Emit({151, x, one});
      b.Emit({61, 10000, low, minusOne});
      b.Emit({151, x, 10000});
      b.Emit({151, after, one});
      EXPECT_TRUE(run.LoadAndRun(b));
      SetBuiltGame(false);
      EXPECT_EQ(LastErrorCode(), 10010);
      EXPECT_EQ(LastErrorKind(), 0);
      EXPECT_EQ(ProgramRun::Int(x), 1);
      EXPECT_EQ(ProgramRun::Int(after), 0);
    }
}

TEST(Operators, MixedArithmeticComputesInDouble) {
  EXPECT_EQ(RunBinary(84, I(16777217), F(0.0f), 11000).f, 16777216.0f);
  EXPECT_EQ(RunBinary(64, I(1), F(4.0f), 11000).f, 0.25f);
  EXPECT_EQ(RunBinary(65, F(1.0f), I(8), 11000).f, 0.125f);
  EXPECT_EQ(RunBinary(53, I(2), F(0.5f), 11000).f, float(std::sqrt(2.0)));
  EXPECT_EQ(RunBinary(96, F(1.5f), F(0.25f), 11000).f, 1.25f);
}

TEST(Operators, DivisionByZeroWarnsInDevelopmentRuns) {
  for (int32_t command : {61, 64, 65, 66}) {
    SCOPED_TRACE(command);
    int32_t result = command == 61 ? 10000 : 11000;
    bool intDivisor = command == 61 || command == 65;
    VarCell c = RunBinary(
        command, command == 61 || command == 64 ? I(7) : F(7.0f), intDivisor ? I(0) : F(0.0f), result);
    EXPECT_EQ(c.i, 0);
    EXPECT_EQ(LastErrorCode(), 111);
    EXPECT_EQ(LastErrorKind(), 1);
  }
}

TEST(Operators, DivisionByZeroIsIgnoredInABuiltGame) {
  SetBuiltGame(true);
  ProgramRun run;
  ImageBuilder b;
  int32_t x = b.IntVar(), seven = b.Int(7), zero = b.Int(0);
  b.Emit({61, 10000, seven, zero});
  b.Emit({151, x, 10000});
  b.Emit({412, x});
  EXPECT_TRUE(run.LoadAndRun(b));
  SetBuiltGame(false);
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ProgramRun::Int(x), 1);
}

TEST(Operators, Comparisons) {
  EXPECT_EQ(RunBinary(131, I(3), F(3.0f)).i, 1);
  EXPECT_EQ(RunBinary(137, I(1), F(1.5f)).i, 1);
  EXPECT_EQ(RunBinary(131, I(16777217), F(16777216.0f)).i, 0);  // exact values, not rounded
  EXPECT_EQ(RunBinary(113, I(2), I(2)).i, 1);
  EXPECT_EQ(RunBinary(119, I(2), I(2)).i, 0);
  EXPECT_EQ(RunBinary(140, F(2.0f), I(2)).i, 1);
  auto T = [](const char* s) { return [s](ImageBuilder& b) { return b.Text(s); }; };
  EXPECT_EQ(RunBinary(144, T("abc"), T("abd")).i, 1);
  EXPECT_EQ(RunBinary(144, T("ab"), T("abc")).i, 1);
  EXPECT_EQ(RunBinary(144, T("B"), T("a")).i, 1);
  EXPECT_EQ(RunBinary(143, T("\xe9"), T("z")).i, 1);  // unsigned bytes
  EXPECT_EQ(RunBinary(103, T("same"), T("same")).i, 1);
  EXPECT_EQ(RunBinary(121, T("same"), T("same")).i, 0);
}

std::string RunStringOp(int32_t command, const std::string& a, const std::string& b) {
  ProgramRun run;
  ImageBuilder img;
  img.Emit({command, 12000, img.Text(a), img.Text(b)});
  run.LoadAndRun(img);
  return ProgramRun::Text(12000);
}

TEST(Operators, ConcatenationStopsAt255Characters) {
  EXPECT_EQ(RunStringOp(87, std::string(200, 'a'), std::string(55, 'b')).size(), 255u);
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(RunStringOp(87, std::string(200, 'a'), std::string(56, 'b')), "<null>");
  EXPECT_EQ(LastErrorCode(), 107);
}

// The result written into the block its cell already has, also where that cell is an operand.
TEST(Operators, ConcatenationIntoACellThatHoldsAText) {
  ProgramRun run;
  ImageBuilder img;
  int32_t s = img.StringVar(), t = img.StringVar(), u = img.StringVar();
  img.Emit({153, s, img.Text("abcdef")});
  img.Emit({87, s, s, img.Text("gh")});
  img.Emit({87, s, img.Text("<"), s});
  img.Emit({87, s, s, s});
  img.Emit({153, t, img.Text(std::string(50, 'z'))});
  img.Emit({87, t, img.Text("p"), img.Text("q")});
  img.Emit({153, u, img.Text("long enough")});
  img.Emit({87, u, img.Text(""), img.Text("")});
  EXPECT_TRUE(run.LoadAndRun(img));
  EXPECT_EQ(ProgramRun::Text(s), "<abcdefgh<abcdefgh");
  EXPECT_EQ(ProgramRun::Text(t), "pq");
  EXPECT_EQ(ProgramRun::Text(u), "");
}

TEST(Operators, StringMinusRemovesTheFirstOccurrence) {
  EXPECT_EQ(RunStringOp(97, "banana", "an"), "bana");
  EXPECT_EQ(RunStringOp(97, "abc", "x"), "abc");
  EXPECT_EQ(RunStringOp(97, "ab", "abc"), "ab");
  EXPECT_EQ(RunStringOp(97, "abc", ""), "abc");
  EXPECT_EQ(RunStringOp(97, "abc", "c"), "ab");
}

TEST(Operators, AssignmentAndConversions) {
  ProgramRun run;
  ImageBuilder b;
  int32_t s = b.StringVar(), i = b.IntVar(), j = b.IntVar(), k = b.IntVar(), f = b.FloatVar(), g = b.FloatVar();
  b.Emit({153, s, b.Text("keep")});
  b.Emit({153, s, s});
  b.Emit({154, i, b.Float(2.9f)});
  b.Emit({154, j, b.Float(-2.9f)});
  b.Emit({154, k, b.Float(std::numeric_limits<float>::quiet_NaN())});
  b.Emit({155, f, b.Int(16777217)});
  b.Emit({152, g, f});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Text(s), "keep");
  EXPECT_EQ(ProgramRun::Int(i), 2);
  EXPECT_EQ(ProgramRun::Int(j), -2);
  EXPECT_EQ(ProgramRun::Int(k), INT32_MIN);
  EXPECT_EQ(ProgramRun::Float(f), 16777216.0f);
  EXPECT_EQ(ProgramRun::Float(g), 16777216.0f);
}

}  // namespace
