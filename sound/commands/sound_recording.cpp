// Recording into a numbered sound (with the leading silence cut off) and saving a sound as a
// WAV file.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "core/pack.h"
#include "platform/fs.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/sound_engine.h"

namespace {

constexpr uint32_t kRecordMode = kSound2D | kSoundMono | kSound16Bits;  // recorded sounds are 2D
constexpr int32_t kRecordRate = 44100;
// Longest recording (ten minutes): the sample is allocated whole before recording starts.
constexpr int32_t kMaxRecordSeconds = 600;
// Frames whose value lies within this of zero count as silence before the first sound.
constexpr int32_t kSilence = 2048;

void Put16(std::string* out, uint32_t v) {
  out->push_back(char(v & 0xFF));
  out->push_back(char((v >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// Copies `bytes` bytes from the locked sample to out (both pieces of a wrapped lock).
bool ReadSample(SoundSample* sample, uint32_t bytes, std::string* out) {
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t l1 = 0, l2 = 0;
  if (!SoundSampleLock(sample, 0, bytes, &p1, &p2, &l1, &l2)) return false;
  if (p1) out->append(static_cast<const char*>(p1), l1);
  if (p2) out->append(static_cast<const char*>(p2), l2);
  SoundSampleUnlock(sample, p1, p2, l1, l2);
  return out->size() == bytes;
}

}  // namespace

void BuildWavFile(const WavFormat& format, const void* data, uint32_t bytes, std::string* out) {
  const uint32_t block = uint32_t(format.channels) * uint32_t(format.bits / 8);
  out->clear();
  out->reserve(44 + size_t(bytes));
  out->append("RIFF");
  Put32(out, bytes + 36);
  out->append("WAVEfmt ");
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, uint32_t(format.channels));
  Put32(out, uint32_t(format.rate));
  Put32(out, uint32_t(format.rate) * block);
  Put16(out, block);
  Put16(out, uint32_t(format.bits));
  out->append("data");
  Put32(out, bytes);
  const size_t start = out->size();
  out->append(static_cast<const char*>(data), bytes);
  if (format.bits == 8)
    for (size_t k = start; k < out->size(); ++k) (*out)[k] = char(uint8_t((*out)[k]) ^ 0x80);
}

bool SoundSlotRecord(int32_t n, int32_t seconds) {
  if (seconds < 1) seconds = 5;
  seconds = std::min(seconds, kMaxRecordSeconds);
  SoundSlot& s = g_soundCmd.slots[n];
  g_soundCmd.recordRefused = 0;
  if (SoundGetOutput() == 0 || SoundRecordGetNumDrivers() < 1) {
    // No input device (the no-sound output of a headless run lists one that never starts):
    // nothing to record from, which is no fault of the program.
    g_soundCmd.recordRefused = 1;
    return false;
  }
  SoundSample* sample = SoundSampleAlloc(kSoundUnlisted, seconds * kRecordRate, kRecordMode, kRecordRate, 255, 128, 255);
  if (!sample) return false;
  s.sample = sample;
  s.owner = 1;  // a delete while recording frees it
  g_soundCmd.recordingSlot = n;
  if (!SoundRecordStart(sample, false)) {
    SoundSampleFree(sample);
    s.sample = nullptr;
    s.owner = 0;
    g_soundCmd.recordingSlot = 0;
    return false;
  }
  return true;
}

int32_t SoundSlotStopRecording() {
  const int32_t n = g_soundCmd.recordingSlot;
  if (n == 0) return 0;
  SoundSlot& s = g_soundCmd.slots[n];
  SoundSample* recording = s.sample;
  int64_t count = SoundRecordGetPosition();
  SoundRecordStop();
  g_soundCmd.recordingSlot = 0;
  count = std::clamp<int64_t>(count, 0, recording ? int64_t(SoundSampleGetLength(recording)) : 0);

  SoundSample* kept = nullptr;
  std::string pcm;
  if (count > 0 && ReadSample(recording, uint32_t(count * 2), &pcm)) {
    int64_t lead = 0;
    for (; lead < count; ++lead) {
      int16_t v;
      std::memcpy(&v, pcm.data() + lead * 2, 2);
      if (v < -kSilence || v > kSilence) break;
    }
    if (lead < count) {
      kept = SoundSampleAlloc(kSoundFreeSample, int32_t(count - lead), kRecordMode, kRecordRate, 255, 128, 0);
      if (kept && !SoundSampleUpload(kept, pcm.data() + lead * 2, kSound16Bits | kSoundMono)) {
        SoundSampleFree(kept);
        kept = nullptr;
      }
    }
  }
  if (recording) SoundSampleFree(recording);
  s.sample = nullptr;
  s.owner = 0;
  if (!kept) return 0;
  SoundSlotDelete(n);
  int32_t frequency = kRecordRate, volume = 255, pan = 128, priority = 0;
  SoundSampleGetDefaults(kept, &frequency, &volume, &pan, &priority);
  s.sample = kept;
  s.channel = -1;
  s.frequency = s.speed = frequency;
  s.engineVolume = volume;
  s.owner = 1;
  s.exists = 1;
  s.is3D = 0;
  s.position[0] = s.position[1] = s.position[2] = 0;
  return n;
}

bool SaveSoundAsWav(const char* file, int32_t n, std::string* why) {
  auto fail = [&](const std::string& cause) {
    if (why) *why = cause;
    return false;
  };
  SoundSample* sample = g_soundCmd.slots[n].sample;
  if (!sample) return fail("the sound does not exist");
  if (!file || !*file) return fail("no name given");
  const uint32_t mode = SoundSampleGetMode(sample);
  WavFormat format;
  format.bits = (mode & kSound8Bits) ? 8 : 16;
  format.channels = (mode & kSoundStereo) ? 2 : 1;
  int32_t frequency = 44100, volume = 0, pan = 0, priority = 0;
  if (SoundSampleGetDefaults(sample, &frequency, &volume, &pan, &priority) && frequency > 0) format.rate = frequency;
  const uint64_t bytes = uint64_t(SoundSampleGetLength(sample)) * uint64_t(format.channels) * uint64_t(format.bits / 8);
  if (bytes > 0xFFFFFFFFull - 44) return fail("too large for a WAV file");
  std::string data;
  if (bytes > 0 && !ReadSample(sample, uint32_t(bytes), &data)) return fail("its samples cannot be read");
  std::string image;
  BuildWavFile(format, data.data(), uint32_t(data.size()), &image);
  MakePackedFoldersFor(file);
  if (FsWriteFileAtomic(file, image)) return true;
  return fail(FsProgramWriteCause(file, errno));
}
