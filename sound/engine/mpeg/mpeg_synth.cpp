// Polyphase synthesis filter bank: a 32-point DCT into the history ring, then the window.
#include "sound/engine/mpeg/mpeg_decoder.h"
#include "sound/engine/mpeg/mpeg_internal.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#else
#include <cmath>
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

inline int16_t ToPcm(float v) {
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
#if defined(__SSE__)
  return (int16_t)_mm_cvtss_si32(_mm_set_ss(v));
#else
  return (int16_t)std::lrintf(v);
#endif
}

void SynthChannel(MpegDecoder* dec, int ch, int pos, const float* in, int16_t* out, int stride) {
  float X[32];
  Dct<32, 0>::Run(in, X);
  float* v = dec->ring[ch][pos];
  for (int i = 0; i < 16; i++) v[i] = X[16 + i];
  v[16] = 0;
  for (int i = 17; i < 48; i++) v[i] = -X[48 - i];
  for (int i = 48; i < 64; i++) v[i] = -X[i - 48];
  const float* window = MpegTab().window;
  float sum[32] = {};
  for (int a = 0; a < 16; a++) {
    const float* src = dec->ring[ch][(pos + a) & 15] + (a & 1) * 32;
    const float* w = window + 32 * a;
    for (int j = 0; j < 32; j++) sum[j] += src[j] * w[j];
  }
  for (int j = 0; j < 32; j++) out[j * stride] = ToPcm(sum[j]);
}

}  // namespace

void MpegSynthesize(MpegDecoder* dec, const float* left, const float* right, int channels, int16_t* out) {
  int pos = (dec->ring_pos - 1) & 15;
  dec->ring_pos = pos;
  SynthChannel(dec, 0, pos, left, out, channels);
  if (channels == 2) SynthChannel(dec, 1, pos, right, out + 1, 2);
}
