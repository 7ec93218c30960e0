// A runtime executable to copy into a game is outside data: any bytes are either cut to a part
// of themselves, with the section-header fields cleared, or left exactly as they were.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/elf_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string before(reinterpret_cast<const char*>(data), size);
  std::string exe = before;
  if (!CutToLoadedImage(exe)) {
    if (exe != before) std::abort();
    return 0;
  }
  if (exe.size() >= before.size() || exe.size() < 64) std::abort();
  for (size_t k = 0; k < exe.size(); ++k) {
    const bool cleared = (k >= 40 && k < 48) || (k >= 60 && k < 64);
    if (cleared ? exe[k] != 0 : exe[k] != before[k]) std::abort();
  }
  return 0;
}
