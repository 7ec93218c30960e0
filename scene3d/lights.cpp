// The light records and their device lights.
#include <cmath>

#include "display/display.h"
#include "scene3d/lighting.h"
#include "scene3d/record_pools.h"

LightingState g_lighting;

void ResetLightingState() { g_lighting = LightingState{}; }

uint32_t LightRecordOf(int32_t n) {
  if (n < 0 || n > kMaxLightNumber) return kNoRecord;
  const uint32_t r = g_lighting.lightNumbers[n];
  if (n > 0 && r == 0) return kNoRecord;
  return g_lightPool.InUse(r) && g_lightPool[r].inUse ? r : kNoRecord;
}

Light DeviceLightOf(uint32_t r) {
  const LightRecord& l = g_lightPool[r];
  Light d;
  d.type = uint32_t(l.type);
  for (int i = 0; i < 3; ++i) {
    d.diffuse[i] = l.colour[i];
    d.position[i] = l.position[i];
    d.direction[i] = l.direction[i];
  }
  d.diffuse[3] = 0.0f;
  d.range = l.range;
  // Full strength up to a third of the range, falling with the square of the distance after.
  const float third = l.range / 3.0f;
  d.attenuation[0] = 1.0f;
  d.attenuation[1] = 0.0f;
  d.attenuation[2] = 1.0f / (third * third);
  d.falloff = 1.0f;
  d.theta = l.spotInner;
  d.phi = l.spotOuter;
  return d;
}

void NormaliseDirectionL1(const float from[3], float x, float y, float z, float out[3]) {
  x -= from[0], y -= from[1], z -= from[2];
  const float sum = std::fabs(x) + std::fabs(y) + std::fabs(z);
  if (!(sum > 0.0f) || !std::isfinite(sum)) return;
  out[0] = x / sum, out[1] = y / sum, out[2] = z / sum;
}

namespace {

bool Shown(uint32_t r) { return g_lightPool.InUse(r) && g_lightPool[r].inUse && g_lightPool[r].on; }

// Which record each device light belongs to: a record below the device's count keeps its own;
// device lights whose record is hidden or free go to the shown records above the count, in
// record order.
void PlanSlots(int32_t owner[kMaxLights]) {
  uint32_t borrow = 0;
  auto nextFree = [&]() -> int32_t {
    for (; borrow < kMaxLights; ++borrow)
      if (!Shown(borrow)) return int32_t(borrow++);
    return -1;
  };
  for (uint32_t s = 0; s < kMaxLights; ++s)
    owner[s] = g_lightPool.InUse(s) && g_lightPool[s].inUse ? int32_t(s) : -1;
  for (int32_t r = kMaxLights; r < g_lightPool.Capacity(); ++r) {
    if (!Shown(uint32_t(r))) continue;
    const int32_t s = nextFree();
    if (s < 0) break;
    owner[s] = r;
  }
}

bool SendLight(Device3D& d, uint32_t slot, uint32_t r) {
  if (d.SetLight(slot, DeviceLightOf(r))) return true;
  LogEngineError("Failed to set Light Object Properties");
  return false;
}

bool SwitchSlot(Device3D& d, uint32_t slot, bool on) {
  if (d.EnableLight(slot, on)) return true;
  LogEngineError(on ? "Failed to enable Light Object" : "Failed to disable Light Object");
  return false;
}

// Brings the device lights in line with the records: a device light is sent again when it
// changes hands or holds `changed`, switched when its on state differs. 0 on a failure.
int SyncDeviceLights(int32_t changed) {
  Device3D* d = g_display.device.get();
  int32_t owner[kMaxLights];
  PlanSlots(owner);
  int ok = 1;
  for (uint32_t s = 0; s < kMaxLights; ++s) {
    const int32_t r = owner[s];
    if (r >= 0 && (r == changed || r != g_lighting.slotOwner[s])) {
      if (!d || !SendLight(*d, s, uint32_t(r))) ok = 0;
    }
    g_lighting.slotOwner[s] = r;
    const bool on = r >= 0 && g_lightPool[uint32_t(r)].on;
    if (on != bool(g_lighting.slotOn[s])) {
      if (d && SwitchSlot(*d, s, on)) g_lighting.slotOn[s] = on;
      else ok = 0;
    }
  }
  // Each record's flag: its device light is on.
  for (int32_t r = 0; r < g_lightPool.Capacity(); ++r)
    if (g_lightPool.InUse(uint32_t(r))) g_lightPool[uint32_t(r)].enabledInDevice = 0;
  for (uint32_t s = 0; s < kMaxLights; ++s)
    if (owner[s] >= 0 && g_lighting.slotOn[s]) g_lightPool[uint32_t(owner[s])].enabledInDevice = 1;
  return ok;
}

}  // namespace

int32_t LightSlotOf(uint32_t r) {
  for (uint32_t s = 0; s < kMaxLights; ++s)
    if (g_lighting.slotOwner[s] == int32_t(r)) return int32_t(s);
  return -1;
}

int UpdateLight(uint32_t r) { return SyncDeviceLights(int32_t(r)); }

int CreateLight() {
  const uint32_t r = AllocLightRecord();
  if (r == kNoRecord) {
    LogEngineError("Failed to create a Light Object");
    return 0;
  }
  LightRecord& l = g_lightPool[r];
  l.inUse = 1;
  l.on = 1;
  l.type = kLightDirectional;
  l.direction[0] = 0.2f, l.direction[1] = -0.7f, l.direction[2] = 0.1f;
  l.colour[0] = l.colour[1] = l.colour[2] = 1.0f;
  l.range = kDefaultLightRange;
  if (!UpdateLight(r)) {
    LogEngineError("Failed to create a Light Object");
    return 0;
  }
  return 1;
}

void FreeLight(uint32_t r) {
  if (!g_lightPool.InUse(r)) return;
  g_lightPool[r].inUse = 0;
  SyncDeviceLights(-1);
  g_lightPool.Free(r);
}

void RestoreAllLights() {
  // The new device has every light off and holds none of ours.
  for (uint32_t s = 0; s < kMaxLights; ++s) {
    g_lighting.slotOwner[s] = -1;
    g_lighting.slotOn[s] = 0;
  }
  if (g_lightPool.Created()) SyncDeviceLights(-1);
}
