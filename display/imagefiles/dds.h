#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "display/imagefiles/picture.h"
#include "platform/surfaces.h"

// DDS files: "DDS ", a 124-byte surface description, then each mip level's pixels. Levels
// keep their own format: uncompressed pixels described by masks, or DXT1 to DXT5 blocks.

enum : uint32_t {
  kDdsdCaps = 0x1, kDdsdHeight = 0x2, kDdsdWidth = 0x4, kDdsdPitch = 0x8, kDdsdPixelFormat = 0x1000,
  kDdsdMipMapCount = 0x20000, kDdsdLinearSize = 0x80000,
  kDdpfAlphaPixels = 0x1, kDdpfAlpha = 0x2, kDdpfFourCC = 0x4, kDdpfRgb = 0x40, kDdpfAlphaPremult = 0x8000,
  kDdsCapsComplex = 0x8, kDdsCapsTexture = 0x1000, kDdsCapsMipMap = 0x400000,
  kDdsCaps2Volume = 0x200000,
};

struct DdsPixelFormat {
  uint32_t flags = 0, fourCC = 0, bits = 0, red = 0, green = 0, blue = 0, alpha = 0;
};

struct DdsLevel {
  int32_t width = 0, height = 0;
  std::string bytes;
};

struct DdsImage {
  uint32_t flags = 0, caps = 0;
  DdsPixelFormat format;
  std::vector<DdsLevel> levels;
  // 1..5 for DXT1..DXT5, 0 for uncompressed pixels.
  int Digit() const;
  int32_t Width() const { return levels.empty() ? 0 : levels[0].width; }
  int32_t Height() const { return levels.empty() ? 0 : levels[0].height; }
};

inline uint32_t DxtFourCC(int digit) { return 0x00545844u | uint32_t('0' + digit) << 24; }
// Levels a picture of this size can have (down to 1 x 1).
int32_t MaxMipLevels(int32_t width, int32_t height);
// Bytes of one level of the format.
size_t DdsLevelBytes(const DdsPixelFormat& f, int32_t width, int32_t height);

// Reads a DDS file; every size, count and the data length are checked. singleLevel keeps
// only the top level.
bool ReadDds(const std::string& data, bool singleLevel, DdsImage* out);
bool WriteDds(const DdsImage& image, std::string* out);
// One level as 0xAARRGGBB texels (alpha 255 where the format has none).
Picture DdsLevelPicture(const DdsImage& image, size_t level);
// The surface halved (a side of 1 stays 1): each pixel the mean of the 2 x 2 block reaching
// one pixel up and left, channels averaged apart in the surface's own format.
SurfacePtr HalveSurface(const Surface& s);
// A DXT image of the surface with mip levels, as many as its size allows up to maxLevels;
// with keyed, pixels equal to the surface's colour key become transparent (alpha 0).
bool MakeDxtImage(const Surface& s, int digit, int32_t maxLevels, bool keyed, DdsImage* out);
