// Force-feedback effects as handed to the haptic layer, and the checks of the force commands.
#include <gtest/gtest.h>

#include <vector>

#include "core/errors.h"
#include "core/run_state.h"
#include "system/input.h"
#include "tests/support/program_run.h"
#include "tests/system/virtual_sticks.h"

namespace {

int32_t Force(int command, const std::vector<int32_t>& operands) {
  CommandCall c;
  int k = 0;
  for (int32_t v : operands) c.cells[k++].i = v;
  return c.Run(command, k);
}

}  // namespace

class ForceFeedback : public VirtualSticks {
 protected:
  void SetUp() override {
    VirtualSticks::SetUp();
    haptics_.names = {"FF Stick"};
    SetHapticProvider(&haptics_);
    Attach("Pad One");
    Attach("FF Stick");
    StartInput();
  }
  void Choose() {
    CommandCall choose;
    choose.SetText(0, "FF Stick");
    ASSERT_EQ(choose.Run(4002, 1), 0);
    ASSERT_EQ(g_input.forceFeedback, 1);
  }
  RecordingHaptics haptics_;
};

TEST_F(ForceFeedback, ChoosingTheDeviceCreatesAllTenEffectsWithoutStartingThem) {
  Choose();
  const auto& c = haptics_.calls;
  ASSERT_EQ(c.size(), 11u);
  EXPECT_EQ(c[0].what, "autocentre");
  EXPECT_EQ(c[0].value, 0u);
  const int32_t angles[4] = {18000, 0, 9000, 27000};
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(c[size_t(k) + 1].what, "create");
    const ForceEffect& e = c[size_t(k) + 1].effect;
    EXPECT_EQ(e.gain, 10000u);
    EXPECT_EQ(e.samplePeriod, 0u);
    EXPECT_EQ(e.triggerButton, -1);
    EXPECT_EQ(e.startDelay, 0u);
    if (k < 4) {
      EXPECT_EQ(e.kind, EffectKind::Constant);
      EXPECT_TRUE(e.polar);
      EXPECT_EQ(e.direction[0], angles[k]);
      EXPECT_EQ(e.magnitude, 10000);
      EXPECT_EQ(e.durationUs, 100000u);
    }
  }
  const ForceEffect& angled = c[5].effect;
  EXPECT_EQ(angled.kind, EffectKind::Constant);
  EXPECT_EQ(angled.durationUs, 50000u);  // 100 ms keeps no whole second
  const ForceEffect& a = c[6].effect;
  EXPECT_EQ(a.kind, EffectKind::Periodic);
  EXPECT_EQ(a.periodUs, 50000u);
  EXPECT_EQ(a.durationUs, 150000u);
  EXPECT_EQ(a.offset, 0);
  EXPECT_EQ(a.phase, 0u);
  EXPECT_EQ(c[7].effect.kind, EffectKind::Constant);
  EXPECT_EQ(c[7].effect.direction[0], 0);
  EXPECT_EQ(c[8].effect.kind, EffectKind::Periodic);
  EXPECT_EQ(c[8].effect.periodUs, 100000u);
  for (int k : {9, 10}) {
    const ForceEffect& w = c[size_t(k)].effect;
    EXPECT_EQ(w.kind, EffectKind::Damper);
    EXPECT_FALSE(w.polar);
    EXPECT_EQ(w.direction[0], k == 9 ? 1 : -1);
    EXPECT_EQ(w.direction[1], k == 9 ? 1 : -1);
    EXPECT_EQ(w.positiveCoefficient, 5000);
    EXPECT_EQ(w.negativeCoefficient, 0);
    EXPECT_EQ(w.positiveSaturation, 10000u);
    EXPECT_EQ(w.negativeSaturation, 0u);
    EXPECT_EQ(w.durationUs, kInfiniteDuration);
  }
}

