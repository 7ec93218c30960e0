// Whole programs run headless with --transcript and --grab.
#include <gtest/gtest.h>

#include <string>

#include "runtime/startup.h"
#include "display/bitmaps.h"
#include "platform/fs.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace {

struct RunResult {
  int status;
  std::string transcript;
  SurfacePtr grab;
};

RunResult RunProgramImage(const ImageBuilder& b, int64_t frames) {
  // Not the run's own temporary folder: that goes at the end of the run.
  TempDir dir;
  const std::string image = dir.File("program.img"), transcript = dir.File("program.txt"),
                    grab = dir.File("program.png");
  EXPECT_TRUE(b.WriteFile(image));
  RunOptions o;
  o.headless = true;
  o.virtualClock = true;
  o.frames = frames;
  o.transcriptFile = transcript;
  o.grabFile = grab;
  RunResult r;
  r.status = RunImageFile(image, o);
  FsReadFile(transcript, r.transcript);
  r.grab = LoadImageByExtension(grab, 32);
  return r;
}

TEST(Programs, PrintsGoToTheTranscriptAndTheGrab) {
  ImageBuilder b;
  b.Emit({305, b.Int(5)});
  b.Emit({305, b.Int(6)});
  b.Emit({303, b.Text("Hello")});
  b.Emit({302, b.Float(2.5f)});
  b.Emit({304});
  b.Emit({227, b.Int(0xFF0000), b.Int(0)});
  b.Emit({208, b.Int(600), b.Int(400), b.Int(609), b.Int(409)});
  RunResult r = RunProgramImage(b, 20);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.transcript, "56Hello\n2.5\n \n");
  ASSERT_NE(r.grab, nullptr);
  EXPECT_EQ(r.grab->Width(), 640);
  EXPECT_EQ(r.grab->GetPixel(605, 405), 0xFF0000u);
  EXPECT_EQ(r.grab->GetPixel(611, 405), 0u);
  // "56" sits at the top-left in white.
  bool lit = false;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) lit |= r.grab->GetPixel(x, y) == 0xFFFFFFu;
  EXPECT_TRUE(lit);
}

TEST(Programs, BitmapErrorsAreReportedWhenTheQueueRuns) {
  ImageBuilder b;
  b.Emit({1012, b.Int(0), b.Int(9)});  // blur amount 9
  b.Emit({303, b.Text("after")});
  RunResult r = RunProgramImage(b, 20);
  EXPECT_EQ(r.status, 1) << r.transcript;
}

TEST(Programs, TextCommandsAndBitmapsTogether) {
  ImageBuilder b;
  int32_t width = b.IntVar();
  b.Emit({1005, b.Int(1), b.Int(32), b.Int(32)});
  b.Emit({227, b.Int(0x00FF00), b.Int(0)});
  b.Emit({208, b.Int(0), b.Int(0), b.Int(31), b.Int(31)});
  b.Emit({1006, b.Int(0)});
  b.Emit({1008, b.Int(1), b.Int(0), b.Int(0), b.Int(31), b.Int(31), b.Int(0), b.Int(100), b.Int(100), b.Int(131),
          b.Int(131)});
  b.Emit({6505, width, b.Text("Hello")});
  b.Emit({301, width});
  b.Emit({6010, b.Int(200), b.Int(200), b.Text("text")});
  RunResult r = RunProgramImage(b, 20);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.transcript, "40\ntext\n");
  ASSERT_NE(r.grab, nullptr);
  EXPECT_EQ(r.grab->GetPixel(115, 115), 0x00FF00u);
  EXPECT_EQ(r.grab->GetPixel(132, 115), 0u);
}

}  // namespace
