// A 3D program run headless: a made box where the camera commands put it, on the grabbed frame.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

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

// After turns, pitches and rolls the camera's angles read back in 0..360, and the angle
// commands take them again: the camera looks as it did (the cube lands on the same point).
TEST(Scene3dPrograms, TurnedCameraAnglesAreTakenBackByTheAngleCommands) {
  const char* kTurns[] = {
      "turn camera left 10\npitch camera up 20\nroll camera left 30",
      "turn camera right 10\npitch camera down 20\nroll camera right 30",
      "pitch camera up 100\nturn camera left 50\nroll camera left 5",
  };
  const std::string read = "print camera angle x();\" \";camera angle y();\" \";camera angle z();\" \";"
                           "object screen x(1);\" \";object screen y(1)\n";
  for (const char* turns : kTurns) {
    const RunOutcome r = RunVkaSource(
        "sync on\nautocam off\nmake object cube 1,10\nposition object 1,20,30,200\n" + std::string(turns) +
            "\nx# = camera angle x()\ny# = camera angle y()\nz# = camera angle z()\nsync\n" + read +
            "xrotate camera x#\nyrotate camera y#\nzrotate camera z#\nsync\n" + read + "sync\n",
        60);
    ASSERT_EQ(r.status, 0) << turns << "\n" << r.err;
    std::istringstream printed(r.transcript);
    std::string turned, restored;
    ASSERT_TRUE(std::getline(printed, turned) && std::getline(printed, restored)) << turns << "\n" << r.transcript;
    EXPECT_EQ(restored, turned) << turns;
    std::istringstream angles(turned);
    for (int k = 0; k < 3; ++k) {
      float a = -1;
      ASSERT_TRUE(angles >> a) << turned;
      EXPECT_TRUE(a >= 0.0f && a <= 360.0f) << turns << ": " << turned;
    }
  }
}

}  // namespace
