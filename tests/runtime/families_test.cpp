// The command families against each other and against the keyword list.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "compiler/keyword_table.h"
#include "core/command_table.h"
#include "platform/embedded_data.h"
#include "runtime/command_families.h"

namespace {

KeywordTable LoadKeywords() {
  const EmbeddedFile* f = FindEmbeddedFile("keywords.txt");
  KeywordTable table;
  if (f) FillKeywordTable(table, std::string(reinterpret_cast<const char*>(f->data), f->size), nullptr);
  return table;
}

// Block keywords get their jump operand from the compiler, not from their letters.
bool IsBlockCommand(int32_t n) { return n >= 1 && n <= 12; }
// Commands the compiler emits by number, without a keyword: the user-function call and guard,
// and the two numeric conversions.
bool IsCompilerEmitted(int32_t n) { return n == 21 || n == 26 || n == 154 || n == 155; }

// The keyword letters a command's operand kinds call for: 'd' (a DATA position) is a label
// operand ('a'), 'n' (an unread word) takes any letter, 'v' any value, no operands is "0".
bool LettersFit(const std::string& letters, std::string kinds, bool bracket, int32_t number) {
  if (!bracket && IsBlockCommand(number) && !kinds.empty() && kinds.back() == 'a') kinds.pop_back();
  std::string want = letters;
  if (!bracket && want == "0") want.clear();
  if (bracket && want.size() == 2 && want[1] == '0') want.pop_back();  // a function without arguments
  if (want.size() != kinds.size()) return false;
  for (size_t i = 0; i < kinds.size(); ++i) {
    const char k = kinds[i] == 'd' ? 'a' : kinds[i];
    if (k == 'n' || (k == 'v' && (want[i] == 'l' || want[i] == 'f' || want[i] == 's'))) continue;
    if (k != want[i]) return false;
  }
  return true;
}

}  // namespace

TEST(CommandFamilies, EachNumberIsListedAndHandledByOneFamilyWithKnownKinds) {
  std::map<int32_t, std::string> owner;
  for (const CommandFamily& family : CommandFamilies()) {
    for (const CommandDef& d : family.commands()) {
      EXPECT_TRUE(owner.emplace(d.number, family.name).second)
          << d.number << " in " << family.name << " and " << owner[d.number];
      EXPECT_TRUE(IsListedCommand(d.number)) << d.number;
      ASSERT_NE(d.operands, nullptr) << d.number;
      for (const char* k = d.operands; *k; ++k)
        EXPECT_NE(std::string("lfsadvnpc*").find(*k), std::string::npos) << d.number << ": " << *k;
    }
  }
}

TEST(CommandFamilies, InstallingFillsHandlersKindsAndFastFormsFromTheFamilies) {
  InitCommandTable();
  for (const CommandFamily& family : CommandFamilies()) {
    for (const CommandDef& d : family.commands()) {
      EXPECT_EQ(FamilyHandler(d.number), d.handler) << d.number;
      EXPECT_STREQ(g_commandOperands[d.number], d.operands) << d.number;
      EXPECT_EQ(g_fastEntries[d.number].fast, d.fast) << d.number;
      EXPECT_TRUE(IsCommandBuilt(d.number)) << d.number;
    }
  }
}

// Every handler has a keyword whose letters fit its operands, and every keyword of a built
// command fits the command's operands.
TEST(CommandFamilies, KeywordLettersFitEveryFamilysOperands) {
  const KeywordTable table = LoadKeywords();
  ASSERT_FALSE(table.main.empty());
  InitCommandTable();
  std::set<int32_t> named;
  for (const auto* part : {&table.main, &table.bracket}) {
    const bool bracket = part == &table.bracket;
    for (const KeywordEntry& e : *part) {
      named.insert(e.number);
      if (!e.params.empty() && e.params[0] == 'e') {
        EXPECT_FALSE(IsListedCommand(e.number)) << e.name << ": a compile-only word needs a number without a handler";
        continue;
      }
      if (!IsCommandBuilt(e.number)) {
        // Not built yet, or a block word that emits no instruction.
        EXPECT_TRUE(IsListedCommand(e.number) || e.number == 3 || e.number == 4 || e.number == 11) << e.name;
        continue;
      }
      EXPECT_TRUE(LettersFit(e.params, g_commandOperands[e.number], bracket, e.number))
          << e.name << " %" << e.number << "% " << e.params << " against " << g_commandOperands[e.number];
    }
  }
  for (const CommandFamily& family : CommandFamilies()) {
    for (const CommandDef& d : family.commands()) {
      if (IsCompilerEmitted(d.number)) continue;
      EXPECT_TRUE(named.count(d.number)) << family.name << ": no keyword for " << d.number;
    }
  }
}
