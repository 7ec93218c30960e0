// PCX files: edits of valid samples, and raw bytes.
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
  static const std::string kinds[] = {MakePcx(p, 1, 8), MakePcx(p, 4, 1), MakePcx(p, 3, 8), MakePcx(p, 1, 1)};
  return kinds[which % std::size(kinds)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = EditedSample(Sample(size > 0 ? uint8_t(data[0] >> 1) : 0), data, size);
  SurfaceSink sink(16);
  DecodePcx(file, sink);
  return 0;
}
