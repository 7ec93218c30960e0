// TARGA files: edits of valid samples, and raw bytes. A decode that succeeds gave a picture of
// some size with every row.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "display/imagefiles/formats.h"
#include "display/imagefiles/image_files.h"
#include "tests/display/image_fixtures.h"
#include "tests/fuzz/image_edit.h"

namespace {

std::string Encoded(const Picture& p) {
  std::string out;
  EncodeTga(p, &out);
  return out;
}

const std::string& Sample(uint8_t which) {
  static const Picture p = FixturePicture(13, 9, 16);
  static const std::string kinds[] = {MakeTgaRle(p), Encoded(p)};
  return kinds[which % std::size(kinds)];
}

// Which rows the decoder gave.
struct RowsSeen : PictureSink {
  std::vector<bool> rows;
  int32_t width = 0;
  bool Begin(int32_t w, int32_t h) override {
    width = w;
    rows.assign(size_t(h), false);
    return true;
  }
  void Row(int32_t y, const uint32_t*) override {
    if (y < 0 || size_t(y) >= rows.size()) __builtin_trap();
    rows[size_t(y)] = true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = EditedSample(Sample(size > 0 ? uint8_t(data[0] >> 1) : 0), data, size);
  SurfaceSink sink(16);
  DecodeTga(file, sink);
  RowsSeen seen;
  if (DecodeTga(file, seen)) {
    if (seen.width < 1 || seen.rows.empty()) __builtin_trap();
    for (bool row : seen.rows)
      if (!row) __builtin_trap();
  }
  return 0;
}
