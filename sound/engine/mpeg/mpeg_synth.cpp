// Polyphase synthesis filter bank: a 32-point DCT per time slot into the history, then the
// window. Both run several time slots at once, one per vector lane: the history keeps time along
// its rows, so the transforms store whole vectors and the window reads them back unshuffled.
#include <cmath>
#include <cstring>

#include "sound/engine/mpeg/mpeg_decoder.h"
#include "sound/engine/mpeg/mpeg_internal.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Eight lanes where the processor has the wide vectors, four otherwise (so that no vector is
// split and rebuilt through memory).
typedef float Lanes8 __attribute__((vector_size(8 * sizeof(float))));
typedef float Lanes4 __attribute__((vector_size(4 * sizeof(float))));

// X[n] = sum_k x[k] cos((2k + 1) n pi / (2N)), split into even and odd halves at each level.
template <typename Lanes, int N, int Level>
struct Dct {
  static VK_MPEG_INLINE void Run(const Lanes* x, Lanes* X) {
    constexpr int H = N / 2;
    const float* c = MpegTab().dct_cos[Level];
    Lanes a[H], b[H], A[H], B[H];
    for (int k = 0; k < H; k++) {
      a[k] = x[k] + x[N - 1 - k];
      b[k] = (x[k] - x[N - 1 - k]) * c[k];
    }
    Dct<Lanes, H, Level + 1>::Run(a, A);
    Dct<Lanes, H, Level + 1>::Run(b, B);
    for (int n = 0; n < H - 1; n++) {
      X[2 * n] = A[n];
      X[2 * n + 1] = B[n] + B[n + 1];
    }
    X[N - 2] = A[H - 1];
    X[N - 1] = B[H - 1];
  }
};
template <typename Lanes, int Level>
struct Dct<Lanes, 1, Level> {
  static VK_MPEG_INLINE void Run(const Lanes* x, Lanes* X) { X[0] = x[0]; }
};

// One channel: transforms of `slots` slots into the history after its kMpegSynthPast kept slots,
// then the window into pcm[slot][32], then the newest kMpegSynthPast slots moved to the front.
template <typename Lanes>
VK_MPEG_INLINE void ChannelBody(float (*hist)[kMpegSynthRow], const float* in, int slots, float (*pcm)[32]) {
  constexpr int kLanes = sizeof(Lanes) / sizeof(float);
  const MpegTables& t = MpegTab();
  for (int g = 0; g < slots; g += kLanes) {
    Lanes x[32], X[32];
    for (int k = 0; k < 32; k++) {
      const float* src = in + k * kMpegSlotStride + g;
      if (slots - g >= kLanes) {
        std::memcpy(&x[k], src, sizeof(Lanes));
      } else {
        float part[kLanes] = {};
        std::memcpy(part, src, (slots - g) * sizeof(float));
        std::memcpy(&x[k], part, sizeof(Lanes));
      }
    }
    Dct<Lanes, 32, 0>::Run(x, X);
    for (int n = 0; n < 32; n++) std::memcpy(hist[n] + kMpegSynthPast + g, &X[n], sizeof(Lanes));
  }
  for (int g = 0; g < slots; g += kLanes) {
    alignas(32) float sum[32][kLanes];
    const int base = kMpegSynthPast + g;
    for (int j = 0; j < 32; j++) {
      // Slot s reads the transforms of slots s, s-1, ... s-15: even ages from one row, odd from another.
      const float* even = hist[t.synth_row[0][j]] + base;
      const float* odd = hist[t.synth_row[1][j]] + base;
      Lanes acc = {}, v;
      for (int a = 0; a < 16; a += 2) {
        std::memcpy(&v, even - a, sizeof(Lanes));
        acc += v * t.synth_window[a][j];
        std::memcpy(&v, odd - a - 1, sizeof(Lanes));
        acc += v * t.synth_window[a + 1][j];
      }
      std::memcpy(sum[j], &acc, sizeof(Lanes));
    }
    const int lanes = slots - g < kLanes ? slots - g : kLanes;
    for (int s = 0; s < lanes; s++)
      for (int j = 0; j < 32; j++) pcm[g + s][j] = sum[j][s];
  }
  for (int n = 0; n < 32; n++) std::memmove(hist[n], hist[n] + slots, kMpegSynthPast * sizeof(float));
}
void ChannelPlain(float (*hist)[kMpegSynthRow], const float* in, int slots, float (*pcm)[32]) {
  ChannelBody<Lanes4>(hist, in, slots, pcm);
}
#if defined(VK_MPEG_AVX2)
VK_MPEG_AVX2 void ChannelAvx2(float (*hist)[kMpegSynthRow], const float* in, int slots, float (*pcm)[32]) {
  ChannelBody<Lanes8>(hist, in, slots, pcm);
}
#endif
void Channel(float (*hist)[kMpegSynthRow], const float* in, int slots, float (*pcm)[32]) {
#if defined(VK_MPEG_AVX2)
  if (g_mpeg_avx2) return ChannelAvx2(hist, in, slots, pcm);
#endif
  ChannelPlain(hist, in, slots, pcm);
}

#if !defined(__SSE2__)
inline int16_t ToPcm(float v) {
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return (int16_t)std::lrintf(v);
}
#endif

// Rounds, clips and stores 32 samples per channel, interleaved for two channels.
void Store(const float* left, const float* right, int channels, int16_t* out) {
#if defined(__SSE2__)
  const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
  auto conv = [&](const float* p) { return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(p), lo), hi)); };
  if (channels == 2) {
    for (int j = 0; j < 32; j += 4) {
      const __m128i l = conv(left + j), r = conv(right + j);
      const __m128i pl = _mm_packs_epi32(l, l), pr = _mm_packs_epi32(r, r);
      _mm_storeu_si128((__m128i*)(out + 2 * j), _mm_unpacklo_epi16(pl, pr));
    }
  } else {
    for (int j = 0; j < 32; j += 8)
      _mm_storeu_si128((__m128i*)(out + j), _mm_packs_epi32(conv(left + j), conv(left + j + 4)));
  }
#else
  for (int j = 0; j < 32; j++) {
    out[j * channels] = ToPcm(left[j]);
    if (channels == 2) out[j * 2 + 1] = ToPcm(right[j]);
  }
#endif
}

}  // namespace

void MpegSynthesize(MpegDecoder* dec, const float* in, int slots, int channels, int16_t* out) {
  alignas(32) float pcm[2][kMpegSlotStride][32];
  for (int ch = 0; ch < channels; ch++) Channel(dec->synth[ch], in + ch * 32 * kMpegSlotStride, slots, pcm[ch]);
  for (int s = 0; s < slots; s++) {
    Store(pcm[0][s], pcm[1][s], channels, out);
    out += 32 * channels;
  }
}
