// A built game's copy of the runtime: only what the loader maps, and a plain copy of anything
// not read with certainty.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "runtime/elf_image.h"

namespace {

void Put(std::string& b, size_t at, uint64_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) b[at + size_t(k)] = char((v >> (8 * k)) & 0xFF);
}

// 64-byte header, two program headers at 64 (a loaded segment over bytes 0-299 and a note
// inside it), then 100 bytes of debug data and the section headers from 300 on (three, the
// section names in the third).
std::string Executable() {
  std::string b(500, '\x5a');
  b.replace(0, 16, std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(9, '\0'));
  Put(b, 16, 3, 2);    // position-independent executable
  Put(b, 32, 64, 8);   // program headers
  Put(b, 40, 400, 8);  // section headers
  Put(b, 54, 56, 2);
  Put(b, 56, 2, 2);
  Put(b, 58, 64, 2);
  Put(b, 60, 3, 2);
  Put(b, 62, 2, 2);
  Put(b, 64, 1, 4);          // loaded
  Put(b, 64 + 8, 0, 8);      // offset
  Put(b, 64 + 32, 300, 8);   // file size
  Put(b, 120, 4, 4);         // a note
  Put(b, 120 + 8, 200, 8);
  Put(b, 120 + 32, 20, 8);
  return b;
}

TEST(ElfImage, KeepsTheLoadedPartAndDropsTheSectionHeaders) {
  const struct {
    const char* what;
    std::function<void(std::string&)> change;
    size_t size;
  } cases[] = {
      {"the loaded segment ends last", [](std::string&) {}, 300},
      {"the last header's segment ends last", [](std::string& b) { Put(b, 120 + 8, 290, 8), Put(b, 120 + 32, 60, 8); },
       350},
  };
  for (const auto& c : cases) {
    std::string exe = Executable();
    c.change(exe);
    const std::string before = exe;
    ASSERT_TRUE(CutToLoadedImage(exe)) << c.what;
    ASSERT_EQ(exe.size(), c.size) << c.what;
    EXPECT_EQ(exe.substr(0, 40), before.substr(0, 40)) << c.what;
    EXPECT_EQ(exe.substr(40, 8), std::string(8, '\0')) << c.what;
    EXPECT_EQ(exe.substr(48, 12), before.substr(48, 12)) << c.what;
    EXPECT_EQ(exe.substr(60, 4), std::string(4, '\0')) << c.what;  // section count and name table index
    EXPECT_EQ(exe.substr(64), before.substr(64, c.size - 64)) << c.what;
  }
}

// Anything not read with certainty is left as it is, without reading past its end.
TEST(ElfImage, OtherFilesAreLeftWhole) {
  const struct {
    const char* what;
    std::function<void(std::string&)> change;
  } cases[] = {
      {"not ELF", [](std::string& b) { b[1] = 'X'; }},
      {"32-bit", [](std::string& b) { b[4] = 1; }},
      {"big-endian", [](std::string& b) { b[5] = 2; }},
      {"an object file", [](std::string& b) { Put(b, 16, 1, 2); }},
      {"short", [](std::string& b) { b.resize(40); }},
      {"program headers past the end", [](std::string& b) { Put(b, 32, 480, 8); }},
      {"program headers over the header", [](std::string& b) { Put(b, 32, 8, 8); }},
      {"small program header entries", [](std::string& b) { Put(b, 54, 32, 2); }},
      {"no program headers", [](std::string& b) { Put(b, 56, 0, 2); }},
      {"a count kept elsewhere", [](std::string& b) { Put(b, 56, 0xFFFF, 2); }},
      {"a segment past the end", [](std::string& b) { Put(b, 64 + 32, 501, 8); }},
      {"a segment wrapping around", [](std::string& b) { Put(b, 64 + 8, 8, 8), Put(b, 64 + 32, ~uint64_t(7), 8); }},
      {"no loaded segment", [](std::string& b) { Put(b, 64, 4, 4); }},
      {"nothing past the segments", [](std::string& b) { Put(b, 64 + 32, 500, 8); }},
  };
  for (const auto& c : cases) {
    std::string exe = Executable();
    c.change(exe);
    const std::string before = exe;
    EXPECT_FALSE(CutToLoadedImage(exe)) << c.what;
    EXPECT_EQ(exe, before) << c.what;
  }
}

}  // namespace
