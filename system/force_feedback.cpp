// Force-feedback effects of the control device: ten effect objects, created at full strength
// when the device is chosen and afterwards only updated.
#include "system/input_devices.h"

namespace {

constexpr uint32_t kPushFlags = kEffectStart | kEffectDirection | kEffectTypeSpecific;
constexpr uint32_t kTimedPushFlags = kPushFlags | kEffectDuration;
constexpr uint32_t kTimedFlags = kEffectStart | kEffectTypeSpecific | kEffectDuration;

ForceEffect ConstantForce(int32_t magnitude, int32_t angleHundredths, uint32_t durationUs) {
  ForceEffect e;
  e.kind = EffectKind::Constant;
  e.polar = true;
  e.direction[0] = angleHundredths;
  e.direction[1] = 0;
  e.magnitude = magnitude * 100;
  e.durationUs = durationUs;
  return e;
}

ForceEffect Periodic(int32_t magnitude, uint32_t periodUs, uint32_t durationUs) {
  ForceEffect e;
  e.kind = EffectKind::Periodic;
  e.polar = true;
  e.magnitude = magnitude * 100;
  e.periodUs = periodUs;
  e.durationUs = durationUs;
  return e;
}

// Updates (and so restarts) the slot's effect, or creates it when it does not exist yet.
bool Apply(EffectSlot slot, const ForceEffect& effect, uint32_t flags) {
  InputDevices& d = g_inputDevices;
  if (!d.haptic) return false;
  int& id = d.effects[slot];
  if (id >= 0) return d.haptic->UpdateEffect(id, effect, flags);
  if (effect.kind == EffectKind::Periodic && !d.haptic->HasPeriodic()) return false;
  id = d.haptic->CreateEffect(effect);
  return id >= 0;
}

}  // namespace

uint32_t EffectDurationUs(int32_t ms) {
  if (ms == 0) return kInfiniteDuration;
  int64_t us = int64_t(ms) * 1000 + 50000;
  return us < 0 ? 0 : us >= int64_t(kInfiniteDuration) ? kInfiniteDuration - 1 : uint32_t(us);
}

uint32_t AngledPushDurationUs(int32_t ms) {
  if (ms == 0) return kInfiniteDuration;
  int64_t us = int64_t(ms / 1000) * 1000000 + 50000;
  return us < 0 ? 0 : us >= int64_t(kInfiniteDuration) ? kInfiniteDuration - 1 : uint32_t(us);
}

bool SetDirectionalForce(int direction, int32_t magnitude) {
  static const int32_t kAngles[4] = {18000, 0, 9000, 27000};
  if (direction < 1 || direction > 4) return false;
  return Apply(EffectSlot(kPushUp + direction - 1), ConstantForce(magnitude, kAngles[direction - 1], 100000),
               kPushFlags);
}

bool SetAngleForce(int32_t magnitude, int32_t angle, int32_t durationMs) {
  return Apply(kAngledPush, ConstantForce(magnitude, angle * 100, AngledPushDurationUs(durationMs)), kTimedPushFlags);
}

bool SetTimedEffectA(int32_t magnitude, int32_t durationMs) {
  return Apply(kTimedA, Periodic(magnitude, 50000, EffectDurationUs(durationMs)), kTimedFlags);
}

bool SetTimedEffectB(int32_t magnitude, int32_t durationMs) {
  return Apply(kTimedB, ConstantForce(magnitude, 0, EffectDurationUs(durationMs)), kTimedPushFlags);
}

bool SetTimedEffectC(int32_t magnitude, int32_t durationMs) {
  return Apply(kTimedC, Periodic(magnitude, 100000, EffectDurationUs(durationMs)), kTimedFlags);
}

bool SetWaterEffect(int32_t magnitude, int32_t durationMs) {
  ForceEffect e;
  e.kind = EffectKind::Damper;
  e.polar = false;
  e.positiveCoefficient = magnitude * 50;
  e.negativeCoefficient = 0;
  e.positiveSaturation = 10000;
  e.negativeSaturation = 0;
  e.deadBand = 0;
  e.durationUs = EffectDurationUs(durationMs);
  e.direction[0] = 1;
  e.direction[1] = 1;
  bool first = Apply(kWaterFirst, e, kTimedFlags);
  e.direction[0] = -1;
  e.direction[1] = -1;
  bool second = Apply(kWaterSecond, e, kTimedFlags);
  return first && second;
}

bool EffectExists(EffectSlot slot) { return g_inputDevices.haptic && g_inputDevices.effects[slot] >= 0; }

bool StartEffect(EffectSlot slot) {
  if (!EffectExists(slot)) return false;
  return g_inputDevices.haptic->StartEffect(g_inputDevices.effects[slot], 1);
}

void StopAllEffects() {
  for (int s = 0; s < kEffectSlots; ++s)
    if (EffectExists(EffectSlot(s))) g_inputDevices.haptic->StopEffect(g_inputDevices.effects[s]);
}

bool SetAutoCentre(bool on) { return g_inputDevices.haptic && g_inputDevices.haptic->SetAutoCentre(on); }

void ReleaseEffects() {
  InputDevices& d = g_inputDevices;
  for (int& id : d.effects) {
    if (id >= 0 && d.haptic) d.haptic->ReleaseEffect(id);
    id = -1;
  }
}

void PrimeEffects() {
  for (int direction = 1; direction <= 4; ++direction) SetDirectionalForce(direction, 100);
  SetAngleForce(100, 0, 100);
  SetTimedEffectA(100, 100);
  SetTimedEffectB(100, 100);
  SetTimedEffectC(100, 100);
  SetWaterEffect(100, 0);
}
