// The keyword list against the command signature table and the handlers' own lists.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "compiler/keyword_table.h"
#include "runtime/command_signatures.h"
#include "core/command_table.h"
#include "platform/embedded_data.h"

namespace {

std::string KeywordText() {
  const EmbeddedFile* f = FindEmbeddedFile("keywords.txt");
  return f ? std::string(reinterpret_cast<const char*>(f->data), f->size) : std::string();
}

// Block keywords get their jump operand from the compiler, not from their letters.
const std::set<int32_t> kBlockCommands = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

// The keyword letters a command's signature calls for: 'd' (a DATA position) is a label
// operand ('a'), 'n' (an unread word) takes any letter, no operands is "0".
bool LettersFit(const std::string& letters, std::string sig, bool bracket, int32_t number) {
  if (!bracket && kBlockCommands.count(number) && !sig.empty() && sig.back() == 'a') sig.pop_back();
  std::string want = letters;
  if (!bracket && want == "0") want.clear();
  if (bracket && want.size() == 2 && want[1] == '0') want.pop_back();  // a function without arguments
  if (want.size() != sig.size()) return false;
  for (size_t i = 0; i < sig.size(); ++i) {
    char s = sig[i] == 'd' ? 'a' : sig[i];
    if (s == 'n') continue;
    if (s == 'v' && (want[i] == 'l' || want[i] == 'f' || want[i] == 's')) continue;
    if (s != want[i]) return false;
  }
  return true;
}

// The command numbers of the language core families (control flow, DATA, operators,
// arrays, strings, maths, printing and input, timing and basic drawing).
std::vector<int32_t> CoreFamilyNumbers() {
  return {
      1, 2, 5, 6, 7, 8, 9, 10, 12, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 41, 42, 43, 51,
      52, 53, 54, 61, 64, 65, 66, 71, 74, 75, 76, 81, 84, 85, 86, 87, 91, 94, 95, 96, 97, 101, 102, 103, 111,
      112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 123, 124, 131, 132, 133, 134, 135, 136, 137, 138, 139,
      140, 141, 142, 143, 144, 151, 152, 153, 154, 155, 201, 202, 203, 204, 205, 206, 208, 209, 210, 211, 212,
      213, 215, 216, 217, 218, 222, 223, 224, 225, 226, 227, 228, 232, 233, 234, 235, 236, 237, 238, 239, 240,
      241, 242, 243, 244, 245, 246, 248, 249, 250, 252, 253, 255, 256, 257, 258, 259, 260, 261, 263, 264, 265,
      266, 301, 302, 303, 304, 305, 306, 307, 311, 312, 321, 322, 331, 332, 341, 342, 351, 352, 355, 361, 362,
      363, 364, 365, 366, 367, 368, 371, 372, 373, 381, 382, 390, 391, 392, 393, 394, 403, 404, 405, 407, 408,
      409, 410, 411, 412, 413, 414, 421, 422, 423, 424, 426, 427, 431, 432, 433, 434, 501, 502, 503, 504, 505,
      506, 511, 512, 513, 514, 515, 516, 521, 522, 523, 524, 525, 526, 561, 562, 563, 564, 565, 566, 567, 568,
      569, 570, 571, 572, 573, 574, 575, 576, 577, 578, 579, 580, 661, 662, 663, 664, 665, 666, 667, 668, 669,
      670, 671, 672, 673, 674, 675, 5001, 5002, 5003, 5004, 5005, 5006,
  };
}

}  // namespace

TEST(KeywordList, EveryLineIsWellFormedAndFitsTheTable) {
  std::string text = KeywordText();
  ASSERT_FALSE(text.empty());
  std::vector<std::string> bad;
  KeywordTable table;
  FillKeywordTable(table, text, &bad);
  EXPECT_TRUE(bad.empty()) << bad.front();
  size_t main = 0, bracket = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    KeywordLine k;
    ASSERT_TRUE(ParseKeywordLine(line, &k)) << line;
    (k.name.back() == '[' ? bracket : main) += 1;
  }
  EXPECT_LE(main, kMaxMainKeywords);
  EXPECT_LE(bracket, kMaxBracketKeywords);
  EXPECT_EQ(table.main.size(), main);
  EXPECT_EQ(table.bracket.size(), bracket);
}

