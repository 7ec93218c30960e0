#pragma once
#include <cstdint>
#include <memory>
#include <string>

struct _SDL_Joystick;

// Game devices (joysticks, pads, wheels) over SDL's joystick layer, read as DirectInput-style
// joystick states with per-axis ranges and a dead zone.

// Axes of a state, in state order.
enum JoystickAxis : int { kAxisX, kAxisY, kAxisZ, kAxisRotX, kAxisRotY, kAxisRotZ, kAxisSlider0, kAxisSlider1, kJoystickAxes };
inline constexpr uint32_t kPovCentred = 0xFFFFFFFFu;

// One reading: axes in their ranges (0 for an axis the device lacks), four point-of-view
// values (hundredths of a degree clockwise from forward, kPovCentred when centred or absent)
// and 32 buttons (0x80 down).
struct JoystickState {
  int32_t axis[kJoystickAxes] = {};
  uint32_t pov[4] = {};
  uint8_t buttons[32] = {};
};

// Starts SDL's joystick layer (false when it is not available: no game devices then).
bool JoysticksStart();
void JoysticksStop();
// Brings the states of all open devices up to date.
void JoysticksUpdate();
int JoystickCount();
std::string JoystickName(int index);

// An open game device. Ranges start at 0..65535 on every axis and the dead zone at 0, as a
// freshly created device has them.
class GameDevice {
 public:
  static std::unique_ptr<GameDevice> Open(int index);
  ~GameDevice();
  GameDevice(const GameDevice&) = delete;
  GameDevice& operator=(const GameDevice&) = delete;

  int Index() const { return index_; }
  const std::string& Name() const { return name_; }
  void SetRange(int axis, int32_t low, int32_t high);
  // Dead zone in ten-thousandths of the axis travel, for every axis.
  void SetDeadZone(int32_t tenThousandths);
  // False when the device is gone; the state is then left as it was.
  bool Read(JoystickState& state) const;

 private:
  GameDevice(_SDL_Joystick* joystick, int index, std::string name);
  int32_t ScaleAxis(int axis, int32_t raw) const;

  _SDL_Joystick* joystick_;
  int index_;
  std::string name_;
  int32_t low_[kJoystickAxes], high_[kJoystickAxes];
  int32_t deadZone_ = 0;
};

// Point-of-view value of an SDL hat position.
uint32_t PovOfHat(uint8_t hat);
