#pragma once
#include <cstdint>
#include <string>

#include "display/imagefiles/dds.h"
#include "platform/surfaces.h"

// Surface utilities over the image files: BMP and DDS files into surfaces, the palette of
// 8-bit pictures, colour matching and keys, and the screen grab after a refresh.

// A BMP or DDS file (the name mapped through the pack's files) as a new surface of the
// display's format, stretched to width x height when both are given; nullptr otherwise.
SurfacePtr LoadImageFileToSurface(const std::string& name, int32_t width, int32_t height);
// A DDS file with its mip levels, or only its top level when singleLevel is set or the
// device has no mip filtering; *hasMipmaps tells whether levels were kept.
bool ReadDdsFile(const std::string& name, bool singleLevel, DdsImage* out, bool* hasMipmaps);

// A 256-colour palette: 3-3-2 colours, or the colour table of a BMP of 8 bits or fewer
// (its bytes in bmp); entries 0-9 and 246-255 get flags 2, the rest 4 when a table was read.
struct PaletteEntry {
  uint8_t red, green, blue, flags;
};
void LoadBitmapPalette(const std::string* bmp, PaletteEntry out[256]);

// The surface's pixel value for 0x00RRGGBB (-1: the pixel at 0,0), or -1 when the surface
// cannot be read.
int64_t MatchSurfaceColor(Surface* s, int64_t colour);
void SetSurfaceColorKey(Surface* s, int64_t colour);

// The grab of the shown screen: requested by a command, made by the frame cycle after the
// next present (several requests in one slice save once, under the last name).
void RequestScreenGrab(const std::string& file);
bool CaptureScreenToFile();
bool ReleaseGrabSurface();
void ResetScreenGrab();
