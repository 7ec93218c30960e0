// String functions and their boundaries.
#include "core/run_state.h"
#include "tests/support/program_run.h"

namespace {

// Runs command(result, operands...) where each operand is a literal made by the builder.
std::string Str(int32_t command, std::initializer_list<std::function<int32_t(ImageBuilder&)>> operands) {
  ProgramRun run;
  ImageBuilder b;
  std::vector<int32_t> words = {command, 12000};
  for (auto& op : operands) words.push_back(op(b));
  b.Emit({words[0]});
  // Emit the rest word by word (the builder takes initializer lists only).
  for (size_t k = 1; k < words.size(); ++k) b.Emit({words[k]});
  run.LoadAndRun(b);
  return ProgramRun::Text(12000);
}
int32_t Num(int32_t command, std::initializer_list<std::function<int32_t(ImageBuilder&)>> operands) {
  ProgramRun run;
  ImageBuilder b;
  b.Emit({command, 10000});
  for (auto& op : operands) b.Emit({op(b)});
  run.LoadAndRun(b);
  return ProgramRun::Int(10000);
}
std::function<int32_t(ImageBuilder&)> T(std::string s) { return [s](ImageBuilder& b) { return b.Text(s); }; }
std::function<int32_t(ImageBuilder&)> I(int32_t v) { return [v](ImageBuilder& b) { return b.Int(v); }; }
std::function<int32_t(ImageBuilder&)> F(float v) { return [v](ImageBuilder& b) { return b.Float(v); }; }

TEST(Strings, LeftMidRight) {
  EXPECT_EQ(Str(233, {T("hello"), I(0)}), "");
  EXPECT_EQ(Str(233, {T("hello"), I(-3)}), "");
  EXPECT_EQ(Str(233, {T("hello"), I(2)}), "he");
  EXPECT_EQ(Str(233, {T("hello"), I(9)}), "hello");
  EXPECT_EQ(Str(237, {T("hello"), I(0)}), "");
  EXPECT_EQ(Str(237, {T("hello"), I(-1)}), "");
  EXPECT_EQ(Str(237, {T("hello"), I(6)}), "");
  EXPECT_EQ(Str(237, {T("hello"), I(1)}), "h");
  EXPECT_EQ(Str(237, {T("hello"), I(5)}), "o");
  EXPECT_EQ(Str(248, {T("hello"), I(2)}), "lo");
  EXPECT_EQ(Str(248, {T("hello"), I(0)}), "");
  EXPECT_EQ(Str(248, {T("hello"), I(-1)}), "");
  EXPECT_EQ(Str(248, {T("hello"), I(10)}), "hello");
  EXPECT_EQ(Str(248, {T("hello"), I(INT32_MIN)}), "");
  EXPECT_EQ(Str(248, {T("hello"), I(INT32_MAX)}), "hello");
}

TEST(Strings, CharacterCodes) {
  EXPECT_EQ(Str(209, {I(65)}), "A");
  EXPECT_EQ(Str(209, {I(0)}), "");
  EXPECT_EQ(Str(209, {I(321)}), "A");
  EXPECT_EQ(Num(203, {T("")}), 0);
  EXPECT_EQ(Num(203, {T("\xe9t\xe9")}), 233);
  EXPECT_EQ(Num(234, {T("hello")}), 5);
  EXPECT_EQ(Num(234, {T("")}), 0);
}

TEST(Strings, NumberTexts) {
  EXPECT_EQ(Str(206, {I(5)}), "%" + std::string(29, '0') + "101");
  EXPECT_EQ(Str(206, {I(-1)}), "%" + std::string(32, '1'));
  EXPECT_EQ(Str(223, {I(255)}), "FF");
  EXPECT_EQ(Str(223, {I(-1)}), "FFFFFFFF");
  EXPECT_EQ(Str(312, {I(INT32_MIN)}), "-2147483648");
  EXPECT_EQ(Str(311, {F(2.5f)}), "2.5");
  EXPECT_EQ(Str(311, {F(0.1f)}), "0.1");
  EXPECT_EQ(Str(311, {F(1e10f)}), "1e+10");
  EXPECT_EQ(Str(311, {F(1234567.0f)}), "1.23457e+06");
  EXPECT_EQ(Num(322, {T("12abc")}), 12);
  EXPECT_EQ(Num(322, {T("abc")}), 0);
  EXPECT_EQ(Num(322, {T("  -42")}), -42);
  EXPECT_EQ(Num(322, {T("99999999999")}), INT32_MAX);
  EXPECT_EQ(Num(322, {T("-99999999999999999999999")}), INT32_MIN);
}

TEST(Strings, TextToFloatFollowsTheCLocale) {
  ProgramRun run;
  ImageBuilder b;
  b.Emit({321, 11000, b.Text("2.5e2xyz")});
  b.Emit({321, 11001, b.Text("abc")});
  b.Emit({321, 11002, b.Text(" -.5")});
  b.Emit({321, 11003, b.Text("0x10")});
  b.Emit({321, 11004, b.Text("3,5")});
  b.Emit({321, 11005, b.Text("1e")});
  run.LoadAndRun(b);
  EXPECT_EQ(ProgramRun::Float(11000), 250.0f);
  EXPECT_EQ(ProgramRun::Float(11001), 0.0f);
  EXPECT_EQ(ProgramRun::Float(11002), -0.5f);
  EXPECT_EQ(ProgramRun::Float(11003), 0.0f);
  EXPECT_EQ(ProgramRun::Float(11004), 3.0f);
  EXPECT_EQ(ProgramRun::Float(11005), 1.0f);
}

TEST(Strings, BlanksAndCase) {
  EXPECT_EQ(Str(256, {I(255)}), std::string(255, ' '));
  EXPECT_EQ(Str(256, {I(-4)}), "");
  EXPECT_EQ(Str(256, {I(256)}), "<null>");
  EXPECT_EQ(LastErrorCode(), 107);
  EXPECT_EQ(Str(236, {T("MiXeD \xc9")}), "mixed \xc9");
  EXPECT_EQ(Str(261, {T("MiXeD \xe9")}), "MIXED \xe9");
}

TEST(Strings, FixedTextsAreCut) {
  RunOptions keep = g_runtime.options;
  g_runtime.commandLine = std::string(300, 'c');
  EXPECT_EQ(Str(211, {}), std::string(255, 'c'));
  g_runtime.programFile = "/games/" + std::string(300, 'p');
  EXPECT_EQ(Str(426, {}), "C:\\games\\" + std::string(246, 'p'));
  EXPECT_FALSE(Str(427, {}).empty());
  g_runtime.commandLine.clear();
  g_runtime.programFile.clear();
  g_runtime.options = keep;
}

}  // namespace
