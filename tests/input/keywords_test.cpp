// The keyword lines of the input and checklist commands match their handlers.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "core/command_table.h"
#include "platform/embedded_data.h"
#include "runtime/command_families.h"
#include "system/commands.h"

TEST(InputKeywords, EveryInputCommandHasAnEntryWithItsOperandLetters) {
  InitCommandTable();
  const EmbeddedFile* file = FindEmbeddedFile("keywords.txt");
  ASSERT_NE(file, nullptr);
  std::istringstream in(std::string(reinterpret_cast<const char*>(file->data), file->size));
  std::set<int> seen;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    size_t p1 = line.find('%'), p2 = line.find('%', p1 + 1);
    ASSERT_NE(p2, std::string::npos) << line;
    int number = std::stoi(line.substr(p1 + 1, p2 - p1 - 1));
    if (!(number >= 4001 && number <= 4554) && !(number >= 9501 && number <= 9556)) continue;
    std::string letters = line.substr(p2 + 1);
    if (letters == "0") letters.clear();
    ASSERT_NE(g_commandOperands[number], nullptr) << line;
    EXPECT_EQ(letters, g_commandOperands[number]) << line;
    EXPECT_TRUE(seen.insert(number).second) << "twice: " << line;
  }
  for (auto family : {InputCommands(), ForceCommands(), ChecklistCommands()})
    for (const CommandDef& d : family) {
      if ((d.number >= 4001 && d.number <= 4554) || (d.number >= 9501 && d.number <= 9556)) {
        EXPECT_TRUE(seen.count(d.number)) << "no keyword for " << d.number;
      }
    }
}
