// Video animations through their commands, on the virtual clock.
#include <string>

#include "core/command_table.h"
#include "core/interp.h"
#include "core/pack.h"
#include "core/strings.h"
#include "display/animations.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "runtime/command_families.h"
#include "tests/display/display_fixture.h"
#include "tests/display/video_clips.h"
#include "tests/support/program_run.h"

namespace {

class AnimationTest : public DisplayTest {
 protected:
  void SetUp() override {
    StartDisplay(32);
    InitCommandTable();
    ClockUseVirtual(true, 1000);
    g_runtime.standalone = 0;
  }
  void TearDown() override {
    ReleaseAllAnimations();
    ClockUseVirtual(false);
    DisplayTest::TearDown();
  }
  // Runs command n with integer operands (a string first when given); returns the result cell.
  int32_t Call(int n, std::initializer_list<int32_t> ints, const std::string* text = nullptr) {
    CommandCall call;
    int k = 0;
    if (text) call.SetText(k++, text->c_str());
    for (int32_t v : ints) call.cells[k++].i = v;
    call.Run(n, k);
    return call.cells[0].i;
  }
  void Load(int32_t n, const std::string& file) {
    Call(2001, {n}, &file);
    ASSERT_EQ(g_errorCode, 0);
  }
  // Status of animation n: playing, paused, looping.
  std::string Status(int32_t n) {
    return std::to_string(Call(2052, {0, n})) + std::to_string(Call(2053, {0, n})) +
           std::to_string(Call(2054, {0, n}));
  }
  // Moves the clock to ms after the play and runs the frame step.
  void At(uint32_t ms) {
    SCOPED_TRACE(ms);
    ClockAdvanceMs(ms - (TimeMs() - start_));
    UpdateAnimations();
  }
  void Play(int n, std::initializer_list<int32_t> ops) {
    Call(n, ops);
    ASSERT_EQ(g_errorCode, 0);
    start_ = TimeMs();
  }
  uint32_t Rgb(const Surface* s, int32_t x, int32_t y) { return RgbFromPixel(s->Format(), s->GetPixel(x, y)); }
  // Frame k of the colour clip is drawn at x, y of the surface at its own size.
  void ExpectFrameAt(const Surface* s, int32_t k, int32_t x, int32_t y) {
    EXPECT_EQ(Rgb(s, x, y), ClipLeft(k)) << "frame " << k;
    EXPECT_EQ(Rgb(s, x + kClipWidth - 1, y + kClipHeight - 1), ClipRight(k)) << "frame " << k;
  }
  uint32_t start_ = 0;
};

TEST_F(AnimationTest, FramesAppearAtTheirRectangleAtTheirTimeThenTheLastOneStays) {
  Load(1, ColourClip());
  EXPECT_EQ(Call(2051, {0, 1}), 1);
  EXPECT_EQ(Status(1), "000");
  EXPECT_EQ(Call(2059, {0, 1}), kClipWidth);  // the load sized it at 0, 0
  UpdateAnimations();
  EXPECT_EQ(CountLit(), 0);  // loaded, not shown
  Play(2012, {1, 100, 50});
  EXPECT_EQ(Status(1), "100");
  EXPECT_EQ(Call(2057, {0, 1}), 100);
  EXPECT_EQ(Call(2058, {0, 1}), 50);
  for (int32_t k = 0; k < kClipFrames; ++k) {
    At(uint32_t(k * kClipFrameMs));
    ExpectFrameAt(Back(), k, 100, 50);
    EXPECT_EQ(Rgb(Back(), 99, 50), 0u);
    EXPECT_EQ(Rgb(Back(), 100 + kClipWidth, 50), 0u);
    EXPECT_EQ(Rgb(Back(), 100, 50 + kClipHeight), 0u);
  }
  At(kClipFrames * kClipFrameMs);
  EXPECT_EQ(Status(1), "000");  // played once: ended
  SurfaceFill(Back(), nullptr, 0);
  At(kClipFrames * kClipFrameMs + 500);
  ExpectFrameAt(Back(), kClipFrames - 1, 100, 50);  // the last picture is kept on the screen
  // Playing again opens the file again from the start.
  Play(2003, {1});
  At(0);
  ExpectFrameAt(Back(), 0, 100, 50);
}

TEST_F(AnimationTest, LoopingRewindsAndPlayingWhilePlayingRestarts) {
  Load(2, ColourClip());
  Play(2007, {2});
  EXPECT_EQ(Status(2), "101");
  At(3 * kClipFrameMs);
  ExpectFrameAt(Back(), 3, 0, 0);
  At(kClipFrames * kClipFrameMs);  // the end: back to the start
  EXPECT_EQ(Status(2), "101");
  At(kClipFrames * kClipFrameMs + 1);
  ExpectFrameAt(Back(), 0, 0, 0);
  At(kClipFrames * kClipFrameMs + 1 + 2 * kClipFrameMs);
  ExpectFrameAt(Back(), 2, 0, 0);
  Play(2003, {2});  // a new play of a playing animation starts from its beginning, once
  EXPECT_EQ(Status(2), "100");
  At(0);
  ExpectFrameAt(Back(), 0, 0, 0);
}

TEST_F(AnimationTest, PauseResumeAndStopInTheirOrder) {
  Load(3, ColourClip());
  Play(2003, {3});
  At(kClipFrameMs);
  Call(2005, {3});
  EXPECT_EQ(Status(3), "010");  // paused: not playing
  At(4 * kClipFrameMs);  // paused: the picture stays
  ExpectFrameAt(Back(), 1, 0, 0);
  Call(2005, {3});
  EXPECT_EQ(g_errorCode, 2008);  // its video is gone already: not 2009
  Call(2006, {3});
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_EQ(Status(3), "100");
  UpdateAnimations();
  ExpectFrameAt(Back(), 1, 0, 0);  // on from where it stood
  At(5 * kClipFrameMs);
  ExpectFrameAt(Back(), 2, 0, 0);
  Call(2006, {3});
  EXPECT_EQ(g_errorCode, 2010);  // not paused
  Call(2004, {3});
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_EQ(Status(3), "000");
  SurfaceFill(Back(), nullptr, 0);
  UpdateAnimations();
  EXPECT_EQ(CountLit(), 0);  // stopped: nothing is drawn
  Call(2004, {3});
  EXPECT_EQ(g_errorCode, 2008);
  Call(2006, {3});
  EXPECT_EQ(g_errorCode, 2010);
  // Warnings are ignored in a built game.
  g_runtime.standalone = 1;
  Call(2004, {3});
  EXPECT_EQ(g_errorCode, 0);
}

TEST_F(AnimationTest, AnInactiveWindowHoldsPlayingAnimationsUntilItIsActiveAgain) {
  Load(1, ColourClip());
  Load(2, ColourClip());
  Play(2003, {2});
  Call(2005, {2});  // paused by the program: stays paused
  Play(2012, {1, 100, 0});
  At(kClipFrameMs);
  HoldAnimationsWhileInactive();
  ClockAdvanceMs(10000);
  RunAnimationsAgain();
  EXPECT_EQ(Status(2), "010");
  EXPECT_FALSE(g_animations.slots[2].stream->Running());
  start_ += 10000;
  At(2 * kClipFrameMs);
  ExpectFrameAt(Back(), 2, 100, 0);  // on from where it was held
}

TEST_F(AnimationTest, ClippingCutsThePictureInProportionToTheTarget) {
  Load(1, ColourClip());
  Play(2012, {1, -kClipWidth / 2, 10});  // the left half is cut
  EXPECT_EQ(Call(2057, {0, 1}), 0);
  EXPECT_EQ(Call(2059, {0, 1}), kClipWidth / 2);
  At(0);
  EXPECT_EQ(Rgb(Back(), 0, 10), ClipRight(0));
  EXPECT_EQ(Rgb(Back(), kClipWidth / 2, 10), 0u);
  // Stretched twice as wide over the right edge: the source is cut by half as much.
  Play(2013, {1, 640 - kClipWidth, 0, 640 + kClipWidth, kClipHeight});
  EXPECT_EQ(Call(2059, {0, 1}), kClipWidth);
  At(0);
  EXPECT_EQ(Rgb(Back(), 639, 0), ClipLeft(0));
  // Into a bitmap, the bitmap's size cuts, not the screen's; the screen is not drawn.
  SurfaceFill(Back(), nullptr, 0);
  ASSERT_TRUE(CreateBitmapSurface(4, 40, 30));
  Play(2015, {1, 4, 0, 0, 2 * kClipWidth, 2 * kClipHeight});
  EXPECT_EQ(Call(2059, {0, 1}), 40);
  EXPECT_EQ(Call(2060, {0, 1}), 30);
  At(kClipFrameMs);
  EXPECT_EQ(Rgb(BitmapSurface(4), 39, 29), ClipLeft(1));  // still the left half at 20, 15 of the video
  EXPECT_EQ(CountLit(), 0);
  // Placing moves the picture; an empty rectangle draws nothing.
  Call(2014, {1, 0, 0, 0, 30});
  EXPECT_EQ(Call(2059, {0, 1}), 0);
  SurfaceFill(BitmapSurface(4), nullptr, 0);
  At(2 * kClipFrameMs);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) ASSERT_EQ(BitmapSurface(4)->GetPixel(x, y), 0u);
  // A bitmap deleted under a playing animation is simply not drawn.
  ReleaseSurfaceSlot(4);
  At(3 * kClipFrameMs);
}

