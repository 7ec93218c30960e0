// Mutated and random sources never crash or hang the compiler.
#include <cstddef>
#include <cstdint>
#include <string>

#include "compiler/compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Compiler* compiler = [] {
    auto* c = new Compiler;
    c->LoadKeywordTable();
    return c;
  }();
  if (size > 64 * 1024) return 0;
  // Compiled from memory: an "#include" names files relative to the current folder, which
  // holds none of the names a fuzzer makes up in practice.
  compiler->CompileText(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
