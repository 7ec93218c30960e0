#include <string>

#include "core/command_table.h"
#include "core/interp.h"
#include "core/strings.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "tests/display/display_fixture.h"
#include "tests/support/program_run.h"

namespace {

class PrintTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    InitCommandTable();
    g_timing = RunTiming{};
    cells_[0].raw = cells_[1].raw = 0;
  }
  void TearDown() override {
    FreeString(cells_[0].s);
    DisplayTest::TearDown();
  }
  // Runs command n with the given operand cells; returns the operand words it moved past.
  long Call(int n, std::initializer_list<VarCell*> ops) {
    LeaveSlice = 0;
    return CallHandler(n, ops);
  }
  // Types one character into the line input of command n.
  long Type(int n, char c, VarCell* target) {
    g_runtime.lastCharacter = uint8_t(c);
    return Call(n, {target});
  }
  VarCell cells_[2];
};

TEST_F(PrintTest, PrintStaysOnTheLineOrMovesOn) {
  VarCell v{};
  v.i = 5;
  Call(305, {&v});
  v.i = 6;
  Call(305, {&v});
  EXPECT_EQ(g_cursorX, 16);
  EXPECT_EQ(LeaveSlice, 1);  // automatic refresh on the screen
  Call(301, {&v});
  EXPECT_EQ(g_cursorX, 0);
  EXPECT_EQ(g_cursorY, 16);
  Call(212, {});
  EXPECT_EQ(g_cursorY, 0);
  VarCell x{}, y{};
  x.i = 30;
  y.i = 40;
  Call(252, {&x, &y});
  EXPECT_EQ(g_cursorX, 30);
  EXPECT_EQ(g_cursorY, 40);
}

TEST_F(PrintTest, PrintingIntoABitmapDoesNotEndTheSlice) {
  CreateBitmapSurface(3, 10, 10);
  QueueSetCurrentBitmap(3);
  VarCell v{};
  Call(301, {&v});
  EXPECT_EQ(LeaveSlice, 0);
  Call(215, {&v, &v});
  EXPECT_EQ(LeaveSlice, 0);
  Call(208, {&v, &v, &v, &v});
  EXPECT_EQ(LeaveSlice, 1);  // a box ends the slice whichever bitmap is current
}

TEST_F(PrintTest, IntegerInputIgnoresLettersAndWaitsForEnter) {
  VarCell target{};
  EXPECT_EQ(Type(351, '1', &target), -1);  // back to the command word
  EXPECT_EQ(Type(351, 'a', &target), -1);
  EXPECT_EQ(Type(351, '2', &target), -1);
  EXPECT_EQ(Type(351, 13, &target), 1);
  EXPECT_EQ(target.i, 12);
  EXPECT_EQ(g_timing.lineInputLength, -1);
  EXPECT_EQ(g_runtime.lastCharacter, 0);
  EXPECT_EQ(g_cursorX, 0);
  EXPECT_EQ(g_cursorY, 16);
  for (char c : std::string("3.7")) Type(351, c, &target);
  Type(351, 13, &target);
  EXPECT_EQ(target.i, 3);
  Type(351, '-', &target);
  Type(351, 13, &target);
  EXPECT_EQ(target.i, 0);
}

TEST_F(PrintTest, BackspaceAndTheLengthLimit) {
  VarCell target{};
  Type(352, 8, &target);  // backspace at an empty line does nothing
  EXPECT_EQ(g_timing.lineInputLength, 0);
  Type(352, 'a', &target);
  Type(352, 'b', &target);
  Type(352, 8, &target);
  EXPECT_EQ(g_timing.lineInputLength, 1);
  for (int i = 0; i < 300; ++i) Type(352, 'x', &target);
  EXPECT_EQ(g_timing.lineInputLength, 255);
  Type(352, char(200), &target);  // above 127: refused
  EXPECT_EQ(g_timing.lineInputLength, 255);
  Type(352, 13, &target);
  ASSERT_NE(target.s, nullptr);
  EXPECT_EQ(std::string(target.s), "a" + std::string(254, 'x'));
  RunDrawQueue();
  FreeString(target.s);
}

TEST_F(PrintTest, FloatInputAndEnterBeforeAnyCharacter) {
  VarCell target{};
  target.f = 9.0f;
  Type(355, 13, &target);
  EXPECT_EQ(target.f, 0.0f);
  for (char c : std::string("2.5")) Type(355, c, &target);
  Type(355, 13, &target);
  EXPECT_EQ(target.f, 2.5f);
}

TEST_F(PrintTest, InkeyGivesTheLastCharacterEveryTime) {
  g_runtime.lastCharacter = 'q';
  Call(228, {&cells_[0]});
  EXPECT_EQ(std::string(cells_[0].s), "q");
  Call(228, {&cells_[0]});
  EXPECT_EQ(std::string(cells_[0].s), "q");
  g_runtime.lastCharacter = 0;
  Call(228, {&cells_[0]});
  EXPECT_EQ(std::string(cells_[0].s), "");
}

TEST_F(PrintTest, BitmapQueriesAndGamma) {
  VarCell r{}, n{};
  n.i = 0;
  Call(1051, {&r, &n});
  EXPECT_EQ(r.i, 1);
  Call(1053, {&r});
  EXPECT_EQ(r.i, 640);
  n.i = 32;
  Call(1051, {&r, &n});
  EXPECT_EQ(g_errorCode, 1001);
  g_errorCode = 0;
  n.i = 5;
  Call(1060, {&r, &n});
  EXPECT_EQ(g_errorCode, 1002);
  g_errorCode = 0;
  Call(1010, {&n});
  Call(1010, {&n});
  Call(1010, {&n});
  EXPECT_EQ(g_bitmapInfo[5].mirrored, 1);
  VarCell a{}, b{}, c{};
  a.i = b.i = 256;
  c.i = 512;
  Call(1014, {&a, &b, &c});
  EXPECT_EQ(g_errorCode, 1014);
  EXPECT_EQ(g_errorKind, 1);
}

}  // namespace