TEST_F(AnimationTest, ALostTargetIsRestoredAndAFailedRestoreSkipsThePicture) {
  Load(1, ColourClip());
  Play(2003, {1});
  g_surfaceFaults.loseNext = 1;
  At(0);
  ExpectFrameAt(Back(), 0, 0, 0);
  EXPECT_EQ(g_display.active, 1);
  SurfaceFill(Back(), nullptr, 0);
  g_surfaceFaults.loseNext = 1;
  g_surfaceFaults.restoreFailures = 1;
  At(kClipFrameMs);
  EXPECT_EQ(g_display.active, 0);
  EXPECT_EQ(CountLit(), 0);
}

TEST_F(AnimationTest, NumberBitmapAndFileErrors) {
  struct Case {
    int command;
    std::initializer_list<int32_t> ops;
    int32_t error;
  };
  Load(1, ColourClip());
  const Case cases[] = {
      {2003, {0}, 2001},           {2003, {33}, 2001},          {2002, {2}, 2004},
      {2051, {0, 33}, 2001},       {2052, {0, 2}, 2004},        {2060, {0, 0}, 2001},
      {2015, {1, 32, 0, 0, 8, 8}, 1001}, {2016, {1, 5, 0, 0, 8, 8}, 1002}, {2015, {2, 32, 0, 0, 8, 8}, 2004},
      {2005, {1}, 2008},           {2004, {1}, 2008},
  };
  for (const Case& c : cases) {
    Call(c.command, c.ops);
    EXPECT_EQ(g_errorCode, c.error) << c.command;
  }
  EXPECT_EQ(Call(2051, {0, 7}), 0);
  EXPECT_EQ(g_errorCode, 0);
  // A failed load names the file and the cause after the error's text, as the other loaders do.
  std::string missing = ClipFolderFile("missing.avi");
  g_lastEngineError.clear();
  Call(2001, {5}, &missing);
  EXPECT_EQ(g_errorCode, 2002);
  EXPECT_EQ(g_lastEngineError, missing + ": not found");
  EXPECT_EQ(Call(2051, {0, 5}), 0);
  // A new load replaces the old animation; deleting ends it.
  Load(1, Mpeg4Clip());
  EXPECT_EQ(Call(2059, {0, 1}), 160);
  Call(2002, {1});
  EXPECT_EQ(Call(2051, {0, 1}), 0);
}

