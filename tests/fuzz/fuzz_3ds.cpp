// 3DS files are outside data: any bytes must be walked without reading out of bounds, every
// frame opened must be closed, and every face must name a vertex of its mesh.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/convert3ds/reader_3ds.h"

namespace {

struct Checker : Sink3ds {
  long open = 0;
  void FrameOpen(const std::string&) override { ++open; }
  void FrameClose() override {
    if (--open < 0) std::abort();
  }
  void Mesh(const Mesh3ds& m) override {
    const size_t nv = m.positions.size() / 3;
    if (m.texCoords.size() != 2 * nv || m.normals.size() != 3 * m.faces.size()) std::abort();
    for (uint32_t i : m.faces)
      if (i >= nv) std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Checker c;
  Read3dsFile(std::string_view(reinterpret_cast<const char*>(data), size), c);
  if (c.open != 0) std::abort();
  return 0;
}
