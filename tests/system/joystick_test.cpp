// Joysticks and the control device, on SDL's virtual joysticks.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/run_state.h"
#include "display/display.h"
#include "system/input.h"
#include "tests/support/program_run.h"
#include "tests/system/virtual_sticks.h"

namespace {

int32_t Query(int command) {
  CommandCall c;
  EXPECT_EQ(c.Run(command, 1), 0);
  return c.cells[0].i;
}

int32_t Query(int command, int32_t argument) {
  CommandCall c;
  c.cells[1].i = argument;
  EXPECT_EQ(c.Run(command, 2), 0);
  return c.cells[0].i;
}

}  // namespace

using Joystick = VirtualSticks;

TEST_F(Joystick, AxesHaveTheirRangesAndDeadZone) {
  SDL_Joystick* j = Attach("Pad One");
  StartInput();
  SDL_JoystickSetVirtualAxis(j, 0, 32767);   // x full right
  SDL_JoystickSetVirtualAxis(j, 1, 3000);    // y inside the dead zone
  SDL_JoystickSetVirtualAxis(j, 2, -32768);  // z full
  SDL_JoystickSetVirtualAxis(j, 3, 0);       // rotations keep the device's own range
  SDL_JoystickSetVirtualAxis(j, 4, -32768);
  SDL_JoystickSetVirtualAxis(j, 5, 32767);
  SDL_JoystickSetVirtualAxis(j, 6, 32767);
  SDL_JoystickSetVirtualAxis(j, 7, -32768);
  Poll();
  EXPECT_EQ(Query(4529), 1000);
  EXPECT_EQ(g_input.joystickName, "Pad One");
  EXPECT_EQ(Query(4530), 0);
  EXPECT_EQ(Query(4531), -1000);
  EXPECT_EQ(Query(4537), 32767);
  EXPECT_EQ(Query(4538), 0);
  EXPECT_EQ(Query(4539), 65535);
  EXPECT_EQ(Query(4532), 65535);
  EXPECT_EQ(Query(4533), 0);
  EXPECT_EQ(Query(4521), 0);
  EXPECT_EQ(Query(4522), 1);
  EXPECT_EQ(Query(4523), 0);
  EXPECT_EQ(Query(4524), 0);
  // Beyond the dead zone the rest of the travel spreads over the range.
  SDL_JoystickSetVirtualAxis(j, 0, -6554);
  SDL_JoystickSetVirtualAxis(j, 1, 3277);
  Poll();
  EXPECT_EQ(Query(4529), -111);
  EXPECT_EQ(Query(4530), 0);
  SDL_JoystickSetVirtualAxis(j, 1, -16384);
  Poll();
  EXPECT_EQ(Query(4521), 1);
  EXPECT_EQ(Query(4523), 1);
  EXPECT_EQ(Query(4530), -444);
}

TEST_F(Joystick, PointsOfViewAndButtons) {
  SDL_Joystick* j = Attach("Pad One", 2);
  StartInput();
  SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHT);
  SDL_JoystickSetVirtualHat(j, 1, SDL_HAT_CENTERED);
  SDL_JoystickSetVirtualButton(j, 0, 1);
  SDL_JoystickSetVirtualButton(j, 3, 1);
  SDL_JoystickSetVirtualButton(j, 31, 1);
  Poll();
  EXPECT_EQ(Query(4534), 9000);
  EXPECT_EQ(Query(4535), -1);  // centred: 0xFFFF in the low word
  EXPECT_EQ(Query(4540, 0), 9000);
  EXPECT_EQ(Query(4540, 1), -1);
  EXPECT_EQ(Query(4540, 3), -1);  // a hat the device lacks reads centred
  EXPECT_EQ(Query(4540, 4), -1);
  EXPECT_EQ(Query(4540, -1), -1);
  EXPECT_EQ(Query(4525), 1);
  EXPECT_EQ(Query(4526), 0);
  EXPECT_EQ(Query(4527), 0);
  EXPECT_EQ(Query(4528), 1);
  EXPECT_EQ(Query(4536, 31), 1);
  EXPECT_EQ(Query(4536, 30), 0);
  EXPECT_EQ(Query(4536, 32), 0);
  EXPECT_EQ(Query(4536, -1), 0);
  for (auto [hat, pov] : {std::pair{SDL_HAT_UP, 0}, std::pair{SDL_HAT_RIGHTUP, 4500}, std::pair{SDL_HAT_DOWN, 18000},
                          std::pair{SDL_HAT_LEFTDOWN, 22500}, std::pair{SDL_HAT_LEFTUP, 31500}}) {
    SDL_JoystickSetVirtualHat(j, 0, uint8_t(hat));
    Poll();
    EXPECT_EQ(Query(4540, 0), pov);
  }
}

