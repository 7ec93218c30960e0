// The bitmap table, the surface routines of bitmap operations and the bitmap effects.
#include "display/bitmaps.h"

#include <algorithm>
#include <cctype>

#include "core/pack.h"
#include "display/display.h"
#include "display/records.h"

BitmapInfo g_bitmapInfo[kBitmapSlots];
PixelShifts g_pixelShifts;

namespace {

SurfacePtr g_slots[kBitmapSlots];

int32_t BitLength(uint32_t m) {
  int32_t n = 0;
  for (; m; m >>= 1) ++n;
  return n;
}

// Channels of a pixel under the current pixel shifts.
struct Rgb {
  uint32_t r, g, b;
};
inline Rgb Split(uint32_t p) {
  const PixelShifts& s = g_pixelShifts;
  return {(p >> s.redShift) & s.redMax, (p >> s.greenShift) & s.greenMax, p & s.blueMax};
}
inline uint32_t Join(uint32_t r, uint32_t g, uint32_t b) {
  return (r << g_pixelShifts.redShift) + (g << g_pixelShifts.greenShift) + b;
}

// Locks under the busy rule (bounded); false when the lock fails.
bool LockBounded(Surface* s, uint8_t** bits, int32_t* pitch) {
  int32_t r = RetrySurfaceCall(s, [&] { return SurfaceLock(s, bits, pitch); });
  return r == kSurfOk;
}

}  // namespace

Surface* BitmapSurface(int32_t n) {
  if (n == 0) return g_display.backBuffer.get();
  if (n < 0 || n >= kBitmapSlots) return nullptr;
  return g_slots[n].get();
}

SurfacePtr& BitmapSlot(int32_t n) { return g_slots[std::clamp(n, 0, kBitmapSlots - 1)]; }

void SetBitmapInfo(int32_t n, int32_t width, int32_t height, int32_t depth) {
  if (n < 0 || n >= kBitmapSlots) return;
  g_bitmapInfo[n].width = width;
  g_bitmapInfo[n].height = height;
  g_bitmapInfo[n].depth = depth;
}

void ResetBitmapTable() {
  for (int32_t i = 0; i < kBitmapSlots; ++i) {
    g_bitmapInfo[i] = BitmapInfo{};
    g_slots[i].reset();
  }
  g_pixelShifts = PixelShifts{};
}

void ReleaseAllBitmapSurfaces() {
  for (SurfacePtr& s : g_slots) s.reset();
}

bool CreateBitmapSurface(int32_t n, int32_t width, int32_t height) {
  ReleaseSurfaceSlot(n);
  if (n < 1 || n >= kBitmapSlots || width < 1 || height < 1) return false;
  g_slots[n] = SurfaceCreate(width, height, g_display.depth);
  if (!g_slots[n]) return false;
  SetBitmapInfo(n, width, height, g_slots[n]->Depth());
  return true;
}

void ReleaseSurfaceSlot(int32_t n) {
  if (n >= 1 && n < kBitmapSlots) g_slots[n].reset();
}

bool SaveSurfaceSlot(int32_t n, const std::string& file, std::string* why, bool replace) {
  Surface* s = BitmapSurface(n);
  return s && SaveImageByExtension(*s, file, why, replace);
}

bool LoadBitmapNow(int32_t n, const std::string& file, std::string* why) {
  if (n < 1 || n >= kBitmapSlots) return false;
  std::string name = file;
  if (name.size() >= 3) MapThroughPack(name, PackedCopyExtension(name));
  SurfacePtr s = LoadImageByExtension(name, g_display.depth, why);
  if (!s) return false;
  if (!IsDdsFileName(file)) {
    s->hasKey = true;
    s->key = ImageColourKeyPixel();
  }
  SetBitmapInfo(n, s->Width(), s->Height(), s->Depth());
  g_slots[n] = std::move(s);
  return true;
}

bool MirrorSurface(Surface* s) {
  if (!s) return false;
  const int32_t w = s->Width(), h = s->Height(), bpp = s->Format().BytesPerPixel();
  uint8_t* bits;
  int32_t pitch;
  if (!LockBounded(s, &bits, &pitch)) return false;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = bits + size_t(y) * size_t(pitch);
    for (int32_t i = 0; i < w / 2; ++i) std::swap_ranges(row + i * bpp, row + (i + 1) * bpp, row + (w - 1 - i) * bpp);
  }
  SurfaceUnlock(s);
  return true;
}

bool FlipSurface(Surface* s) {
  if (!s) return false;
  const int32_t h = s->Height();
  const size_t rowBytes = size_t(s->Width()) * size_t(s->Format().BytesPerPixel());
  uint8_t* bits;
  int32_t pitch;
  if (!LockBounded(s, &bits, &pitch)) return false;
  for (int32_t i = 0; i < h / 2; ++i)
    std::swap_ranges(bits + size_t(i) * size_t(pitch), bits + size_t(i) * size_t(pitch) + rowBytes,
                     bits + size_t(h - 1 - i) * size_t(pitch));
  SurfaceUnlock(s);
  return true;
}

