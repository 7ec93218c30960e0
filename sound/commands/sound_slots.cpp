// Slot operations of the numbered sounds: load, clone, delete, start, loop and the values
// applied to a sound's channel.
#include "sound/commands/sound_slots.h"

#include <algorithm>
#include <string>

#include "core/pack.h"
#include "platform/fs.h"
#include "sound/engine/sound_engine.h"

SoundCommandState g_soundCmd;

namespace {

constexpr uint32_t kLoadMode2D = kSound2D | kSoundMono | kSound16Bits | kSoundLoopOff;          // 0x2031
constexpr uint32_t kLoadMode3D = kSoundHardware3D | kSoundMono | kSound16Bits | kSoundLoopOff;  // 0x1031

SoundSlot& Slot(int32_t n) { return g_soundCmd.slots[n]; }

std::string MappedName(const char* file) {
  std::string name = file ? file : "";
  MapThroughPack(name, "dat");
  return name;
}

// Gives slot n a sample with the sample's default frequency and volume.
void TakeSample(int32_t n, SoundSample* sample, bool owner) {
  SoundSlot& s = Slot(n);
  int32_t frequency = 44100, volume = 255, pan = 128, priority = 0;
  SoundSampleGetDefaults(sample, &frequency, &volume, &pan, &priority);
  s.sample = sample;
  s.channel = -1;
  s.frequency = frequency;
  s.engineVolume = volume;
  s.speed = frequency;
  s.owner = owner ? 1 : 0;
  s.exists = 1;
}

void StartChannel(int32_t n) {
  SoundSlot& s = Slot(n);
  s.channel = SoundPlayWithAttributes(kSoundFreeChannel, s.sample, s.frequency, s.engineVolume, -1,
                                      s.is3D ? s.position : nullptr, nullptr);
  if (s.channel != -1) SoundSetChannelPriority(s.channel, s.priorityMark ? 1 : 0);
}

void Restart(int32_t n, int32_t loopMode) {
  SoundSlot& s = Slot(n);
  if (!s.sample) return;
  if (s.channel != -1) SoundStopChannel(s.channel);
  SoundSampleSetLoopMode(s.sample, loopMode);
  StartChannel(n);
}

// Why the engine could not load the named file, from the error it set.
std::string LoadFailure(const std::string& name) {
  switch (SoundGetError()) {
    case kSoundErrFileOpen: {
      FsRead why = FsRead::kFailed;
      if (std::FILE* f = FsOpenRegularFile(name, &why)) std::fclose(f);
      return why == FsRead::kMissing ? "not found" : why == FsRead::kNotRegular ? "not a regular file" : "cannot be opened";
    }
    case kSoundErrFileFormat: return FsFileSize(name) == 0 ? "empty" : SoundFormatRefusal();
    case kSoundErrFileBad: return SoundDamageRefusal();
    case kSoundErrMemory: return SoundErrorWasSizeLimit() ? "too large" : "not enough memory to load it";
    case kSoundErrInvalidParam: return "holds no whole sample";
    default: return "sound is not available";
  }
}

}  // namespace

std::string SoundFormatRefusal() {
  const std::string& what = SoundErrorDetail();
  return what.empty() ? "not a supported format" : "not a supported format: " + what;
}

std::string SoundDamageRefusal() {
  const std::string& what = SoundDamageDetail();
  return what.empty() ? "damaged or empty" : "damaged: " + what;
}

int32_t SoundVolumeToEngine(int32_t percent) { return int32_t(double(percent) * 2.55); }

int32_t SoundPanToEngine(int32_t pan) { return std::clamp(pan / 40 + 128, 0, 255); }

bool SoundSlotLoad(int32_t n, const char* file, bool priority, std::string* why) {
  const std::string name = MappedName(file);
  SoundSample* sample = SoundSampleLoad(kSoundFreeSample, name.c_str(), kLoadMode2D, 0);
  if (!sample) {
    if (why) *why = LoadFailure(name);
    return false;
  }
  SoundSlotDelete(n);
  TakeSample(n, sample, true);
  Slot(n).is3D = 0;
  Slot(n).priorityMark = priority ? 1 : 0;
  return true;
}

std::string SoundFileAbsence(const char* file) {
  const std::string name = MappedName(file);
  if (FsFileExists(name)) return "";
  return FsPathExists(name) ? "not a regular file" : "not found";
}

bool SoundSlotLoad3D(int32_t n, const char* file, std::string* why) {
  const std::string name = MappedName(file);
  if (const std::string absent = SoundFileAbsence(file); !absent.empty()) {
    if (why) *why = absent;
    return false;
  }
  SoundSample* sample = SoundSampleLoad(kSoundFreeSample, name.c_str(), kLoadMode3D, 0);
  if (!sample) {
    if (why) *why = LoadFailure(name);
    return false;
  }
  SoundSlotDelete(n);
  TakeSample(n, sample, true);
  SoundSlot& s = Slot(n);
  s.is3D = 1;
  s.position[0] = s.position[1] = s.position[2] = 0;
  return true;
}

