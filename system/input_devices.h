#pragma once
#include <memory>

#include "platform/input_haptic.h"
#include "platform/input_joystick.h"
#include "system/input.h"

// The open device objects behind g_input (the input files of this folder share them).
struct InputDevices {
  std::unique_ptr<GameDevice> joystick;
  std::unique_ptr<GameDevice> control;
  std::unique_ptr<HapticDevice> haptic;  // force feedback of the control device
  int effects[kEffectSlots] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  bool gameDevicesAvailable = false;
  bool gameDevicesStarted = false;  // the joysticks are looked for at the first use of one
};
extern InputDevices g_inputDevices;

// Releases every effect object of the control device.
void ReleaseEffects();
// Creates all ten effects at full strength without starting them.
void PrimeEffects();
