// Image files of every ending through the load dispatch: the first byte chooses the ending
// and the surface depth, the rest is the file. A load that succeeds gave a picture of some size.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "display/imagefiles/image_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kEndings[] = {"bmp", "png", "jpg", "rle", "dib", "psd", "pcx", "tga", "dds", "tif", "gif"};
  if (size < 1) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const int32_t depth = (data[0] & 6) == 2 ? 24 : (data[0] & 6) == 4 ? 32 : 16;
  const char* ending = (data[0] & 1) ? "png" : kEndings[(data[0] >> 3) % std::size(kEndings)];
  SurfacePtr s = LoadImageFromMemory(bytes, ending, depth);
  if (s && (s->Width() < 1 || s->Height() < 1)) __builtin_trap();
  return 0;
}
