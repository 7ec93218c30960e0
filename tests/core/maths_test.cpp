// Maths functions, the random sequence, increment and decrement.
#include <cmath>
#include <functional>

#include "tests/support/program_run.h"

namespace {

float FloatOf(int32_t command, std::function<int32_t(ImageBuilder&)> arg,
              std::function<int32_t(ImageBuilder&)> arg2 = nullptr) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = arg(b);
  if (arg2) b.Emit({command, 11000, a, arg2(b)});
  else b.Emit({command, 11000, a});
  run.LoadAndRun(b);
  return ProgramRun::Float(11000);
}
std::function<int32_t(ImageBuilder&)> I(int32_t v) { return [v](ImageBuilder& b) { return b.Int(v); }; }
std::function<int32_t(ImageBuilder&)> F(float v) { return [v](ImageBuilder& b) { return b.Float(v); }; }

TEST(Maths, AnglesUseTheLanguagesFactors) {
  EXPECT_EQ(FloatOf(342, I(90)), 0.99999994f);
  EXPECT_NEAR(FloatOf(331, F(90.0f)), 0.000296, 1e-6);
  EXPECT_NEAR(FloatOf(363, I(1)), 45.0085, 1e-4);
  EXPECT_NEAR(FloatOf(364, F(1.0f), F(-1.0f)), 135.0255, 1e-3);
  EXPECT_NEAR(FloatOf(367, I(0), I(-1)), 180.0 * 57.306590257879655 / 57.29577951308232, 1e-3);
  EXPECT_TRUE(std::isnan(FloatOf(202, F(2.0f))));
  EXPECT_TRUE(std::isnan(FloatOf(257, F(-1.0f))));
  EXPECT_EQ(FloatOf(258, I(16)), 4.0f);
  EXPECT_EQ(FloatOf(368, F(-2.5f)), 2.5f);
}

TEST(Maths, IntegerResults) {
  ProgramRun run;
  ImageBuilder b;
  b.Emit({201, 10000, b.Float(-2.7f)});
  b.Emit({232, 10001, b.Float(-2.7f)});
  b.Emit({218, 10002, b.Int(2)});
  b.Emit({201, 10003, b.Float(-3e9f)});
  run.LoadAndRun(b);
  EXPECT_EQ(ProgramRun::Int(10000), 2);
  EXPECT_EQ(ProgramRun::Int(10001), -2);
  EXPECT_EQ(ProgramRun::Int(10002), 7);
  EXPECT_EQ(ProgramRun::Int(10003), INT32_MIN);
}

TEST(Maths, RandomSequenceAfterSeeding) {
  ProgramRun run;
  ImageBuilder b;
  int32_t big = b.Int(32767);
  b.Emit({245, b.Int(1)});
  for (int k = 0; k < 4; ++k) b.Emit({249, 10000 + k, big});
  b.Emit({249, 10004, b.Int(0)});
  b.Emit({249, 10005, b.Int(INT32_MAX)});
  b.Emit({390, 11000, b.Int(9)});
  run.LoadAndRun(b);
  EXPECT_EQ(LastErrorCode(), 0);
  // The C library's generator seeded with 1: 41, 18467, 6334, 26500, 19169, 15724, 11478.
  EXPECT_EQ(ProgramRun::Int(10000), 41);
  EXPECT_EQ(ProgramRun::Int(10001), 18467);
  EXPECT_EQ(ProgramRun::Int(10002), 6334);
  EXPECT_EQ(ProgramRun::Int(10003), 26500);
  EXPECT_EQ(ProgramRun::Int(10004), 0);
  EXPECT_EQ(ProgramRun::Int(10005), 15724);
  EXPECT_EQ(ProgramRun::Float(11000), float(11478 % 10));
}

TEST(Maths, RandomWithoutRangeIsError113) {
  ProgramRun run;
  ImageBuilder b;
  b.Emit({151, 10000, b.Int(5)});
  b.Emit({249, 10000, b.Int(-1)});
  run.LoadAndRun(b);
  EXPECT_EQ(LastErrorCode(), 113);
  EXPECT_EQ(ProgramRun::Int(10000), 5);
}

TEST(Maths, IncrementAndDecrement) {
  ProgramRun run;
  ImageBuilder b;
  int32_t i = b.IntVar(), j = b.IntVar(), k = b.IntVar(), f = b.FloatVar();
  b.Emit({414, i, b.Float(2.9f)});
  b.Emit({414, j, b.Float(-2.9f)});
  b.Emit({151, k, b.Int(INT32_MAX)});
  b.Emit({412, k});
  b.Emit({413, f, b.Float(1.5f)});
  b.Emit({421, f});
  b.Emit({424, i, b.Float(0.5f)});
  run.LoadAndRun(b);
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ProgramRun::Int(i), 2);
  EXPECT_EQ(ProgramRun::Int(j), -2);
  EXPECT_EQ(ProgramRun::Int(k), INT32_MIN);
  EXPECT_EQ(ProgramRun::Float(f), 0.5f);
}

TEST(Maths, IncrementNeedsAVariableOfItsType) {
  for (auto [command, operand, code] : {std::tuple{412, 10000, 114}, {412, 19000, 114}, {422, 19000, 115},
                                        {421, 11000, 115}}) {
    SCOPED_TRACE(command);
    ProgramRun run;
    ImageBuilder b;
    b.IntVar();
    b.Int(1);
    b.Emit({command, operand});
    run.LoadAndRun(b);
    EXPECT_EQ(LastErrorCode(), code);
  }
}

}  // namespace
