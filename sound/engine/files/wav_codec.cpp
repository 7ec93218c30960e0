#include "sound/engine/files/wav_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

enum class Kind { Pcm8, Pcm16, Pcm24, Pcm32, Float32, Float64, ALaw, MuLaw, ImaAdpcm, MsAdpcm };

const int16_t kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int8_t kImaIndex[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

const int kMsAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
const int16_t kMsCoefs[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};

inline int16_t Clip16(int v) { return (int16_t)std::clamp(v, -32768, 32767); }

inline void Put16(uint8_t* p, int16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)((uint16_t)v >> 8);
}

int16_t MuLaw(uint8_t b) {
  const int u = ~b & 0xFF;
  int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
  return (int16_t)((u & 0x80) ? 0x84 - t : t - 0x84);
}

int16_t ALaw(uint8_t b) {
  const int a = b ^ 0x55;
  int t = (a & 0x0F) << 4;
  const int seg = (a & 0x70) >> 4;
  if (seg == 0) t += 8;
  else if (seg == 1) t += 0x108;
  else t = (t + 0x108) << (seg - 1);
  return (int16_t)((a & 0x80) ? t : -t);
}

// Rounds a float sample (full scale 1.0) to 16 bits.
int16_t FromFloat(double v) {
  if (!(v == v)) return 0;  // NaN
  return Clip16((int)std::lround(v * 32768.0));
}

}  // namespace

struct WavCodec {
  Kind kind;
  int channels;
  int out_channels;           // channels of the output: more than two are mixed down to stereo
  uint32_t block;             // input bytes of one unit
  uint32_t samples_per_block; // ADPCM: samples per channel of a whole block
  std::vector<int16_t> coefs; // MS ADPCM coefficient pairs
  float gain[8][2];           // downmix: each input channel's share of left and right
};

