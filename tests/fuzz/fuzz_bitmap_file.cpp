// Bitmap files (PNG and BMP) as the bitmap and image commands load them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "display/bitmaps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const char* ext = (data[0] & 1) ? "png" : "bmp";
  int32_t depth = (data[0] & 6) == 2 ? 24 : (data[0] & 6) == 4 ? 32 : 16;
  SurfacePtr s = LoadImageFromMemory(bytes, ext, depth);
  return s && s->Width() > 0 ? 0 : 0;
}
