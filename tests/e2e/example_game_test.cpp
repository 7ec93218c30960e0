// The example game, played by an input file: the arrow keys move the box onto the target,
// the mouse clicks the next target, Escape ends the game.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/program_run.h"

namespace {

TEST(ExampleGame, KeyboardAndMouseScoreAndEscapeEnds) {
  const std::string input =
      "2 key Right down\n"
      "60 key Right up\n"   // 58 frames of 4 pixels: the box from x 300 to 532, past the target at 500
      "62 mouse 100 100\n"
      "64 mouse 220 145\n"  // onto the second target (213, 137)
      "66 button left down\n"
      "67 button left up\n"
      "68 mouse 600 400\n"
      "72 key Escape down\n";
  RunOutcome r = RunVka(std::string(VK_SOURCE_DIR) + "/examples/catch.vka", 300, input);
  ASSERT_EQ(r.status, 0) << r.err;
  // One score line a frame; Escape ended the game long before the frame limit.
  const auto lines = std::count(r.transcript.begin(), r.transcript.end(), '\n');
  EXPECT_GT(lines, 60);
  EXPECT_LT(lines, 80);
  EXPECT_NE(r.transcript.find("score 1\n"), std::string::npos);
  EXPECT_TRUE(r.transcript.ends_with("score 2\n")) << r.transcript.substr(r.transcript.size() - 40);
  ASSERT_NE(r.grab, nullptr);
  auto green = [&](int x, int y) { return (r.Pixel(x, y) & 0xFF00FF) == 0 && (r.Pixel(x, y) & 0xFF00) > 0x8000; };
  // The player box at 532..551 x 230..249.
  EXPECT_TRUE(green(532, 230));
  EXPECT_TRUE(green(551, 249));
  EXPECT_FALSE(green(531, 240));
  EXPECT_FALSE(green(552, 240));
  // The third target at 386, 234 in yellow.
  EXPECT_EQ(r.Pixel(390, 240) & 0xF0F0F0, 0xF0F000u);
  // The cursor cross where the mouse went last.
  for (auto [x, y] : {std::pair{600, 400}, {594, 400}, {606, 400}, {600, 394}, {600, 406}})
    EXPECT_EQ(r.Pixel(x, y), 0xFFFFFFu) << x << "," << y;
  EXPECT_NE(r.Pixel(603, 403), 0xFFFFFFu);
}

}  // namespace
