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

// What is damaged in a format block, or "" when its fields describe something: a count of
// 0, an ADPCM block (its block align) that cannot hold its header, a chunk that ends before its
// fields. The block align of other encodings follows from channels and bits and is not read.
std::string FormatDamage(const std::vector<uint8_t>& fmt, const WaveFormatInfo& f) {
  if (f.channels == 0) return "the format chunk gives 0 channels";
  if (f.rate == 0) return "the format chunk gives a rate of 0 Hz";
  const auto tooSmall = [&](const char* codec, uint32_t header) {
    return std::string("an ") + codec + " block of " + std::to_string(f.block_align) +
           " bytes cannot hold its header of " + std::to_string(header);
  };
  if (f.tag == kWaveFormatImaAdpcm && f.block_align < 4u * f.channels) return tooSmall("IMA ADPCM", 4u * f.channels);
  if (f.tag == kWaveFormatMsAdpcm && f.block_align < 7u * f.channels) return tooSmall("MS ADPCM", 7u * f.channels);
  if (f.tag == kWaveFormatExtensible && (fmt.size() < 40 || f.extra_size < 22))
    return "the extensible format chunk ends before its sub-format";
  if (f.tag == kWaveFormatMsAdpcm && f.extra_size >= 4 && fmt.size() >= 22) {
    const uint32_t n = ReadLe16(&fmt[20]);
    if (fmt.size() < 22 + 4 * n) return "the MS ADPCM format chunk ends before its " + std::to_string(n) + " coefficients";
  }
  return "";
}

}  // namespace

bool OpenWavFormat(SoundFile* file, WavSource* out, SoundLoopPoints* loop, SoundCueList* cues) {
  *out = WavSource{};
  if (!file) return false;
  std::vector<uint8_t> fmt;
  uint32_t length = 0;
  if (!ParseRiffWave(file, &fmt, &out->data_offset, &length, cues, loop)) return false;
  const WaveFormatInfo src = WaveFormatFrom(fmt);
  if (const std::string damage = FormatDamage(fmt, src); !damage.empty()) {
    SoundFilesSetDamaged(damage);
    return false;
  }
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
  if (out->converted_length < (dst.bits / 8u) * dst.channels) {
    CloseSampleAcm(out);
    SoundFilesSetDamaged("the data chunk holds no whole sample");
    return false;
  }
  out->source_length = length;
  out->mode = (dst.bits == 8 ? kSoundMode8Bits | kSoundModeUnsigned : dst.bits == 16 ? kSoundMode16Bits | kSoundModeSigned : 0) |
              (dst.channels == 1 ? kSoundModeMono : kSoundModeStereo);
  out->frequency = (int32_t)dst.rate;
  out->block_align = plain ? src.channels * src.bits / 8u : src.block_align;
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
    SoundFilesSetDamaged("the data chunk holds no whole sample");
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
