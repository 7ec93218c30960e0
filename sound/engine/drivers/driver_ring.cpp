// The ring outputs: the primary mix buffer is the ring an SDL audio device plays in a loop, and
// the mixer keeps writing it behind the play position. No hardware voices. Two variants keep
// the defaults of the two outputs they stand for (buffer length). Recording captures through
// SDL's capture device.
#include <string>

#include "platform/audio.h"
#include "sound/engine/drivers/driver.h"

namespace {

std::vector<std::string> g_sdlDevices;        // the names SDL listed, in list order
std::vector<std::string> g_sdlCaptureDevices;
int32_t g_captureDevice = -1;
uint32_t g_captureFrameBytes = 0;
uint32_t g_captureFrames = 0;

void Enumerate() {
  g_sdlDevices = AudioDeviceNames(false);
  g_sound.deviceNames = g_sdlDevices;
  if (g_sound.deviceNames.empty()) g_sound.deviceNames.push_back("Default Audio Device");
}

const char* DeviceName(int32_t index, const std::vector<std::string>& list) {
  if (index <= 0 || index >= int32_t(list.size())) return nullptr;  // 0: the default device
  return list[size_t(index)].c_str();
}

bool Init(int32_t rate) {
  EnumerateOutputDevices();
  std::string error;
  if (!AudioOutputOpen(DeviceName(g_sound.deviceIndex, g_sdlDevices), rate, &error)) {
    SetSoundError(kSoundErrInit);
    return false;
  }
  g_sound.hardwareChannels = 0;
  g_sound.hardwareMixing = false;
  return true;
}

void Close() {
  AudioOutputClose();
  g_sound.hardwareMixing = false;
}

// ---- the mix buffer's storage: the output ring ----

bool RingAlloc(SoundSample* s) {
  uint64_t bytes = uint64_t(s->length) * SampleFrameBytes(s);
  if (bytes > (uint64_t(1) << 28) || !AudioOutputSetRing(uint32_t(bytes))) {
    SetSoundError(kSoundErrMemory);
    return false;
  }
  return true;
}

void RingFree(SoundSample*) { AudioOutputSetRing(0); }

bool RingUpload(SoundSample*, const void*, uint32_t, uint32_t) { return true; }

bool RingLock(SoundSample*, int64_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
              uint32_t* l2) {
  return AudioOutputLock(uint32_t(offset), length, p1, p2, l1, l2);
}

bool RingUnlock(SoundSample*, void*, void*, uint32_t, uint32_t) {
  AudioOutputUnlock();
  return true;
}

const SoundSampleOps kRingSampleOps = {RingAlloc, RingFree, RingUpload, RingLock, RingUnlock};

void InstallSampleOps(SoundSample* s) { s->ops = &kRingSampleOps; }

// ---- the mix buffer's channel: the device ----

bool Prepare(SoundChannel*, SoundSample*) { return true; }
bool Start(SoundDspUnit*, SoundChannel*, SoundSample*) {
  AudioOutputPlay(true);
  return true;
}
bool Stop(SoundChannel*) {
  AudioOutputPlay(false);
  return true;
}
bool IntYes(SoundChannel*, int32_t) { return true; }
bool FlagYes(SoundChannel*, bool) { return true; }
int64_t PlayPosition(SoundChannel* c) {
  return c->sample ? int64_t(AudioOutputPosition() / 4) : 0;
}
float NoLevel(SoundChannel*) { return 0.0f; }
bool NotPlaying(SoundChannel*) { return false; }
bool Set3DYes(SoundChannel*, const float*, const float*) { return true; }
bool Get3DYes(SoundChannel*, float*, float*) { return true; }
bool MixYes(SoundChannel*, float) { return true; }

const SoundChannelOps kRingChannelOps = {Prepare,  Start,    Stop,         IntYes,  IntYes,
                                         IntYes,   FlagYes,  PlayPosition, NoLevel, NotPlaying,
                                         Set3DYes, Get3DYes, MixYes};

void InstallChannelOps(SoundChannel* c) { c->ops = &kRingChannelOps; }

// ---- recording through the capture device ----

void RecordEnumerate() {
  g_sdlCaptureDevices = AudioDeviceNames(true);
  g_sound.recordDeviceNames = g_sdlCaptureDevices;
  if (g_sound.recordDeviceNames.empty()) g_sound.recordDeviceNames.push_back("Default Input Device");
}

bool RecordInit(int32_t device) {
  g_captureDevice = device;
  return true;
}

bool RecordStart(uint32_t frames, uint8_t bits, uint8_t layout, int32_t rate) {
  int channels = layout == kSoundMono ? 1 : 2;
  g_captureFrameBytes = uint32_t(channels * bits / 8);
  g_captureFrames = frames;
  std::string error;
  if (frames == 0 ||
      !AudioCaptureOpen(DeviceName(g_captureDevice, g_sdlCaptureDevices), rate, bits, channels,
                        frames * g_captureFrameBytes, &error)) {
    SetSoundError(kSoundErrRecord);
    return false;
  }
  return true;
}

void RecordStop() {
  AudioCaptureClose();
  g_captureFrames = 0;
}

int64_t RecordGetPosition() {
  if (g_captureFrameBytes == 0 || g_captureFrames == 0) return -1;
  return int64_t((AudioCapturePosition() / g_captureFrameBytes) % g_captureFrames);
}

bool RecordLock(uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
                uint32_t* l2) {
  if (!AudioCaptureLock(offset, length, p1, p2, l1, l2)) {
    SetSoundError(kSoundErrRecord);
    return false;
  }
  return true;
}

bool RecordUnlock(void*, void*, uint32_t, uint32_t) {
  AudioCaptureUnlock();
  return true;
}

constexpr SoundOutputDriver RingDriver(const char* name, int32_t defaultMs) {
  return {name,
          false,
          defaultMs,
          Enumerate,
          Init,
          Close,
          InstallSampleOps,
          InstallChannelOps,
          NoSoundGetCaps,
          NoSoundCommit3D,
          NoSoundSetListener,
          NoSoundSetFactor,
          NoSoundSetFactor,
          NoSoundSetFactor,
          NoSoundProbeReverb,
          RecordEnumerate,
          RecordInit,
          RecordStart,
          RecordStop,
          RecordGetPosition,
          RecordLock,
          RecordUnlock};
}

const SoundOutputDriver kWave = RingDriver("Waveform Ring", 200);
const SoundOutputDriver kDirect = RingDriver("Direct Ring", 50);

}  // namespace

const SoundOutputDriver* RingDriverWave() { return &kWave; }
const SoundOutputDriver* RingDriverDirect() { return &kDirect; }
