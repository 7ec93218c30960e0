// Commands that read the keyboard (and wait for a key), the joystick and the control device, and list game devices.
#include "core/checklist.h"
#include "core/handler.h"
#include "core/run_state.h"
#include "system/commands.h"
#include "system/input.h"

namespace {

// Result 1 while any of the keys is down.
template <int Code, int Other = Code>
void CmdKey() {
  RefreshStaleInput();
  OpCell(0)->i = KeyDown(Code) || KeyDown(Other) ? 1 : 0;
  SkipOperands(1);
}

void CmdKeyState() {
  RefreshStaleInput();
  const int32_t code = OpInt(1);
  OpCell(0)->i = code >= 0 && code <= 255 && KeyDown(code) ? 1 : 0;
  SkipOperands(2);
}

// Joystick state queries: each polls first and writes one integer.
template <typename Read>
void JoystickQuery(Read read) {
  StartGameDevicesOnce();
  RefreshStaleInput();
  OpCell(0)->i = read(g_input.joystick);
  SkipOperands(1);
}

void CmdJoystickLeft() { JoystickQuery([](const JoystickState& s) { return s.axis[kAxisX] < 0 ? 1 : 0; }); }
void CmdJoystickRight() { JoystickQuery([](const JoystickState& s) { return s.axis[kAxisX] > 0 ? 1 : 0; }); }
void CmdJoystickUp() { JoystickQuery([](const JoystickState& s) { return s.axis[kAxisY] < 0 ? 1 : 0; }); }
void CmdJoystickDown() { JoystickQuery([](const JoystickState& s) { return s.axis[kAxisY] > 0 ? 1 : 0; }); }

template <int Button>
void CmdJoystickFire() {
  JoystickQuery([](const JoystickState& s) { return s.buttons[Button] & 0x80 ? 1 : 0; });
}

template <int Axis>
void CmdJoystickAxis() {
  JoystickQuery([](const JoystickState& s) { return s.axis[Axis]; });
}

template <int Hat>
void CmdJoystickHat() {
  JoystickQuery([](const JoystickState& s) { return int32_t(s.pov[Hat]); });
}

void CmdJoystickButton() {
  StartGameDevicesOnce();
  RefreshStaleInput();
  const int32_t n = OpInt(1);
  OpCell(0)->i = n >= 0 && n <= 31 && (g_input.joystick.buttons[n] & 0x80) ? 1 : 0;
  SkipOperands(2);
}

void CmdJoystickHatAngle() {
  StartGameDevicesOnce();
  RefreshStaleInput();
  const int32_t n = OpInt(1);
  int32_t result = -1;
  if (n >= 0 && n <= 3 && (g_input.joystick.pov[n] & 0xFFFF) != 0xFFFF) result = int32_t(g_input.joystick.pov[n]);
  OpCell(0)->i = result;
  SkipOperands(2);
}

// The attached game devices; a = 1 for those with force feedback.
void CmdChecklistControlDevices() {
  BeginChecklist(true, true);
  if (!GameDevicesAvailable()) {
    g_checklist.made = 0;
    return;
  }
  const int n = GameDeviceCount();
  for (int i = 0; i < n; ++i) {
    ChecklistRow* row = AddChecklistRow();
    if (!row) break;
    row->a = row->b = row->c = row->d = 0;
    SetChecklistText(*row, GameDeviceName(i).c_str());
  }
  for (int i = 0; i < n; ++i) {
    if (!GameDeviceHasForceFeedback(i)) continue;
    const std::string name = GameDeviceName(i);
    for (int r = 0; r < g_checklist.count; ++r)
      if (name == g_checklist.rows[r].text) g_checklist.rows[r].a = 1;
  }
  g_checklist.made = 1;
}

void CmdSetControlDevice() {
  g_input.chosenControlName = std::string(OpString(0)).substr(0, 259);
  SkipOperands(1);
  if (!SelectForceFeedbackDevice()) RunError(kErrControlDeviceNotFound);
}

void CmdControlDeviceName() {
  if (g_input.controlName.empty()) RunError(kErrNoControlDevice);
  else SetCellString(OpCell(0), g_input.controlName.c_str());
  SkipOperands(1);
}

// Waits for a character message to arrive and then for the next message to clear it.
void CmdWaitKey() {
  if (g_input.keyWaitSeen && g_runtime.lastCharacter == 0) {
    g_input.keyWaitSeen = 0;
    return;
  }
  if (g_runtime.lastCharacter != 0) g_input.keyWaitSeen = 1;
  WaitAndRetry();
}

// Code of the lowest key that is down (0 none).
void CmdScancode() {
  RefreshStaleInput();
  int32_t code = 0;
  for (int k = 0; k < kKeyCodeCount; ++k) {
    if (g_input.keyboard[k]) {
      code = k;
      break;
    }
  }
  OpCell(0)->i = code;
  SkipOperands(1);
  InputStale = 1;
}

template <int Axis>
void CmdControlDeviceAxis() {
  StartGameDevicesOnce();
  RefreshStaleInput();
  OpCell(0)->i = g_input.control.axis[Axis];
  SkipOperands(1);
}

const CommandDef kInputCommands[] = {
    {4001, CmdChecklistControlDevices, ""},
    {4002, CmdSetControlDevice, "s"},
    {4501, CmdKey<0xC8>, "l"},
    {4502, CmdKey<0xD0>, "l"},
    {4503, CmdKey<0xCB>, "l"},
    {4504, CmdKey<0xCD>, "l"},
    {4505, CmdKey<0x1D, 0x9D>, "l"},
    {4506, CmdKey<0x2A, 0x36>, "l"},
    {4507, CmdKey<0x1C>, "l"},
    {4508, CmdKey<0x39>, "l"},
    {4509, CmdKeyState, "ll"},
    {4510, CmdKey<0x01>, "l"},
    {4521, CmdJoystickLeft, "l"},
    {4522, CmdJoystickRight, "l"},
    {4523, CmdJoystickUp, "l"},
    {4524, CmdJoystickDown, "l"},
    {4525, CmdJoystickFire<0>, "l"},
    {4526, CmdJoystickFire<1>, "l"},
    {4527, CmdJoystickFire<2>, "l"},
    {4528, CmdJoystickFire<3>, "l"},
    {4529, CmdJoystickAxis<kAxisX>, "l"},
    {4530, CmdJoystickAxis<kAxisY>, "l"},
    {4531, CmdJoystickAxis<kAxisZ>, "l"},
    {4532, CmdJoystickAxis<kAxisSlider0>, "l"},
    {4533, CmdJoystickAxis<kAxisSlider1>, "l"},
    {4534, CmdJoystickHat<0>, "l"},
    {4535, CmdJoystickHat<1>, "l"},
    {4536, CmdJoystickButton, "ll"},
    {4537, CmdJoystickAxis<kAxisRotX>, "l"},
    {4538, CmdJoystickAxis<kAxisRotY>, "l"},
    {4539, CmdJoystickAxis<kAxisRotZ>, "l"},
    {4540, CmdJoystickHatAngle, "ll"},
    {4551, CmdControlDeviceName, "s"},
    {4552, CmdControlDeviceAxis<kAxisX>, "l"},
    {4553, CmdControlDeviceAxis<kAxisY>, "l"},
    {4554, CmdControlDeviceAxis<kAxisZ>, "l"},
    {263, CmdWaitKey, ""},
    {264, CmdWaitKey, ""},
    {250, CmdScancode, "l"},
};

}  // namespace

std::span<const CommandDef> InputCommands() { return kInputCommands; }
