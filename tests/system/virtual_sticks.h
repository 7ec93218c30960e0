#pragma once
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input_haptic.h"

// SDL virtual joysticks for tests: attached for the fixture's life, their axes, hats and
// buttons set through the handles kept open here.
class VirtualSticks : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Attaches a stick with 8 axes, 32 buttons and the given hats; returns its handle.
  SDL_Joystick* Attach(const char* name, int hats = 2);
  // Starts the input devices of a run with the display active.
  void StartInput();
  void Poll();

  std::vector<SDL_Joystick*> sticks_;
};

// What the force-feedback layer was asked to do.
struct HapticCall {
  std::string what;  // "create", "update", "start", "stop", "release", "autocentre"
  int id = -1;
  ForceEffect effect;
  uint32_t value = 0;  // update flags, start iterations or auto-centre on
};

// Force feedback that records every call; devices whose name is in `names` have it.
class RecordingHaptics : public HapticProvider {
 public:
  std::vector<std::string> names;
  std::vector<HapticCall> calls;
  bool periodic = true;
  bool IsForceFeedback(int joystickIndex) override;
  std::unique_ptr<HapticDevice> Open(int joystickIndex) override;
};
