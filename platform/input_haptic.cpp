#include "platform/input_haptic.h"

#include "platform/libs/sdl_api.h"

#include <cstring>

namespace {

bool g_started = false;

bool StartHaptics() {
  if (!g_started && OpenSdl() && g_sdl.SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0) g_started = true;
  return g_started;
}

Sint16 Level(int32_t tenThousandths) {
  int64_t v = int64_t(tenThousandths) * 32767 / 10000;
  return Sint16(v > 32767 ? 32767 : v < -32767 ? -32767 : v);
}

Uint16 Saturation(uint32_t tenThousandths) {
  uint64_t v = uint64_t(tenThousandths) * 65535 / 10000;
  return Uint16(v > 65535 ? 65535 : v);
}

Uint32 LengthMs(uint32_t us) { return us == kInfiniteDuration ? SDL_HAPTIC_INFINITY : us / 1000; }

class SdlHaptic : public HapticDevice {
 public:
  // The joystick stays open while its haptic device is in use.
  SdlHaptic(SDL_Joystick* joystick, SDL_Haptic* haptic) : joystick_(joystick), haptic_(haptic) {}
  ~SdlHaptic() override {
    g_sdl.SDL_HapticClose(haptic_);
    g_sdl.SDL_JoystickClose(joystick_);
  }

  bool HasPeriodic() override { return PeriodicType() != 0; }

  int CreateEffect(const ForceEffect& effect) override {
    SDL_HapticEffect e;
    if (!Translate(effect, e)) return -1;
    return g_sdl.SDL_HapticNewEffect(haptic_, &e);
  }

  bool UpdateEffect(int id, const ForceEffect& effect, uint32_t flags) override {
    SDL_HapticEffect e;
    if (!Translate(effect, e) || g_sdl.SDL_HapticUpdateEffect(haptic_, id, &e) < 0) return false;
    return (flags & kEffectStart) == 0 || g_sdl.SDL_HapticRunEffect(haptic_, id, 1) == 0;
  }

  bool StartEffect(int id, uint32_t iterations) override {
    return g_sdl.SDL_HapticRunEffect(haptic_, id, iterations) == 0;
  }
  bool StopEffect(int id) override { return g_sdl.SDL_HapticStopEffect(haptic_, id) == 0; }
  void ReleaseEffect(int id) override { g_sdl.SDL_HapticDestroyEffect(haptic_, id); }

  bool SetAutoCentre(bool on) override {
    if (!(g_sdl.SDL_HapticQuery(haptic_) & SDL_HAPTIC_AUTOCENTER)) return true;
    return g_sdl.SDL_HapticSetAutocenter(haptic_, on ? 100 : 0) == 0;
  }

 private:
  // The first periodic type the device plays, 0 when none.
  Uint16 PeriodicType() {
    unsigned int supported = g_sdl.SDL_HapticQuery(haptic_);
    for (Uint16 t : {Uint16(SDL_HAPTIC_SINE), Uint16(SDL_HAPTIC_TRIANGLE), Uint16(SDL_HAPTIC_SAWTOOTHUP),
                     Uint16(SDL_HAPTIC_SAWTOOTHDOWN)})
      if (supported & t) return t;
    return 0;
  }

  bool Translate(const ForceEffect& f, SDL_HapticEffect& e) {
    std::memset(&e, 0, sizeof e);
    SDL_HapticDirection dir;
    std::memset(&dir, 0, sizeof dir);
    dir.type = f.polar ? SDL_HAPTIC_POLAR : SDL_HAPTIC_CARTESIAN;
    dir.dir[0] = f.direction[0];
    dir.dir[1] = f.direction[1];
    switch (f.kind) {
      case EffectKind::Constant:
        e.type = SDL_HAPTIC_CONSTANT;
        e.constant.direction = dir;
        e.constant.length = LengthMs(f.durationUs);
        e.constant.delay = Uint16(f.startDelay / 1000);
        e.constant.level = Level(f.magnitude);
        return true;
      case EffectKind::Periodic: {
        Uint16 type = PeriodicType();
        if (!type) return false;
        e.type = type;
        e.periodic.direction = dir;
        e.periodic.length = LengthMs(f.durationUs);
        e.periodic.period = Uint16(f.periodUs / 1000 > 65535 ? 65535 : f.periodUs / 1000);
        e.periodic.magnitude = Level(f.magnitude);
        e.periodic.offset = Level(f.offset);
        e.periodic.phase = Uint16(f.phase % 36000);
        return true;
      }
      case EffectKind::Damper:
        e.type = SDL_HAPTIC_DAMPER;
        e.condition.direction = dir;
        e.condition.length = LengthMs(f.durationUs);
        for (int a = 0; a < 2; ++a) {
          e.condition.right_sat[a] = Saturation(f.positiveSaturation);
          e.condition.left_sat[a] = Saturation(f.negativeSaturation);
          e.condition.right_coeff[a] = Level(f.positiveCoefficient);
          e.condition.left_coeff[a] = Level(f.negativeCoefficient);
          e.condition.deadband[a] = Saturation(uint32_t(f.deadBand < 0 ? 0 : f.deadBand));
          e.condition.center[a] = Level(f.offset);
        }
        return true;
    }
    return false;
  }

  SDL_Joystick* joystick_;
  SDL_Haptic* haptic_;
};

class SdlHapticProvider : public HapticProvider {
 public:
  bool IsForceFeedback(int joystickIndex) override {
    if (!StartHaptics()) return false;
    SDL_Joystick* j = g_sdl.SDL_JoystickOpen(joystickIndex);
    if (!j) return false;
    bool ff = g_sdl.SDL_JoystickIsHaptic(j) == SDL_TRUE;
    g_sdl.SDL_JoystickClose(j);
    return ff;
  }

  std::unique_ptr<HapticDevice> Open(int joystickIndex) override {
    if (!StartHaptics()) return nullptr;
    SDL_Joystick* j = g_sdl.SDL_JoystickOpen(joystickIndex);
    if (!j) return nullptr;
    SDL_Haptic* h = g_sdl.SDL_JoystickIsHaptic(j) == SDL_TRUE ? g_sdl.SDL_HapticOpenFromJoystick(j) : nullptr;
    if (!h) {
      g_sdl.SDL_JoystickClose(j);
      return nullptr;
    }
    return std::make_unique<SdlHaptic>(j, h);
  }
};

SdlHapticProvider g_sdlProvider;
HapticProvider* g_provider = nullptr;

}  // namespace

void SetHapticProvider(HapticProvider* provider) { g_provider = provider; }
HapticProvider& CurrentHapticProvider() { return g_provider ? *g_provider : g_sdlProvider; }

void HapticsStop() {
  if (g_started) g_sdl.SDL_QuitSubSystem(SDL_INIT_HAPTIC);
  g_started = false;
}
