// The 3D examples run headless for a few frames: no error, their printed line, and a probe of
// the drawn frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "tests/support/program_run.h"

namespace {

// Each channel within 12 of the other's: the display's depth may round the colour.
bool Near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
    if (d < -12 || d > 12) return false;
  }
  return true;
}

TEST(Examples3d, AnimateAndLandscapeRunHeadless) {
  const struct {
    const char* file;
    const char* printed;  // the start of the transcript
    int x, y;             // a probe
    uint32_t colour;      // about what it shows (0: anything but black)
  } cases[] = {
      // The walk cycle plays at two frames a display frame; the crate nearest the camera.
      {"animate.vka", "frame 0   crates hit 0   \nframe 2   crates hit 0   \n", 320, 420, 0},
      // The sky is the backdrop's colour; the camera flies on.
      {"landscape.vka", "distance ", 320, 40, 0x8CB4E6u},
  };
  for (const auto& c : cases) {
    const RunOutcome r = RunVka(std::string(VK_SOURCE_DIR) + "/examples/" + c.file, 12);
    ASSERT_EQ(r.status, 0) << c.file << ": " << r.err;
    EXPECT_EQ(r.transcript.substr(0, std::string(c.printed).size()), c.printed) << c.file;
    ASSERT_NE(r.grab, nullptr) << c.file;
    if (c.colour) EXPECT_TRUE(Near(r.Pixel(c.x, c.y), c.colour)) << c.file << ": " << std::hex << r.Pixel(c.x, c.y);
    else EXPECT_NE(r.Pixel(c.x, c.y), 0u) << c.file;
  }
}

// The objects example frames everything it makes: each object shows in its part of the frame,
// told by its colour from the sky and the ground.
TEST(Examples3d, ObjectsShowsEveryObject) {
  const RunOutcome r = RunVka(std::string(VK_SOURCE_DIR) + "/examples/objects.vka", 60);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.grab, nullptr);
  auto channel = [](uint32_t c, int shift) { return int((c >> shift) & 0xFF); };
  auto grey = [&](uint32_t c) {  // white and grey surfaces: the box, the sphere, the rocket's body
    const int red = channel(c, 16), green = channel(c, 8), blue = channel(c, 0);
    return red > 90 && std::abs(red - green) < 30 && std::abs(red - blue) < 40;
  };
  auto yellow = [&](uint32_t c) { return channel(c, 16) > 150 && channel(c, 8) > 110 && channel(c, 0) < 90; };
  auto red = [&](uint32_t c) { return channel(c, 16) > 100 && channel(c, 8) < 80 && channel(c, 0) < 80; };
  const struct {
    const char* object;
    int left, top, right, bottom;
    std::function<bool(uint32_t)> looks;
  } cases[] = {
      {"box", 150, 170, 270, 260, grey},          {"sphere", 420, 210, 520, 300, grey},
      {"rocket", 290, 150, 350, 240, grey},       {"cone", 340, 170, 400, 230, yellow},
      {"limb chain", 150, 310, 330, 400, red},
  };
  for (const auto& c : cases) {
    int seen = 0;
    for (int y = c.top; y < c.bottom; ++y)
      for (int x = c.left; x < c.right; ++x) seen += c.looks(r.Pixel(x, y));
    EXPECT_GT(seen, 150) << c.object;
  }
}

}  // namespace
