// Letter case in the code pages: which byte is the lower-case form of which, for matching
// names ignoring case and ordering them.
#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

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

// Lower-case letters whose code page bytes stand apart from their alphabet, each with the
// letter it follows there (a letter of the same entry's or an earlier one's): the Cyrillic
// letters beyond Russian's 32 and ё, and the Greek accented vowels.
constexpr std::pair<uint16_t, uint16_t> kFollows[] = {
    {0x491, 0x433}, {0x452, 0x434}, {0x453, 0x452}, {0x451, 0x435}, {0x454, 0x451}, {0x455, 0x437},
    {0x456, 0x438}, {0x457, 0x456}, {0x458, 0x439}, {0x459, 0x43B}, {0x45A, 0x43D}, {0x45B, 0x442},
    {0x45C, 0x45B}, {0x45E, 0x443}, {0x45F, 0x447}, {0x3AC, 0x3B1}, {0x3AD, 0x3B5}, {0x3AE, 0x3B7},
    {0x3AF, 0x3B9}, {0x3CA, 0x3AF}, {0x390, 0x3CA}, {0x3CC, 0x3BF}, {0x3CD, 0x3C5}, {0x3CB, 0x3CD},
    {0x3B0, 0x3CB}, {0x3CE, 0x3C9}};

using CaseTable = std::array<uint8_t, 256>;

// The byte of a code point in the code page, or -1.
int ByteOf(int32_t codePage, uint32_t c) {
  for (int b = 0; b < 256; ++b)
    if (CodePageChar(codePage, uint8_t(b)) == c) return b;
  return -1;
}

// Each byte's weight in the order of names: the order of the bytes, but a letter of kFollows
// whose page holds the letter it follows comes right after that letter.
CaseTable MakeWeights(int32_t codePage) {
  constexpr size_t kCount = std::size(kFollows);
  std::array<int, kCount> letter, anchor;  // the bytes of each entry's letters, or -1
  for (size_t k = 0; k < kCount; ++k) {
    letter[k] = ByteOf(codePage, kFollows[k].first);
    anchor[k] = ByteOf(codePage, kFollows[k].second);
  }
  std::array<bool, 256> moved{};
  for (size_t k = 0; k < kCount; ++k)
    if (letter[k] >= 0 && anchor[k] >= 0) moved[size_t(letter[k])] = true;
  CaseTable weights{};
  int next = 0;
  // A letter is weighed, then the letters that follow it, in kFollows' order.
  auto weigh = [&](auto& self, int b) -> void {
    weights[size_t(b)] = uint8_t(next++);
    for (size_t k = 0; k < kCount; ++k)
      if (anchor[k] == b && letter[k] >= 0) self(self, letter[k]);
  };
  for (int b = 0; b < 256; ++b)
    if (!moved[size_t(b)]) weigh(weigh, b);
  return weights;
}

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

// The tables of one kind, each made when its code page is first asked for (a start matches
// names in one page, and making every page's costs more than the rest of a run's matching).
// A page without a table reads as 1252.
class LazyTables {
 public:
  explicit LazyTables(CaseTable (*make)(int32_t)) : make_(make) {}
  const CaseTable& Of(int32_t codePage) {
    static const std::vector<int32_t> drawn = CodePagesDrawn();
    if (std::find(drawn.begin(), drawn.end(), codePage) == drawn.end()) codePage = 1252;
    std::lock_guard<std::mutex> hold(mu_);
    auto it = made_.find(codePage);
    if (it == made_.end()) it = made_.emplace(codePage, make_(codePage)).first;
    return it->second;  // a map's entries stay where they are
  }

 private:
  CaseTable (*make_)(int32_t);
  std::mutex mu_;
  std::map<int32_t, CaseTable> made_;
};

}  // namespace

std::string CodePageLower(int32_t codePage, std::string text) {
  static LazyTables tables(MakeTable);
  const CaseTable& table = tables.Of(codePage);
  for (char& c : text) c = char(table[static_cast<unsigned char>(c)]);
  return text;
}

std::string CodePageSortKey(int32_t codePage, std::string text) {
  static LazyTables tables(MakeWeights);
  const CaseTable& weights = tables.Of(codePage);
  text = CodePageLower(codePage, std::move(text));
  for (char& c : text) c = char(weights[static_cast<unsigned char>(c)]);
  return text;
}
