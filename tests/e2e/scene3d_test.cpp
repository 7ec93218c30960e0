// A 3D program run headless: a made box where the camera commands put it, on the grabbed frame.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

namespace {

// The box of 100 units at 300 in front of the camera covers 160 pixels about the centre.
TEST(Scene3dPrograms, AMadeBoxShowsWhereTheCameraLooks) {
  RunOutcome r = RunVka("scene3d.vka", 10);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.grab, nullptr);
  for (auto [x, y] : {std::pair{320, 240}, {243, 163}, {397, 317}})
    EXPECT_NE(r.Pixel(x, y), 0u) << x << "," << y;
  // Around it, the backdrop the first object switched on: its automatic dark blue.
  const uint32_t backdrop = r.Pixel(600, 400);
  EXPECT_EQ(backdrop & 0xFFFF00u, 0u);
  EXPECT_GT(backdrop & 0xFFu, 100u);
  for (auto [x, y] : {std::pair{236, 240}, {404, 240}, {320, 156}, {320, 324}})
    EXPECT_EQ(r.Pixel(x, y), backdrop) << x << "," << y;
  EXPECT_NE(r.Pixel(320, 240), backdrop);
  EXPECT_EQ(r.transcript, "-300\n0\n");
}

}  // namespace
