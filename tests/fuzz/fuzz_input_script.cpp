// Fuzzes the reader of --input files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/input_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<ScriptEvent> events;
  std::string error;
  ParseInputScript(std::string(reinterpret_cast<const char*>(data), size), events, &error);
  return 0;
}
