#include "sound/commands/music_device.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/midi_synth.h"
#include "sound/commands/midi_file.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/files/sound_loaders.h"
#include "sound/engine/sound_engine.h"

namespace {

// After the channel mix and the streams, before the block is written out.
constexpr int32_t kMusicDspPriority = 900;
// Longest music file read: 64 MiB.
constexpr uint64_t kMaxMusicFileBytes = uint64_t(64) << 20;

int16_t Saturate(int32_t v) { return int16_t(std::clamp(v, -32768, 32767)); }

// The common part of every device: play state, the position in output frames, the engine's
// DSP unit it mixes through, or the clock it is timed by without one.
class MixedDevice : public MusicDevice {
 public:
  ~MixedDevice() override { Detach(); }
  int32_t LengthMs() const override { return lengthMs_; }
  int32_t PositionMs() override {
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t ms = unit_ ? frames_ * 1000 / rate_ : clockMs_ + (Running() ? int64_t(TimeMs() - clockStart_) : 0);
    return int32_t(std::clamp<int64_t>(ms, 0, lengthMs_));
  }
  bool Play(int32_t fromMs) override {
    const int32_t at = PositionMs();
    std::lock_guard<std::mutex> lock(mutex_);
    if (fromMs >= 0 || at >= lengthMs_) {
      Seek(std::clamp(fromMs, 0, lengthMs_));
    } else {
      clockMs_ = at;  // on from where it stands
    }
    playing_ = true;
    paused_ = false;
    clockStart_ = TimeMs();
    return true;
  }
  bool Stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = paused_ = false;
    Seek(0);
    return true;
  }
  bool Pause() override {
    const int32_t at = PositionMs();
    std::lock_guard<std::mutex> lock(mutex_);
    if (Running()) clockMs_ = at;
    if (playing_) paused_ = true;
    return true;
  }
  bool Resume() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_) {
      paused_ = false;
      clockStart_ = TimeMs();
    }
    return true;
  }

 protected:
  // Mixes through the engine when it runs; else the clock times the device.
  void Attach() {
    rate_ = g_soundCmd.available ? SoundGetMixRate() : 44100;
    if (rate_ <= 0) rate_ = 44100;
    if (!g_soundCmd.available) return;
    unit_ = DspCreateUnit(MixUnit, kMusicDspPriority, this);
    if (unit_) DspSetActive(unit_, true);
  }
  // Takes the device out of the mix; every derived device does so first when it goes, before
  // what the mixer thread reads is released.
  void Detach() {
    if (unit_) DspFreeUnit(unit_);
    unit_ = nullptr;
  }
  bool Running() const { return playing_ && !paused_; }
  // Moves to a position (the mutex held).
  void Seek(int32_t ms) {
    frames_ = int64_t(ms) * rate_ / 1000;
    clockMs_ = ms;
    SeekSource(frames_);
  }
  virtual void SeekSource(int64_t frame) = 0;
  // Adds `frames` output frames from the source into the block.
  virtual void MixSource(int16_t* block, int32_t frames) = 0;

  int32_t lengthMs_ = 0;
  int32_t rate_ = 44100;

 private:
  static void* MixUnit(void*, void* input, int32_t length, void* user) {
    MixedDevice* d = static_cast<MixedDevice*>(user);
    std::lock_guard<std::mutex> lock(d->mutex_);
    if (!d->Running() || d->frames_ * 1000 / d->rate_ >= d->lengthMs_) return input;
    d->MixSource(static_cast<int16_t*>(input), length);
    d->frames_ += length;
    return input;
  }

  std::mutex mutex_;
  SoundDspUnit* unit_ = nullptr;
  bool playing_ = false, paused_ = false;
  int64_t frames_ = 0;       // output frames played
  int64_t clockMs_ = 0;      // clock-timed position when it last stood still
  uint32_t clockStart_ = 0;  // clock when it last started moving
};

