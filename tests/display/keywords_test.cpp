#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "platform/embedded_data.h"
#include "display/commands.h"

namespace {

TEST(DisplayKeywords, EveryHandlerHasAnEntryWithItsOperandLetters) {
  const EmbeddedFile* f = FindEmbeddedFile("keywords.txt");
  ASSERT_NE(f, nullptr);
  std::multimap<int, std::string> letters;
  std::istringstream in(std::string(reinterpret_cast<const char*>(f->data), f->size));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == ';') continue;
    size_t a = line.find('%'), b = line.find('%', a + 1);
    ASSERT_NE(b, std::string::npos) << line;
    std::string l = line.substr(b + 1);
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) l.pop_back();
    letters.emplace(std::stoi(line.substr(a + 1, b - a - 1)), l);
  }
  for (const CommandDef& d : DisplayCommands()) {
    auto [lo, hi] = letters.equal_range(d.number);
    ASSERT_NE(lo, hi) << "no keyword for " << d.number;
    std::string expect = *d.operands ? d.operands : "0";
    for (auto it = lo; it != hi; ++it) EXPECT_EQ(it->second, expect) << d.number;
  }
}

}  // namespace
