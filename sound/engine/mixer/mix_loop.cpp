// The mixing loops. Integer arithmetic throughout: positions in 32.16 fixed point, linear
// interpolation with 15-bit weights, gains as 8.8 fixed point (sample x gain / 256), volume
// ramps in 24.8, and every addition into the 16-bit stereo block saturating.
//
// A channel is mixed in runs that end at a loop boundary or at the end of a ramp, so the inner
// loops test nothing but their count.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "sound/engine/mixer/mixer.h"

namespace {

inline int16_t Saturate(int32_t v) {
  return int16_t(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

inline int32_t Interpolate(int32_t s0, int32_t s1, uint32_t f) {
  return (s0 * int32_t((65535 - f) >> 1) + s1 * int32_t(f >> 1)) >> 15;
}

// |v| <= 32768 and |gain| <= 65280: the product fits 32 bits.
inline int32_t Apply(int32_t v, int32_t gain88) { return (v * gain88) >> 16; }

// Mono 16-bit data, eight frames at a time, each frame paired with the next as a 32-bit lane:
// a multiply-add of 16-bit pairs interpolates, and the stereo contributions add into the block
// with 16-bit saturation, the same arithmetic as the frame loop. Steady whole gains (g x 256)
// multiply as 16-bit pairs: (v x g x 256) >> 16 is (v x g) >> 8.
//
// The pairs come from the source frames the positions cover, read in sequence: with steps of
// up to two frames a frame (kWindowStep) each four positions lie within 8 frames, which one
// 128-bit load holds; the two loads of a group of eight share a 256-bit register, and a byte
// shuffle in each half picks every lane's pair. Larger steps load each pair by itself. No
// gather instruction is used: on some processors it costs more than all the rest of the loop.
constexpr int64_t kWindowStep = 2 * 65536;

template <bool Steady, bool Window>
__attribute__((target("avx2"))) int32_t MixMono16Groups(int16_t* out, const int16_t* d, int64_t* pos,
                                                         int64_t step, int32_t n, int64_t readable,
                                                         int32_t gl, int32_t gr, int32_t incL,
                                                         int32_t incR) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i low16 = _mm256_set1_epi32(0xFFFF);
  const __m256i full = _mm256_set1_epi32(65535);
  // Each half's lowest position from its first.
  const int64_t lowest = step < 0 ? 3 * step : 0;
  __m256i vl = _mm256_add_epi32(_mm256_set1_epi32(gl), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(incL)));
  __m256i vr = _mm256_add_epi32(_mm256_set1_epi32(gr), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(incR)));
  const __m256i incL8 = _mm256_set1_epi32(incL * 8), incR8 = _mm256_set1_epi32(incR * 8);
  // Steady: each 32-bit lane holds (left gain, right gain) as 16-bit values.
  const __m256i gains = _mm256_or_si256(_mm256_srai_epi32(vl, 8), _mm256_slli_epi32(_mm256_srai_epi32(vr, 8), 16));
  const __m256i halfSteps = _mm256_setr_epi32(0, int32_t(step), int32_t(2 * step), int32_t(3 * step), 0,
                                              int32_t(step), int32_t(2 * step), int32_t(3 * step));
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4, 4,
                                          4, 8, 8, 8, 8, 12, 12, 12, 12);
  const __m256i bytes = _mm256_set1_epi32(0x03020100);
  int64_t p = *pos;
  int32_t k = 0;
  for (; n - k >= 8; k += 8, p += 8 * step) {
    __m256i f, pair;
    if constexpr (Window) {
      const int64_t p4 = p + 4 * step;
      const int64_t base = (p + lowest) >> 16, base4 = (p4 + lowest) >> 16;
      if (std::max(base, base4) + 8 > readable) break;  // a load would pass the data's end
      // Positions relative to their half's base frame: 16.16, at most 6 whole frames on.
      const __m256i q = _mm256_add_epi32(
          _mm256_setr_m128i(_mm_set1_epi32(int32_t(p - (base << 16))), _mm_set1_epi32(int32_t(p4 - (base4 << 16)))),
          halfSteps);
      f = _mm256_and_si256(q, low16);
      // Bytes 2r .. 2r + 3 of the half's frames: frame r and the next.
      const __m256i pick =
          _mm256_add_epi32(_mm256_shuffle_epi8(_mm256_slli_epi32(_mm256_srli_epi32(q, 16), 1), spread), bytes);
      const __m256i frames = _mm256_setr_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + base)),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + base4)));
      pair = _mm256_shuffle_epi8(frames, pick);
    } else {
      int32_t pairs[8], fractions[8];
      for (int j = 0; j < 8; ++j) {
        const int64_t at = p + j * step;
        std::memcpy(&pairs[j], d + (at >> 16), 4);
        fractions[j] = int32_t(at & 0xFFFF);
      }
      pair = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs));
      f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(fractions));
    }
    const __m256i w = _mm256_or_si256(_mm256_srli_epi32(_mm256_sub_epi32(full, f), 1),
                                      _mm256_slli_epi32(_mm256_srli_epi32(f, 1), 16));
    const __m256i v = _mm256_srai_epi32(_mm256_madd_epi16(pair, w), 15);
    __m256i lr;
    if constexpr (Steady) {
      const __m256i vv = _mm256_or_si256(_mm256_and_si256(v, low16), _mm256_slli_epi32(v, 16));
      const __m256i lo = _mm256_mullo_epi16(vv, gains), hi = _mm256_mulhi_epi16(vv, gains);
      lr = _mm256_or_si256(_mm256_slli_epi16(hi, 8), _mm256_srli_epi16(lo, 8));
    } else {
      const __m256i l = _mm256_srai_epi32(_mm256_mullo_epi32(v, vl), 16);
      const __m256i r = _mm256_srai_epi32(_mm256_mullo_epi32(v, vr), 16);
      lr = _mm256_or_si256(_mm256_and_si256(l, low16), _mm256_slli_epi32(r, 16));
      vl = _mm256_add_epi32(vl, incL8);
      vr = _mm256_add_epi32(vr, incR8);
    }
    __m256i* o = reinterpret_cast<__m256i*>(out + 2 * k);
    _mm256_storeu_si256(o, _mm256_adds_epi16(_mm256_loadu_si256(o), lr));
  }
  *pos = p;
  return k;
}

