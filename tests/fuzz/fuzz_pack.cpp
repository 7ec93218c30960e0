// Reads arbitrary bytes as a file with a pack and maps its entries.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/pack.h"
#include "platform/fs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VirtualFiles vf;
  if (vf.LoadPackFromBytes(data, size)) {
    for (const PackEntry& e : vf.Entries()) {
      std::string name = e.name;
      vf.MapVirtualFile(name, "dat");
    }
    vf.ExtractPackedProgram();
  }
  return 0;
}
