// The platform's video streams: frames by play position, dropping, end, rewind, refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>

#include "platform/video.h"
#include "tests/display/video_clips.h"
#include "tests/support/temp_dir.h"

namespace {

std::unique_ptr<VideoStream> OpenClip(const std::string& path, int32_t depth) {
  VideoOptions o;
  o.format = FormatForDepth(depth);
  std::string why;
  auto s = VideoStream::Open(path, o, &why);
  EXPECT_NE(s, nullptr) << why;
  return s;
}

// The frame at the play position (time ms after Run at 1000), waiting for the decoder.
VideoStream::Due Take(VideoStream& s, uint32_t ms, SurfacePtr* current) { return s.TakeDueFrame(1000 + ms, true, current); }

void ExpectFrame(const Surface& s, int32_t k) {
  const PixelFormat& f = s.Format();
  EXPECT_EQ(s.GetPixel(0, 0), PixelFromRgb(f, ClipLeft(k))) << "frame " << k;
  EXPECT_EQ(s.GetPixel(kClipWidth - 1, kClipHeight - 1), PixelFromRgb(f, ClipRight(k))) << "frame " << k;
}

TEST(VideoStream, FramesComeAtTheirTimesLateOnesAreDroppedThenTheEnd) {
  for (int32_t depth : {32, 16}) {
    auto s = OpenClip(ColourClip(), depth);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Width(), kClipWidth);
    EXPECT_EQ(s->Height(), kClipHeight);
    s->Run(1000);
    SurfacePtr cur;
    ASSERT_EQ(Take(*s, 0, &cur), VideoStream::Due::kNew);
    ExpectFrame(*cur, 0);
    EXPECT_EQ(Take(*s, kClipFrameMs - 1, &cur), VideoStream::Due::kNone);  // frame 1 not yet due
    ASSERT_EQ(Take(*s, kClipFrameMs, &cur), VideoStream::Due::kNew);
    ExpectFrame(*cur, 1);
    ASSERT_EQ(Take(*s, 4 * kClipFrameMs + 5, &cur), VideoStream::Due::kNew);  // 2 and 3 are dropped
    ExpectFrame(*cur, 4);
    ASSERT_EQ(Take(*s, 5 * kClipFrameMs, &cur), VideoStream::Due::kNew);
    ExpectFrame(*cur, 5);
    EXPECT_EQ(Take(*s, 6 * kClipFrameMs - 1, &cur), VideoStream::Due::kNone);  // the last frame's time
    EXPECT_EQ(Take(*s, 6 * kClipFrameMs, &cur), VideoStream::Due::kEnded);
    ExpectFrame(*cur, 5);
  }
}

TEST(VideoStream, StopHoldsThePositionAndRewindStartsAgain) {
  auto s = OpenClip(ColourClip(), 32);
  ASSERT_NE(s, nullptr);
  SurfacePtr cur;
  s->Run(1000);
  s->Stop(1000 + 2 * kClipFrameMs);
  EXPECT_FALSE(s->Running());
  EXPECT_EQ(s->Position(5000), uint32_t(2 * kClipFrameMs));
  ASSERT_EQ(s->TakeDueFrame(5000, true, &cur), VideoStream::Due::kNew);
  ExpectFrame(*cur, 2);
  s->Run(6000);
  ASSERT_EQ(s->TakeDueFrame(6000 + kClipFrameMs, true, &cur), VideoStream::Due::kNew);
  ExpectFrame(*cur, 3);
  s->Rewind(7000);
  EXPECT_EQ(s->Position(7000), 0u);
  ASSERT_EQ(s->TakeDueFrame(7000, true, &cur), VideoStream::Due::kNew);
  ExpectFrame(*cur, 0);
  // Rewinding again and again while the decoder runs never mixes frames of two runs.
  for (int k = 0; k < 20; ++k) s->Rewind(8000 + k);
  ASSERT_EQ(s->TakeDueFrame(8019 + kClipFrameMs, true, &cur), VideoStream::Due::kNew);
  ExpectFrame(*cur, 1);
}

TEST(VideoStream, RealDecodingRunsToTheEndAndAStreamCanBeDroppedAnyTime) {
  auto s = OpenClip(Mpeg4Clip(), 16);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Width(), 160);
  s->Run(0);
  SurfacePtr cur;
  int frames = 0;
  uint32_t t = 0;
  for (; t < 3000 && s->TakeDueFrame(t, true, &cur) != VideoStream::Due::kEnded; t += 40) frames += cur != nullptr;
  EXPECT_EQ(t, 1000u);
  EXPECT_EQ(frames, 25);
  // Closed while the decoder is busy.
  auto busy = OpenClip(Mpeg4Clip(), 32);
  busy.reset();
}

