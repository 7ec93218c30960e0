// The input devices: start-up, polling and the choice of the control device.
#include "system/input_devices.h"

#include <strings.h>

#include <cstdio>

#include "core/errors.h"
#include "core/interp.h"
#include "core/run_state.h"
#include "display/display.h"
#include "platform/events.h"
#include "system/system_services.h"

InputState g_input;
InputDevices g_inputDevices;

namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

int32_t Clamp(int64_t v, int32_t low, int32_t high) { return int32_t(v < low ? low : v > high ? high : v); }

// The first game device that opens becomes the joystick: x, y and z run -1000..1000 with a
// dead zone of 10 per cent.
void EnumJoysticks() {
  for (int i = 0; i < JoystickCount(); ++i) {
    g_input.joystickName = JoystickName(i);
    std::unique_ptr<GameDevice> device = GameDevice::Open(i);
    if (!device) continue;
    for (int axis : {kAxisX, kAxisY, kAxisZ}) device->SetRange(axis, -1000, 1000);
    device->SetDeadZone(1000);
    g_inputDevices.joystick = std::move(device);
    return;
  }
}

// Attaches the first device of the chosen name (with force feedback when asked): x, y and z
// run -1000..1000, auto-centring off.
bool AttachControlDevice(bool forceFeedback) {
  HapticProvider& provider = CurrentHapticProvider();
  for (int i = 0; i < JoystickCount(); ++i) {
    if (JoystickName(i) != g_input.chosenControlName) continue;
    if (forceFeedback && !provider.IsForceFeedback(i)) continue;
    std::unique_ptr<GameDevice> device = GameDevice::Open(i);
    if (!device) continue;
    std::unique_ptr<HapticDevice> haptic;
    if (forceFeedback) {
      haptic = provider.Open(i);
      if (!haptic || !haptic->SetAutoCentre(false)) continue;
    }
    for (int axis : {kAxisX, kAxisY, kAxisZ}) device->SetRange(axis, -1000, 1000);
    g_inputDevices.control = std::move(device);
    g_inputDevices.haptic = std::move(haptic);
    return true;
  }
  return false;
}

}  // namespace

void ResetInputState() {
  g_input = InputState{};
  ClearInputScript();
}

bool StartInputDevices() {
  g_input = InputState{};
  g_inputDevices.joystick.reset();
  g_inputDevices.gameDevicesAvailable = g_inputDevices.gameDevicesStarted = false;
  InputLayerStart();
  ReleaseForceFeedback();
  ClearInputScript();
  const std::string& file = g_runtime.options.inputFile;
  std::string why;
  if (!file.empty() && !LoadInputScript(file, &why)) {
    // The tool checks the file before the run; the error's message carries the reason.
    g_lastEngineError = "input file " + file + ": " + why;
    StopInputDevices();
    return false;
  }
  return true;
}

void StartGameDevicesOnce() {
  InputDevices& d = g_inputDevices;
  if (d.gameDevicesStarted) return;
  d.gameDevicesStarted = true;
  d.gameDevicesAvailable = JoysticksStart();
  EnumJoysticks();
  // Read at once, as a frame's poll would have.
  InputStale = 1;
}

void StopInputDevices() {
  ReleaseForceFeedback();
  g_inputDevices.joystick.reset();
  g_inputDevices.gameDevicesAvailable = g_inputDevices.gameDevicesStarted = false;
  JoysticksStop();
  HapticsStop();
  InputLayerStop();
  ClearInputScript();
}

void ReleaseForceFeedback() {
  ReleaseEffects();
  g_inputDevices.haptic.reset();
  g_inputDevices.control.reset();
}

bool PollInputDevices() {
  PumpPlatformEvents();
  DeliverScriptEvents();
  if (!g_display.active) return false;
  InputReadKeyboard(g_input.keyboard);
  if (g_runtime.options.environmentMode > 1) return false;
  g_input.mouse = InputReadMouse();
  ApplyMouseDeltas();
  JoysticksUpdate();
  InputDevices& d = g_inputDevices;
  if (d.joystick) {
    // The same hardware chosen as control device is read through it.
    const bool shared = d.control && SameNameIgnoringCase(g_input.joystickName, g_input.chosenControlName);
    (shared ? d.control : d.joystick)->Read(g_input.joystick);
  }
  if (d.control && !d.control->Read(g_input.control)) return true;
  return false;
}

void ResetMouseState() {
  g_input.mouseX = 320;
  g_input.mouseY = 240;
  g_input.mouseWheel = 50;
  g_input.messageMouseButtons = 0;
}

void ApplyMouseDeltas() {
  const MouseReading& m = g_input.mouse;
  const bool followsDevice = PointerSpritesPresent() || !g_display.windowMode;
  if (followsDevice) {
    g_input.mouseX = Clamp(int64_t(g_input.mouseX) + m.dx, 0, g_display.width - 1);
    g_input.mouseY = Clamp(int64_t(g_input.mouseY) + m.dy, 0, g_display.height - 1);
  }
  g_input.moveX = Clamp(int64_t(g_input.moveX) + m.dx, INT32_MIN, INT32_MAX);
  g_input.moveY = Clamp(int64_t(g_input.moveY) + m.dy, INT32_MIN, INT32_MAX);
  g_input.moveZ = Clamp(int64_t(g_input.moveZ) + m.dz, INT32_MIN, INT32_MAX);
  g_input.mouseWheel = Clamp(int64_t(g_input.mouseWheel) + m.dz, 0, 99);
  if (followsDevice) {
    uint16_t mask = 0;
    for (int b = 0; b < 4; ++b)
      if (m.buttons[b]) mask |= uint16_t(1u << b);
    g_input.mouseButtons = mask;
  } else {
    g_input.mouseButtons = g_input.messageMouseButtons;
  }
}

void ClearMouseMovement() {
  g_input.moveX = 0;
  g_input.moveY = 0;
}

void RefreshStaleInput() {
  if (!InputStale) return;
  PollInputDevices();
  InputStale = 0;
}

bool SelectForceFeedbackDevice() {
  StartGameDevicesOnce();
  ReleaseForceFeedback();
  if (AttachControlDevice(true)) {
    // A device opened twice shares one state here, so the joystick needs no giving up.
    g_input.controlName = g_input.chosenControlName;
    PrimeEffects();
    g_input.forceFeedback = 1;
    return true;
  }
  if (AttachControlDevice(false)) {
    g_input.controlName = g_input.chosenControlName;
    g_input.forceFeedback = 0;
    return true;
  }
  // The old device and its effects are gone: no force feedback is left to drive.
  g_input.forceFeedback = 0;
  return false;
}

bool GameDevicesAvailable() {
  StartGameDevicesOnce();
  return g_inputDevices.gameDevicesAvailable;
}
int GameDeviceCount() {
  StartGameDevicesOnce();
  return JoystickCount();
}
std::string GameDeviceName(int index) {
  StartGameDevicesOnce();
  return JoystickName(index);
}
bool GameDeviceHasForceFeedback(int index) { return CurrentHapticProvider().IsForceFeedback(index); }
