#include "platform/surfaces.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

SurfaceFaults g_surfaceFaults;

void ResetSurfaceFaults() { g_surfaceFaults = SurfaceFaults{}; }

namespace {

int32_t BitLength(uint32_t m) {
  int32_t n = 0;
  while (m) {
    ++n;
    m >>= 1;
  }
  return n;
}

struct Channels {
  int32_t rShift, gShift;
  uint32_t rMax, gMax, bMax;
};

Channels ChannelsOf(const PixelFormat& f) {
  int32_t bBits = BitLength(f.blueMask);
  int32_t gBits = BitLength(f.greenMask) - bBits;
  int32_t rBits = BitLength(f.redMask) - bBits - gBits;
  return {bBits + gBits, bBits, (1u << rBits) - 1, (1u << gBits) - 1, (1u << bBits) - 1};
}

uint32_t Widen(uint32_t v, uint32_t max) {
  if (max == 255) return v;
  if (max == 0) return 0;
  int32_t bits = BitLength(max);
  uint32_t out = v << (8 - bits);
  return out | (out >> bits);
}

bool SameFormat(const Surface& a, const Surface& b) {
  return a.Depth() == b.Depth() && a.Format().redMask == b.Format().redMask &&
         a.Format().greenMask == b.Format().greenMask;
}

// Source pixel in the destination's format.
uint32_t ConvertPixel(const Surface& src, uint32_t p, const Surface& dst) {
  uint32_t rgb = src.Depth() == 8 ? (p < src.palette.size() ? src.palette[p] : 0)
                                  : ExpandPixelToRgb(src.Format(), p);
  return NarrowRgbToPixel(dst.Format(), rgb);
}

// The check both surfaces of a copy pass.
int32_t CheckPair(Surface* dst, Surface* src) {
  if (!dst || !src) return kSurfInvalid;
  int32_t r = SurfaceCheck(dst);
  if (r != kSurfOk) return r;
  if (src->lost) return kSurfLost;
  return kSurfOk;
}

// Fills rows of 2 or 4-byte pixels with 64-byte stores of the repeated pixel, then the rest;
// built for the widest vector unit the processor has.
__attribute__((target_clones("avx512f", "avx2", "default"))) void FillRows(uint8_t* first, size_t pitch,
                                                                            int32_t rows, size_t rowBytes,
                                                                            uint64_t pattern, int32_t bpp,
                                                                            uint32_t pixel) {
  uint64_t block[8];
  for (uint64_t& b : block) b = pattern;
  for (int32_t row = 0; row < rows; ++row) {
    uint8_t* p = first + size_t(row) * pitch;
    if (rowBytes >= 64) {
      // One store at each end, aligned stores for what lies between; the offsets are whole
      // pixels, so the repeated pattern stays in step where stores overlap.
      std::memcpy(p, block, 64);
      for (size_t k = 64 - (reinterpret_cast<uintptr_t>(p) & 63); k + 64 < rowBytes; k += 64)
        std::memcpy(p + k, block, 64);
      std::memcpy(p + rowBytes - 64, block, 64);
      continue;
    }
    size_t k = 0;
    for (; k + 8 <= rowBytes; k += 8) std::memcpy(p + k, &pattern, 8);
    for (; k < rowBytes; k += size_t(bpp)) StorePixel(p + k, bpp, pixel);
  }
}

}  // namespace

PixelFormat FormatForDepth(int32_t depth) {
  switch (depth) {
    case 8: return {8, 0, 0, 0};
    case 24: return {24, 0xFF0000, 0x00FF00, 0x0000FF};
    case 32: return {32, 0xFF0000, 0x00FF00, 0x0000FF};
    default: return {16, 0xF800, 0x07E0, 0x001F};
  }
}

uint32_t PixelFromRgb(const PixelFormat& f, uint32_t rgb) {
  if (f.bits == 8) return 0;
  Channels c = ChannelsOf(f);
  auto q = [](uint32_t v, uint32_t max) { return uint32_t(int32_t(double(max) / 255.0 * double(v))); };
  return (q((rgb >> 16) & 255, c.rMax) << c.rShift) + (q((rgb >> 8) & 255, c.gMax) << c.gShift) + q(rgb & 255, c.bMax);
}

