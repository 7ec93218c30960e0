#pragma once
#include <cstdint>
#include <string>

#include "core/cells.h"
#include "display/imagefiles/image_files.h"
#include "platform/surfaces.h"

// The 32 drawing bitmaps: 0 is the back buffer, 1..31 off-screen surfaces the program makes.
// Slots 32..36 are scratch (33: image loading and saving).
inline constexpr int32_t kBitmapSlots = 37;
inline constexpr int32_t kScratchSlot = 33;

struct BitmapInfo {
  int32_t width = 0, height = 0, depth = 0, mirrored = 0, flipped = 0;
};
extern BitmapInfo g_bitmapInfo[kBitmapSlots];

// Bitmap n's surface: the back buffer for 0, the slot's surface (or nullptr) otherwise.
Surface* BitmapSurface(int32_t n);
SurfacePtr& BitmapSlot(int32_t n);
void SetBitmapInfo(int32_t n, int32_t width, int32_t height, int32_t depth);
void ResetBitmapTable();
// Releases the surfaces of slots 1..36 (display release).
void ReleaseAllBitmapSurfaces();

bool CreateBitmapSurface(int32_t n, int32_t width, int32_t height);
void ReleaseSurfaceSlot(int32_t n);
bool SaveSurfaceSlot(int32_t n, const std::string& file, std::string* why = nullptr, bool replace = true);
bool LoadBitmapNow(int32_t n, const std::string& file, std::string* why = nullptr);

// Effects on whole surfaces; each answers false when its scratch surfaces cannot be made or
// the surface cannot be locked, leaving the surface as it was.
bool MirrorSurface(Surface* s);
bool FlipSurface(Surface* s);
bool BlurSurface(Surface* s, int32_t kernel);
bool FadeSurface(Surface* s, int32_t percent);
// Turns the surface by whole quarter turns (angle / 90, none for angles below 90). Returns
// the turned surface; when a turn fails, *s is left as it was and false is answered.
bool RotateSurface(SurfacePtr* s, int32_t angle);
bool SetGammaLevels(int32_t red, int32_t green, int32_t blue);

// The pixel-format state that ComputePixelShifts reads from one surface.
struct PixelShifts {
  int32_t redShift = 11, greenShift = 5;
  uint32_t redMax = 31, greenMax = 63, blueMax = 31;
  int32_t bytesPerPixel = 2;
};
extern PixelShifts g_pixelShifts;
void ComputePixelShifts(const Surface* s);
// Writes the pixel at x, y as 0x00RRGGBB into the cell (0 when the surface cannot be read).
void ReadSurfacePixel(Surface* s, int32_t x, int32_t y, VarCell* cell);
// The image colour key (black) as a pixel of the display format.
uint32_t ImageColourKeyPixel();

