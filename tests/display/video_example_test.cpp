// examples/video.vka runs headless with its clip made by tools/make_video_clip.sh.
#include <gtest/gtest.h>

#include <filesystem>

#include "display/bitmaps.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(VideoExample, PlaysItsClipThreeWays) {
  TempDir dir;
  const std::string source = std::string(VK_SOURCE_DIR) + "/examples/video.vka";
  std::filesystem::copy_file(source, dir.File("video.vka"));
  ProcessResult made = RunProcess(std::string(VK_SOURCE_DIR) + "/tools/make_video_clip.sh", {dir.File("clip.avi")});
  ASSERT_EQ(made.status, 0) << made.err;
  ProcessResult run = RunProcess(VellumarkExe(), {"run", dir.File("video.vka"), "--headless", "--clock", "virtual",
                                                  "--frames", "30", "--grab", dir.File("grab.png")});
  ASSERT_EQ(run.status, 0) << run.err;
  SurfacePtr grab = LoadImageByExtension(dir.File("grab.png"), 32);
  ASSERT_NE(grab, nullptr);
  // Own size, stretched, and the bitmap's copies: each area shows the clip, not the background.
  for (auto [x, y] : {std::pair{20, 200}, {350, 200}, {20, 400}, {215, 420}})
    EXPECT_NE(grab->GetPixel(x, y) & 0xFFFFFF, 0x000030u) << x << "," << y;
}

}  // namespace