TEST_F(ForceFeedback, CommandsUpdateAndStartTheirEffects) {
  Choose();
  haptics_.calls.clear();
  EXPECT_EQ(Force(4101, {50}), 0);
  EXPECT_EQ(Force(4104, {100}), 0);
  EXPECT_EQ(Force(4105, {30, 90, 1500}), 0);
  EXPECT_EQ(Force(4105, {30, 360, 999}), 0);
  EXPECT_EQ(Force(4106, {20, 1500}), 0);
  EXPECT_EQ(Force(4107, {20, 999}), 0);
  EXPECT_EQ(Force(4108, {0, 0}), 0);
  EXPECT_EQ(Force(4110, {40, 250}), 0);
  const auto& c = haptics_.calls;
  ASSERT_EQ(c.size(), 18u);
  EXPECT_EQ(c[0].what, "update");
  EXPECT_EQ(c[0].id, 0);
  EXPECT_EQ(c[0].value, 0x20000140u);
  EXPECT_EQ(c[0].effect.magnitude, 5000);
  EXPECT_EQ(c[0].effect.direction[0], 18000);
  EXPECT_EQ(c[1].what, "start");
  EXPECT_EQ(c[1].id, 0);
  EXPECT_EQ(c[1].value, 1u);
  EXPECT_EQ(c[2].id, 3);
  EXPECT_EQ(c[2].effect.direction[0], 27000);
  EXPECT_EQ(c[4].id, 4);
  EXPECT_EQ(c[4].value, 0x20000141u);
  EXPECT_EQ(c[4].effect.direction[0], 9000);
  EXPECT_EQ(c[4].effect.magnitude, 3000);
  EXPECT_EQ(c[4].effect.durationUs, 1050000u);  // whole seconds plus 0.05 s
  EXPECT_EQ(c[6].effect.durationUs, 50000u);
  EXPECT_EQ(c[6].effect.direction[0], 36000);
  EXPECT_EQ(c[8].id, 5);
  EXPECT_EQ(c[8].value, 0x20000101u);
  EXPECT_EQ(c[8].effect.durationUs, 1550000u);
  EXPECT_EQ(c[8].effect.magnitude, 2000);
  EXPECT_EQ(c[10].id, 6);
  EXPECT_EQ(c[10].value, 0x20000141u);
  EXPECT_EQ(c[10].effect.durationUs, 1049000u);
  EXPECT_EQ(c[12].id, 7);
  EXPECT_EQ(c[12].effect.durationUs, kInfiniteDuration);
  EXPECT_EQ(c[14].id, 8);
  EXPECT_EQ(c[15].id, 9);
  EXPECT_EQ(c[15].effect.positiveCoefficient, 2000);
  EXPECT_EQ(c[15].effect.durationUs, 300000u);
  EXPECT_EQ(c[16].what, "start");
  EXPECT_EQ(c[17].what, "start");
  EXPECT_EQ(c[17].id, 9);
  haptics_.calls.clear();
  EXPECT_EQ(Force(4109, {}), 0);
  ASSERT_EQ(c.size(), 10u);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(c[size_t(k)].what, "stop");
  EXPECT_EQ(Force(4112, {}), 0);
  EXPECT_EQ(Force(4113, {}), 0);
  EXPECT_EQ(c[10].value, 1u);
  EXPECT_EQ(c[11].value, 0u);
}

TEST_F(ForceFeedback, ChecksRunInOrderMagnitudeAngleTime) {
  Choose();
  haptics_.calls.clear();
  EXPECT_EQ(Force(4101, {101}), 4102);
  EXPECT_EQ(g_errorKind, 0);
  EXPECT_EQ(Force(4103, {-1}), 4102);
  EXPECT_EQ(Force(4105, {101, 361, -1}), 4102);
  EXPECT_EQ(Force(4105, {50, 361, -1}), 4104);
  EXPECT_EQ(Force(4105, {50, -1, 5}), 4104);
  EXPECT_EQ(Force(4105, {50, 90, -1}), 4103);
  EXPECT_EQ(Force(4106, {50, -1}), 4103);
  EXPECT_EQ(Force(4110, {-5, 10}), 4102);
  EXPECT_TRUE(haptics_.calls.empty());
}

TEST_F(ForceFeedback, WithoutForceFeedbackEveryCommandWarns) {
  const std::pair<int, std::vector<int32_t>> commands[] = {
      {4101, {10}}, {4102, {10}}, {4103, {10}}, {4104, {10}}, {4105, {10, 10, 10}}, {4106, {10, 10}},
      {4107, {10, 10}}, {4108, {10, 10}}, {4109, {}}, {4110, {10, 10}}, {4112, {}}, {4113, {}}};
  for (const auto& [command, operands] : commands) {
    EXPECT_EQ(Force(command, operands), 4101) << command;
    EXPECT_EQ(g_errorKind, 1);
  }
  // Even with a bad magnitude the missing device is reported first.
  EXPECT_EQ(Force(4101, {500}), 4101);
  // A built game ignores the warning and goes on.
  g_runtime.standalone = 1;
  EXPECT_EQ(Force(4101, {10}), 0);
  g_runtime.standalone = 0;
  EXPECT_TRUE(haptics_.calls.empty());
}

TEST_F(ForceFeedback, ChoosingAgainReplacesTheEffects) {
  Choose();
  Choose();
  const auto& c = haptics_.calls;
  ASSERT_EQ(c.size(), 32u);
  for (int k = 11; k < 21; ++k) EXPECT_EQ(c[size_t(k)].what, "release");
  EXPECT_EQ(c[21].what, "autocentre");
  EXPECT_EQ(c[22].what, "create");
  // A device without periodic effects has no timed effects A and C: their commands do nothing.
  haptics_.periodic = false;
  Choose();
  haptics_.calls.clear();
  EXPECT_EQ(Force(4106, {50, 10}), 0);
  EXPECT_EQ(Force(4108, {50, 10}), 0);
  EXPECT_TRUE(haptics_.calls.empty());
  EXPECT_EQ(Force(4107, {50, 10}), 0);
  EXPECT_EQ(haptics_.calls.size(), 2u);
}

TEST(EffectDurations, WholeMillisecondsPlusAFiftiethOfASecond) {
  EXPECT_EQ(EffectDurationUs(0), kInfiniteDuration);
  EXPECT_EQ(EffectDurationUs(1500), 1550000u);
  EXPECT_EQ(EffectDurationUs(999), 1049000u);
  EXPECT_EQ(AngledPushDurationUs(0), kInfiniteDuration);
  EXPECT_EQ(AngledPushDurationUs(1500), 1050000u);
  EXPECT_EQ(AngledPushDurationUs(999), 50000u);
  EXPECT_EQ(EffectDurationUs(INT32_MAX), kInfiniteDuration - 1);
  EXPECT_EQ(AngledPushDurationUs(INT32_MAX), kInfiniteDuration - 1);
}
