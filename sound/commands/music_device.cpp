#include "sound/commands/music_device.h"

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/midi_synth.h"
#include "sound/commands/midi_file.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/sound_engine.h"
#include "sound/engine/streams/streams.h"

namespace {

// Longest music file read: 64 MiB.
constexpr uint64_t kMaxMusicFileBytes = uint64_t(64) << 20;
// Music streams are 2D: the 3D pass leaves their channels alone. Their channels are reserved by
// the stream, so sounds never take them.
constexpr uint32_t kMusicStreamMode = kSound2D;

// The common part of every device: the engine stream it plays through and the play state.
// Without the engine the device keeps its position by the clock alone.
class StreamedDevice : public MusicDevice {
 public:
  ~StreamedDevice() override { Detach(); }
  int32_t LengthMs() const override { return lengthMs_; }
  int32_t PositionMs() override {
    int64_t ms = heldMs_;
    if (started_ && streamed_) ms = StreamedMs();
    else if (started_ && !paused_) ms += int64_t(TimeMs() - clockStart_);
    return int32_t(std::clamp<int64_t>(ms, 0, lengthMs_));
  }
  bool Play(int32_t fromMs) override {
    const int32_t at = PositionMs();
    if (started_ && fromMs < 0 && at < lengthMs_) return Resume();  // on from where it stands
    return Start(fromMs >= 0 ? std::min(fromMs, lengthMs_) : at >= lengthMs_ ? 0 : at);
  }
  bool Stop() override {
    if (streamed_) {
      StreamStop(stream_);
      StreamSetPaused(stream_, false);
    }
    started_ = paused_ = false;
    heldMs_ = 0;
    return true;
  }
  bool Pause() override {
    if (!started_ || paused_) return true;
    if (streamed_) {
      StreamSetPaused(stream_, true);
    } else {
      heldMs_ = PositionMs();
    }
    paused_ = true;
    return true;
  }
  bool Resume() override {
    if (!paused_) return true;
    if (streamed_) StreamSetPaused(stream_, false);
    clockStart_ = TimeMs();
    paused_ = false;
    return true;
  }

 protected:
  // Takes the stream; it plays only while the engine runs.
  void Attach(SoundStream* stream) {
    stream_ = stream;
    streamed_ = g_soundCmd.available && stream;
  }
  // Closes the stream; a derived device does so first when it goes, before what its fill reads
  // is released.
  void Detach() {
    if (stream_) StreamClose(stream_);
    stream_ = nullptr;
    streamed_ = false;
  }
  // Moves the stopped stream's source to a position.
  virtual void SeekSource(int32_t ms) = 0;
  // The position of a playing stream: the stream's own time, which a seek sets.
  virtual int64_t StreamedMs() { return StreamGetTime(stream_); }

  SoundStream* stream_ = nullptr;
  int32_t lengthMs_ = 0;
  int64_t heldMs_ = 0;  // where the last start or pause left it

 private:
  bool Start(int32_t ms) {
    if (streamed_) {
      StreamStop(stream_);
      SeekSource(ms);
      StreamSetPaused(stream_, false);
      if (StreamPlay(kSoundFreeChannel, stream_) < 0) {
        started_ = paused_ = false;
        heldMs_ = ms;
        return false;
      }
    }
    heldMs_ = ms;
    clockStart_ = TimeMs();
    started_ = true;
    paused_ = false;
    return true;
  }

  bool streamed_ = false;
  bool started_ = false, paused_ = false;
  uint32_t clockStart_ = 0;  // clock when it last started moving
};

// WAV and MPEG audio: the file's bytes read by an engine stream, which decodes them as it plays.
class PcmDevice : public StreamedDevice {
 public:
  bool Init(std::string&& bytes) {
    bytes_ = std::move(bytes);
    SoundStream* stream = StreamOpen(bytes_.data(), kMusicStreamMode | kSoundMemory | kSoundMpegAccurate,
                                     int32_t(bytes_.size()));
    if (!stream) return false;
    lengthMs_ = StreamGetLengthMs(stream);
    Attach(stream);
    return true;
  }

 private:
  void SeekSource(int32_t ms) override { StreamSetTime(stream_, ms); }

