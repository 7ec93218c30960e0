// Decodes arbitrary bytes as packed sample data of both widths and both orders.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/engine/sample_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t count = uint32_t(data[0]) * 613 + 1;  // across block boundaries now and then
  std::vector<uint8_t> out(size_t(count) * 2);
  DecodePackedSamples(data + 1, uint32_t(size - 1), out.data(), count, false, (data[0] & 1) != 0);
  DecodePackedSamples(data + 1, uint32_t(size - 1), out.data(), count, true, (data[0] & 2) != 0);
  return 0;
}