TEST_F(AnimationTest, RealDecodingAndAFileThatFailsMidwayEndsAsIfItHadEnded) {
  Load(1, Mpeg4Clip());
  Load(2, TruncatedClip());
  Play(2003, {1});
  Call(2012, {2, 200, 0});
  uint32_t ended = 0;
  for (uint32_t t = 0; t <= 1100; t += 20) {
    At(t);
    if (!ended && Call(2052, {0, 2}) == 0) ended = t;
  }
  EXPECT_EQ(Status(1), "000");
  EXPECT_GT(ended, 0u);
  EXPECT_LT(ended, 1000u);
  EXPECT_GT(CountLit(), 160 * 120);  // both pictures stay
}

TEST_F(AnimationTest, PackedVideosAreMappedWithTheirOwnExtension) {
  std::string data;
  ASSERT_TRUE(FsReadFile(ColourClip(), data));
  VirtualFiles pack;
  std::vector<uint8_t> bytes = BuildPack({{"prog.img", {1}}, {"media\\clip.avi", {data.begin(), data.end()}}}, 0);
  ASSERT_TRUE(pack.LoadPackFromBytes(bytes.data(), bytes.size()));
  g_packReader = &pack;
  Load(1, "Media/Clip.AVI");
  Play(2003, {1});  // opened again from the pack
  g_packReader = nullptr;
  At(0);
  ExpectFrameAt(Back(), 0, 0, 0);
}

TEST_F(AnimationTest, ADisplayChangeReleasesEveryAnimation) {
  Load(1, ColourClip());
  Play(2007, {1});
  int32_t w = 640, h = 480, d = 32, sw = 0;
  SetDisplayMode(&w, &h, &d, &sw, 640, 480, 32, 0);
  EXPECT_EQ(Call(2051, {0, 1}), 0);
  UpdateAnimations();
}

}  // namespace