TEST_F(Joystick, UnpluggedKeepsItsLastValuesAndNoneReadsZero) {
  SDL_Joystick* j = Attach("Pad One");
  StartInput();
  SDL_JoystickSetVirtualAxis(j, 0, 32767);
  SDL_JoystickSetVirtualButton(j, 2, 1);
  Poll();
  EXPECT_EQ(Query(4529), 1000);
  SDL_JoystickID id = SDL_JoystickInstanceID(j);
  for (int i = 0; i < SDL_NumJoysticks(); ++i)
    if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  Poll();
  EXPECT_EQ(Query(4529), 1000);
  EXPECT_EQ(Query(4527), 1);
  StopInputDevices();
  SDL_JoystickClose(j);
  sticks_.clear();
  // With no joystick at all the state stays zero: even the hats read 0, not -1.
  StartInput();
  Poll();
  for (int command : {4521, 4522, 4523, 4524, 4525, 4529, 4530, 4531, 4532, 4534, 4535, 4537, 4552, 4553, 4554})
    EXPECT_EQ(Query(command), 0) << command;
  EXPECT_EQ(Query(4540, 0), 0);
}

TEST_F(Joystick, NothingIsReadWhileTheDisplayIsInactive) {
  SDL_Joystick* j = Attach("Pad One");
  StartInput();
  SDL_JoystickSetVirtualAxis(j, 0, 32767);
  InputSetKey(0xC8, true);
  Poll();
  EXPECT_EQ(Query(4501), 1);
  EXPECT_EQ(Query(4529), 1000);
  g_display.active = 0;
  SDL_JoystickSetVirtualAxis(j, 0, -32768);
  InputSetKey(0xC8, false);
  Poll();
  EXPECT_EQ(Query(4529), 1000);
  EXPECT_EQ(Query(4501), 1);
  // While the environment is up only the keyboard is read.
  g_display.active = 1;
  g_runtime.options.environmentMode = 2;
  Poll();
  EXPECT_EQ(Query(4501), 0);
  EXPECT_EQ(Query(4529), 1000);
  g_runtime.options.environmentMode = 0;
  Poll();
  EXPECT_EQ(Query(4529), -1000);
}

TEST_F(Joystick, KeysReadTheirScanCodes) {
  StartInput();
  const int keys[][2] = {{4501, 0xC8}, {4502, 0xD0}, {4503, 0xCB}, {4504, 0xCD}, {4505, 0x1D}, {4505, 0x9D},
                         {4506, 0x2A}, {4506, 0x36}, {4507, 0x1C}, {4508, 0x39}, {4510, 0x01}};
  for (const auto& k : keys) {
    InputSetKey(k[1], true);
    Poll();
    EXPECT_EQ(Query(k[0]), 1) << k[0] << " " << k[1];
    InputSetKey(k[1], false);
    Poll();
    EXPECT_EQ(Query(k[0]), 0) << k[0];
  }
  InputSetKey(0x1E, true);
  InputSetKey(0xFF, true);
  Poll();
  EXPECT_EQ(Query(4509, 0x1E), 1);
  EXPECT_EQ(Query(4509, 0xFF), 1);
  EXPECT_EQ(Query(4509, 0x1F), 0);
  EXPECT_EQ(Query(4509, 256), 0);
  EXPECT_EQ(Query(4509, -1), 0);
  EXPECT_EQ(Query(4509, 0x1E + 256), 0);
}