// Mixes whole groups of eight frames of mono 16-bit data; returns how many frames it mixed.
// readable: the frames that may be read from d.
int32_t MixMono16Avx2(int16_t* out, const int16_t* d, int64_t* p, int64_t step, int32_t n,
                      int64_t readable, int32_t gl, int32_t gr, int32_t incL, int32_t incR) {
  const bool steady = incL == 0 && incR == 0 && (gl & 255) == 0 && (gr & 255) == 0;
  const bool window = (step < 0 ? -step : step) <= kWindowStep;
  if (steady) {
    return window ? MixMono16Groups<true, true>(out, d, p, step, n, readable, gl, gr, incL, incR)
                  : MixMono16Groups<true, false>(out, d, p, step, n, readable, gl, gr, incL, incR);
  }
  return window ? MixMono16Groups<false, true>(out, d, p, step, n, readable, gl, gr, incL, incR)
                : MixMono16Groups<false, false>(out, d, p, step, n, readable, gl, gr, incL, incR);
}

// The same for processors without AVX2, for steady whole gains and steps within the window
// only: four frames a group with 128-bit vectors, one load and a byte shuffle.
__attribute__((target("ssse3"))) int32_t MixMono16Ssse3(int16_t* out, const int16_t* d, int64_t* pos,
                                                        int64_t step, int32_t n, int64_t readable,
                                                        int32_t gl, int32_t gr) {
  const __m128i low16 = _mm_set1_epi32(0xFFFF);
  const __m128i full = _mm_set1_epi32(65535);
  const __m128i bytes = _mm_set1_epi32(0x03020100);
  const __m128i spread = _mm_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12);
  const __m128i laneSteps = _mm_setr_epi32(0, int32_t(step), int32_t(2 * step), int32_t(3 * step));
  const int64_t lowest = step < 0 ? 3 * step : 0;
  const __m128i gains = _mm_set1_epi32(int32_t((uint32_t(gl >> 8) & 0xFFFF) | (uint32_t(gr >> 8) << 16)));
  int64_t p = *pos;
  int32_t k = 0;
  for (; n - k >= 4; k += 4, p += 4 * step) {
    const int64_t base = (p + lowest) >> 16;
    if (base + 8 > readable) break;
    const __m128i q = _mm_add_epi32(_mm_set1_epi32(int32_t(p - (base << 16))), laneSteps);
    const __m128i f = _mm_and_si128(q, low16);
    // Bytes 2r .. 2r + 3 of the frames from base: frame r and the next.
    const __m128i pick = _mm_add_epi32(_mm_shuffle_epi8(_mm_slli_epi32(_mm_srli_epi32(q, 16), 1), spread), bytes);
    const __m128i pair = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + base)), pick);
    const __m128i w = _mm_or_si128(_mm_srli_epi32(_mm_sub_epi32(full, f), 1),
                                   _mm_slli_epi32(_mm_srli_epi32(f, 1), 16));
    const __m128i v = _mm_srai_epi32(_mm_madd_epi16(pair, w), 15);
    const __m128i vv = _mm_or_si128(_mm_and_si128(v, low16), _mm_slli_epi32(v, 16));
    const __m128i lo = _mm_mullo_epi16(vv, gains), hi = _mm_mulhi_epi16(vv, gains);
    const __m128i lr = _mm_or_si128(_mm_slli_epi16(hi, 8), _mm_srli_epi16(lo, 8));
    __m128i* o = reinterpret_cast<__m128i*>(out + 2 * k);
    _mm_storeu_si128(o, _mm_adds_epi16(_mm_loadu_si128(o), lr));
  }
  *pos = p;
  return k;
}

