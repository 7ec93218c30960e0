#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// CPU pixel surfaces: 16-bit 5-6-5, packed 24-bit and X8R8G8B8 32-bit pixels (8-bit
// palettes only as a load format). Every operation returns a result code; a surface can be
// "lost" only through fault injection, as the display code must handle that case.

enum SurfResult : int32_t {
  kSurfOk = 0,
  kSurfLost = 1,          // the surface (or the source) is lost: Restore, then retry
  kSurfStillDrawing = 2,  // busy: call again
  kSurfInvalid = 3,       // bad rectangle or arguments
  kSurfNoMemory = 4,
  kSurfFormat = 5,        // surfaces of formats that cannot be combined
};

// A rectangle with exclusive right and bottom.
struct SurfRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

// Pixel layout: contiguous red, green, blue fields from high to low bits, blue at bit 0.
struct PixelFormat {
  int32_t bits = 16;
  uint32_t redMask = 0xF800, greenMask = 0x07E0, blueMask = 0x001F;
  int32_t BytesPerPixel() const { return bits / 8; }
};
PixelFormat FormatForDepth(int32_t depth);

// Converts 0x00RRGGBB to a pixel of the format with the truncating scale of the drawing
// colours (channel * max / 255), and a pixel back to 0x00RRGGBB (channel * 255 / max).
uint32_t PixelFromRgb(const PixelFormat& f, uint32_t rgb);
uint32_t RgbFromPixel(const PixelFormat& f, uint32_t pixel);
// Exact expansion used for presenting and GL upload: 5 and 6-bit channels are widened by
// bit replication, so NarrowExpanded(Expand(p)) == p for every pixel.
uint32_t ExpandPixelToRgb(const PixelFormat& f, uint32_t pixel);
uint32_t NarrowRgbToPixel(const PixelFormat& f, uint32_t rgb);

// Reads or writes exactly one pixel of bpp bytes (1..4), little-endian.
inline uint32_t LoadPixel(const uint8_t* p, int32_t bpp) {
  switch (bpp) {
    case 1: return p[0];
    case 2: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 3: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    default: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
}
inline void StorePixel(uint8_t* p, int32_t bpp, uint32_t v) {
  p[0] = uint8_t(v);
  if (bpp > 1) p[1] = uint8_t(v >> 8);
  if (bpp > 2) p[2] = uint8_t(v >> 16);
  if (bpp > 3) p[3] = uint8_t(v >> 24);
}

struct GammaRamp {
  uint16_t red[256], green[256], blue[256];
};
void SetIdentityGammaRamp(GammaRamp& ramp);

class Surface {
 public:
  Surface(int32_t w, int32_t h, const PixelFormat& f);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t Depth() const { return format_.bits; }
  int32_t Pitch() const { return pitch_; }
  const PixelFormat& Format() const { return format_; }
  uint8_t* Row(int32_t y) { return pixels_.get() + size_t(y) * size_t(pitch_); }
  const uint8_t* Row(int32_t y) const { return pixels_.get() + size_t(y) * size_t(pitch_); }
  uint32_t GetPixel(int32_t x, int32_t y) const { return LoadPixel(Row(y) + x * bpp_, bpp_); }
  void PutPixel(int32_t x, int32_t y, uint32_t v) { StorePixel(Row(y) + x * bpp_, bpp_, v); }
  SurfRect Bounds() const { return {0, 0, width_, height_}; }

  // Source colour key (pixel value) used by keyed blits.
  bool hasKey = false;
  uint32_t key = 0;
  // 8-bit surfaces: their palette as 0x00RRGGBB.
  std::vector<uint32_t> palette;
  bool lost = false;
  bool locked = false;

 private:
  int32_t width_, height_, pitch_, bpp_;
  PixelFormat format_;
  // Zeroed by calloc: a large surface gets its pages from the system as they are first
  // touched, instead of all of them written at creation.
  struct FreePixels {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint8_t[], FreePixels> pixels_;
};

using SurfacePtr = std::unique_ptr<Surface>;

// Test hooks: each counter makes that many of the next calls fail in the named way.
struct SurfaceFaults {
  int32_t createFailures = 0;    // SurfaceCreate returns nullptr
  int32_t loseNext = 0;          // the destination is lost before the next operations
  int32_t stillDrawing = 0;      // operations answer kSurfStillDrawing
  int32_t restoreFailures = 0;   // Restore fails
};
extern SurfaceFaults g_surfaceFaults;
void ResetSurfaceFaults();
// True when pixels may be written straight into s: it is present and no injected fault waits
// for the next checked call.
inline bool SurfaceDirectlyWritable(const Surface* s) {
  return s && !s->lost && g_surfaceFaults.loseNext <= 0 && g_surfaceFaults.stillDrawing <= 0;
}

// A new surface filled with zero, or nullptr (size below 1, too large, fault injection).
SurfacePtr SurfaceCreate(int32_t width, int32_t height, int32_t depth);
SurfacePtr SurfaceCreate(int32_t width, int32_t height, const PixelFormat& format);

enum : uint32_t { kBltKeySrc = 1, kBltMirrorLeftRight = 2, kBltMirrorUpDown = 4 };

// Copies src's rectangle (whole src when null) to x, y of dst at its own size, clipped to
// both surfaces; with kBltKeySrc pixels equal to src's key are skipped.
int32_t SurfaceBltFast(Surface* dst, int32_t x, int32_t y, Surface* src, const SurfRect* srcRect, uint32_t flags);
// Copies src's rectangle into dst's rectangle (whole surfaces when null), stretching with
// nearest-pixel sampling. Rectangles must lie inside their surfaces (kSurfInvalid otherwise).
int32_t SurfaceBlt(Surface* dst, const SurfRect* dstRect, Surface* src, const SurfRect* srcRect, uint32_t flags);
// As SurfaceBlt, with effects: kBltMirrorLeftRight and kBltMirrorUpDown turn the source
// rectangle over as it is copied; kBltKeySrc skips pixels equal to src's key.
int32_t SurfaceBltFx(Surface* dst, const SurfRect& dstRect, Surface* src, const SurfRect& srcRect, uint32_t flags);
// Copies n pixels of bpp bytes from s to d, leaving out those equal to key (bpp 2 or 4 use
// vector compares where the processor has them).
void CopyRowKeyed(uint8_t* d, const uint8_t* s, int32_t n, int32_t bpp, uint32_t key);
// Fills dst's rectangle (whole surface when null) with a pixel value, clipped to the surface;
// an empty or inverted rectangle fills nothing and answers kSurfInvalid.
int32_t SurfaceFill(Surface* dst, const SurfRect* rect, uint32_t pixel);
// Locks for direct access: *bits points at row 0, *pitch is the row length in bytes.
int32_t SurfaceLock(Surface* s, uint8_t** bits, int32_t* pitch);
int32_t SurfaceUnlock(Surface* s);
int32_t SurfaceRestore(Surface* s);
// The operation-start check of every call: fault injection and the lost state.
int32_t SurfaceCheck(Surface* s);
