// The test output (see driver_manual.h).
#include "sound/engine/drivers/driver_manual.h"

#include <cstring>

#include "sound/engine/drivers/driver.h"
#include "sound/engine/mixer/mixer.h"
#include "sound/engine/streams/streams.h"

namespace {

struct ManualState {
  uint64_t position = 0;           // frames played
  std::vector<int16_t> output;
  std::vector<uint8_t> input;      // what the capture input delivers
  uint64_t inputRead = 0;
  std::vector<uint8_t> captureRing;
  uint64_t captured = 0;           // frames captured
  uint32_t captureFrameBytes = 0;
  bool capturing = false;
};

ManualState g_manual;

void Enumerate() { g_sound.deviceNames = {"Manual Clock"}; }

bool Init(int32_t) {
  Enumerate();
  g_sound.hardwareChannels = 0;
  g_manual.position = 0;
  g_manual.output.clear();
  return true;
}

void Close() {}

void InstallSampleOps(SoundSample* s) { s->ops = SoftwareSampleOps(); }

bool PrepareYes(SoundChannel*, SoundSample*) { return true; }
bool StartYes(SoundDspUnit*, SoundChannel*, SoundSample*) { return true; }
bool Yes(SoundChannel*) { return true; }
bool IntYes(SoundChannel*, int32_t) { return true; }
bool FlagYes(SoundChannel*, bool) { return true; }
int64_t Position(SoundChannel*) { return int64_t(g_manual.position); }
float NoLevel(SoundChannel*) { return 0.0f; }
bool NotPlaying(SoundChannel*) { return false; }
bool Set3DYes(SoundChannel*, const float*, const float*) { return true; }
bool Get3DYes(SoundChannel*, float*, float*) { return true; }
bool MixYes(SoundChannel*, float) { return true; }

const SoundChannelOps kManualChannelOps = {PrepareYes, StartYes, Yes,      IntYes,  IntYes,
                                           IntYes,     FlagYes,  Position, NoLevel, NotPlaying,
                                           Set3DYes,   Get3DYes, MixYes};

void InstallChannelOps(SoundChannel* c) { c->ops = &kManualChannelOps; }

void RecordEnumerate() { g_sound.recordDeviceNames = {"Manual Input"}; }
bool RecordInit(int32_t) { return true; }

bool RecordStart(uint32_t frames, uint8_t bits, uint8_t layout, int32_t) {
  g_manual.captureFrameBytes = uint32_t((layout == kSoundMono ? 1 : 2) * bits / 8);
  g_manual.captureRing.assign(size_t(frames) * g_manual.captureFrameBytes, 0);
  g_manual.captured = 0;
  g_manual.capturing = frames > 0;
  return g_manual.capturing;
}

void RecordStop() {
  g_manual.capturing = false;
  g_manual.captureRing.clear();
}

int64_t RecordGetPosition() {
  if (!g_manual.capturing) return -1;
  return int64_t(g_manual.captured % (g_manual.captureRing.size() / g_manual.captureFrameBytes));
}

bool RecordLock(uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
                uint32_t* l2) {
  size_t size = g_manual.captureRing.size();
  *p1 = *p2 = nullptr;
  *l1 = *l2 = 0;
  if (size == 0) return false;
  if (length > size) length = uint32_t(size);
  size_t at = offset % size;
  *p1 = g_manual.captureRing.data() + at;
  if (at + length > size) {
    *l1 = uint32_t(size - at);
    *p2 = g_manual.captureRing.data();
    *l2 = length - *l1;
  } else {
    *l1 = length;
  }
  return true;
}

bool RecordUnlock(void*, void*, uint32_t, uint32_t) { return true; }

const SoundOutputDriver kManual = {
    "Manual Clock",   true,               50,
    Enumerate,        Init,               Close,
    InstallSampleOps, InstallChannelOps,  NoSoundGetCaps,
    NoSoundCommit3D,  NoSoundSetListener, NoSoundSetFactor,
    NoSoundSetFactor, NoSoundSetFactor,   NoSoundProbeReverb,
    RecordEnumerate,  RecordInit,         RecordStart,
    RecordStop,       RecordGetPosition,  RecordLock,
    RecordUnlock};

void Capture(uint32_t frames) {
  if (!g_manual.capturing) return;
  size_t fb = g_manual.captureFrameBytes, size = g_manual.captureRing.size();
  for (uint32_t k = 0; k < frames; k++, g_manual.captured++) {
    uint8_t* at = g_manual.captureRing.data() + (g_manual.captured * fb) % size;
    for (size_t b = 0; b < fb; b++, g_manual.inputRead++) {
      at[b] = g_manual.inputRead < g_manual.input.size() ? g_manual.input[g_manual.inputRead] : 0;
    }
  }
}

}  // namespace

void ManualDriverInstall(bool on) {
  EngineLock lock;
  g_sound.driverOverride = on ? &kManual : nullptr;
}

void ManualDriverAdvance(uint32_t frames) {
  {
    EngineLock lock;
    const SoundSample* mb = g_sound.mixBuffer;
    if (mb && mb->data && mb->length > 0) {
      const int16_t* ring = reinterpret_cast<const int16_t*>(mb->data);
      for (uint32_t k = 0; k < frames; k++) {
        uint64_t at = (g_manual.position + k) % mb->length;
        g_manual.output.push_back(ring[2 * at]);
        g_manual.output.push_back(ring[2 * at + 1]);
      }
    }
    g_manual.position += frames;
    Capture(frames);
  }
  MixerFill();
  RecordPoll();
  StreamPoll(int32_t(uint64_t(frames) * 1000 / uint64_t(g_sound.mixRate > 0 ? g_sound.mixRate : 44100)));
}

const std::vector<int16_t>& ManualDriverOutput() { return g_manual.output; }

void ManualDriverClearOutput() { g_manual.output.clear(); }

void ManualDriverSetInput(std::vector<uint8_t> bytes) {
  EngineLock lock;
  g_manual.input = std::move(bytes);
  g_manual.inputRead = 0;
}

uint32_t ManualDriverLatency() { return uint32_t(g_mixer.ringLength); }