bool SoundSlotClone(int32_t n, int32_t m) {
  SoundSlot& from = Slot(m);
  if (!from.sample) return false;
  TakeSample(n, from.sample, false);
  SoundSlot& s = Slot(n);
  s.is3D = from.is3D;
  std::copy(from.position, from.position + 3, s.position);
  return true;
}

void SoundSlotDelete(int32_t n) {
  SoundSlot& s = Slot(n);
  if (g_soundCmd.recordingSlot == n) {
    // The engine must stop writing into the sample before it goes.
    SoundRecordStop();
    g_soundCmd.recordingSlot = 0;
  }
  if (s.sample) {
    if (s.channel != -1) SoundStopChannel(s.channel);
    s.channel = -1;
    if (s.owner) {
      int32_t heir = -1;
      for (int32_t k = 0; k < kSoundSlotCount && heir < 0; ++k)
        if (k != n && g_soundCmd.slots[k].sample == s.sample) heir = k;
      if (heir >= 0) {
        g_soundCmd.slots[heir].owner = 1;
      } else {
        SoundSampleFree(s.sample);
      }
    }
    s.sample = nullptr;
    s.owner = 0;
    s.is3D = 0;
  }
  s.exists = 0;
  s.pausedByFocus = 0;
}

void SoundSlotStop(int32_t n) {
  SoundSlot& s = Slot(n);
  if (s.sample && s.channel != -1) SoundStopChannel(s.channel);
  s.channel = -1;
}

void SoundSlotPlay(int32_t n) {
  Restart(n, kSoundLoopOff);
  Slot(n).looping = 0;
}

void SoundSlotLoop(int32_t n) {
  Restart(n, kSoundLoopNormal);
  Slot(n).looping = 1;
}

void SoundSlotPause(int32_t n) {
  SoundSlot& s = Slot(n);
  if (s.sample && s.channel != -1) SoundSetChannelPaused(s.channel, true);
}

void SoundSlotResume(int32_t n) {
  SoundSlot& s = Slot(n);
  if (s.sample && s.channel != -1) SoundSetChannelPaused(s.channel, false);
}

void SoundSlotSetFrequency(int32_t n, int32_t hz) {
  SoundSlot& s = Slot(n);
  if (!s.sample) return;
  s.frequency = hz;
  if (s.channel != -1) SoundSetChannelFrequency(s.channel, hz == 0 ? 44100 : hz);
}

void SoundSlotSetVolume(int32_t n, int32_t percent) {
  SoundSlot& s = Slot(n);
  if (!s.sample) return;
  s.engineVolume = SoundVolumeToEngine(percent);
  if (s.channel != -1) SoundSetChannelVolume(s.channel, s.engineVolume);
}

void SoundSlotSetPan(int32_t n, int32_t pan) {
  SoundSlot& s = Slot(n);
  if (s.sample && s.channel != -1) SoundSetChannelPan(s.channel, SoundPanToEngine(pan));
}

void SoundSlotSetPosition(int32_t n) {
  SoundSlot& s = Slot(n);
  if (!g_soundCmd.available || s.channel == -1 || !s.is3D) return;
  float position[3], velocity[3] = {0, 0, 0};
  if (!SoundGetChannel3DAttributes(s.channel, position, velocity)) return;
  SoundSetChannel3DAttributes(s.channel, s.position, velocity);
}

bool SoundSlotIsPlaying(int32_t n) {
  const SoundSlot& s = Slot(n);
  return s.sample && s.channel != -1 && SoundIsChannelPlaying(s.channel);
}

void ResetSlotMarks(int32_t n) {
  SoundSlot& s = Slot(n);
  s.type = 0;
  s.playing = s.paused = s.looping = 0;
  s.pausedByFocus = 0;
  s.volumePercent = 100;
  s.pan = 0;
}

void SetListenerPosition(float x, float y, float z) {
  if (!g_soundCmd.available) return;
  const float position[3] = {x, y, z}, still[3] = {0, 0, 0};
  const float* f = g_soundCmd.listenerForward;
  const float* t = g_soundCmd.listenerTop;
  Sound3DSetListener(position, still, f[0], f[1], f[2], t[0], t[1], t[2]);
}

void SetListenerAngles(float ax, float ay, float az) {
  if (!g_soundCmd.available) return;
  float* f = g_soundCmd.listenerForward;
  float* t = g_soundCmd.listenerTop;
  Sound3DVectorsFromAngles(ax, ay, az, f, t);
  float position[3], velocity[3], unused[6];
  Sound3DGetListener(position, velocity, &unused[0], &unused[1], &unused[2], &unused[3], &unused[4], &unused[5]);
  Sound3DSetListener(position, velocity, f[0], f[1], f[2], t[0], t[1], t[2]);
}

void SetListenerScale(float scale) { Sound3DSetDistanceFactor(scale); }