// The widest vector loops in use: 256 (AVX2), 128 (SSSE3) or 0 (the frame loops alone).
int g_vectorBits = __builtin_cpu_supports("avx2") ? 256 : __builtin_cpu_supports("ssse3") ? 128 : 0;

// One source frame's left and right at 16-bit scale.
template <int Bits, bool Stereo>
inline void ReadFrame(const uint8_t* data, int64_t i, int32_t* l, int32_t* r) {
  if constexpr (Bits == 16) {
    const int16_t* d = reinterpret_cast<const int16_t*>(data);
    if constexpr (Stereo) {
      *l = d[2 * i];
      *r = d[2 * i + 1];
    } else {
      *l = *r = d[i];
    }
  } else {
    const int8_t* d = reinterpret_cast<const int8_t*>(data);
    if constexpr (Stereo) {
      *l = d[2 * i] * 256;
      *r = d[2 * i + 1] * 256;
    } else {
      *l = *r = d[i] * 256;
    }
  }
}

// Mixes n frames from position p (32.16) moving by step (negative backward), gains g (24.8)
// moving by inc per frame. Returns the position after the run.
template <int Bits, bool Stereo>
int64_t MixRun(int16_t* out, const uint8_t* data, int64_t readable, int64_t p, int64_t step,
               int32_t n, int32_t gl, int32_t gr, int32_t incL, int32_t incR) {
  if (Bits == 16 && !Stereo && g_vectorBits > 0) {
    const int16_t* d = reinterpret_cast<const int16_t*>(data);
    int32_t done = 0;
    if (g_vectorBits == 256)
      done = MixMono16Avx2(out, d, &p, step, n, readable, gl, gr, incL, incR);
    else if (incL == 0 && incR == 0 && (gl & 255) == 0 && (gr & 255) == 0 &&
             (step < 0 ? -step : step) <= kWindowStep)
      done = MixMono16Ssse3(out, d, &p, step, n, readable, gl, gr);
    out += 2 * done;
    n -= done;
    gl += incL * done;
    gr += incR * done;
  }
  if (incL == 0 && incR == 0 && !Stereo && Bits == 16) {
    // The common case: steady gains over mono 16-bit data.
    const int16_t* d = reinterpret_cast<const int16_t*>(data);
    for (int32_t k = 0; k < n; k++, p += step) {
      int64_t i = p >> 16;
      uint32_t f = uint32_t(p) & 0xFFFF;
      int32_t v = Interpolate(d[i], d[i + 1], f);
      out[2 * k] = Saturate(out[2 * k] + Apply(v, gl));
      out[2 * k + 1] = Saturate(out[2 * k + 1] + Apply(v, gr));
    }
    return p;
  }
  for (int32_t k = 0; k < n; k++, p += step) {
    int64_t i = p >> 16;
    uint32_t f = uint32_t(p) & 0xFFFF;
    int32_t l0, r0, l1, r1;
    ReadFrame<Bits, Stereo>(data, i, &l0, &r0);
    ReadFrame<Bits, Stereo>(data, i + 1, &l1, &r1);
    int32_t l = Interpolate(l0, l1, f);
    int32_t r = Stereo ? Interpolate(r0, r1, f) : l;
    out[2 * k] = Saturate(out[2 * k] + Apply(l, gl));
    out[2 * k + 1] = Saturate(out[2 * k + 1] + Apply(r, gr));
    gl += incL;
    gr += incR;
  }
  return p;
}

