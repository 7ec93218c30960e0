// Timer, waits, refresh control, the mouse and scan-code queries and the end commands, run as
// programs on the virtual clock with --input files.
#include <gtest/gtest.h>

#include <regex>

#include "core/command_table.h"
#include "core/loader.h"
#include "display/display.h"
#include "platform/clock.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/subsystems.h"
#include "tests/support/program_run.h"

namespace {

RunOutcome RunIt(const ImageBuilder& b, const std::string& input = "", int64_t frames = 20) {
  TestRun o = RunFor(20);
  o.frames = frames;
  o.input = input;
  return RunImage(b, o);
}

}  // namespace

TEST(Waits, MillisecondWaitLastsAtLeastItsTimeWhileFramesGoOn) {
  ImageBuilder b;
  int32_t t1 = b.IntVar(), t2 = b.IntVar(), t3 = b.IntVar();
  b.Emit({260, t1});
  b.Emit({255, b.Int(100)});
  b.Emit({260, t2});
  b.Emit({410, b.Int(0)});
  b.Emit({260, t3});
  b.Emit({213});
  RunOutcome r = RunIt(b);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.ended, 1);
  const int32_t waited = r.Int(t2) - r.Int(t1);
  // Four frames of 25 ms pass, the wait ends in the fifth and the next command runs in the sixth.
  EXPECT_EQ(waited, 150);
  // A wait of 0 ends the slice, and ends it again when it is over.
  EXPECT_EQ(r.Int(t3) - r.Int(t2), 50);
}

TEST(Waits, NegativeWaitEndsAtTheNextSlice) {
  ImageBuilder b;
  int32_t t1 = b.IntVar(), t2 = b.IntVar();
  b.Emit({260, t1});
  b.Emit({255, b.Int(-50)});
  b.Emit({260, t2});
  b.Emit({213});
  RunOutcome r = RunIt(b);
  EXPECT_EQ(r.Int(t2) - r.Int(t1), 50);
}

// The clock wraps at 2^32 ms; a wait that spans the wrap still ends.
TEST(Waits, MillisecondWaitEndsAcrossTheClockWrap) {
  ImageBuilder b;
  int32_t t1 = b.IntVar(), t2 = b.IntVar();
  b.Emit({260, t1});
  b.Emit({255, b.Int(100)});
  b.Emit({260, t2});
  b.Emit({0});
  std::vector<uint8_t> bytes = b.Build();
  ResetSubsystems();
  ASSERT_TRUE(LoadProgramFromBytes(bytes.data(), bytes.size()));
  ClockUseVirtual(true, 0xFFFFFFFFu - 40);
  g_display.active = 1;
  ResetInterpreter();
  LeaveSlice = 0;
  int slices = 0;
  for (; slices < 50 && g_cells[t2 - 10000].i == 0; ++slices) {
    InterpretSlice();
    ClockAdvanceMs(25);
  }
  const uint32_t waited = uint32_t(g_cells[t2 - 10000].i) - uint32_t(g_cells[t1 - 10000].i);
  EXPECT_EQ(waited, 150u);
  EXPECT_LT(uint32_t(g_cells[t2 - 10000].i), 1000u);  // the clock did wrap meanwhile
  EXPECT_EQ(g_timing.waitDeadline, -1.0);
  ClockUseVirtual(false);
  FreeProgramStrings();
}

TEST(Waits, KeyWaitEndsWhenTheTypedCharacterHasPassed) {
  ImageBuilder b;
  b.Emit({263});
  b.Emit({213});
  // The character arrives at frame 4 and is released at frame 5, typed or given alone, its key
  // still down or not.
  RunOutcome r;
  for (const char* input : {"4 key A down\n4 char 97\n6 key A up\n", "4 type a\n", "4 char 97\n"}) {
    r = RunIt(b, input, 12);
    EXPECT_EQ(r.ended, 1) << input;
    EXPECT_EQ(r.frames, 6) << input;
  }
  // With no character the wait goes on.
  r = RunIt(b, "4 key A down\n6 key A up\n", 12);
  EXPECT_EQ(r.ended, 0);
  EXPECT_EQ(r.frames, 13);  // the opening frame and 12 of the program
  // Command 264 is the same wait.
  ImageBuilder c;
  c.Emit({264});
  c.Emit({213});
  r = RunIt(c, "2 char 13\n3 mouse 1 1\n");
  EXPECT_EQ(r.ended, 1);
  EXPECT_EQ(r.frames, 4);
}

TEST(Waits, MouseWaitEndsWhenAButtonWentDownAndUp) {
  ImageBuilder b;
  b.Emit({265});
  b.Emit({213});
  RunOutcome r = RunIt(b, "3 button left down\n5 button left up\n");
  EXPECT_EQ(r.ended, 1);
  EXPECT_EQ(r.frames, 6);
  r = RunIt(b, "3 button right down\n", 10);
  EXPECT_EQ(r.ended, 0);
}

