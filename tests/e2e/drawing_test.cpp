// Drawing commands checked on the grabbed frame; the refresh rule seen through how far a
// program gets in a number of frames.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/program_run.h"

namespace {

// Colours of the 16-bit display come back with their low bits rounded.
bool Near(uint32_t pixel, uint32_t rgb) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((pixel >> shift) & 255) - int((rgb >> shift) & 255)) > 8) return false;
  return true;
}

// True when some pixel of the 5 x 5 square around x, y has the colour.
bool NearPoint(const RunOutcome& r, int x, int y, uint32_t rgb) {
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      if (Near(r.Pixel(x + dx, y + dy), rgb)) return true;
  return false;
}

TEST(DrawingPrograms, EveryShapeLandsOnItsPixels) {
  RunOutcome r = RunVka("drawing.vka", 30);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.grab, nullptr);
  const uint32_t background = 0x000040, white = 0xFFFFFF, red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF,
                 yellow = 0xFFFF00, magenta = 0xFF00FF;
  EXPECT_TRUE(Near(r.Pixel(300, 200), background));
  EXPECT_TRUE(Near(r.Pixel(10, 10), white));
  EXPECT_TRUE(Near(r.Pixel(11, 10), background));
  EXPECT_TRUE(Near(r.Pixel(9, 10), background));
  // Lines, across and down, one pixel wide.
  EXPECT_TRUE(Near(r.Pixel(70, 20), red));
  EXPECT_TRUE(Near(r.Pixel(70, 21), background));
  EXPECT_TRUE(Near(r.Pixel(20, 80), red));
  EXPECT_TRUE(Near(r.Pixel(21, 80), background));
  // A filled box.
  EXPECT_TRUE(Near(r.Pixel(200, 40), green));
  EXPECT_TRUE(Near(r.Pixel(230, 70), green));
  EXPECT_TRUE(Near(r.Pixel(258, 98), green));
  EXPECT_TRUE(Near(r.Pixel(199, 70), background));
  EXPECT_TRUE(Near(r.Pixel(230, 39), background));
  EXPECT_TRUE(Near(r.Pixel(261, 70), background));
  // Circle and ellipse are outlines through their four extreme points.
  for (auto [x, y] : {std::pair{450, 100}, {350, 100}, {400, 50}, {400, 150}})
    EXPECT_TRUE(NearPoint(r, x, y, blue)) << x << "," << y;
  EXPECT_TRUE(Near(r.Pixel(400, 100), background));
  EXPECT_TRUE(Near(r.Pixel(430, 100), background));
  for (auto [x, y] : {std::pair{500, 300}, {300, 300}, {400, 260}, {400, 340}})
    EXPECT_TRUE(NearPoint(r, x, y, yellow)) << x << "," << y;
  EXPECT_TRUE(Near(r.Pixel(400, 300), background));
  EXPECT_TRUE(Near(r.Pixel(400, 270), background));
  // The bitmap's box appears only where the bitmap was copied.
  EXPECT_TRUE(Near(r.Pixel(607, 447), magenta));
  EXPECT_TRUE(Near(r.Pixel(8, 8), background)) << "the bitmap's box did not reach the screen";
  // Point read of the green box, then colour packing and unpacking.
  EXPECT_EQ(r.transcript, "65280\n16711680\n256\n0\n255\n0\n");
}

}  // namespace
