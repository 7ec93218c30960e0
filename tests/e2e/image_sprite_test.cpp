// Images and sprites as programs use them: get, save, load, paste, sprites, collision, and
// the grabbed frame.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/program_run.h"

namespace {

bool Near(uint32_t pixel, uint32_t rgb) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((pixel >> shift) & 255) - int((rgb >> shift) & 255)) > 8) return false;
  return true;
}

// A 16 x 16 red square with a green centre and a black corner, saved, loaded back and shown.
const char* kProgram = R"(sync on
cls rgb(0,0,64)
ink rgb(255,0,0),0
box 0,0,15,15
ink rgb(0,255,0),0
box 4,4,11,11
ink 0,0
box 0,0,1,1
sync
get image 1,0,0,16,16
sync
save image "pic.bmp",1
sync
load image "pic.bmp",2
cls rgb(0,0,64)
paste image 2,100,100
paste image 2,140,100,1
sprite 1,300,200,2
scale sprite 1,200
mirror sprite 1
sprite 2,320,220,2
print image exist(2);" ";image exist(3)
print sprite width(1);" ";sprite height(1);" ";sprite scale x(1);" ";sprite mirrored(1)
print sprite collision(1,2);" ";sprite collision(1,70000)
print sprite hit(1,2);" ";sprite hit(1,2);" ";sprite collision(1,2)
sprite 3,500,400,2
print sprite collision(1,3);" ";sprite hit(1,3)
delete image 1
print image exist(1);" ";sprite exist(1)
sync
get image 1,100,100,116,116
sync
sprite 3,600,50,1
delete sprite 2
sync
do
  sync
loop
)";

TEST(ImageSpritePrograms, LoadPasteSpriteGrabSaveAndReload) {
  RunOutcome r = RunVkaSource(kProgram, 40);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript,
            "1 0\n"
            "32 32 200 1\n"
            "1 2\n"
            "1 0 1\n"
            "0 0\n"
            "0 1\n");
  ASSERT_NE(r.grab, nullptr);
  const uint32_t background = 0x000040, red = 0xFF0000, green = 0x00FF00;
  // The opaque paste shows the black corner; the keyed one lets the background through.
  EXPECT_TRUE(Near(r.Pixel(100, 100), 0));
  EXPECT_TRUE(Near(r.Pixel(102, 102), red));
  EXPECT_TRUE(Near(r.Pixel(108, 108), green));
  EXPECT_TRUE(Near(r.Pixel(140, 100), background));
  EXPECT_TRUE(Near(r.Pixel(142, 100), red));
  // The doubled, mirrored sprite: its black corner (keyed) is on the right now.
  EXPECT_TRUE(Near(r.Pixel(301, 201), red));
  EXPECT_TRUE(Near(r.Pixel(330, 201), background));
  EXPECT_TRUE(Near(r.Pixel(315, 215), green));
  // Sprite 2 was deleted: its background came back. Sprite 3 shows the new image 1.
  EXPECT_TRUE(Near(r.Pixel(334, 234), background));
  EXPECT_TRUE(Near(r.Pixel(602, 52), red));
  EXPECT_TRUE(Near(r.Pixel(500, 400), background));
}

TEST(ImageSpritePrograms, WrongNumbersStopTheProgram) {
  const std::pair<const char*, const char*> cases[] = {
      {"paste image 0,1,1", "Image number outside 1 to 65535"},
      {"paste image 5,1,1", "Image does not exist"},
      {"get image 65536,0,0,4,4", "Image number outside 1 to 65535"},
      {"rem\nsprite 1,0,0,1\nscale sprite 1,250001", "Sprite scale outside 0 to 250000 percent"},
      {"offset sprite 9,1,1", "Sprite does not exist"},
      {"get image 1,0,0,4,4\nsync\nsave image \"a.png\",1\nsync\nsave image \"a.png\",1", "File already exists"},
  };
  for (const auto& [source, message] : cases) {
    RunOutcome r = RunVkaSource(std::string("sync on\n") + source + "\nsync\nprint \"after\"\nsync\n", 10);
    EXPECT_EQ(r.status, 1) << source;
    EXPECT_NE(r.err.find(message), std::string::npos) << source << ": " << r.err;
    EXPECT_EQ(r.transcript, "") << source;
  }
  // Image 65535 and a scale of 250000 % are in range.
  RunOutcome ok = RunVkaSource("get image 65535,0,0,4,4\nsprite 1,0,0,65535\nscale sprite 1,250000\nprint \"ok\"\nsync\n", 10);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.transcript, "ok\n");
}

