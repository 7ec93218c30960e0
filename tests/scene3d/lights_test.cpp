// Lights: their commands and queries, and what reaches the device's eight lights.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "display/display.h"
#include "scene3d/lighting.h"
#include "scene3d/record_pools.h"
#include "tests/support/program_run.h"

namespace {

class LightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_display = DisplayState{};
    g_display.device = CreateRecordingDevice(CreateNullDevice(), &log);
    CreateScenePools();
    ResetLightingState();
    ASSERT_EQ(CreateLight(), 1);
    log.clear();
  }
  void TearDown() override {
    FreeScenePools();
    ResetLightingState();
    g_display = DisplayState{};
    ClearRunErrors();
  }
  int32_t Run(int number, std::initializer_list<CallOperand> operands) {
    CommandCall call(operands);
    return call.Run(number);
  }
  float QueryFloat(int number, int32_t light) {
    CommandCall call{CallOperand::Result(), light};
    call.cells[0].f = -99.0f;
    call.Run(number);
    return call.cells[0].f;
  }
  int32_t QueryInt(int number, int32_t light) {
    CommandCall call{CallOperand::Result(-99), light};
    call.Run(number);
    return call.cells[0].i;
  }
  const DeviceState& Device() { return g_display.device->State(); }
  std::vector<std::string> log;
};

TEST_F(LightsTest, NumbersAndLightZero) {
  const struct {
    int command;
    int32_t light;
    int32_t error;
  } kCases[] = {
      {7301, 0, 7302},        // light 0 always exists
      {7302, 0, 7305},        // and cannot be deleted
      {7301, 65536, 7301},    {7302, -1, 7301},  {7311, 65536, 7301},
      {7302, 4, 7303},        // no such light
      {7312, 4, 7303},
  };
  for (const auto& c : kCases) EXPECT_EQ(Run(c.command, {c.light}), c.error) << c.command << " " << c.light;
  EXPECT_EQ(Run(7301, {4}), 0);
  EXPECT_EQ(Run(7301, {4}), 7302);
  EXPECT_EQ(Run(7302, {4}), 0);
  EXPECT_EQ(Run(7301, {4}), 0);  // the number is free again
}

TEST_F(LightsTest, QueriesOfAMissingLightReadLightZero) {
  ASSERT_EQ(Run(7305, {0, 0.0f, -2.0f, 2.0f}), 0);
  EXPECT_EQ(QueryInt(7701, 0), 1);
  EXPECT_EQ(QueryInt(7701, 9), 0);
  EXPECT_EQ(QueryInt(7702, 9), 3);
  EXPECT_FLOAT_EQ(QueryFloat(7707, 9), -0.5f);
  EXPECT_FLOAT_EQ(QueryFloat(7710, 9), 3000.0f);
  EXPECT_EQ(QueryInt(7709, 9), 1);
  EXPECT_EQ(QueryInt(7702, 65536), 0);  // out of range: 0, not what the cell held
}

// Directions toward a point, from the light's position, scaled by the sum of absolute values.
TEST_F(LightsTest, PointLightDirections) {
  const struct {
    float from[3], to[3], want[3];
  } kCases[] = {
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}},
      {{0, 0, 0}, {1, 1, 0}, {0.5f, 0.5f, 0}},
      {{1, 0, 0}, {1, -3, 1}, {0, -0.75f, 0.25f}},
      {{5, 5, 5}, {5, 5, 5}, {0, 0, 1}},  // no length: the previous direction stays
  };
  ASSERT_EQ(Run(7301, {1}), 0);
  for (const auto& c : kCases) {
    ASSERT_EQ(Run(7303, {1, c.from[0], c.from[1], c.from[2]}), 0);
    ASSERT_EQ(Run(7307, {1, 0.0f, 0.0f, 0.0f}), 0);  // a point light keeps its direction
    ASSERT_EQ(Run(7309, {1, c.to[0], c.to[1], c.to[2]}), 0);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(QueryFloat(7706 + i, 1), c.want[i]) << c.to[0] << " " << i;
    ASSERT_EQ(Run(7305, {1, 0.0f, 0.0f, 1.0f}), 0);  // back to (0, 0, 1) for the next case
  }
}

