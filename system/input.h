#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/input.h"
#include "platform/input_joystick.h"

// The input devices of a running program: the keyboard, the mouse, the first game device (the
// joystick) and a control device chosen by name, which may have force feedback.

// The last polled state of every device, and the mouse position, wheel and buttons as the
// window's messages give them.
struct InputState {
  int32_t mouseX = 320, mouseY = 240;  // pointer position in display coordinates
  int32_t mouseWheel = 50;
  uint16_t messageMouseButtons = 0;    // 1 left held, 2 right held (window without pointer sprite)
  uint8_t keyboard[kKeyCodeCount] = {};
  MouseReading mouse;                 // the last mouse reading
  JoystickState joystick, control;    // all zero while the device is absent
  int32_t moveX = 0, moveY = 0, moveZ = 0;  // movement since the end of the previous frame
  uint16_t mouseButtons = 0;          // bit 0 first button ... bit 3 fourth
  std::string joystickName;           // product name of the joystick offered last
  std::string chosenControlName;      // the name the program asked for
  std::string controlName;            // the name of the attached control device ("" none)
  uint8_t forceFeedback = 0;          // 1 when the control device has force feedback
  uint8_t keyWaitSeen = 0;            // a key wait has seen its character
  uint8_t mouseWaitSeen = 0;          // a mouse wait has seen a button down
};
extern InputState g_input;

// The input state back to a new process's (devices stay as they are).
void ResetInputState();
// Start-up and shutdown (start-up failure is system error 10007: an --input file that cannot
// be read is one).
bool StartInputDevices();
void StopInputDevices();
// Releases the effects and the control device.
void ReleaseForceFeedback();

// Reads every device into g_input (nothing while the display is inactive; only the keyboard
// while the development environment is up). Pumps the platform's events first, so injected
// and real events are seen. True when a device had to be taken back.
bool PollInputDevices();
// The mouse at the start of a run: in the middle of the screen, wheel at 50, no button.
void ResetMouseState();
// Adds a mouse reading to the position (when it follows the device), totals and wheel.
void ApplyMouseDeltas();
// End of a frame: the x and y movement totals start again from 0.
void ClearMouseMovement();
// Polls when InputStale is set, and clears it (the input queries call this first).
void RefreshStaleInput();
// The game-device queries call this first: the joysticks are looked up at the first of them in
// a run (a program that uses none never pays for it), read at once and with every frame from
// then on.
void StartGameDevicesOnce();
// True while the key of that code is down in the last polled state.
inline bool KeyDown(int code) { return code >= 0 && code < kKeyCodeCount && (g_input.keyboard[code] & 0x80); }

// The control device: attaches the device named g_input.chosenControlName; true on success.
bool SelectForceFeedbackDevice();
// Joystick product names of the attached game devices, and whether each has force feedback.
int GameDeviceCount();
std::string GameDeviceName(int index);
bool GameDeviceHasForceFeedback(int index);
bool GameDevicesAvailable();

// Force-feedback effects of the control device (magnitudes 0..100, times in ms, angles in
// degrees). Each builds its effect, updates and restarts the existing object or creates it.
enum EffectSlot : int {
  kPushUp, kPushDown, kPushLeft, kPushRight, kAngledPush, kTimedA, kTimedB, kTimedC, kWaterFirst, kWaterSecond,
  kEffectSlots
};
bool SetDirectionalForce(int direction, int32_t magnitude);  // 1 up, 2 down, 3 left, 4 right
bool SetAngleForce(int32_t magnitude, int32_t angle, int32_t durationMs);
bool SetTimedEffectA(int32_t magnitude, int32_t durationMs);
bool SetTimedEffectB(int32_t magnitude, int32_t durationMs);
bool SetTimedEffectC(int32_t magnitude, int32_t durationMs);
bool SetWaterEffect(int32_t magnitude, int32_t durationMs);
bool EffectExists(EffectSlot slot);
bool StartEffect(EffectSlot slot);
void StopAllEffects();
bool SetAutoCentre(bool on);
// Effect durations in microseconds: ms x 1000 + 50000 (0 is infinite); the angled push keeps
// only the whole seconds of ms.
uint32_t EffectDurationUs(int32_t ms);
uint32_t AngledPushDurationUs(int32_t ms);

// The --input file: loads it (false with the reason) and delivers the events due by the
// current frame into the window's messages and the input layer.
bool LoadInputScript(const std::string& file, std::string* error);
void DeliverScriptEvents();
void ClearInputScript();