namespace {

std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Text(const char* format, ...) {
  char text[96];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Speaker bits of the extensible format's channel mask, and the masks taken when a file gives
// none: the usual layouts for each channel count.
enum : uint32_t {
  kFrontLeft = 1, kFrontRight = 2, kFrontCentre = 4, kLowFrequency = 8, kBackLeft = 0x10, kBackRight = 0x20,
  kFrontLeftOfCentre = 0x40, kFrontRightOfCentre = 0x80, kBackCentre = 0x100, kSideLeft = 0x200, kSideRight = 0x400,
  kTopCentre = 0x800, kTopFrontLeft = 0x1000, kTopFrontCentre = 0x2000, kTopFrontRight = 0x4000,
  kTopBackLeft = 0x8000, kTopBackCentre = 0x10000, kTopBackRight = 0x20000,
};
const uint32_t kDefaultMasks[9] = {0, kFrontCentre, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};

// The downmix of more than two channels to stereo: left speakers go left, right ones right,
// centre ones to both at -3 dB, side and back ones to their side at -3 dB; the low-frequency
// channel is left out. A channel the mask does not place counts as a centre one. The gains are
// scaled so that full scale on every channel at once cannot clip.
void SetDownmix(WavCodec* c, uint32_t mask) {
  constexpr float kHalfPower = 0.70710678f;
  const uint32_t left = kFrontLeft | kFrontLeftOfCentre | kTopFrontLeft;
  const uint32_t right = kFrontRight | kFrontRightOfCentre | kTopFrontRight;
  const uint32_t rearLeft = kBackLeft | kSideLeft | kTopBackLeft, rearRight = kBackRight | kSideRight | kTopBackRight;
  float sum[2] = {0, 0};
  for (int k = 0; k < c->channels; k++) {
    const uint32_t speaker = mask & (~mask + 1);  // the lowest bit left: the speaker of channel k
    mask &= mask - 1;
    float* g = c->gain[k];
    g[0] = g[1] = 0;
    if (speaker & left) g[0] = 1;
    else if (speaker & right) g[1] = 1;
    else if (speaker & rearLeft) g[0] = kHalfPower;
    else if (speaker & rearRight) g[1] = kHalfPower;
    else if (!(speaker & kLowFrequency)) g[0] = g[1] = kHalfPower;  // centre speakers, and a channel no bit places
    sum[0] += g[0];
    sum[1] += g[1];
  }
  const float scale = 1.0f / std::max({sum[0], sum[1], 1.0f});
  for (int k = 0; k < c->channels; k++) c->gain[k][0] *= scale, c->gain[k][1] *= scale;
}

// What the codec makes of a format block; false, with what is not supported in *why, when it
// cannot convert it.
bool Describe(const std::vector<uint8_t>& fmt, WavCodec* c, std::string* why) {
  WaveFormatInfo f = WaveFormatFrom(fmt);
  if (f.channels < 1 || f.channels > 8) {
    *why = Text("a WAV of %u channels (1 to 8 are read)", f.channels);
    return false;
  }
  if (f.rate == 0) {
    *why = "a WAV of 0 Hz";
    return false;
  }
  uint16_t tag = f.tag;
  int bits = f.bits;
  uint32_t mask = 0;
  if (tag == kWaveFormatExtensible) {
    if (fmt.size() < 40 || f.extra_size < 22) {
      *why = "an extensible WAV without its sub-format";
      return false;
    }
    mask = ReadLe32(&fmt[20]);
    tag = ReadLe16(&fmt[24]);  // the sub-format's first two bytes are its format tag
  }
  if (mask == 0) mask = kDefaultMasks[f.channels];
  c->channels = f.channels;
  c->out_channels = std::min(c->channels, 2);
  if (c->channels > 2) SetDownmix(c, mask);
  c->coefs.clear();
  const uint32_t bytes = (uint32_t)(bits + 7) / 8;
  switch (tag) {
    case kWaveFormatPcm:
      if (bits == 8) c->kind = Kind::Pcm8;
      else if (bits == 16) c->kind = Kind::Pcm16;
      else if (bits == 24) c->kind = Kind::Pcm24;
      else if (bits == 32) c->kind = Kind::Pcm32;
      else return *why = Text("a %d-bit PCM WAV (8, 16, 24 and 32 bits are read)", bits), false;
      c->block = bytes * f.channels;
      return true;
    case kWaveFormatFloat:
      if (bits != 32 && bits != 64) return *why = Text("a %d-bit float WAV (32 and 64 bits are read)", bits), false;
      c->kind = bits == 32 ? Kind::Float32 : Kind::Float64;
      c->block = bytes * f.channels;
      return true;
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      if (bits != 8) return *why = Text("a %d-bit %s WAV", bits, tag == kWaveFormatALaw ? "A-law" : "mu-law"), false;
      c->kind = tag == kWaveFormatALaw ? Kind::ALaw : Kind::MuLaw;
      c->block = f.channels;
      return true;
    case kWaveFormatImaAdpcm: {
      *why = Text("an IMA ADPCM WAV of %u-bit codes in blocks of %u bytes", f.bits, f.block_align);
      if (bits != 4 || f.block_align < 4u * f.channels + 4u * f.channels) return false;
      if ((f.block_align - 4 * f.channels) % (4 * f.channels)) return false;
      c->kind = Kind::ImaAdpcm;
      c->block = f.block_align;
      c->samples_per_block = (f.block_align - 4 * f.channels) * 2 / f.channels + 1;
      return true;
    }
    case kWaveFormatMsAdpcm: {
      *why = Text("an MS ADPCM WAV of %u-bit codes in blocks of %u bytes", f.bits, f.block_align);
      if (bits != 4 || f.block_align < 7u * f.channels) return false;
      c->kind = Kind::MsAdpcm;
      c->block = f.block_align;
      c->samples_per_block = (f.block_align - 7 * f.channels) * 2 / f.channels + 2;
      int n = 0;
      if (f.extra_size >= 4 && fmt.size() >= 22) n = ReadLe16(&fmt[20]);
      if (n > 0 && fmt.size() >= 22u + 4u * n) {
        for (int i = 0; i < n; i++) {
          c->coefs.push_back((int16_t)ReadLe16(&fmt[22 + 4 * i]));
          c->coefs.push_back((int16_t)ReadLe16(&fmt[24 + 4 * i]));
        }
      } else {
        for (auto& p : kMsCoefs) c->coefs.insert(c->coefs.end(), p, p + 2);
      }
      return true;
    }
    default:
      *why = Text("a WAV of encoding 0x%04X", tag);
      return false;
  }
}

// Whether 8-bit PCM passes through as it is (the caller flips its sign): mono and stereo do.
bool Passes8(const WavCodec* c) { return c->kind == Kind::Pcm8 && c->channels == c->out_channels; }

// Writes one frame of `channels` samples as the output's channels (mixed down when fewer).
void EmitFrame(const WavCodec* c, const int16_t* frame, uint8_t* dest) {
  if (c->channels == c->out_channels) {
    for (int k = 0; k < c->channels; k++) Put16(dest + 2 * k, frame[k]);
    return;
  }
  float l = 0, r = 0;
  for (int k = 0; k < c->channels; k++) l += frame[k] * c->gain[k][0], r += frame[k] * c->gain[k][1];
  Put16(dest, Clip16((int)std::lround(l)));
  Put16(dest + 2, Clip16((int)std::lround(r)));
}

// Samples per channel of an ADPCM block of `bytes` input bytes (a short last block included).
uint32_t AdpcmSamples(const WavCodec* c, uint32_t bytes) {
  const uint32_t ch = c->channels;
  if (c->kind == Kind::ImaAdpcm) {
    if (bytes < 4 * ch) return 0;
    return (bytes - 4 * ch) / (4 * ch) * 8 + 1;
  }
  if (bytes < 7 * ch) return 0;
  return (bytes - 7 * ch) * 2 / ch + 2;
}

uint32_t DecodeIma(const WavCodec* c, const uint8_t* in, uint32_t bytes, int16_t* out) {
  const int ch = c->channels;
  const uint32_t n = AdpcmSamples(c, bytes);
  if (!n) return 0;
  int pred[8], index[8];
  for (int k = 0; k < ch; k++) {
    pred[k] = (int16_t)ReadLe16(in + 4 * k);
    index[k] = std::min<int>(in[4 * k + 2], 88);
    out[k] = (int16_t)pred[k];
  }
  const uint8_t* p = in + 4 * ch;
  for (uint32_t s = 1; s < n; s += 8) {  // 8 samples per channel from each 4-byte word
    for (int k = 0; k < ch; k++, p += 4)
      for (int j = 0; j < 8; j++) {
        const int nib = (p[j >> 1] >> ((j & 1) * 4)) & 15;
        const int step = kImaSteps[index[k]];
        int diff = step >> 3;
        if (nib & 4) diff += step;
        if (nib & 2) diff += step >> 1;
        if (nib & 1) diff += step >> 2;
        pred[k] = std::clamp(nib & 8 ? pred[k] - diff : pred[k] + diff, -32768, 32767);
        index[k] = std::clamp(index[k] + kImaIndex[nib & 7], 0, 88);
        out[(s + j) * ch + k] = (int16_t)pred[k];
      }
  }
  return n * ch;
}

uint32_t DecodeMs(const WavCodec* c, const uint8_t* in, uint32_t bytes, int16_t* out) {
  const int ch = c->channels;
  const uint32_t n = AdpcmSamples(c, bytes);
  if (!n) return 0;
  const int ncoef = (int)c->coefs.size() / 2;
  int c1[8], c2[8], delta[8], s1[8], s2[8];
  for (int k = 0; k < ch; k++) {
    const int pi = std::min<int>(in[k], ncoef - 1);
    c1[k] = c->coefs[2 * pi];
    c2[k] = c->coefs[2 * pi + 1];
    delta[k] = (int16_t)ReadLe16(in + ch + 2 * k);
    s1[k] = (int16_t)ReadLe16(in + 3 * ch + 2 * k);
    s2[k] = (int16_t)ReadLe16(in + 5 * ch + 2 * k);
    out[k] = (int16_t)s2[k];
    out[ch + k] = (int16_t)s1[k];
  }
  const uint8_t* p = in + 7 * ch;
  const uint32_t total = n * ch;
  for (uint32_t i = 2 * ch; i < total; i++) {
    const int k = (int)(i % ch);
    const int nib = ((i - 2 * ch) & 1) ? (*p++ & 15) : (*p >> 4);
    const int signed_nib = nib >= 8 ? nib - 16 : nib;
    int pred = (s1[k] * c1[k] + s2[k] * c2[k]) >> 8;
    pred = std::clamp(pred + signed_nib * delta[k], -32768, 32767);
    s2[k] = s1[k];
    s1[k] = pred;
    delta[k] = std::clamp((int)(((int64_t)kMsAdapt[nib] * delta[k]) >> 8), 16, 1 << 23);  // damaged data cannot overflow
    out[i] = (int16_t)pred;
  }
  return total;
}

}  // namespace

bool WavCodecSuggest(const std::vector<uint8_t>& source_format, WaveFormatInfo* target, std::string* why) {
  WavCodec c{};
  std::string reason;
  if (!Describe(source_format, &c, why ? why : &reason)) return false;
  const WaveFormatInfo f = WaveFormatFrom(source_format);
  const uint16_t channels = (uint16_t)c.out_channels, bits = Passes8(&c) ? 8 : 16;
  *target = WaveFormatInfo{kWaveFormatPcm, channels, f.rate, f.rate * channels * bits / 8u,
                           (uint16_t)(channels * bits / 8), bits, 0};
  return true;
}

WavCodec* WavCodecOpen(const std::vector<uint8_t>& source_format) {
  WavCodec* c = new WavCodec{};
  std::string why;
  if (!Describe(source_format, c, &why)) {
    delete c;
    return nullptr;
  }
  return c;
}

void WavCodecClose(WavCodec* codec) { delete codec; }

uint32_t WavCodecBlock(const WavCodec* c) { return c->block; }

uint32_t WavCodecSize(const WavCodec* c, uint32_t source_bytes) {
  const uint64_t units = source_bytes / c->block, rest = source_bytes % c->block;
  uint64_t out;
  switch (c->kind) {
    case Kind::ImaAdpcm:
    case Kind::MsAdpcm:
      out = (units * c->samples_per_block + AdpcmSamples(c, (uint32_t)rest)) * c->out_channels * 2;
      break;
    default:
      out = units * c->out_channels * (Passes8(c) ? 1 : 2);
      break;
  }
  return (uint32_t)std::min<uint64_t>(out, UINT32_MAX);
}

uint32_t WavCodecConvert(WavCodec* c, const uint8_t* in, uint32_t length, uint8_t* dest, uint32_t dest_length) {
  uint32_t written = 0;
  const int ch = c->channels;
  const uint32_t out_frame = 2u * c->out_channels;
  if (c->kind == Kind::ImaAdpcm || c->kind == Kind::MsAdpcm) {
    std::vector<int16_t> block((size_t)c->samples_per_block * ch);
    for (uint32_t pos = 0; pos < length; pos += c->block) {
      const uint32_t bytes = std::min(c->block, length - pos);
      const uint32_t n = (c->kind == Kind::ImaAdpcm ? DecodeIma(c, in + pos, bytes, block.data())
                                                    : DecodeMs(c, in + pos, bytes, block.data())) / ch;
      const uint32_t fit = std::min(n, (dest_length - written) / out_frame);
      for (uint32_t i = 0; i < fit; i++) EmitFrame(c, &block[(size_t)i * ch], dest + written + i * out_frame);
      written += fit * out_frame;
      if (fit < n) break;
    }
    return written;
  }
  if (Passes8(c)) {
    const uint32_t n = std::min(length / c->block, dest_length / ch) * ch;
    std::memcpy(dest, in, n);
    return n;
  }
  const uint32_t frames = std::min(length / c->block, dest_length / out_frame);
  int16_t frame[8];
  for (uint32_t i = 0; i < frames * ch; i++) {
    int16_t v = 0;
    switch (c->kind) {
      case Kind::Pcm8: v = (int16_t)((in[i] - 128) * 256); break;
      case Kind::Pcm16: v = (int16_t)ReadLe16(in + 2 * i); break;
      case Kind::Pcm24: {
        const int32_t s = (int32_t)((uint32_t)in[3 * i] << 8 | (uint32_t)in[3 * i + 1] << 16 | (uint32_t)in[3 * i + 2] << 24);
        v = Clip16((int)(((int64_t)s + 0x8000) >> 16));
        break;
      }
      case Kind::Pcm32: v = Clip16((int)(((int64_t)(int32_t)ReadLe32(in + 4 * i) + 0x8000) >> 16)); break;
      case Kind::Float32: {
        float f;
        std::memcpy(&f, in + 4 * i, 4);
        v = FromFloat(f);
        break;
      }
      case Kind::Float64: {
        double d;
        std::memcpy(&d, in + 8 * i, 8);
        v = FromFloat(d);
        break;
      }
      case Kind::ALaw: v = ALaw(in[i]); break;
      case Kind::MuLaw: v = MuLaw(in[i]); break;
      default: break;
    }
    frame[i % ch] = v;
    if (i % ch == (uint32_t)ch - 1) EmitFrame(c, frame, dest + i / ch * out_frame);
  }
  return frames * out_frame;
}

bool AcmConvertBlock(WavCodec* codec, const uint8_t* source, uint32_t source_length, uint8_t* dest,
                     uint32_t* dest_length) {
  *dest_length = WavCodecConvert(codec, source, source_length, dest, *dest_length);
  return true;
}