uint32_t RgbFromPixel(const PixelFormat& f, uint32_t p) {
  if (f.bits == 8) return 0;
  Channels c = ChannelsOf(f);
  auto w = [](uint32_t v, uint32_t max) { return max ? uint32_t(int32_t(255.0 / double(max) * double(v))) : 0u; };
  uint32_t r = (p >> c.rShift) & c.rMax, g = (p >> c.gShift) & c.gMax, b = p & c.bMax;
  return (w(r, c.rMax) << 16) + (w(g, c.gMax) << 8) + w(b, c.bMax);
}

uint32_t ExpandPixelToRgb(const PixelFormat& f, uint32_t p) {
  if (f.bits == 8) return 0;
  Channels c = ChannelsOf(f);
  uint32_t r = (p >> c.rShift) & c.rMax, g = (p >> c.gShift) & c.gMax, b = p & c.bMax;
  return Widen(r, c.rMax) << 16 | Widen(g, c.gMax) << 8 | Widen(b, c.bMax);
}

uint32_t NarrowRgbToPixel(const PixelFormat& f, uint32_t rgb) {
  if (f.bits == 8) return 0;
  Channels c = ChannelsOf(f);
  auto n = [](uint32_t v, uint32_t max) { return v >> (8 - BitLength(max)); };
  return n((rgb >> 16) & 255, c.rMax) << c.rShift | n((rgb >> 8) & 255, c.gMax) << c.gShift | n(rgb & 255, c.bMax);
}

void SetIdentityGammaRamp(GammaRamp& ramp) {
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = uint16_t(i << 8);
}

Surface::Surface(int32_t w, int32_t h, const PixelFormat& f)
    : width_(w), height_(h), bpp_(f.BytesPerPixel()), format_(f) {
  pitch_ = (w * bpp_ + 3) & ~3;
  pixels_.reset(static_cast<uint8_t*>(std::calloc(size_t(pitch_) * size_t(h), 1)));
  if (!pixels_) throw std::bad_alloc();
}

