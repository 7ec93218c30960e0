// Force-feedback commands: pushes, timed effects, the water effect, stop and auto-centring.
#include "core/handler.h"
#include "system/commands.h"
#include "system/input.h"

namespace {

// Checks that every force command makes first: a force-feedback device (warning 4101).
bool ForcePresent() {
  if (g_input.forceFeedback) return true;
  RunError(kErrNoForceFeedback);
  return false;
}

bool MagnitudeOk(int32_t magnitude) {
  if (magnitude >= 0 && magnitude <= 100) return true;
  RunError(kErrForceMagnitudeOutOfRange);
  return false;
}

bool AngleOk(int32_t angle) {
  if (angle >= 0 && angle <= 360) return true;
  RunError(kErrForceAngleOutOfRange);
  return false;
}

bool TimeOk(int32_t ms) {
  if (ms >= 0) return true;
  RunError(kErrForceTimeNegative);
  return false;
}

template <int Direction>
void CmdForcePush() {
  const int32_t magnitude = OpInt(0);
  SkipOperands(1);
  const EffectSlot slot = EffectSlot(kPushUp + Direction - 1);
  if (!ForcePresent() || !EffectExists(slot) || !MagnitudeOk(magnitude)) return;
  SetDirectionalForce(Direction, magnitude);
  StartEffect(slot);
}

void CmdForceAngle() {
  const int32_t magnitude = OpInt(0), angle = OpInt(1), ms = OpInt(2);
  SkipOperands(3);
  if (!ForcePresent() || !EffectExists(kAngledPush) || !MagnitudeOk(magnitude) || !AngleOk(angle) || !TimeOk(ms))
    return;
  SetAngleForce(magnitude, angle, ms);
  StartEffect(kAngledPush);
}

template <EffectSlot Slot, bool (*Set)(int32_t, int32_t)>
void CmdForceTimed() {
  const int32_t magnitude = OpInt(0), ms = OpInt(1);
  SkipOperands(2);
  if (!ForcePresent() || !EffectExists(Slot) || !MagnitudeOk(magnitude) || !TimeOk(ms)) return;
  Set(magnitude, ms);
  StartEffect(Slot);
}

void CmdForceWater() {
  const int32_t magnitude = OpInt(0), ms = OpInt(1);
  SkipOperands(2);
  if (!ForcePresent() || !EffectExists(kWaterFirst) || !EffectExists(kWaterSecond) || !MagnitudeOk(magnitude) ||
      !TimeOk(ms))
    return;
  SetWaterEffect(magnitude, ms);
  StartEffect(kWaterFirst);
  StartEffect(kWaterSecond);
}

void CmdForceUp() { CmdForcePush<1>(); }
void CmdForceDown() { CmdForcePush<2>(); }
void CmdForceLeft() { CmdForcePush<3>(); }
void CmdForceRight() { CmdForcePush<4>(); }
// A shake of 50 ms period, a push from the front and a slower shake, each for a given time.
void CmdForceVibrate() { CmdForceTimed<kTimedA, SetTimedEffectA>(); }
void CmdForceKick() { CmdForceTimed<kTimedB, SetTimedEffectB>(); }
void CmdForceRumble() { CmdForceTimed<kTimedC, SetTimedEffectC>(); }

void CmdForceStop() {
  if (ForcePresent()) StopAllEffects();
}

void CmdForceAutoCentreOn() {
  if (ForcePresent()) SetAutoCentre(true);
}

void CmdForceAutoCentreOff() {
  if (ForcePresent()) SetAutoCentre(false);
}

const CommandDef kForceCommands[] = {
    {4101, CmdForceUp, "l"},
    {4102, CmdForceDown, "l"},
    {4103, CmdForceLeft, "l"},
    {4104, CmdForceRight, "l"},
    {4105, CmdForceAngle, "lll"},
    {4106, CmdForceVibrate, "ll"},
    {4107, CmdForceKick, "ll"},
    {4108, CmdForceRumble, "ll"},
    {4109, CmdForceStop, ""},
    {4110, CmdForceWater, "ll"},
    {4112, CmdForceAutoCentreOn, ""},
    {4113, CmdForceAutoCentreOff, ""},
};

}  // namespace

std::span<const CommandDef> ForceCommands() { return kForceCommands; }