TEST_F(LightsTest, RangeColourAndTypeReachTheDevice) {
  ASSERT_EQ(Run(7301, {1}), 0);
  ASSERT_EQ(Run(7318, {1, 3.0f}), 0);
  EXPECT_FLOAT_EQ(Device().lights[1].attenuation[2], 1.0f);
  ASSERT_EQ(Run(7318, {1, 3000.0f}), 0);
  EXPECT_FLOAT_EQ(Device().lights[1].attenuation[2], 1e-6f);
  EXPECT_FLOAT_EQ(Device().lights[1].range, 3000.0f);
  ASSERT_EQ(Run(7315, {1, 510, 0, 255}), 0);
  EXPECT_FLOAT_EQ(Device().lights[1].diffuse[0], 2.0f);  // not clamped
  EXPECT_FLOAT_EQ(Device().lights[1].diffuse[2], 1.0f);
  ASSERT_EQ(Run(7306, {0, 4.0f, 5.0f, 6.0f}), 0);  // a directional light has no position
  EXPECT_FLOAT_EQ(QueryFloat(7703, 0), 0.0f);
  ASSERT_EQ(Run(7307, {0, 0.0f, 90.0f, 0.0f}), 0);  // turning about y takes +z toward +x
  EXPECT_NEAR(QueryFloat(7706, 0), 1.0f, 1e-6);
  EXPECT_NEAR(QueryFloat(7708, 0), 0.0f, 1e-6);
  ASSERT_EQ(Run(7304, {1, 30.0f, 60.0f}), 0);
  EXPECT_EQ(Device().lights[1].type, uint32_t(kLightSpot));
  EXPECT_FLOAT_EQ(Device().lights[1].phi, 60.0f * 0.017453292f);
}

// The device has eight lights: the first eight shown lights by number reach it.
TEST_F(LightsTest, TheFirstEightShownLightsReachTheDevice) {
  for (int32_t n = 1; n <= 8; ++n) ASSERT_EQ(Run(7301, {n}), 0);  // light n in record n
  ASSERT_EQ(Run(7315, {8, 0, 255, 0}), 0);
  EXPECT_EQ(LightSlotOf(8), -1);
  ASSERT_EQ(Run(7311, {3}), 0);  // light 3 hidden: light 8 takes its device light
  EXPECT_EQ(LightSlotOf(8), 3);
  EXPECT_TRUE(Device().lightOn[3]);
  EXPECT_FLOAT_EQ(Device().lights[3].diffuse[0], 0.0f);
  ASSERT_EQ(Run(7312, {3}), 0);  // and gives it back
  EXPECT_EQ(LightSlotOf(8), -1);
  EXPECT_FLOAT_EQ(Device().lights[3].diffuse[0], 1.0f);
  ASSERT_EQ(Run(7302, {5}), 0);
  EXPECT_EQ(LightSlotOf(8), 5);
  for (uint32_t s = 0; s < kMaxLights; ++s) EXPECT_TRUE(Device().lightOn[s]) << s;
}

// After the device was made anew every light goes to it again, each with its on state.
TEST_F(LightsTest, RestoreSendsEveryLightInOrder) {
  ASSERT_EQ(Run(7301, {2}), 0);
  ASSERT_EQ(Run(7311, {2}), 0);
  g_display.device->Reset();
  log.clear();
  RestoreAllLights();
  const std::vector<std::string> want = {"light 0 3 1,1,1", "lighton 0 1", "light 1 1 1,1,1"};
  EXPECT_EQ(log, want);
  EXPECT_TRUE(Device().lightOn[0]);
  EXPECT_FALSE(Device().lightOn[1]);
  EXPECT_EQ(QueryInt(7709, 2), 0);
}

TEST_F(LightsTest, WithoutADeviceLightZeroIsLoggedAndNewLightsRefused) {
  FreeScenePools();
  ResetLightingState();
  CreateScenePools();
  g_display.device.reset();
  EXPECT_EQ(CreateLight(), 0);
  EXPECT_EQ(g_lastEngineError, "Failed to create a Light Object");
  EXPECT_EQ(Run(7301, {1}), 7304);
  EXPECT_EQ(QueryInt(7701, 1), 0);
}

}  // namespace

namespace {

// A light placed at an object and turned the way it faces, in angle and free-matrix mode; the
// light is checked before the object.
TEST(LightsProgram, LightTakesAnObjectsPositionAndFacing) {
  const char* source =
      "make object cube 1, 10\n"
      "position object 1, 3, -4, 5\n"
      "make light 1\n"
      "set light to object position 1, 1\n"
      "print light position x(1); \" \"; light position y(1); \" \"; light position z(1)\n"
      "set spot light 1, 10, 20\n"
      "rotate object 1, 0, 90, 0\n"
      "set light to object orientation 1, 1\n"
      "print int(light direction x(1) * 100); \" \"; int(light direction z(1) * 100)\n"
      "turn object left 1, 90\n"
      "set light to object orientation 1, 1\n"
      "print int(light direction x(1) * 100); \" \"; int(light direction z(1) * 100)\n";
  RunOutcome r = RunVkaSource(source, 100);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "3 -4 5\n100 0\n-100 0\n");
  const struct {
    const char* line;
    const char* error;
  } kErrors[] = {{"set light to object position 2, 0\n", "Light does not exist"},
                 {"set light to object orientation 1, 0\n", "Object number outside"},
                 {"set light to object position 1, 2\n", "Object does not exist"}};
  for (const auto& e : kErrors) {
    RunOutcome bad = RunVkaSource(std::string("make light 1\n") + e.line, 100);
    EXPECT_EQ(bad.status, 1) << e.line;
    EXPECT_NE(bad.err.find(e.error), std::string::npos) << e.line << bad.err;
  }
}

}  // namespace
