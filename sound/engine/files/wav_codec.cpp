#include "sound/engine/files/wav_codec.h"

#include <algorithm>
#include <cmath>
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
  uint32_t block;             // input bytes of one unit
  uint32_t samples_per_block; // ADPCM: samples per channel of a whole block
  std::vector<int16_t> coefs; // MS ADPCM coefficient pairs
};

namespace {

bool Describe(const std::vector<uint8_t>& fmt, WavCodec* c) {
  WaveFormatInfo f = WaveFormatFrom(fmt);
  if (f.channels < 1 || f.channels > 8 || f.rate == 0) return false;
  uint16_t tag = f.tag;
  int bits = f.bits;
  if (tag == kWaveFormatExtensible) {
    if (fmt.size() < 40 || f.extra_size < 22) return false;
    tag = ReadLe16(&fmt[24]);  // the sub-format's first two bytes are its format tag
  }
  c->channels = f.channels;
  c->coefs.clear();
  const uint32_t bytes = (uint32_t)(bits + 7) / 8;
  switch (tag) {
    case kWaveFormatPcm:
      if (bits == 8) c->kind = Kind::Pcm8;
      else if (bits == 16) c->kind = Kind::Pcm16;
      else if (bits == 24) c->kind = Kind::Pcm24;
      else if (bits == 32) c->kind = Kind::Pcm32;
      else return false;
      c->block = bytes * f.channels;
      return true;
    case kWaveFormatFloat:
      if (bits != 32 && bits != 64) return false;
      c->kind = bits == 32 ? Kind::Float32 : Kind::Float64;
      c->block = bytes * f.channels;
      return true;
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      if (bits != 8) return false;
      c->kind = tag == kWaveFormatALaw ? Kind::ALaw : Kind::MuLaw;
      c->block = f.channels;
      return true;
    case kWaveFormatImaAdpcm: {
      if (bits != 4 || f.block_align < 4u * f.channels + 4u * f.channels) return false;
      if ((f.block_align - 4 * f.channels) % (4 * f.channels)) return false;
      c->kind = Kind::ImaAdpcm;
      c->block = f.block_align;
      c->samples_per_block = (f.block_align - 4 * f.channels) * 2 / f.channels + 1;
      return true;
    }
    case kWaveFormatMsAdpcm: {
      if (bits != 4 || f.channels > 2 || f.block_align < 7u * f.channels) return false;
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
      return false;
  }
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
  int c1[2], c2[2], delta[2], s1[2], s2[2];
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

bool WavCodecSuggest(const std::vector<uint8_t>& source_format, WaveFormatInfo* target) {
  WavCodec c{};
  if (!Describe(source_format, &c)) return false;
  const WaveFormatInfo f = WaveFormatFrom(source_format);
  *target = WaveFormatInfo{kWaveFormatPcm, f.channels, f.rate, f.rate * f.channels * 2u,
                           (uint16_t)(f.channels * 2), (uint16_t)(c.kind == Kind::Pcm8 ? 8 : 16), 0};
  return true;
}

WavCodec* WavCodecOpen(const std::vector<uint8_t>& source_format) {
  WavCodec* c = new WavCodec{};
  if (!Describe(source_format, c)) {
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
      out = (units * c->samples_per_block + AdpcmSamples(c, (uint32_t)rest)) * c->channels * 2;
      break;
    case Kind::Pcm8:
      out = units * c->channels;
      break;
    default:
      out = units * c->channels * 2;
      break;
  }
  return (uint32_t)std::min<uint64_t>(out, UINT32_MAX);
}

uint32_t WavCodecConvert(WavCodec* c, const uint8_t* in, uint32_t length, uint8_t* dest, uint32_t dest_length) {
  uint32_t written = 0;
  const int ch = c->channels;
  if (c->kind == Kind::ImaAdpcm || c->kind == Kind::MsAdpcm) {
    std::vector<int16_t> block((size_t)c->samples_per_block * ch);
    for (uint32_t pos = 0; pos < length; pos += c->block) {
      const uint32_t bytes = std::min(c->block, length - pos);
      const uint32_t n = c->kind == Kind::ImaAdpcm ? DecodeIma(c, in + pos, bytes, block.data())
                                                   : DecodeMs(c, in + pos, bytes, block.data());
      const uint32_t fit = std::min(n, (dest_length - written) / 2);
      for (uint32_t i = 0; i < fit; i++) Put16(dest + written + 2 * i, block[i]);
      written += fit * 2;
      if (fit < n) break;
    }
    return written;
  }
  const uint32_t frames = std::min(length / c->block, dest_length / (c->kind == Kind::Pcm8 ? 1 : 2) / ch);
  const uint32_t samples = frames * ch;
  for (uint32_t i = 0; i < samples; i++) {
    int16_t v = 0;
    switch (c->kind) {
      case Kind::Pcm8: dest[i] = in[i]; continue;
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
    Put16(dest + 2 * i, v);
  }
  return c->kind == Kind::Pcm8 ? samples : samples * 2;
}

bool AcmConvertBlock(WavCodec* codec, const uint8_t* source, uint32_t source_length, uint8_t* dest,
                     uint32_t* dest_length) {
  *dest_length = WavCodecConvert(codec, source, source_length, dest, *dest_length);
  return true;
}
