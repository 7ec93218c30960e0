#pragma once
#include <cstdint>
#include <memory>

// Force-feedback effects on game devices, described the DirectInput way (magnitudes and
// coefficients out of 10000, directions in hundredths of a degree or as Cartesian pairs,
// times in microseconds). The default provider plays them through SDL haptics; tests put a
// recording provider in its place.

enum class EffectKind : uint8_t { Constant, Periodic, Damper };
inline constexpr uint32_t kInfiniteDuration = 0xFFFFFFFFu;

// Which parts of an effect an update sets, and whether it (re)starts it.
enum : uint32_t {
  kEffectDuration = 0x01,
  kEffectDirection = 0x40,
  kEffectTypeSpecific = 0x100,
  kEffectStart = 0x20000000,
};

struct ForceEffect {
  EffectKind kind = EffectKind::Constant;
  bool polar = true;  // directions: polar (angle, 0) or Cartesian (x, y)
  int32_t direction[2] = {0, 0};
  uint32_t durationUs = kInfiniteDuration;
  uint32_t samplePeriod = 0;
  uint32_t gain = 10000;
  int32_t triggerButton = -1;
  uint32_t triggerRepeat = 0;
  uint32_t startDelay = 0;
  // Constant force and periodic effects.
  int32_t magnitude = 0;
  int32_t offset = 0;
  uint32_t phase = 0;
  uint32_t periodUs = 0;
  // Condition (damper) effects, the same on both axes.
  int32_t positiveCoefficient = 0, negativeCoefficient = 0;
  uint32_t positiveSaturation = 0, negativeSaturation = 0;
  int32_t deadBand = 0;
};

// The force feedback of one open device. Effects are numbered by the device (-1: none).
class HapticDevice {
 public:
  virtual ~HapticDevice() = default;
  // True when the device plays some periodic effect type.
  virtual bool HasPeriodic() = 0;
  virtual int CreateEffect(const ForceEffect& effect) = 0;
  virtual bool UpdateEffect(int id, const ForceEffect& effect, uint32_t flags) = 0;
  virtual bool StartEffect(int id, uint32_t iterations) = 0;
  virtual bool StopEffect(int id) = 0;
  virtual void ReleaseEffect(int id) = 0;
  virtual bool SetAutoCentre(bool on) = 0;
};

// Finds and opens the force feedback of game devices (by joystick index).
class HapticProvider {
 public:
  virtual ~HapticProvider() = default;
  virtual bool IsForceFeedback(int joystickIndex) = 0;
  virtual std::unique_ptr<HapticDevice> Open(int joystickIndex) = 0;
};

// The provider in use; nullptr puts SDL's back.
void SetHapticProvider(HapticProvider* provider);
HapticProvider& CurrentHapticProvider();
void HapticsStop();
