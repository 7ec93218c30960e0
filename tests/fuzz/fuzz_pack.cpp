// Reads arbitrary bytes as a file with a pack and maps its entries, or refuses them with a cause.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/pack.h"
#include "platform/fs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VirtualFiles vf;
  std::string why;
  const bool loaded = vf.LoadPackFromBytes(data, size, &why);
  if (loaded == !why.empty()) __builtin_trap();  // a refusal says what is wrong
  if (loaded) {
    for (const PackEntry& e : vf.Entries()) {
      std::string name = e.name;
      vf.MapVirtualFile(name, "dat");
    }
    vf.ExtractPackedProgram();
  }
  return 0;
}
