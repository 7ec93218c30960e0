// Array files are outside data: any bytes must load into integer, float and string arrays
// of any size without reading or writing out of bounds, or be refused with a cause.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/arrays.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int64_t total = data[0] % 70;  // element counts around the line lengths of 255
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  for (int entry : {0, 2000, 4000}) {
    ArrayEntry& e = g_arrays[entry];
    e.total = total;
    e.data = std::calloc(size_t(total ? total : 1), entry == 4000 ? sizeof(char*) : 4);
    std::string why;
    if (FillArrayFromFile(e, bytes, &why) == !why.empty()) __builtin_trap();
    FillArrayFromFile(e, bytes);  // a second load replaces every text
    ReleaseArrayBlock(e);
  }
  return 0;
}
