// WAV format set-up and the whole-file WAV loader.
#include <algorithm>
#include <cstring>
#include <string>

#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_loaders.h"

namespace {

// Highest sample rate taken: far above any recording, and low enough that the frame counts
// and buffer sizes worked out from it stay within 32 bits.
constexpr uint32_t kMaxWavRate = 1000000;

}  // namespace

bool OpenWavFormat(SoundFile* file, WavSource* out, SoundLoopPoints* loop, SoundCueList* cues) {
  *out = WavSource{};
  if (!file) return false;
  std::vector<uint8_t> fmt;
  uint32_t length = 0;
  if (!ParseRiffWave(file, &fmt, &out->data_offset, &length, cues, loop)) return false;
  const WaveFormatInfo src = WaveFormatFrom(fmt);
  if (src.rate > kMaxWavRate) {
    SoundFilesSetUnsupported("a WAV of " + std::to_string(src.rate) + " Hz (at most " + std::to_string(kMaxWavRate) + ")");
    return false;
  }
  WaveFormatInfo dst{};
  const bool plain = src.tag == kWaveFormatPcm && (src.bits == 8 || src.bits == 16) && src.channels >= 1 &&
                     src.channels <= 2 && src.rate > 0;
  if (plain) {
    dst = src;
    out->converted_length = length;
  } else {
    std::string why;
    if (!WavCodecSuggest(fmt, &dst, &why) || !(out->codec = WavCodecOpen(fmt))) {
      SoundFilesSetUnsupported(why);
      return false;
    }
    out->converted_length = WavCodecSize(out->codec, length);
  }
  out->source_length = length;
  out->mode = (dst.bits == 8 ? kSoundMode8Bits | kSoundModeUnsigned : dst.bits == 16 ? kSoundMode16Bits | kSoundModeSigned : 0) |
              (dst.channels == 1 ? kSoundModeMono : kSoundModeStereo);
  out->frequency = (int32_t)dst.rate;
  out->block_align = src.block_align;
  return true;
}

void CloseSampleAcm(WavSource* source) {
  if (source->codec) WavCodecClose(source->codec);
  source->codec = nullptr;
}

bool DecodeWavFileToPcm(SoundFile* file, uint32_t mode, SoundFilePcm* out) {
  WavSource src;
  SoundLoopPoints loop;
  if (!OpenWavFormat(file, &src, &loop, nullptr)) return false;
  if (src.converted_length > kMaxSampleBytes) {
    NoteSizeLimit();
    CloseSampleAcm(&src);
    SoundFilesSetError(12);
    return false;
  }
  *out = SoundFilePcm{};
  out->mode = (mode & ~kSoundModeFormatBits) | src.mode;
  out->frequency = src.frequency;
  std::vector<uint8_t> raw;
  SoundFileSeek(file, (int32_t)src.data_offset, 0);
  if (src.codec) {
    raw.resize(src.source_length);
    raw.resize(SoundFileRead(raw.data(), src.source_length, file));
    out->data.resize(src.converted_length);
    uint32_t produced = src.converted_length;
    AcmConvertBlock(src.codec, raw.data(), (uint32_t)raw.size(), out->data.data(), &produced);
    out->data.resize(produced);
  } else {
    out->data.resize(src.source_length);
    out->data.resize(SoundFileRead(out->data.data(), src.source_length, file));
  }
  const int frame = (out->mode & kSoundMode16Bits ? 2 : 1) * (out->mode & kSoundModeStereo ? 2 : 1);
  out->data.resize(out->data.size() / frame * frame);
  if (out->mode & kSoundMode8Bits)
    for (uint8_t& b : out->data) b ^= 0x80;  // unsigned to signed
  CloseSampleAcm(&src);
  const int32_t samples = out->Samples();
  if (samples < 1) {
    SoundFilesSetError(14);  // no whole sample in the data
    return false;
  }
  if (loop.start || loop.end) {
    out->loop_start = loop.start;
    out->loop_end = loop.end;
    out->loop_from_file = true;
  } else {
    out->loop_start = 0;
    out->loop_end = samples - 1;
  }
  return true;
}
