#include "runtime/elf_image.h"

#include <cstdint>

namespace {

constexpr size_t kHeaderSize = 64;
constexpr size_t kProgramHeaderSize = 56;  // the fields read here; an entry may be larger
constexpr uint32_t kLoadSegment = 1;
constexpr uint16_t kExtendedCount = 0xFFFF;  // the real count is kept in a section header

uint64_t Read(const std::string& b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(b[at + size_t(k)]);
  return v;
}

void Clear(std::string& b, size_t at, int bytes) {
  for (int k = 0; k < bytes; ++k) b[at + size_t(k)] = 0;
}

// A range of the file that lies inside it.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) { return offset <= size && length <= size - offset; }

}  // namespace

bool CutToLoadedImage(std::string& exe) {
  const uint64_t size = exe.size();
  if (size < kHeaderSize || exe.compare(0, 4, "\x7f" "ELF") != 0) return false;
  if (exe[4] != 2 || exe[5] != 1 || exe[6] != 1) return false;  // 64-bit, little-endian, version 1
  const uint64_t type = Read(exe, 16, 2);
  if (type != 2 && type != 3) return false;  // an executable, fixed or position-independent
  const uint64_t phoff = Read(exe, 32, 8), entrySize = Read(exe, 54, 2), count = Read(exe, 56, 2);
  if (entrySize < kProgramHeaderSize || count == 0 || count == kExtendedCount) return false;
  if (phoff < kHeaderSize || !Inside(phoff, entrySize * count, size)) return false;
  uint64_t end = phoff + entrySize * count;
  bool loads = false;
  for (uint64_t k = 0; k < count; ++k) {
    const size_t at = size_t(phoff + k * entrySize);
    const uint64_t offset = Read(exe, at + 8, 8), length = Read(exe, at + 32, 8);
    if (length == 0) continue;
    if (!Inside(offset, length, size)) return false;
    loads = loads || Read(exe, at, 4) == kLoadSegment;
    if (offset + length > end) end = offset + length;
  }
  if (!loads || end >= size) return false;
  exe.resize(size_t(end));
  Clear(exe, 40, 8);  // e_shoff
  Clear(exe, 60, 2);  // e_shnum
  Clear(exe, 62, 2);  // e_shstrndx
  return true;
}
