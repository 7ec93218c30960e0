// BMP files (all kinds, RLE among them): edits of valid samples, and raw bytes.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "display/imagefiles/formats.h"
#include "display/imagefiles/image_files.h"
#include "tests/display/image_fixtures.h"
#include "tests/fuzz/image_edit.h"

namespace {

const std::string& Sample(uint8_t which) {
  static const Picture p = FixturePicture(13, 9, 16);
  static const std::string kinds[] = {MakeBmp(p, 8, BmpKind::Rle), MakeBmp(p, 4, BmpKind::Rle), MakeBmp(p, 1),
                                      MakeBmp(p, 16, BmpKind::Bitfields), MakeBmp(p, 24, BmpKind::Core)};
  return kinds[which % std::size(kinds)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = EditedSample(Sample(size > 0 ? uint8_t(data[0] >> 1) : 0), data, size);
  SurfaceSink sink(16);
  DecodeBmp(file, sink);
  return 0;
}
