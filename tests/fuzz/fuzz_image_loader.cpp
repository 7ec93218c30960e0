// Loads arbitrary bytes as a program image: the loader must refuse or load, never crash.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/command_table.h"
#include "core/loader.h"
#include "runtime/command_families.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (InitCommandTable(), true);
  (void)ready;
  // Inputs are mostly short: put them behind a valid-looking header so the blocks are reached.
  std::vector<uint8_t> image(4096, 0);
  const uint32_t header[12] = {1, 1024, 1024, 1024, 0, 1025, 0, 1029, 0, 0, 0, 3};
  std::memcpy(image.data(), header, sizeof header);
  if (size >= 48 && data[0] == 'H') {
    image.assign(data + 1, data + size);  // a whole image, header included
  } else {
    size_t n = size < 48 ? size : 48;
    std::memcpy(image.data(), data, n);  // a damaged header ...
    image.insert(image.end(), data + n, data + size);  // ... over fuzzed blocks and code
  }
  image.resize(image.size() & ~size_t(3));
  if (LoadProgramFromBytes(image.data(), image.size())) FreeProgramStrings();
  return 0;
}