using RunFn = int64_t (*)(int16_t*, const uint8_t*, int64_t, int64_t, int64_t, int32_t, int32_t,
                          int32_t, int32_t, int32_t);

RunFn RunFor(const SoundSample* s) {
  bool stereo = s->layout == kSoundStereo;
  if (s->bits == 16) return stereo ? MixRun<16, true> : MixRun<16, false>;
  return stereo ? MixRun<8, true> : MixRun<8, false>;
}

bool LoopsNormal(uint8_t mode) { return (mode & kSoundLoopNormal) != 0; }
bool LoopsBidi(uint8_t mode) { return !(mode & kSoundLoopNormal) && (mode & kSoundLoopBidi); }

// Brings a position that reached a loop boundary back into the loop. False: a one-shot ended.
bool HandleBoundary(SoundChannel* c, const SoundSample* s, int64_t* p) {
  const int64_t start = int64_t(s->loopStart) << 16;
  const int64_t len = int64_t(s->loopLength) << 16;
  const int64_t end = start + len;
  if (LoopsBidi(c->loopMode) && len > 0) {
    for (;;) {
      if (*p >= end) {
        *p = 2 * end - *p - 1;
        c->direction = 2;
      } else if (c->direction == 2 && *p < start) {
        *p = 2 * start - *p - 1;
        c->direction = 1;
      } else {
        return true;
      }
    }
  }
  c->direction = 1;
  if (*p < end) return true;
  if (LoopsNormal(c->loopMode) && len > 0) {
    *p = start + (*p - start) % len;
    return true;
  }
  return false;
}

// Frames until the position passes the boundary it moves toward (at least 1).
int64_t FramesToBoundary(const SoundChannel* c, const SoundSample* s, int64_t p, int64_t step) {
  const int64_t start = int64_t(s->loopStart) << 16;
  const int64_t end = start + (int64_t(s->loopLength) << 16);
  if (c->direction == 2) return (p - start) / step + 1;
  return (end - p + step - 1) / step;
}

void TargetGains(const SoundChannel* c, int32_t* l, int32_t* r) {
  if (c->mute) {
    *l = *r = 0;
  } else if (c->surround) {
    *l = c->halfVolume;
    *r = -c->halfVolume;
  } else {
    *l = c->leftGain;
    *r = c->rightGain;
  }
}

// Starts a ramp toward the channel's gains when they changed; a running ramp goes on.
void UpdateRamp(SoundChannel* c) {
  int32_t tl, tr;
  TargetGains(c, &tl, &tr);
  if (c->rampLeft > 0 && tl == c->rampTargetL && tr == c->rampTargetR) return;
  if (c->rampLeft == 0 && c->rampCurL == tl * 256 && c->rampCurR == tr * 256) return;
  const int32_t len = g_mixer.rampLength;
  c->rampTargetL = tl;
  c->rampTargetR = tr;
  c->rampIncL = (tl * 256 - c->rampCurL) / len;
  c->rampIncR = (tr * 256 - c->rampCurR) / len;
  c->rampLeft = len;
}

}  // namespace

