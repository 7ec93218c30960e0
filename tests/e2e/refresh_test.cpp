// The refresh rule, SYNC ON with SYNC, INKEY$ and the mouse, as programs on the virtual clock.
#include <gtest/gtest.h>

#include <string>

#include "display/imagefiles/image_files.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

// 500 drawing commands, then "done": reached in 10 frames only when the drawing does not end
// the slice each time.
std::string DrawingLoop(const std::string& before, const std::string& command) {
  return before + "\nfor i = 1 to 500\n  " + command + "\nnext i\nset current bitmap 0\nprint \"done\"\nsync\n";
}

TEST(RefreshPrograms, DrawingIntoABitmapDoesNotEndTheSlice) {
  for (const char* command : {"dot 5,5", "line 1,1,5,5", "circle 9,9,3", "ellipse 9,9,3,2", "cls"}) {
    RunOutcome bitmap = RunVkaSource(DrawingLoop("create bitmap 3,64,64", command), 10);
    EXPECT_EQ(bitmap.status, 0) << bitmap.err;
    EXPECT_EQ(bitmap.transcript, "done\n") << command << " into bitmap 3";
    RunOutcome screen = RunVkaSource(DrawingLoop("rem the screen", command), 10);
    EXPECT_EQ(screen.transcript, "") << command << " on the screen ends every slice";
  }
  // A box ends the slice whichever bitmap is current.
  RunOutcome box = RunVkaSource(DrawingLoop("create bitmap 3,64,64", "box 1,1,2,2"), 10);
  EXPECT_EQ(box.transcript, "");
}

TEST(RefreshPrograms, SyncOnLeavesTheFrameToSync) {
  // Without SYNC the drawing runs on in one slice; with it, one frame per SYNC.
  RunOutcome free = RunVkaSource(DrawingLoop("sync on", "dot 5,5"), 10);
  EXPECT_EQ(free.transcript, "done\n");
  const std::string synced = "sync on\nfor i = 1 to 30\n  dot i,5\n  sync\nnext i\nprint \"done\"\nsync\n";
  EXPECT_EQ(RunVkaSource(synced, 20).transcript, "");
  RunOutcome enough = RunVkaSource(synced, 40);
  EXPECT_EQ(enough.transcript, "done\n");
  ASSERT_NE(enough.grab, nullptr);
  EXPECT_NE(enough.Pixel(30, 5), 0u);
  EXPECT_EQ(enough.Pixel(31, 5), 0u);
  // SYNC OFF goes back to automatic refresh: every dot on the screen ends its slice.
  EXPECT_EQ(RunVkaSource(DrawingLoop("sync on\nsync off", "dot 5,5"), 10).transcript, "");
}

// SAVE BITMAP of the screen saves it once the next refresh has drawn what came before the
// command, and not what came after; a save just before END is still written.
TEST(RefreshPrograms, ASavedScreenHoldsWhatWasDrawnBeforeTheSave) {
  const struct {
    const char *form, *after;
  } kCases[] = {
      {"", "end"},
      {", 0", "end"},
      {"", "ink rgb(0,255,0),0\nbox 30,30,40,40\nsync\nend"},
      {", 0", "ink rgb(0,255,0),0\nbox 30,30,40,40\nsync\nsync\nend"},
  };
  for (const auto& c : kCases) {
    TempDir dir;
    const std::string file = dir.File("shot.bmp");
    const std::string source = "sync on\nink rgb(255,0,0),0\nbox 10,10,20,20\nsave bitmap \"" + file + "\"" + c.form +
                               "\n" + c.after + "\n";
    const RunOutcome r = RunVkaSource(source, 20);
    ASSERT_EQ(r.status, 0) << source << r.err;
    SurfacePtr shot = LoadImageByExtension(file, 32);
    ASSERT_NE(shot, nullptr) << source;
    // Red on the 16-bit display comes back with its low bits rounded.
    EXPECT_GT(shot->GetPixel(15, 15) >> 16 & 255, 200u) << source;
    EXPECT_EQ(shot->GetPixel(15, 15) & 0xFFFF, 0u) << source;
    EXPECT_EQ(shot->GetPixel(35, 35) & 0xFFFFFF, 0u) << source;
  }
}

TEST(InputPrograms, InkeyAndTheMouseFrameByFrame) {
  RunOutcome r = RunVka("keys_and_mouse.vka", 30, "3 type x\n6 mouse 100 50\n8 type yz\n11 mouse 90 70\n");
  ASSERT_EQ(r.status, 0) << r.err;
  // A typed character is seen in its frame only: its key goes up in the next. Movement is
  // counted once, in the frame after it.
  EXPECT_EQ(r.transcript,
            "1 [] 320,240 0,0\n"
            "2 [x] 320,240 0,0\n"
            "3 [] 320,240 0,0\n"
            "4 [] 320,240 0,0\n"
            "5 [] 100,50 -220,-190\n"
            "6 [] 100,50 0,0\n"
            "7 [y] 100,50 0,0\n"
            "8 [z] 100,50 0,0\n"
            "9 [] 100,50 0,0\n"
            "10 [] 90,70 -10,20\n"
            "11 [] 90,70 0,0\n"
            "12 [] 90,70 0,0\n");
  // Each character of a typed word once, repeated letters too.
  const std::string collect =
      "sync on\nfor f = 1 to 12\n  k$ = inkey$()\n  if k$ <> \"\" then s$ = s$ + k$\n  sync\nnext f\nprint s$\nsync\n";
  EXPECT_EQ(RunVkaSource(collect, 30, "6 type hello\n").transcript, "hello\n");
}

}  // namespace
