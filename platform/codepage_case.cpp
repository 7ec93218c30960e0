// Letter case in the code pages: which byte is the lower-case form of which, for matching
// names ignoring case and ordering them.
#include <array>
#include <map>

#include "platform/codepage.h"
#include "platform/codepage_tables.h"

namespace {

// The simple lower-case mapping of the letters the code pages hold (Latin, Greek, Cyrillic);
// scripts without case, and letters already lower case, map to themselves.
uint32_t LowerCodePoint(uint32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c == 0x130) return 'i';  // dotted capital I
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;  // pairs from an even one
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c + (c & 1);  // from an odd one
  if (c == 0x178) return 0xFF;
  if (c == 0x1A0 || c == 0x1AF) return c + 1;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c == 0x490) return 0x491;
  return c;
}

using CaseTable = std::array<uint8_t, 256>;

CaseTable MakeTable(int32_t codePage) {
  CaseTable table;
  for (int b = 0; b < 256; ++b) {
    table[size_t(b)] = uint8_t(b);
    const uint32_t c = CodePageChar(codePage, uint8_t(b));
    const uint32_t lower = c ? LowerCodePoint(c) : c;
    for (int k = 0; lower != c && k < 256; ++k)
      if (CodePageChar(codePage, uint8_t(k)) == lower) {
        table[size_t(b)] = uint8_t(k);
        break;
      }
  }
  return table;
}

const CaseTable& TableOf(int32_t codePage) {
  static const std::map<int32_t, CaseTable> tables = [] {
    std::map<int32_t, CaseTable> made;
    for (int32_t page : CodePagesDrawn()) made.emplace(page, MakeTable(page));
    made.emplace(1252, MakeTable(1252));
    return made;
  }();
  const auto it = tables.find(codePage);
  return it == tables.end() ? tables.at(1252) : it->second;  // a page without a table reads as 1252
}

}  // namespace

std::string CodePageLower(int32_t codePage, std::string text) {
  const CaseTable& table = TableOf(codePage);
  for (char& c : text) c = char(table[static_cast<unsigned char>(c)]);
  return text;
}