bool RotateSurface(SurfacePtr* s, int32_t angle) {
  if (!s || !*s) return false;
  // Four quarter turns bring the picture back: more than four are never made.
  int32_t turns = angle / 90;
  if (turns > 4) turns = (turns - 1) % 4 + 1;
  SurfacePtr cur;
  Surface* from = s->get();
  for (int32_t t = 0; t < turns; ++t) {
    const int32_t w = from->Width(), h = from->Height();
    SurfacePtr next = SurfaceCreate(h, w, from->Format());
    if (!next) return false;  // *s keeps the original
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) next->PutPixel(h - 1 - y, x, from->GetPixel(x, y));
    next->hasKey = from->hasKey;
    next->key = from->key;
    cur = std::move(next);
    from = cur.get();
  }
  if (cur) *s = std::move(cur);
  return true;
}

bool BlurSurface(Surface* s, int32_t k) {
  if (!s || s->Depth() == 8) return false;
  ComputePixelShifts(s);
  if (k >= 10) return false;
  const int32_t w = s->Width(), h = s->Height(), bpp = s->Format().BytesPerPixel();
  SurfacePtr a = SurfaceCreate(w, h, s->Format()), b = SurfaceCreate(w, h, s->Format());
  if (!a || !b) return false;
  SurfaceBltFast(a.get(), 0, 0, s, nullptr, 0);
  int32_t from = 0, to = 0;
  if (k >= 2) {
    from = -(k / 2);
    to = k - 1 + from;
  }
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint32_t r = 0, g = 0, bl = 0, n = 0;
      for (int32_t yy = y + from; yy <= y + to && n < 100; ++yy) {
        if (yy < 0 || yy >= h) continue;
        for (int32_t xx = x + from; xx <= x + to && n < 100; ++xx) {
          if (xx < 0 || xx >= w) continue;
          Rgb c = Split(LoadPixel(a->Row(yy) + xx * bpp, bpp));
          r += c.r;
          g += c.g;
          bl += c.b;
          ++n;
        }
      }
      if (n) StorePixel(b->Row(y) + x * bpp, bpp, Join(r / n, g / n, bl / n));
    }
  }
  return SurfaceBltFast(s, 0, 0, b.get(), nullptr, 0) == kSurfOk;
}

bool FadeSurface(Surface* s, int32_t percent) {
  if (!s || s->Depth() == 8) return false;
  ComputePixelShifts(s);
  if (percent < 0 || percent > 100) return false;
  uint8_t* bits;
  int32_t pitch;
  if (!LockBounded(s, &bits, &pitch)) return false;
  const float f = float(percent) / 100.0f;
  const int32_t bpp = s->Format().BytesPerPixel();
  for (int32_t y = 0; y < s->Height(); ++y) {
    uint8_t* row = bits + size_t(y) * size_t(pitch);
    for (int32_t x = 0; x < s->Width(); ++x) {
      Rgb c = Split(LoadPixel(row + x * bpp, bpp));
      uint32_t p = Join(uint32_t(int32_t(float(c.r) * f)), uint32_t(int32_t(float(c.g) * f)),
                        uint32_t(int32_t(float(c.b) * f)));
      StorePixel(row + x * bpp, bpp, p);
    }
  }
  SurfaceUnlock(s);
  return true;
}

bool SetGammaLevels(int32_t red, int32_t green, int32_t blue) {
  if (!g_display.gammaAvailable) return false;
  auto fill = [](uint16_t* ramp, int32_t v) {
    int32_t base = 0, scale = v;
    if (v > 256) {
      base = v - 256;
      scale = 255 - (v - 256);
    }
    for (int32_t i = 0; i < 256; ++i) ramp[i] = uint16_t((base << 8) + i * scale);
  };
  fill(g_display.gamma.red, red);
  fill(g_display.gamma.green, green);
  fill(g_display.gamma.blue, blue);
  return true;
}

void ComputePixelShifts(const Surface* s) {
  if (!s || s->Depth() == 8) return;
  const PixelFormat& f = s->Format();
  int32_t bBits = BitLength(f.blueMask);
  int32_t gBits = BitLength(f.greenMask) - bBits;
  int32_t rBits = BitLength(f.redMask) - bBits - gBits;
  g_pixelShifts.redShift = bBits + gBits;
  g_pixelShifts.greenShift = bBits;
  g_pixelShifts.redMax = (1u << rBits) - 1;
  g_pixelShifts.greenMax = (1u << gBits) - 1;
  g_pixelShifts.blueMax = (1u << bBits) - 1;
  g_pixelShifts.bytesPerPixel = f.BytesPerPixel();
}

void ReadSurfacePixel(Surface* s, int32_t x, int32_t y, VarCell* cell) {
  if (!cell) return;
  ComputePixelShifts(s);
  uint32_t p = 0;
  uint8_t* bits;
  int32_t pitch;
  if (s && x >= 0 && y >= 0 && x < s->Width() && y < s->Height() && LockBounded(s, &bits, &pitch)) {
    p = LoadPixel(bits + size_t(y) * size_t(pitch) + size_t(x) * size_t(g_pixelShifts.bytesPerPixel),
                  g_pixelShifts.bytesPerPixel);
    SurfaceUnlock(s);
  }
  const PixelShifts& sh = g_pixelShifts;
  uint32_t r = (p >> sh.redShift) & sh.redMax, g = (p >> sh.greenShift) & sh.greenMax, b = p & sh.blueMax;
  auto w = [](uint32_t v, uint32_t max) { return uint32_t(int32_t(255.0 / double(max) * double(v))); };
  cell->i = int32_t((w(r, sh.redMax) << 16) + (w(g, sh.greenMax) << 8) + w(b, sh.blueMax));
}

uint32_t ImageColourKeyPixel() { return 0; }