SurfacePtr SurfaceCreate(int32_t width, int32_t height, const PixelFormat& format) {
  if (g_surfaceFaults.createFailures > 0) {
    --g_surfaceFaults.createFailures;
    return nullptr;
  }
  if (width < 1 || height < 1 || width > 16384 || height > 16384) return nullptr;
  if (format.bits != 8 && format.bits != 16 && format.bits != 24 && format.bits != 32) return nullptr;
  try {
    return std::make_unique<Surface>(width, height, format);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

SurfacePtr SurfaceCreate(int32_t width, int32_t height, int32_t depth) {
  return SurfaceCreate(width, height, FormatForDepth(depth));
}

int32_t SurfaceCheck(Surface* s) {
  if (!s) return kSurfInvalid;
  if (g_surfaceFaults.loseNext > 0) {
    --g_surfaceFaults.loseNext;
    s->lost = true;
  }
  if (s->lost) return kSurfLost;
  if (g_surfaceFaults.stillDrawing > 0) {
    --g_surfaceFaults.stillDrawing;
    return kSurfStillDrawing;
  }
  return kSurfOk;
}

namespace {

// A row of two different surfaces: short rows (a sprite's) in 16-byte moves without a call,
// the last one overlapping the one before.
inline void CopyRowDistinct(uint8_t* d, const uint8_t* s, size_t n) {
  if (n < 16 || n > 256) {
    std::memcpy(d, s, n);
    return;
  }
  size_t i = 0;
  for (; i + 16 <= n; i += 16) std::memcpy(d + i, s + i, 16);
  if (i < n) std::memcpy(d + n - 16, s + n - 16, 16);
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

// A keyed row of 2- or 4-byte pixels, 32 bytes at a time: runs wholly keyed are not written,
// runs with no key are stored as they are. key holds the key in every pixel of a word.
__attribute__((target("avx2"))) void CopyRowKeyedAvx2(uint8_t* d, const uint8_t* s, size_t bytes, int32_t bpp,
                                                      uint32_t key) {
  const __m256i k = _mm256_set1_epi32(int32_t(key));
  size_t i = 0;
  for (; i + 32 <= bytes; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    const __m256i skip = bpp == 2 ? _mm256_cmpeq_epi16(v, k) : _mm256_cmpeq_epi32(v, k);
    const uint32_t mask = uint32_t(_mm256_movemask_epi8(skip));
    if (mask == 0xFFFFFFFFu) continue;
    __m256i* out = reinterpret_cast<__m256i*>(d + i);
    if (mask == 0) {
      _mm256_storeu_si256(out, v);
      continue;
    }
    _mm256_storeu_si256(out, _mm256_blendv_epi8(v, _mm256_loadu_si256(out), skip));
  }
  if (i < bytes) CopyRowKeyed(d + i, s + i, int32_t((bytes - i) / size_t(bpp)), bpp, bpp == 2 ? key & 0xFFFF : key);
}

}  // namespace

int32_t SurfaceBltFast(Surface* dst, int32_t x, int32_t y, Surface* src, const SurfRect* srcRect, uint32_t flags) {
  int32_t r = CheckPair(dst, src);
  if (r != kSurfOk) return r;
  SurfRect s = srcRect ? *srcRect : src->Bounds();
  // Clip the source rectangle to the source, then the placement to the destination.
  if (s.left < 0) { x -= s.left; s.left = 0; }
  if (s.top < 0) { y -= s.top; s.top = 0; }
  s.right = std::min(s.right, src->Width());
  s.bottom = std::min(s.bottom, src->Height());
  if (x < 0) { s.left -= x; x = 0; }
  if (y < 0) { s.top -= y; y = 0; }
  s.right = std::min(s.right, s.left + (dst->Width() - x));
  s.bottom = std::min(s.bottom, s.top + (dst->Height() - y));
  if (s.Width() <= 0 || s.Height() <= 0) return kSurfOk;
  const bool keyed = (flags & kBltKeySrc) && src->hasKey;
  const int32_t bpp = dst->Format().BytesPerPixel();
  if (SameFormat(*dst, *src) && !keyed && src != dst) {
    const size_t n = size_t(s.Width()) * size_t(bpp);
    for (int32_t row = 0; row < s.Height(); ++row)
      CopyRowDistinct(dst->Row(y + row) + x * bpp, src->Row(s.top + row) + s.left * bpp, n);
    return kSurfOk;
  }
  if (SameFormat(*dst, *src) && !keyed) {
    // Within one surface, a copy downwards runs from the last row up.
    const bool upward = src == dst && y > s.top;
    for (int32_t i = 0; i < s.Height(); ++i) {
      int32_t row = upward ? s.Height() - 1 - i : i;
      std::memmove(dst->Row(y + row) + x * bpp, src->Row(s.top + row) + s.left * bpp, size_t(s.Width()) * size_t(bpp));
    }
    return kSurfOk;
  }
  const bool same = SameFormat(*dst, *src);
  if (same && src != dst && (bpp == 2 || bpp == 4) && HaveAvx2()) {
    const size_t bytes = size_t(s.Width()) * size_t(bpp);
    const uint32_t key = bpp == 2 ? (src->key & 0xFFFF) * 0x10001u : src->key;
    for (int32_t row = 0; row < s.Height(); ++row)
      CopyRowKeyedAvx2(dst->Row(y + row) + x * bpp, src->Row(s.top + row) + s.left * bpp, bytes, bpp, key);
    return kSurfOk;
  }
  if (same && src != dst) {
    for (int32_t row = 0; row < s.Height(); ++row)
      CopyRowKeyed(dst->Row(y + row) + x * bpp, src->Row(s.top + row) + s.left * bpp, s.Width(), bpp, src->key);
    return kSurfOk;
  }
  for (int32_t row = 0; row < s.Height(); ++row) {
    for (int32_t col = 0; col < s.Width(); ++col) {
      uint32_t p = src->GetPixel(s.left + col, s.top + row);
      if (keyed && p == src->key) continue;
      dst->PutPixel(x + col, y + row, same ? p : ConvertPixel(*src, p, *dst));
    }
  }
  return kSurfOk;
}

void CopyRowKeyed(uint8_t* d, const uint8_t* s, int32_t n, int32_t bpp, uint32_t key) {
  int32_t i = 0;
  if (bpp == 2) {
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi16(int16_t(key));
    for (; i + 8 <= n; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i));
      const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 2 * i));
      const __m128i skip = _mm_cmpeq_epi16(v, k);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * i),
                       _mm_or_si128(_mm_and_si128(skip, old), _mm_andnot_si128(skip, v)));
    }