  std::string bytes_;  // the stream reads them in place
};

// MIDI: rendered by the synthesiser into a caller-filled stream, half a buffer at a time.
class MidiDevice : public StreamedDevice {
 public:
  ~MidiDevice() override {
    Detach();
    MidiClose(midi_);
  }
  bool Init(const std::string& song, int64_t lengthMs, std::string* why) {
    lengthMs_ = int32_t(std::min<int64_t>(lengthMs, INT32_MAX));
    rate_ = g_soundCmd.available ? SoundGetMixRate() : 44100;
    if (rate_ <= 0) rate_ = 44100;
    midi_ = MidiOpenSong(song, rate_, why);
    if (!midi_) return false;
    totalFrames_ = int64_t(lengthMs_) * rate_ / 1000;
    if (!g_soundCmd.available) return true;
    // Halves of 100 ms of 16-bit stereo at the mix rate.
    SoundStream* stream = StreamCreate(Fill, rate_ / 10 * 4, kMusicStreamMode | kSound16Bits | kSoundStereo, rate_, this);
    if (!stream) return false;
    Attach(stream);
    return true;
  }

 private:
  // Runs on the stream thread, never while the stream is stopped for a seek.
  static bool Fill(SoundStream*, void* dest, int32_t bytes, void* user) {
    MidiDevice* d = static_cast<MidiDevice*>(user);
    const int32_t frames = bytes / 4;
    MidiRender(d->midi_, static_cast<int16_t*>(dest), frames);
    d->rendered_ += frames;
    return d->rendered_ < d->totalFrames_;
  }
  void SeekSource(int32_t ms) override {
    // The synthesiser only plays forwards: back to the start, then rendered up to the frame.
    MidiRewind(midi_);
    int64_t frame = int64_t(ms) * rate_ / 1000;
    rendered_ = frame;
    std::vector<int16_t> scratch(4096 * 2);
    while (frame > 0) {
      const int32_t n = int32_t(std::min<int64_t>(frame, 4096));
      MidiRender(midi_, scratch.data(), n);
      frame -= n;
    }
  }
  // A caller-filled stream counts its time from the start of each play.
  int64_t StreamedMs() override { return heldMs_ + StreamGetTime(stream_); }

  MidiRenderer* midi_ = nullptr;
  int32_t rate_ = 44100;
  int64_t rendered_ = 0, totalFrames_ = 0;
};

}  // namespace

std::unique_ptr<MusicDevice> MusicDevice::Open(const std::string& hostPath, std::string* why) {
  std::string bytes;
  std::string cause;
  if (!why) why = &cause;
  switch (FsReadRegularFile(hostPath, bytes, kMaxMusicFileBytes, false)) {
    case FsRead::kOk: break;
    case FsRead::kMissing: *why = "not found"; return nullptr;
    case FsRead::kNotRegular: *why = "not a regular file"; return nullptr;
    case FsRead::kTooLarge: *why = "too large"; return nullptr;
    case FsRead::kFailed: *why = "cannot be read"; return nullptr;
  }
  if (bytes.empty()) {
    *why = "empty";
    return nullptr;
  }
  // A MIDI file, bare or in its RIFF wrapper, is played from the song's own bytes; one that is
  // damaged or asks too much is refused saying so.
  const std::string_view song = MidiFileBody(bytes);
  const int64_t midiMs = MidiFileLengthMs(reinterpret_cast<const uint8_t*>(song.data()), song.size(), why);
  if (midiMs >= 0) {
    auto device = std::make_unique<MidiDevice>();
    if (!device->Init(std::string(song), midiMs, why)) return nullptr;
    return device;
  }
  if (!why->empty()) return nullptr;
  if (song.size() != bytes.size()) {
    *why = song.empty() ? "damaged: an RMID file without its MIDI data" : "damaged: an RMID file whose data is no MIDI file";
    return nullptr;
  }
  auto device = std::make_unique<PcmDevice>();
  if (!device->Init(std::move(bytes))) {
    *why = SoundGetError() == kSoundErrFileBad ? SoundDamageRefusal() : SoundFormatRefusal();
    return nullptr;
  }
  return device;
}