void MixChannel(int16_t* dest, SoundChannel* c, int32_t frames) {
  SoundSample* s = c->sample;
  if (!s || !s->data || c->paused) return;
  g_mixer.mixedChannels++;
  const RunFn run = RunFor(s);
  // The frames that may be read: the data and its spare bytes.
  const int64_t readable = int64_t(s->length) + kSampleSpareBytes / int64_t(SampleFrameBytes(s));
  int64_t p = (c->mixPos << 16) | (c->mixFrac >> 16);
  const int64_t step = (int64_t(c->step) << 16) | (c->stepFrac >> 16);
  bool playing = HandleBoundary(c, s, &p);
  int32_t done = 0;
  while (playing && done < frames) {
    int32_t n = frames - done;
    if (step > 0) n = int32_t(std::min<int64_t>(n, FramesToBoundary(c, s, p, step)));
    UpdateRamp(c);
    if (c->rampLeft > 0) n = std::min(n, c->rampLeft);
    const int64_t signedStep = c->direction == 2 ? -step : step;
    if (c->rampLeft == 0 && c->rampCurL == 0 && c->rampCurR == 0) {
      p += signedStep * n;  // silent: only the position moves
    } else {
      p = run(dest + 2 * done, s->data, readable, p, signedStep, n, c->rampCurL, c->rampCurR,
              c->rampLeft > 0 ? c->rampIncL : 0, c->rampLeft > 0 ? c->rampIncR : 0);
      if (c->rampLeft > 0) {
        c->rampCurL += c->rampIncL * n;
        c->rampCurR += c->rampIncR * n;
        c->rampLeft -= n;
        if (c->rampLeft == 0) {
          c->rampCurL = c->rampTargetL * 256;
          c->rampCurR = c->rampTargetR * 256;
          c->rampIncL = c->rampIncR = 0;
        }
      }
    }
    done += n;
    playing = HandleBoundary(c, s, &p);
  }
  if (!playing) {
    c->sample = nullptr;  // a one-shot ended: the rest of the block is the other channels'
    c->mixPos = 0;
    c->mixFrac = 0;
    return;
  }
  c->mixPos = p >> 16;
  c->mixFrac = uint32_t(p & 0xFFFF) << 16;
}

void MixChannelList(int16_t* dest, ChannelLink* list, int32_t frames) {
  for (ChannelLink* l = list->next; l != list;) {
    SoundChannel* c = static_cast<SoundChannel*>(l);
    l = l->next;
    MixChannel(dest, c, frames);
  }
}

void MixSetVectorLoops(int widestBits) {
  const int most = __builtin_cpu_supports("avx2") ? 256 : __builtin_cpu_supports("ssse3") ? 128 : 0;
  g_vectorBits = std::min(widestBits >= 256 ? 256 : widestBits >= 128 ? 128 : 0, most);
}

void MixClear(int16_t* frames, int32_t count) {
  if (frames && count > 0) std::memset(frames, 0, size_t(count) * 4);
}

void MixConvert(int16_t* dest, const int16_t* source, int32_t count) {
  if (!dest || !source || count <= 0) return;
  std::memmove(dest, source, size_t(count) * 4);
}

void MixSetStep(SoundChannel* c, int32_t hz, int32_t rate) {
  hz = std::clamp(hz, 100, 705600);
  c->step = hz / rate;
  c->stepFrac = uint32_t((uint64_t(hz % rate) << 32) / uint64_t(rate)) & 0xFFFF0000u;
}

void MixSetGains(SoundChannel* c) {
  int32_t v = c->mixVolume, p = c->mixPan;
  if (p == -1) {
    c->leftGain = c->rightGain = v;
  } else {
    c->rightGain = v * p / 255;
    c->leftGain = v * (255 - p) / 255;
  }
  c->halfVolume = v / 2;
}