#endif
    for (; i < n; ++i) {
      uint16_t p;
      std::memcpy(&p, s + 2 * i, 2);
      if (p != uint16_t(key)) std::memcpy(d + 2 * i, &p, 2);
    }
    return;
  }
  if (bpp == 4) {
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi32(int32_t(key));
    for (; i + 4 <= n; i += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
      const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * i));
      const __m128i skip = _mm_cmpeq_epi32(v, k);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i),
                       _mm_or_si128(_mm_and_si128(skip, old), _mm_andnot_si128(skip, v)));
    }
#endif
    for (; i < n; ++i) {
      uint32_t p;
      std::memcpy(&p, s + 4 * i, 4);
      if (p != key) std::memcpy(d + 4 * i, &p, 4);
    }
    return;
  }
  for (; i < n; ++i) {
    const uint32_t p = LoadPixel(s + bpp * i, bpp);
    if (p != key) StorePixel(d + bpp * i, bpp, p);
  }
}

int32_t SurfaceBltFx(Surface* dst, const SurfRect& d, Surface* src, const SurfRect& s, uint32_t flags) {
  int32_t r = CheckPair(dst, src);
  if (r != kSurfOk) return r;
  if (d.Width() <= 0 || d.Height() <= 0 || s.Width() <= 0 || s.Height() <= 0) return kSurfInvalid;
  if (d.left < 0 || d.top < 0 || d.right > dst->Width() || d.bottom > dst->Height()) return kSurfInvalid;
  if (s.left < 0 || s.top < 0 || s.right > src->Width() || s.bottom > src->Height()) return kSurfInvalid;
  const bool mirror = flags & kBltMirrorLeftRight, flip = flags & kBltMirrorUpDown;
  if (!mirror && !flip && d.Width() == s.Width() && d.Height() == s.Height())
    return SurfaceBltFast(dst, d.left, d.top, src, &s, flags);
  const bool keyed = (flags & kBltKeySrc) && src->hasKey;
  SurfacePtr copy;
  Surface* from = src;
  if (src == dst) {
    copy = SurfaceCreate(src->Width(), src->Height(), src->Format());
    if (!copy) return kSurfNoMemory;
    SurfaceBltFast(copy.get(), 0, 0, src, nullptr, 0);
    from = copy.get();
  }
  const bool same = SameFormat(*dst, *src);
  const int32_t bpp = dst->Format().BytesPerPixel(), sbpp = from->Format().BytesPerPixel();
  // Source column of each destination column (nearest pixel), turned over when mirrored.
  std::vector<int32_t> column(size_t(d.Width()));
  for (int32_t c = 0; c < d.Width(); ++c) {
    const int32_t k = int32_t(int64_t(c) * s.Width() / d.Width());
    column[size_t(c)] = mirror ? s.right - 1 - k : s.left + k;
  }
  for (int32_t row = 0; row < d.Height(); ++row) {
    const int32_t k = int32_t(int64_t(row) * s.Height() / d.Height());
    const uint8_t* in = from->Row(flip ? s.bottom - 1 - k : s.top + k);
    uint8_t* out = dst->Row(d.top + row) + d.left * bpp;
    if (same && bpp == 2) {
      const uint16_t key = uint16_t(src->key);
      for (int32_t c = 0; c < d.Width(); ++c) {
        uint16_t p;
        std::memcpy(&p, in + 2 * column[size_t(c)], 2);
        if (!keyed || p != key) std::memcpy(out + 2 * c, &p, 2);
      }
      continue;
    }
    for (int32_t c = 0; c < d.Width(); ++c) {
      const uint32_t p = LoadPixel(in + sbpp * column[size_t(c)], sbpp);
      if (keyed && p == src->key) continue;
      StorePixel(out + bpp * c, bpp, same ? p : ConvertPixel(*from, p, *dst));
    }
  }
  return kSurfOk;
}

