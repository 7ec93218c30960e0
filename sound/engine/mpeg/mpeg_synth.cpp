// Polyphase synthesis filter bank: a 32-point DCT into the history ring, then the window.
#include "sound/engine/mpeg/mpeg_decoder.h"
#include "sound/engine/mpeg/mpeg_internal.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// X[n] = sum_k x[k] cos((2k + 1) n pi / (2N)), split into even and odd halves at each level.
template <int N, int Level>
struct Dct {
  static inline void Run(const float* x, float* X) {
    constexpr int H = N / 2;
    const float* c = MpegTab().dct_cos[Level];
    float a[H], b[H], A[H], B[H];
    for (int k = 0; k < H; k++) {
      a[k] = x[k] + x[N - 1 - k];
      b[k] = (x[k] - x[N - 1 - k]) * c[k];
    }
    Dct<H, Level + 1>::Run(a, A);
    Dct<H, Level + 1>::Run(b, B);
    for (int n = 0; n < H - 1; n++) {
      X[2 * n] = A[n];
      X[2 * n + 1] = B[n] + B[n + 1];
    }
    X[N - 2] = A[H - 1];
    X[N - 1] = B[H - 1];
  }
};
template <int Level>
struct Dct<1, Level> {
  static inline void Run(const float* x, float* X) { X[0] = x[0]; }
};

// The DCT of 32 subband samples goes into the ring block at pos.
void Matrix(float* v, const float* in) {
  float X[32];
  Dct<32, 0>::Run(in, X);
  for (int i = 0; i < 16; i++) v[i] = X[16 + i];
  v[16] = 0;
  for (int i = 17; i < 48; i++) v[i] = -X[48 - i];
  for (int i = 48; i < 64; i++) v[i] = -X[i - 48];
}

// 32 output sums, each over 16 window x history products.
VK_MPEG_INLINE void WindowBody(const float (*ring)[64], int pos, const float* window, float* sum) {
  for (int j = 0; j < 32; j++) sum[j] = 0;
  for (int a = 0; a < 16; a++) {
    const float* src = ring[(pos + a) & 15] + (a & 1) * 32;
    const float* w = window + 32 * a;
    for (int j = 0; j < 32; j++) sum[j] += src[j] * w[j];
  }
}
void WindowPlain(const float (*ring)[64], int pos, const float* window, float* sum) {
  WindowBody(ring, pos, window, sum);
}
#if defined(VK_MPEG_AVX2)
VK_MPEG_AVX2 void WindowAvx2(const float (*ring)[64], int pos, const float* window, float* sum) {
  WindowBody(ring, pos, window, sum);
}
#endif
void Window(const float (*ring)[64], int pos, const float* window, float* sum) {
#if defined(VK_MPEG_AVX2)
  if (g_mpeg_avx2) return WindowAvx2(ring, pos, window, sum);
#endif
  WindowPlain(ring, pos, window, sum);
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

void MpegSynthesize(MpegDecoder* dec, const float* left, const float* right, int channels, int16_t* out) {
  const int pos = (dec->ring_pos - 1) & 15;
  dec->ring_pos = pos;
  const float* window = MpegTab().window;
  alignas(16) float sum[2][32];
  for (int ch = 0; ch < channels; ch++) {
    Matrix(dec->ring[ch][pos], ch ? right : left);
    Window(dec->ring[ch], pos, window, sum[ch]);
  }
  Store(sum[0], sum[1], channels, out);
}