TEST(KeywordList, EntriesOfOneNameStayTogether) {
  KeywordTable table;
  FillKeywordTable(table, KeywordText(), nullptr);
  for (const auto* part : {&table.main, &table.bracket}) {
    std::set<std::string> closed;
    for (size_t i = 0; i < part->size(); ++i) {
      const std::string& name = (*part)[i].name;
      EXPECT_FALSE(closed.count(name)) << name << " is split";
      if (i + 1 == part->size() || (*part)[i + 1].name != name) closed.insert(name);
    }
  }
}

TEST(KeywordList, AgreesWithTheCommandSignatures) {
  KeywordTable table;
  FillKeywordTable(table, KeywordText(), nullptr);
  std::set<int32_t> named;
  for (const auto* part : {&table.main, &table.bracket}) {
    const bool bracket = part == &table.bracket;
    for (const KeywordEntry& e : *part) {
      named.insert(e.number);
      if (!e.params.empty() && e.params[0] == 'e') {
        EXPECT_FALSE(IsListedCommand(e.number)) << e.name << ": a compile-only word needs a number without a handler";
        continue;
      }
      const char* sig = CommandSignatureOf(e.number);
      if (!sig && IsListedCommand(e.number)) continue;  // its subsystem is not built yet
      if (!sig) {
        // The block words that emit no instruction carry numbers without handlers.
        EXPECT_TRUE(e.number == 3 || e.number == 4 || e.number == 11) << e.name << " " << e.number;
        continue;
      }
      EXPECT_TRUE(LettersFit(e.params, sig, bracket, e.number))
          << e.name << " %" << e.number << "% " << e.params << " against " << sig;
    }
  }
  for (const CommandSignature& s : CommandSignatures()) {
    if (IsCompilerEmittedCommand(s.number)) continue;
    EXPECT_TRUE(named.count(s.number)) << "command " << s.number << " has no keyword";
  }
}

TEST(KeywordList, EveryLanguageCoreCommandIsListed) {
  for (int32_t n : CoreFamilyNumbers()) EXPECT_TRUE(IsListedCommand(n)) << n;
  for (const CommandSignature& s : CommandSignatures()) EXPECT_TRUE(IsListedCommand(s.number)) << s.number;
}

TEST(KeywordList, HandlersDeclareOnlyKindsTheLoaderKnows) {
  for (const CommandSignature& s : CommandSignatures())
    for (const char* k = s.operands; *k; ++k)
      EXPECT_TRUE(std::string("lfsadvnpc*").find(*k) != std::string::npos) << "command " << s.number << ": " << *k;
}

TEST(KeywordList, MalformedLinesAreSkippedWithAWarning) {
  std::vector<std::string> bad;
  KeywordTable table;
  FillKeywordTable(table, "; comment\r\ngood%1%l\r\nno separator\r\nx%12a%l\r\n" + std::string(300, 'n') + "%5%l\r\nok[%7%ll\r\n", &bad);
  EXPECT_EQ(bad.size(), 3u);
  EXPECT_EQ(table.main.size(), 1u);
  EXPECT_EQ(table.bracket.size(), 1u);
  EXPECT_EQ(table.bracket[0].name, "ok");
  // The 769th main entry is ignored.
  std::string many;
  for (int i = 0; i < 800; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "k%d%%%d%%0\n", i, i + 1);
    many += line;
  }
  FillKeywordTable(table, many, nullptr);
  EXPECT_EQ(table.main.size(), kMaxMainKeywords);
}

TEST(TextMapTable, FindsEveryKeyThroughGrowth) {
  TextMap map;
  for (int i = 0; i < 5000; ++i) map.emplace("name" + std::to_string(i), i);
  map.emplace("name7", 99);  // an existing key keeps its value
  EXPECT_EQ(map.size(), 5000u);
  for (int i = 0; i < 5000; ++i) {
    const TextMap::Entry* e = map.find("name" + std::to_string(i));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->second, i);
  }
  EXPECT_EQ(map.find("name5000"), map.end());
  map["x"] += 3;
  EXPECT_EQ(map.find("x")->second, 3);
  map.clear();
  EXPECT_EQ(map.find("x"), nullptr);
}