int32_t SurfaceBlt(Surface* dst, const SurfRect* dstRect, Surface* src, const SurfRect* srcRect, uint32_t flags) {
  int32_t r = CheckPair(dst, src);
  if (r != kSurfOk) return r;
  SurfRect d = dstRect ? *dstRect : dst->Bounds();
  SurfRect s = srcRect ? *srcRect : src->Bounds();
  if (d.Width() <= 0 || d.Height() <= 0 || s.Width() <= 0 || s.Height() <= 0) return kSurfInvalid;
  if (d.left < 0 || d.top < 0 || d.right > dst->Width() || d.bottom > dst->Height()) return kSurfInvalid;
  if (s.left < 0 || s.top < 0 || s.right > src->Width() || s.bottom > src->Height()) return kSurfInvalid;
  if (d.Width() == s.Width() && d.Height() == s.Height()) return SurfaceBltFast(dst, d.left, d.top, src, &s, flags);
  const bool keyed = (flags & kBltKeySrc) && src->hasKey;
  const bool same = SameFormat(*dst, *src);
  // A copy within one surface goes through a scratch copy of the source.
  SurfacePtr copy;
  Surface* from = src;
  if (src == dst) {
    copy = SurfaceCreate(src->Width(), src->Height(), src->Format());
    if (!copy) return kSurfNoMemory;
    SurfaceBltFast(copy.get(), 0, 0, src, nullptr, 0);
    from = copy.get();
  }
  for (int32_t row = 0; row < d.Height(); ++row) {
    int32_t sy = s.top + int32_t(int64_t(row) * s.Height() / d.Height());
    for (int32_t col = 0; col < d.Width(); ++col) {
      int32_t sx = s.left + int32_t(int64_t(col) * s.Width() / d.Width());
      uint32_t p = from->GetPixel(sx, sy);
      if (keyed && p == src->key) continue;
      dst->PutPixel(d.left + col, d.top + row, same ? p : ConvertPixel(*from, p, *dst));
    }
  }
  return kSurfOk;
}

int32_t SurfaceFill(Surface* dst, const SurfRect* rect, uint32_t pixel) {
  int32_t r = SurfaceCheck(dst);
  if (r != kSurfOk) return r;
  SurfRect d = rect ? *rect : dst->Bounds();
  if (d.Width() <= 0 || d.Height() <= 0) return kSurfInvalid;
  d.left = std::max(d.left, 0);
  d.top = std::max(d.top, 0);
  d.right = std::min(d.right, dst->Width());
  d.bottom = std::min(d.bottom, dst->Height());
  if (d.Width() <= 0 || d.Height() <= 0) return kSurfOk;
  const int32_t bpp = dst->Format().BytesPerPixel();
  if (bpp == 2 || bpp == 4) {
    const uint64_t pattern = bpp == 2 ? uint64_t(uint16_t(pixel)) * 0x0001000100010001ull
                                      : uint64_t(pixel) * 0x0000000100000001ull;
    FillRows(dst->Row(d.top) + d.left * bpp, size_t(dst->Pitch()), d.Height(), size_t(d.Width()) * size_t(bpp),
             pattern, bpp, pixel);
    return kSurfOk;
  }
  for (int32_t row = d.top; row < d.bottom; ++row) {
    uint8_t* p = dst->Row(row) + d.left * bpp;
    for (int32_t col = 0; col < d.Width(); ++col) StorePixel(p + col * bpp, bpp, pixel);
  }
  return kSurfOk;
}

int32_t SurfaceLock(Surface* s, uint8_t** bits, int32_t* pitch) {
  int32_t r = SurfaceCheck(s);
  if (r != kSurfOk) return r;
  if (s->locked) return kSurfInvalid;
  s->locked = true;
  *bits = s->Row(0);
  *pitch = s->Pitch();
  return kSurfOk;
}

int32_t SurfaceUnlock(Surface* s) {
  if (!s || !s->locked) return kSurfInvalid;
  s->locked = false;
  return kSurfOk;
}

int32_t SurfaceRestore(Surface* s) {
  if (!s) return kSurfInvalid;
  if (g_surfaceFaults.restoreFailures > 0) {
    --g_surfaceFaults.restoreFailures;
    return kSurfLost;
  }
  s->lost = false;
  return kSurfOk;
}
