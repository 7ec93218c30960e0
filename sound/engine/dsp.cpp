// The DSP unit chain: units ordered by priority (equal priorities in placing order), each
// called by the mixer with the previous unit's result.
#include <algorithm>
#include <new>

#include "sound/engine/engine_state.h"
#include "sound/engine/mixer/mixer.h"

namespace {

void Unlink(SoundDspUnit* u) {
  u->prev->next = u->next;
  u->next->prev = u->prev;
  u->next = u->prev = u;
}

bool Placed(SoundDspUnit* u) {
  if (!u) return false;
  for (SoundDspUnit* v = g_mixer.chain.next; v != &g_mixer.chain; v = v->next) {
    if (v == u) return true;
  }
  return false;
}

}  // namespace

// With the engine lock held.
void DspInsertUnit(SoundDspUnit* unit, int32_t priority) {
  WaitMixerIdle();
  unit->priority = std::max(priority, 0);
  Unlink(unit);
  SoundDspUnit* at = g_mixer.chain.next;
  while (at != &g_mixer.chain && at->priority <= unit->priority) at = at->next;
  unit->next = at;
  unit->prev = at->prev;
  at->prev->next = unit;
  at->prev = unit;
}

void DspFreeAllUnits() {
  while (g_mixer.chain.next != &g_mixer.chain) {
    SoundDspUnit* u = g_mixer.chain.next;
    Unlink(u);
    delete u;
  }
  for (SoundDspUnit* u : g_mixer.pendingFree) delete u;
  g_mixer.pendingFree.clear();
}

SoundDspUnit* DspCreateUnit(SoundDspCallback callback, int32_t priority, void* userData) {
  ApiEnter();
  EngineLock lock;
  if (!g_mixer.running) {
    SetSoundError(kSoundErrUninitialised);
    return nullptr;
  }
  SoundDspUnit* u = new (std::nothrow) SoundDspUnit();
  if (!u) return nullptr;
  u->callback = callback;
  u->userData = userData;
  DspInsertUnit(u, priority);
  return u;
}

void DspFreeUnit(SoundDspUnit* unit) {
  EngineLock lock;
  if (!Placed(unit)) return;
  WaitMixerIdle();
  Unlink(unit);
  if (MixerBusy()) {
    // Freed by a callback during a block: the block's walk still holds it.
    unit->freed = true;
    g_mixer.pendingFree.push_back(unit);
  } else {
    delete unit;
  }
}

void DspSetPriority(SoundDspUnit* unit, int32_t priority) {
  EngineLock lock;
  if (Placed(unit)) DspInsertUnit(unit, priority);
}

int32_t DspGetPriority(SoundDspUnit* unit) {
  EngineLock lock;
  return Placed(unit) ? unit->priority : -1;
}

void DspSetActive(SoundDspUnit* unit, bool active) {
  EngineLock lock;
  if (Placed(unit)) unit->active = active;
}

bool DspGetActive(SoundDspUnit* unit) {
  EngineLock lock;
  return Placed(unit) && unit->active;
}

SoundDspUnit* DspGetClearUnit() { return g_mixer.clearUnit; }
SoundDspUnit* DspGetChannelMixUnit() { return g_mixer.channelUnit; }
SoundDspUnit* DspGetStreamUnit() { return g_mixer.streamUnit; }
SoundDspUnit* DspGetWriteOutUnit() { return g_mixer.writeUnit; }

int32_t DspGetBufferLength() { return g_mixer.blockLength; }