// WAV and MPEG audio: the file decoded to 16-bit PCM, resampled to the mix rate as it plays.
class PcmDevice : public MixedDevice {
 public:
  ~PcmDevice() override { Detach(); }
  bool Init(SoundFilePcm&& pcm) {
    channels_ = (pcm.mode & kSoundModeStereo) ? 2 : 1;
    sourceRate_ = pcm.frequency;
    if (sourceRate_ <= 0) return false;
    if (pcm.mode & kSoundMode8Bits) {
      samples_.resize(pcm.data.size());
      for (size_t k = 0; k < pcm.data.size(); ++k) samples_[k] = int16_t(int8_t(pcm.data[k]) * 256);
    } else {
      samples_.resize(pcm.data.size() / 2);
      std::memcpy(samples_.data(), pcm.data.data(), samples_.size() * 2);
    }
    const int64_t frames = int64_t(samples_.size()) / channels_;
    lengthMs_ = int32_t(frames * 1000 / sourceRate_);
    Attach();
    step_ = double(sourceRate_) / rate_;
    return true;
  }

 private:
  void SeekSource(int64_t frame) override { cursor_ = double(frame) * step_; }
  void MixSource(int16_t* block, int32_t frames) override {
    const int64_t last = int64_t(samples_.size()) / channels_ - 1;
    for (int32_t f = 0; f < frames; ++f, cursor_ += step_) {
      const int64_t i = int64_t(cursor_);
      if (i >= last) break;
      const double t = cursor_ - double(i);
      for (int c = 0; c < 2; ++c) {
        const int ch = channels_ == 2 ? c : 0;
        const double a = samples_[size_t(i * channels_ + ch)], b = samples_[size_t((i + 1) * channels_ + ch)];
        block[2 * f + c] = Saturate(block[2 * f + c] + int32_t(a + (b - a) * t));
      }
    }
  }

  std::vector<int16_t> samples_;
  int channels_ = 1;
  int32_t sourceRate_ = 44100;
  double step_ = 1, cursor_ = 0;
};

// MIDI: rendered by the synthesiser block by block as it plays.
class MidiDevice : public MixedDevice {
 public:
  ~MidiDevice() override {
    Detach();
    MidiClose(midi_);
  }
  bool Init(const std::string& path, int64_t lengthMs) {
    lengthMs_ = int32_t(std::min<int64_t>(lengthMs, INT32_MAX));
    Attach();
    std::string why;
    midi_ = MidiOpen(path, rate_, &why);
    return midi_ != nullptr;
  }

 private:
  void SeekSource(int64_t frame) override {
    // The synthesiser only plays forwards: back to the start, then rendered up to the frame.
    MidiRewind(midi_);
    std::vector<int16_t> scratch(4096 * 2);
    while (frame > 0) {
      const int32_t n = int32_t(std::min<int64_t>(frame, 4096));
      MidiRender(midi_, scratch.data(), n);
      frame -= n;
    }
  }
  void MixSource(int16_t* block, int32_t frames) override {
    buffer_.resize(size_t(frames) * 2);
    MidiRender(midi_, buffer_.data(), frames);
    for (size_t k = 0; k < buffer_.size(); ++k) block[k] = Saturate(block[k] + buffer_[k]);
  }

  MidiRenderer* midi_ = nullptr;
  std::vector<int16_t> buffer_;
};

std::unique_ptr<MusicDevice> OpenPcm(const std::string& bytes) {
  if (bytes.empty()) return nullptr;
  SoundFile* file = SoundFileOpen(bytes.data(), kSoundFileMemory, uint32_t(bytes.size()));
  if (!file) return nullptr;
  SoundFilePcm pcm;
  const bool ok = (DecodeWavFileToPcm(file, kSoundMode16Bits, &pcm) || DecodeMpegFileToPcm(file, kSoundMode16Bits, &pcm));
  SoundFileClose(file);
  if (!ok) return nullptr;
  auto device = std::make_unique<PcmDevice>();
  if (!device->Init(std::move(pcm))) return nullptr;
  return device;
}

}  // namespace

std::unique_ptr<MusicDevice> MusicDevice::Open(const std::string& hostPath) {
  std::string bytes;
  if (FsReadRegularFile(hostPath, bytes, kMaxMusicFileBytes, false) != FsRead::kOk) return nullptr;
  const int64_t midiMs = MidiFileLengthMs(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (midiMs >= 0) {
    auto device = std::make_unique<MidiDevice>();
    if (!device->Init(hostPath, midiMs)) return nullptr;
    return device;
  }
  return OpenPcm(bytes);
}