TEST(Keys, EscapeFromTheInputFileEndsTheProgramWithoutError) {
  ImageBuilder b;
  b.Emit({263});
  b.Emit({213});
  RunOutcome r = RunIt(b, "3 key Escape down\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(r.ended, 0);
  EXPECT_EQ(r.frames, 3);
}

TEST(Keys, ScancodeGivesTheLowestKeyDown) {
  ImageBuilder b;
  int32_t none = b.IntVar(), a = b.IntVar(), both = b.IntVar();
  b.Emit({250, none});
  b.Emit({263});
  b.Emit({250, a});
  b.Emit({263});
  b.Emit({250, both});
  b.Emit({213});
  RunOutcome r = RunIt(b, "2 key A down\n2 char 97\n4 mouse 330 240\n5 key A up\n5 key Q down\n"
                        "5 char 113\n7 mouse 1 1\n");
  EXPECT_EQ(r.Int(none), 0);
  EXPECT_EQ(r.Int(a), 30);
  EXPECT_EQ(r.Int(both), 0x10);
  EXPECT_EQ(r.ended, 1);
}

TEST(Keys, ModifierKeysByTheirNamesInTheInputFile) {
  ImageBuilder b;
  int32_t ctrl = b.IntVar(), shift = b.IntVar();
  b.Emit({263});
  b.Emit({4505, ctrl});
  b.Emit({4506, shift});
  b.Emit({213});
  RunOutcome r = RunIt(b, "2 key Right Ctrl down\n2 key Left Shift down\n2 type a\n4 mouse 1 1\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.Int(ctrl), 1);
  EXPECT_EQ(r.Int(shift), 1);
  EXPECT_EQ(r.ended, 1);
}

TEST(Refresh, SyncOnLetsOnlySyncEndTheSlice) {
  ImageBuilder b;
  int32_t t1 = b.IntVar(), t2 = b.IntVar(), t3 = b.IntVar(), t4 = b.IntVar();
  b.Emit({260, t1});
  b.Emit({260, t2});
  b.Emit({403});
  b.Emit({260, t3});
  b.Emit({259});
  b.Emit({260, t4});
  b.Emit({213});
  RunOutcome r = RunIt(b);
  EXPECT_EQ(r.Int(t2), r.Int(t1));       // automatic refresh: one slice
  EXPECT_EQ(r.Int(t3) - r.Int(t1), 25);  // sync on ends the slice
  EXPECT_EQ(r.Int(t4) - r.Int(t3), 25);  // and SYNC presents a frame
}

TEST(Refresh, SyncRateSetsTheFramePeriod) {
  for (auto [rate, period] : {std::pair{40, 25}, std::pair{20, 50}, std::pair{60, 16}, std::pair{1000, 1}}) {
    ImageBuilder b;
    int32_t t1 = b.IntVar(), t2 = b.IntVar();
    b.Emit({407, b.Int(rate)});
    b.Emit({403});
    b.Emit({260, t1});
    b.Emit({259});
    b.Emit({260, t2});
    b.Emit({404});
    b.Emit({213});
    RunOutcome r = RunIt(b);
    EXPECT_EQ(r.Int(t2) - r.Int(t1), period) << "rate " << rate;
    EXPECT_EQ(r.ended, 1);
  }
}

// Frames keep their period while the millisecond clock wraps at 2^32.
TEST(Refresh, FramePacingHoldsAcrossTheClockWrap) {
  ClockUseVirtual(true, 0xFFFFFFFFu - 10);
  g_display.active = 1;
  g_timing = RunTiming{};
  g_timing.framePeriod = 25;
  g_timing.lastFrameTime = TimeMs();
  EndFrame();
  EXPECT_EQ(g_timing.lastFrameTime, 14u);
  g_timing.framePeriod = 0;  // rate 0: a fixed 16 ms step of the virtual clock
  EndFrame();
  EXPECT_EQ(g_timing.lastFrameTime, 30u);
  g_timing = RunTiming{};
  g_display.active = 0;
  ClockUseVirtual(false);
}

TEST(Refresh, SyncRateZeroTakesAFixedVirtualStepAndOutOfRangeIsError112) {
  ImageBuilder b;
  int32_t t1 = b.IntVar(), t2 = b.IntVar();
  b.Emit({407, b.Int(0)});
  b.Emit({403});
  b.Emit({260, t1});
  b.Emit({259});
  b.Emit({260, t2});
  b.Emit({213});
  RunOutcome r = RunIt(b);
  EXPECT_EQ(r.Int(t2) - r.Int(t1), 16);  // the virtual clock's step for a frame without a period
  for (int32_t rate : {1001, -1}) {
    ImageBuilder c;
    int32_t after = c.IntVar();
    c.Emit({407, c.Int(rate)});
    c.Emit({260, after});
    c.Emit({213});
    r = RunIt(c);
    EXPECT_EQ(r.errorCode, 112);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.Int(after), 0);  // the slice ended at the error
  }
}

TEST(Mouse, PositionAndMovementFollowTheInputFile) {
  ImageBuilder b;
  int32_t x = b.IntVar(), y = b.IntVar(), mx = b.IntVar(), my = b.IntVar(), later = b.IntVar();
  int32_t cx = b.IntVar(), cy = b.IntVar(), cmx = b.IntVar(), cmy = b.IntVar();
  b.Emit({263});
  b.Emit({239, x});
  b.Emit({240, y});
  b.Emit({241, mx});
  b.Emit({244, my});
  b.Emit({259});
  b.Emit({241, later});
  b.Emit({263});
  b.Emit({239, cx});
  b.Emit({240, cy});
  b.Emit({241, cmx});
  b.Emit({244, cmy});
  b.Emit({213});
  RunOutcome r = RunIt(b, "4 char 97\n5 mouse 400 300\n8 char 98\n9 mouse -50 900\n");
  EXPECT_EQ(r.Int(x), 400);
  EXPECT_EQ(r.Int(y), 300);
  EXPECT_EQ(r.Int(mx), 80);
  EXPECT_EQ(r.Int(my), 60);
  EXPECT_EQ(r.Int(later), 0);  // movement counts from the previous frame only
  EXPECT_EQ(r.Int(cx), 0);     // held at the edges of the screen
  EXPECT_EQ(r.Int(cy), 479);
  EXPECT_EQ(r.Int(cmx), -450);  // while the movement keeps its full size
  EXPECT_EQ(r.Int(cmy), 600);
  EXPECT_EQ(r.ended, 1);
}

TEST(Mouse, WheelButtonsAndPlacing) {
  ImageBuilder b;
  int32_t z1 = b.IntVar(), mz1 = b.IntVar(), z2 = b.IntVar(), mz2 = b.IntVar(), click = b.IntVar();
  int32_t px = b.IntVar(), py = b.IntVar(), none = b.IntVar();
  b.Emit({238, none});
  b.Emit({263});
  b.Emit({431, z1});
  b.Emit({432, mz1});
  b.Emit({263});
  b.Emit({431, z2});
  b.Emit({432, mz2});
  b.Emit({238, click});
  b.Emit({246, b.Int(100), b.Int(200)});
  b.Emit({239, px});
  b.Emit({240, py});
  b.Emit({213});
  RunOutcome r = RunIt(b, "2 char 97\n3 wheel 1\n6 char 98\n7 wheel -3\n7 button left down\n7 button right down\n");
  EXPECT_EQ(r.Int(none), 0);
  EXPECT_EQ(r.Int(z1), 99);  // 120 a notch, held within 0..99
  EXPECT_EQ(r.Int(mz1), 120);
  EXPECT_EQ(r.Int(z2), 0);
  EXPECT_EQ(r.Int(mz2), -240);  // the z total is never cleared
  EXPECT_EQ(r.Int(click), 3);
  EXPECT_EQ(r.Int(px), 100);
  EXPECT_EQ(r.Int(py), 200);
}

// A pointer placed at the far ends of the number range comes back onto the screen when the
// input file moves it, without the movement overflowing.
TEST(Mouse, PlacedFarOffTheScreenAndMovedBack) {
  ImageBuilder b;
  int32_t x = b.IntVar(), y = b.IntVar(), mx = b.IntVar();
  b.Emit({246, b.Int(INT32_MIN), b.Int(INT32_MAX)});
  b.Emit({239, x});
  b.Emit({240, y});
  b.Emit({241, mx});
  b.Emit({213});
  RunOutcome r = RunIt(b, "2 mouse 100 100\n");
  EXPECT_EQ(r.Int(x), 0);
  EXPECT_EQ(r.Int(y), 100);
  EXPECT_EQ(r.Int(mx), INT32_MAX);
  EXPECT_EQ(r.ended, 1);
}

TEST(Ending, OnlyTheEndCommandSetsTheEndedFlag) {
  ImageBuilder a;
  a.Emit({217});
  a.Emit({213});
  RunOutcome r = RunIt(a);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.ended, 0);
  EXPECT_EQ(r.frames, 2);
  ImageBuilder b;
  b.Emit({266, b.Text("bye")});
  b.Emit({213});
  r = RunIt(b);
  EXPECT_EQ(r.ended, 0);
  EXPECT_EQ(r.frames, 2);
}

TEST(Clock, TimerDateAndTimeTexts) {
  ImageBuilder b;
  int32_t t = b.IntVar(), date = b.StringVar(), time = b.StringVar();
  b.Emit({408, date});
  b.Emit({409, time});
  b.Emit({224});
  b.Emit({253});
  b.Emit({260, t});
  b.Emit({213});
  RunOutcome r = RunIt(b);
  EXPECT_TRUE(std::regex_match(r.Text(date), std::regex(R"(\d\d/\d\d/\d\d)"))) << r.Text(date);
  EXPECT_TRUE(std::regex_match(r.Text(time), std::regex(R"(\d\d:\d\d:\d\d)"))) << r.Text(time);
  EXPECT_GE(r.Int(t), 25);  // the first commands run in the second frame
  EXPECT_EQ(r.ended, 1);
}
