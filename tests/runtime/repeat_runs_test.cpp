// Programs run one after another in one process start from the same state.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

namespace {

// Draws and prints with whatever a run starts with: ink, text font and style, the current
// bitmap, the display mode, DATA and the random generator.
const char kProgramA[] =
    "print \"hello\"\n"
    "text 100,100,\"text\"\n"
    "center text 320,200,\"centre\"\n"
    "dot 5,5\n"
    "box 50,300,60,310\n"
    "read v\n"
    "print v\n"
    "print rnd(1000)\n"
    "print screen width()\n"
    "print current bitmap()\n"
    "print bitmap exist(2)\n"
    "data 7\n";

// Changes every state a program can leave behind: the display mode, the text style and
// colours, the current bitmap, arrays, DATA, the random generator, the frame rate, the pointer.
const char kProgramB[] =
    "set display mode 800,600,32\n"
    "set text font \"Courier New\"\n"
    "set text size 30\n"
    "set text to bolditalic\n"
    "set text opaque\n"
    "ink rgb(255,0,0),rgb(0,255,0)\n"
    "create bitmap 2,64,64\n"
    "set current bitmap 2\n"
    "dim a(10)\n"
    "randomize 5\n"
    "sync rate 10\n"
    "hide mouse\n"
    "set gamma 100,200,300\n"
    "read x\n"
    "print x\n"
    "print rnd(1000)\n"
    "data 42\n"
    "sync on\n"
    "do\n"
    "  sync\n"
    "loop\n";

// A, then B, then A again, each in a window of the offscreen driver:
// A's frame and transcript are the same both times.
TEST(RepeatRuns, AThenBThenAGivesTheSameFrameAndTranscript) {
  VkaOptions options;
  options.frames = 30;
  options.windowed = true;
  const RunOutcome first = RunVkaSource(kProgramA, options);
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_NE(first.grab, nullptr);
  ASSERT_FALSE(first.transcript.empty());
  const RunOutcome b = RunVkaSource(kProgramB, options);
  ASSERT_EQ(b.status, 0) << b.err;
  ASSERT_NE(b.grab, nullptr);
  EXPECT_EQ(b.grab->Width(), 800);
  const RunOutcome again = RunVkaSource(kProgramA, options);
  ASSERT_EQ(again.status, 0) << again.err;
  ASSERT_NE(again.grab, nullptr);
  EXPECT_EQ(again.transcript, first.transcript);
  ASSERT_EQ(again.grab->Width(), first.grab->Width());
  ASSERT_EQ(again.grab->Height(), first.grab->Height());
  int differ = 0;
  for (int32_t y = 0; y < first.grab->Height(); ++y)
    for (int32_t x = 0; x < first.grab->Width(); ++x) differ += again.Pixel(x, y) != first.Pixel(x, y);
  EXPECT_EQ(differ, 0);
}

}  // namespace
