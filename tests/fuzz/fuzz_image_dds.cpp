// DDS files (plain and DXT with mip levels): edits of valid samples, and raw bytes.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "display/imagefiles/formats.h"
#include "display/imagefiles/image_files.h"
#include "tests/display/image_fixtures.h"
#include "tests/fuzz/image_edit.h"

namespace {

std::string DxtFile(const Picture& p) {
  SurfacePtr s = SurfaceCreate(p.width, p.height, 16);
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) s->PutPixel(x, y, uint32_t(p.At(x, y)) & 0xFFFF);
  std::string out;
  EncodeImage(*s, "dds", &out);
  return out;
}

const std::string& Sample(uint8_t which) {
  static const Picture p = FixturePicture(13, 9, 16);
  static const std::string kinds[] = {MakeDds(p, 32, 3), MakeDds(p, 16, 1), DxtFile(p)};
  return kinds[which % std::size(kinds)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = EditedSample(Sample(size > 0 ? uint8_t(data[0] >> 1) : 0), data, size);
  SurfaceSink sink(16);
  DecodeDds(file, sink);
  return 0;
}
