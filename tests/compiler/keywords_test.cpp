// The keyword list: its lines, its parts and the table that holds it.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "compiler/keyword_table.h"
#include "platform/embedded_data.h"

namespace {

std::string KeywordText() {
  const EmbeddedFile* f = FindEmbeddedFile("keywords.txt");
  return f ? std::string(reinterpret_cast<const char*>(f->data), f->size) : std::string();
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
