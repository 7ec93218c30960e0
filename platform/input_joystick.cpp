#include "platform/input_joystick.h"

#include "platform/libs/sdl_api.h"

#include <cmath>

namespace {
bool g_started = false;
}

bool JoysticksStart() {
  if (!g_started && OpenSdl() && g_sdl.SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0) {
    g_started = true;
    // Devices are read by polling; their events would only pile up unread.
    g_sdl.SDL_JoystickEventState(SDL_IGNORE);
  }
  return g_started;
}

void JoysticksStop() {
  if (g_started) g_sdl.SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  g_started = false;
}

void JoysticksUpdate() {
  if (g_started) g_sdl.SDL_JoystickUpdate();
}

int JoystickCount() {
  if (!g_started) return 0;
  int n = g_sdl.SDL_NumJoysticks();
  return n > 0 ? n : 0;
}

std::string JoystickName(int index) {
  const char* name = g_started ? g_sdl.SDL_JoystickNameForIndex(index) : nullptr;
  return name ? std::string(name).substr(0, 259) : std::string();
}

uint32_t PovOfHat(uint8_t hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kPovCentred;
  }
}

GameDevice::GameDevice(_SDL_Joystick* joystick, int index, std::string name)
    : joystick_(joystick), index_(index), name_(std::move(name)) {
  for (int a = 0; a < kJoystickAxes; ++a) {
    low_[a] = 0;
    high_[a] = 65535;
  }
}

std::unique_ptr<GameDevice> GameDevice::Open(int index) {
  if (!g_started || index < 0 || index >= JoystickCount()) return nullptr;
  SDL_Joystick* j = g_sdl.SDL_JoystickOpen(index);
  if (!j) return nullptr;
  return std::unique_ptr<GameDevice>(new GameDevice(j, index, JoystickName(index)));
}

GameDevice::~GameDevice() {
  if (g_started && joystick_) g_sdl.SDL_JoystickClose(joystick_);
}

void GameDevice::SetRange(int axis, int32_t low, int32_t high) {
  if (axis < 0 || axis >= kJoystickAxes || low >= high) return;
  low_[axis] = low;
  high_[axis] = high;
}

void GameDevice::SetDeadZone(int32_t tenThousandths) {
  deadZone_ = tenThousandths < 0 ? 0 : tenThousandths > 10000 ? 10000 : tenThousandths;
}

// Raw -32768..32767 into the axis range. Inside the dead zone the axis reads its centre; the
// rest of the travel is spread over the whole range, so the ends are still reached.
int32_t GameDevice::ScaleAxis(int axis, int32_t raw) const {
  double v = raw < 0 ? raw / 32768.0 : raw / 32767.0;
  const double dead = deadZone_ / 10000.0;
  const int64_t low = low_[axis], high = high_[axis];
  const int64_t centre = low + (high - low) / 2;
  double mag = std::fabs(v);
  if (mag <= dead || dead >= 1.0) return int32_t(centre);
  mag = (mag - dead) / (1.0 - dead);
  double extent = v > 0 ? double(high - centre) : double(centre - low);
  int64_t offset = std::llround(mag * extent);
  return int32_t(v > 0 ? centre + offset : centre - offset);
}

bool GameDevice::Read(JoystickState& state) const {
  if (!g_started || !g_sdl.SDL_JoystickGetAttached(joystick_)) return false;
  JoystickState s;
  const int axes = g_sdl.SDL_JoystickNumAxes(joystick_);
  for (int a = 0; a < kJoystickAxes; ++a)
    s.axis[a] = a < axes ? ScaleAxis(a, g_sdl.SDL_JoystickGetAxis(joystick_, a)) : 0;
  const int hats = g_sdl.SDL_JoystickNumHats(joystick_);
  for (int h = 0; h < 4; ++h) s.pov[h] = h < hats ? PovOfHat(g_sdl.SDL_JoystickGetHat(joystick_, h)) : kPovCentred;
  const int buttons = g_sdl.SDL_JoystickNumButtons(joystick_);
  for (int b = 0; b < 32 && b < buttons; ++b) s.buttons[b] = g_sdl.SDL_JoystickGetButton(joystick_, b) ? 0x80 : 0;
  state = s;
  return true;
}
