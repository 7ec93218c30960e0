// Landscape programs run headless: a shaped, tile-textured matrix, and a static world saved,
// emptied, loaded and drawn again with its box and line queries.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

// The texture: red on its left half, green on its right, grabbed after a sync (the grab is
// queued until then in manual mode).
const char kTwoColourImage[] =
    "sync on\n"
    "autocam off\n"
    "create bitmap 1,64,32\n"
    "ink rgb(255,0,0),0\n"
    "box 0,0,32,32\n"
    "ink rgb(0,255,0),0\n"
    "box 32,0,64,32\n"
    "get image 1,0,0,64,32\n"
    "set current bitmap 0\n"
    "sync\n";

// Only the channel of `colour` shows at the point.
void ExpectColour(const RunOutcome& r, int x, int y, uint32_t colour) {
  const uint32_t p = r.Pixel(x, y);
  EXPECT_NE(p & colour, 0u) << x << "," << y << ": " << std::hex << p;
  EXPECT_EQ(p & ~colour, 0u) << x << "," << y << ": " << std::hex << p;
}

// 4x4 tiles of 50: columns 0-1 take the texture's red tile, 2-3 its green one; a peak of 40 on
// the vertex (2, 2) that the ground heights interpolate.
TEST(LandscapePrograms, ShapedTexturedMatrixShowsItsTilesAndGroundHeights) {
  const std::string source = std::string(kTwoColourImage) +
                             "make matrix 1,200,200,4,4\n"
                             "prepare matrix texture 1,1,2,1\n"
                             "fill matrix 1,0,1\n"
                             "for z=0 to 3\n"
                             "set matrix tile 1,2,z,2\n"
                             "set matrix tile 1,3,z,2\n"
                             "next z\n"
                             "set matrix height 1,2,2,40\n"
                             "update matrix 1\n"
                             "position camera 100,150,-120\n"
                             "point camera 100,0,100\n"
                             "sync\n"
                             "print get ground height(1,100,100)\n"
                             "print get ground height(1,75,100)\n"
                             "print get ground height(1,80,80)\n"
                             "print get ground height(1,150,150)\n"
                             "sync\n";
  const RunOutcome r = RunVkaSource(source, 20);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.grab, nullptr);
  EXPECT_EQ(r.transcript, "40\n20\n24\n0\n");
  ExpectColour(r, 220, 300, 0xFF0000u);
  ExpectColour(r, 420, 300, 0x00FF00u);
  ExpectColour(r, 600, 300, 0x0000FFu);  // the backdrop beside the grid
}

// Two textured objects made static, one box. The first run draws them; the second saves the
// world, empties it (nothing drawn, no box), loads it back and draws: the same pixels, the
// same push-back and line hit.
TEST(LandscapePrograms, StaticWorldDrawsTheSameAfterSaveResetAndLoad) {
  TempDir dir;
  const std::string file = dir.File("level.dat");
  const std::string build = std::string(kTwoColourImage) +
                            "make object box 1,60,60,60\n"
                            "texture object 1,1\n"
                            "position object 1,-60,0,0\n"
                            "make object cube 2,40\n"
                            "texture object 2,1\n"
                            "position object 2,70,20,40\n"
                            "make static object 1\n"
                            "make static object 2\n"
                            "delete object 1\n"
                            "delete object 2\n"
                            "make static collision box -90,-30,-30,-30,30,30\n"
                            "position camera 0,0,-300\n"
                            "point camera 0,0,0\n"
                            "sync\n";
  const std::string reload = "save static objects \"" + file + "\"\n" +
                             "delete static objects\n"
                             "sync\n"
                             "print statistic(1);\" \";static line of sight(-200,0,0,200,0,0,1,1)\n"
                             "load static objects \"" + file + "\"\n"
                             "sync\n";
  const std::string queries =
      "print statistic(1)\n"
      "print static box move(-20,-5,-5,-10,5,5,-35,-5,-5,-25,5,5)\n"
      "print static push back x();\" \";static push back y();\" \";static push back z()\n"
      "print static line of sight(-200,0,0,200,0,0,1,1)\n"
      "print static line hit x();\" \";static line hit y();\" \";static line hit z()\n"
      "print static line of sight(-200,100,0,200,100,0,1,1)\n"
      "sync\n";
  const RunOutcome before = RunVkaSource(build + queries, 20);
  const RunOutcome after = RunVkaSource(build + reload + queries, 20);
  ASSERT_EQ(before.status, 0) << before.err;
  ASSERT_EQ(after.status, 0) << after.err;
  ASSERT_TRUE(before.grab && after.grab);
  // Two cubes of 12 triangles; the box moved 15 to -x enters through its +x face (x -30) by 5;
  // the sampled line stops short of the box's -x face (x -90); a line above it is clear.
  const std::string printed = "24\n1\n-5 0 0\n1\n-92 0 0\n0\n";
  EXPECT_EQ(before.transcript, printed);
  EXPECT_EQ(after.transcript, "0 0\n" + printed);
  // The large cube: its texture's red (up left) and green halves; the small one; the backdrop.
  for (auto [x, y] : {std::pair{200, 210}, {260, 270}, {415, 230}, {600, 400}})
    EXPECT_EQ(after.Pixel(x, y), before.Pixel(x, y)) << x << "," << y;
  ExpectColour(before, 200, 210, 0xFF0000u);
  ExpectColour(before, 260, 270, 0x00FF00u);
}

}  // namespace