// Each channel of the pixel within a few steps of rgb (lossy coding and dithering).
bool Near(const PixelFormat& f, uint32_t pixel, uint32_t rgb) {
  const uint32_t got = RgbFromPixel(f, pixel);
  for (int shift : {0, 8, 16})
    if (std::abs(int(got >> shift & 0xFF) - int(rgb >> shift & 0xFF)) > 12) return false;
  return true;
}

// The scaler writes whole blocks of pixels: pictures whose rows are not a whole number of
// blocks, down to two pixels wide, are converted up to their last column, at every frame.
TEST(VideoStream, NarrowPicturesAreConvertedUpToTheirLastColumn) {
  for (int32_t depth : {16, 32})
    for (int32_t width : {2, 20, 100}) {
      auto s = OpenClip(SolidClip(width), depth);
      ASSERT_NE(s, nullptr);
      s->Run(0);
      SurfacePtr cur;
      int frames = 0;
      for (uint32_t t = 0; t < 1000 && s->TakeDueFrame(t, true, &cur) != VideoStream::Due::kEnded; t += 40) {
        ++frames;
        ASSERT_NE(cur, nullptr);
        for (int32_t y = 0; y < 12; ++y)
          ASSERT_TRUE(Near(cur->Format(), cur->GetPixel(width - 1, y), 0x3060C0))
              << depth << "-bit, " << width << " wide, row " << y;
      }
      EXPECT_EQ(frames, 5) << width;
    }
}

TEST(VideoStream, FilesThatAreNoVideoAreRefused) {
  TempDir dir;
  dir.Write("text.avi", "this is not a video file at all");
  dir.Write("empty.avi", "");
  std::string riff = "RIFF\x10\0\0\0AVI LIST\x04\0\0\0hdrl";
  dir.Write("header.avi", riff);
  VideoOptions o;
  o.format = FormatForDepth(32);
  for (const char* name : {"missing.avi", "text.avi", "empty.avi", "header.avi"}) {
    std::string why;
    EXPECT_EQ(VideoStream::Open(dir.File(name), o, &why), nullptr) << name;
    EXPECT_FALSE(why.empty()) << name;
  }
  o.format = PixelFormat{8, 0, 0, 0};  // no 8-bit video
  std::string why;
  EXPECT_EQ(VideoStream::Open(ColourClip(), o, &why), nullptr);
}

// A named pipe with no writer must not hold the program: it is refused as not a regular file.
TEST(VideoStream, APipeIsRefusedWithoutWaitingForAWriter) {
  const std::string path = ClipFolderFile("pipe.avi");
  unlink(path.c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::string why;
  auto opening = std::async(std::launch::async, [&] {
    return VideoStream::Open(path, VideoOptions{FormatForDepth(32)}, &why) != nullptr;
  });
  if (opening.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    ADD_FAILURE() << "the open waited for a writer";
    int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);  // a writer that ends at once frees it
    if (fd >= 0) close(fd);
  }
  EXPECT_FALSE(opening.get());
  EXPECT_EQ(why, "not a regular file");
  unlink(path.c_str());
}

// A concatenation script names other files, which would be opened past the checks above: such
// scripts are not played, even when what they name is a good clip.
TEST(VideoStream, AScriptNamingOtherFilesIsRefused) {
  const std::string clip = Mpeg4Clip(), script = ClipFolderFile("script.avi");
  std::FILE* f = std::fopen(script.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "ffconcat version 1.0\nfile %s\n", std::filesystem::path(clip).filename().c_str());
  std::fclose(f);
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(clip).parent_path());  // names are taken from here
  std::string why;
  const bool opened = VideoStream::Open(script, VideoOptions{FormatForDepth(32)}, &why) != nullptr;
  std::filesystem::current_path(here);
  EXPECT_FALSE(opened);
  EXPECT_EQ(why, "not a video file");
}

TEST(VideoStream, AFileThatFailsMidwayEndsAfterWhatCouldBeRead) {
  auto s = OpenClip(TruncatedClip(), 32);
  ASSERT_NE(s, nullptr);
  s->Run(0);
  SurfacePtr cur;
  uint32_t t = 0;
  while (t < 3000 && s->TakeDueFrame(t, true, &cur) != VideoStream::Due::kEnded) t += 40;
  EXPECT_GT(t, 0u);
  EXPECT_LT(t, 1000u);
}

}  // namespace
