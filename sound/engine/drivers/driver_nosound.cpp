// The no-sound output: one device, no hardware voices, software samples, and a mix buffer
// channel whose play position follows the engine clock so the mixer runs as it would on a device.
#include "sound/engine/drivers/driver.h"

namespace {

void Enumerate() { g_sound.deviceNames = {"No Sound Driver"}; }

bool Init(int32_t) {
  Enumerate();
  g_sound.hardwareChannels = 0;
  return true;
}

void Close() {}

void InstallSampleOps(SoundSample* s) { s->ops = SoftwareSampleOps(); }

bool Yes(SoundChannel*) { return true; }
bool PrepareYes(SoundChannel*, SoundSample*) { return true; }
bool StartYes(SoundDspUnit*, SoundChannel*, SoundSample*) { return true; }
bool IntYes(SoundChannel*, int32_t) { return true; }
bool FlagYes(SoundChannel*, bool) { return true; }
int64_t ClockPosition(SoundChannel*) {
  return int64_t(SoundClockMicros() / 1000) * g_sound.mixRate / 1000;
}
float NoLevel(SoundChannel*) { return 0.0f; }
bool Set3DYes(SoundChannel*, const float*, const float*) { return true; }
bool Get3DYes(SoundChannel*, float*, float*) { return true; }
bool MixYes(SoundChannel*, float) { return true; }

const SoundChannelOps kStubChannelOps = {PrepareYes, StartYes, Yes,       IntYes,     IntYes,
                                         IntYes,     FlagYes,  ClockPosition, NoLevel, Yes,
                                         Set3DYes,   Get3DYes, MixYes};

void InstallChannelOps(SoundChannel* c) { c->ops = &kStubChannelOps; }

const SoundOutputDriver kNoSound = {
    "No Sound Driver",  false,           50,
    Enumerate,          Init,            Close,
    InstallSampleOps,   InstallChannelOps, NoSoundGetCaps,
    NoSoundCommit3D,    NoSoundSetListener, NoSoundSetFactor,
    NoSoundSetFactor,   NoSoundSetFactor, NoSoundProbeReverb,
    NoSoundRecordEnumerate, NoSoundRecordInit, NoSoundRecordStart,
    NoSoundRecordStop,  NoSoundRecordGetPosition, NoSoundRecordLock,
    NoSoundRecordUnlock};

}  // namespace

const SoundOutputDriver* NoSoundDriver() { return &kNoSound; }

void NoSoundGetCaps(uint32_t*, int32_t) {}
void NoSoundCommit3D() {}
void NoSoundSetListener(const float*, const float*, const float*, const float*) {}
void NoSoundSetFactor(float) {}
bool NoSoundProbeReverb() { return true; }
void NoSoundRecordEnumerate() { g_sound.recordDeviceNames = {"No Sound Driver"}; }
bool NoSoundRecordInit(int32_t) {
  SetSoundError(kSoundErrRecord);
  return false;
}
bool NoSoundRecordStart(uint32_t, uint8_t, uint8_t, int32_t) {
  SetSoundError(kSoundErrRecord);
  return false;
}
void NoSoundRecordStop() {}
int64_t NoSoundRecordGetPosition() { return -1; }
bool NoSoundRecordLock(uint32_t, uint32_t length, void** p1, void** p2, uint32_t* l1, uint32_t* l2) {
  *p1 = *p2 = nullptr;
  *l1 = length;
  *l2 = 0;
  return true;
}
bool NoSoundRecordUnlock(void*, void*, uint32_t, uint32_t) { return true; }