// Sprites as programs use them at the edges: numbers never used, and positions at the ends of
// the 32-bit range (a position minus its offset does not come back on the other side).
TEST(ImageSpritePrograms, UnusedSpriteNumbersDoNotExist) {
  RunOutcome r = RunVkaSource(R"(sync on
get image 1,0,0,8,8
sync
print sprite exist(9)
sprite 1,10,10,1
print sprite exist(9);" ";sprite exist(1);" ";sprite exist(65535)
delete sprite 1
sync
sync
sync
print sprite exist(1)
sync
)",
                              10);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "0\n0 1 0\n0\n");
}

// A sprite deleted in this frame is gone to its queries at once, as to SPRITE EXIST, not only
// once the frame is drawn.
TEST(ImageSpritePrograms, ASpriteDeletedThisFrameIsGoneToItsQueries) {
  RunOutcome r = RunVkaSource(
      "sync on\nget image 1,0,0,8,8\nsprite 1,10,20,1\nsync\ndelete sprite 1\nprint sprite exist(1)\nprint sprite x(1)\nsync\n", 10);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(":7: "), std::string::npos) << r.err;  // the query's line
  EXPECT_NE(r.err.find("Sprite does not exist"), std::string::npos) << r.err;
}

TEST(ImageSpritePrograms, FarPositionsDoNotWrapAround) {
  RunOutcome r = RunVkaSource(R"(sync on
ink rgb(255,255,255),0
box 0,0,16,16
get image 1,0,0,16,16
sync
sprite 1,2147483647,0,1
offset sprite 1,-10,0
sprite 2,-2147483639,0,1
print sprite collision(1,2);" ";sprite collision(2,0)
paste sprite 1,2147483647,0
sync
)",
                              5);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "0 0\n");
}

// The example: bouncing balls over a loaded backdrop, a paddle moved by the keys, hits
// counted once per contact; hundreds of frames leave no trail of the balls.
TEST(ImageSpritePrograms, TheSpritesExampleCountsHitsAndLeavesNoTrail) {
  RunOutcome r = RunVka(std::string(VK_SOURCE_DIR) + "/examples/sprites.vka", 400,
                    "2 key Right down\n20 key Right up\n390 key Escape down\n");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.grab, nullptr);
  const size_t last = r.transcript.rfind("hits ");
  ASSERT_NE(last, std::string::npos);
  EXPECT_GE(std::stoi(r.transcript.substr(last + 5)), 1);
  int ball = 0, paddle = 0;
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) {
      const uint32_t p = r.Pixel(x, y);
      ball += (p >> 16) > 0xE0 && ((p >> 8) & 255) > 0x30 && (p & 255) < 0x60;
      paddle += Near(p, 0x3C3CC8);
    }
  EXPECT_GT(ball, 6 * 100);
  EXPECT_LE(ball, 6 * 15 * 15);  // six balls and nothing left behind
  EXPECT_EQ(paddle, 44 * 4);
  // The count's area shows the last count alone, as it shows when printed once.
  const std::string count = r.transcript.substr(last, r.transcript.find('\n', last) - last);
  RunOutcome once = RunVkaSource("ink rgb(255, 255, 255), 0\nset cursor 8, 8\nprint \"" + count + "\"\nsync\n", 3);
  ASSERT_NE(once.grab, nullptr);
  for (int32_t y = 0; y < 28; ++y)
    for (int32_t x = 0; x < 120; ++x)
      ASSERT_EQ(r.Pixel(x, y) == 0xFFFFFF, once.Pixel(x, y) == 0xFFFFFF) << count << " at " << x << ", " << y;
}

}  // namespace
