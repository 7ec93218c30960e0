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
  // The first half as a file, the second as memory compiles on top of it (twice, so the
  // second starts from what the first left).
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t half = size / 2;
  if (compiler->CompileText(text.substr(0, half))) {
    compiler->CompileFromMemory(text.substr(half), 0);
    compiler->CompileFromMemory(text.substr(half), 1);
  }
  compiler->CompileText(text);
  return 0;
}