TEST_F(Joystick, ProgramsReadTheStickThroughTheRunLoop) {
  SDL_Joystick* j = Attach("Pad One");
  SDL_JoystickSetVirtualAxis(j, 0, -32768);
  SDL_JoystickSetVirtualButton(j, 1, 1);
  SDL_JoystickUpdate();
  ImageBuilder b;
  int32_t x = b.IntVar(), fire = b.IntVar(), up = b.IntVar();
  b.Emit({4529, x});
  b.Emit({4526, fire});
  b.Emit({4501, up});
  b.Emit({213});
  TestRun o = RunFor(20);
  o.input = "1 key Up down\n";
  RunOutcome r = RunImage(b, o);
  EXPECT_EQ(r.Int(x), -1000);
  EXPECT_EQ(r.Int(fire), 1);
  EXPECT_EQ(r.Int(up), 1);
  EXPECT_EQ(r.ended, 1);
}

TEST_F(Joystick, ControlDeviceWithoutForceFeedback) {
  RecordingHaptics haptics;
  SetHapticProvider(&haptics);
  SDL_Joystick* pad = Attach("Pad One");
  SDL_Joystick* wheel = Attach("Wheel Two");
  StartInput();
  CommandCall name;
  name.MarkText(0);
  EXPECT_EQ(name.Run(4551, 1), 4002);  // no control device yet
  CommandCall choose;
  choose.SetText(0, "Nobody");
  EXPECT_EQ(choose.Run(4002, 1), 4001);
  EXPECT_EQ(g_errorKind, 1);  // a warning
  choose.SetText(0, "wheel two");  // names match exactly
  EXPECT_EQ(choose.Run(4002, 1), 4001);
  choose.SetText(0, "Wheel Two");
  EXPECT_EQ(choose.Run(4002, 1), 0);
  EXPECT_EQ(g_input.forceFeedback, 0);
  EXPECT_TRUE(haptics.calls.empty());
  EXPECT_EQ(name.Run(4551, 1), 0);
  EXPECT_EQ(name.TextOf(0), "Wheel Two");
  SDL_JoystickSetVirtualAxis(wheel, 0, 32767);
  SDL_JoystickSetVirtualAxis(wheel, 1, 1000);  // no dead zone on the control device
  SDL_JoystickSetVirtualAxis(wheel, 2, -32768);
  SDL_JoystickSetVirtualAxis(pad, 0, 1000);
  Poll();
  EXPECT_EQ(Query(4552), 1000);
  EXPECT_EQ(Query(4553), 31);
  EXPECT_EQ(Query(4554), -1000);
  EXPECT_EQ(Query(4529), 0);  // the joystick keeps its dead zone
  // Choosing the joystick's own hardware reads the joystick through the control device.
  choose.SetText(0, "PAD ONE");
  EXPECT_EQ(choose.Run(4002, 1), 4001);
  choose.SetText(0, "Pad One");
  EXPECT_EQ(choose.Run(4002, 1), 0);
  Poll();
  EXPECT_EQ(Query(4529), 31);
  EXPECT_EQ(Query(4552), 31);
}

TEST_F(Joystick, ChecklistOfControlDevices) {
  RecordingHaptics haptics;
  haptics.names = {"FF Stick"};
  SetHapticProvider(&haptics);
  Attach("Pad One");
  Attach("FF Stick");
  StartInput();
  CommandCall list;
  EXPECT_EQ(list.Run(4001, 0), 0);
  const int32_t rows = Query(9551);
  ASSERT_EQ(rows, SDL_NumJoysticks());
  int pad = 0, ff = 0;
  for (int32_t row = 1; row <= rows; ++row) {
    CommandCall text;
    text.MarkText(0);
    text.cells[1].i = row;
    EXPECT_EQ(text.Run(9556, 2), 0);
    if (text.TextOf(0) == "Pad One") pad = row;
    if (text.TextOf(0) == "FF Stick") ff = row;
    for (int command : {9553, 9554, 9555}) EXPECT_EQ(Query(command, row), 0);
  }
  ASSERT_GT(pad, 0);
  ASSERT_GT(ff, 0);
  EXPECT_EQ(Query(9552, pad), 0);
  EXPECT_EQ(Query(9552, ff), 1);
}
