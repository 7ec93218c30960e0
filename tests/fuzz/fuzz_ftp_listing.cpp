// A folder listing comes from the server: any bytes must parse into entries within the bounds,
// names never empty, "." and ".." left out.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ftp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<FtpEntry> entries;
  const bool ok = ParseFtpListing(std::string(reinterpret_cast<const char*>(data), size), entries);
  if (!ok && !entries.empty()) std::abort();
  for (const FtpEntry& e : entries)
    if (e.name.empty() || e.name == "." || e.name == "..") std::abort();
  return 0;
}
