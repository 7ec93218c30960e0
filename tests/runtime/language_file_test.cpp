// The language file: every text the code reads is there.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "runtime/language_file.h"
#include "tests/support/compile_helpers.h"

TEST(LanguageFile, HoldsEveryCompilerMessageAndErrorText) {
  ASSERT_TRUE(LoadLanguageTables("/nonexistent/"));
  ASSERT_EQ(g_language.compiler.size(), size_t(kCompilerMessageCount));
  for (size_t k = 0; k < size_t(kCompilerMessageCount); ++k) EXPECT_FALSE(g_language.compiler[k].empty()) << "COMPILER " << k;
  ASSERT_EQ(g_language.errors.size(), 200u);
  // Every error code with a slot has a text in that slot.
  for (int32_t code = 0; code < 10010; ++code) {
    int slot = ErrorSlotOf(code);
    if (slot < 0) continue;
    EXPECT_FALSE(g_language.errors[size_t(slot)].empty()) << "code " << code << " slot " << slot;
  }
  EXPECT_EQ(g_language.errors[size_t(ErrorSlotOf(111))], "Division by zero");
}

TEST(LanguageFile, ReadsSectionsAndKeysWithoutRegardToCase) {
  LanguageTables t;
  ReadLanguageText("[compiler]\r\n 3 = three \r\n; comment\r\n[Errors]\r\n199=last\r\n200=beyond\r\nx=y\r\n[DESC]\n9=percent\n", t);
  EXPECT_EQ(t.compiler[3], "three");
  EXPECT_EQ(t.errors[199], "last");
  EXPECT_EQ(t.desc[9], "percent");
  EXPECT_TRUE(t.compiler[0].empty());
  EXPECT_EQ(t.general.size(), 30u);
  EXPECT_EQ(t.menu.size(), 100u);
  EXPECT_EQ(t.title.size(), 20u);
}

TEST(LanguageFile, MessagesMissingFromTheFileStillFailClearly) {
  Compiler c;
  c.LoadKeywordTable();
  c.SetMessageTexts({});
  EXPECT_FALSE(c.CompileText("foo bar\n"));
  EXPECT_EQ(c.ErrorMessage(), "Error 29");
}
