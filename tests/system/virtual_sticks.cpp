#include "tests/system/virtual_sticks.h"

#include <algorithm>

#include "core/run_state.h"
#include "display/display.h"
#include "platform/events.h"
#include "platform/input_joystick.h"
#include "system/input.h"

void VirtualSticks::SetUp() {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
  g_runtime = RuntimeState{};
  EventsReset();
}

void VirtualSticks::TearDown() {
  StopInputDevices();
  SetHapticProvider(nullptr);
  for (auto it = sticks_.rbegin(); it != sticks_.rend(); ++it) {
    SDL_JoystickID id = SDL_JoystickInstanceID(*it);
    SDL_JoystickClose(*it);
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  }
  sticks_.clear();
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  g_display.active = 0;
}

SDL_Joystick* VirtualSticks::Attach(const char* name, int hats) {
  SDL_VirtualJoystickDesc d;
  SDL_zero(d);
  d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  d.naxes = 8;
  d.nbuttons = 32;
  d.nhats = uint16_t(hats);
  d.name = name;
  int index = SDL_JoystickAttachVirtualEx(&d);
  EXPECT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* j = SDL_JoystickOpen(index);
  EXPECT_NE(j, nullptr);
  sticks_.push_back(j);
  return j;
}

void VirtualSticks::StartInput() {
  ASSERT_TRUE(StartInputDevices());
  g_display.active = 1;
  g_display.width = 640;
  g_display.height = 480;
}

void VirtualSticks::Poll() { PollInputDevices(); }

namespace {

class RecordingDevice : public HapticDevice {
 public:
  explicit RecordingDevice(RecordingHaptics& owner) : owner_(owner) {}
  bool HasPeriodic() override { return owner_.periodic; }
  int CreateEffect(const ForceEffect& effect) override {
    owner_.calls.push_back({"create", next_, effect, 0});
    return next_++;
  }
  bool UpdateEffect(int id, const ForceEffect& effect, uint32_t flags) override {
    owner_.calls.push_back({"update", id, effect, flags});
    return true;
  }
  bool StartEffect(int id, uint32_t iterations) override {
    owner_.calls.push_back({"start", id, {}, iterations});
    return true;
  }
  bool StopEffect(int id) override {
    owner_.calls.push_back({"stop", id, {}, 0});
    return true;
  }
  void ReleaseEffect(int id) override { owner_.calls.push_back({"release", id, {}, 0}); }
  bool SetAutoCentre(bool on) override {
    owner_.calls.push_back({"autocentre", -1, {}, on ? 1u : 0u});
    return true;
  }

 private:
  RecordingHaptics& owner_;
  int next_ = 0;
};

}  // namespace

bool RecordingHaptics::IsForceFeedback(int joystickIndex) {
  return std::find(names.begin(), names.end(), JoystickName(joystickIndex)) != names.end();
}

std::unique_ptr<HapticDevice> RecordingHaptics::Open(int joystickIndex) {
  if (!IsForceFeedback(joystickIndex)) return nullptr;
  return std::make_unique<RecordingDevice>(*this);
}
