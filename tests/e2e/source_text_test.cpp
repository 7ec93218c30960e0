// Source files in UTF-8 and in the 8-bit code page; transcripts in UTF-8.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

TEST(SourceText, Utf8SourcesBecomeTheCodePageAndTranscriptsAreUtf8) {
  // "café €" and a character the code page lacks, in UTF-8 with a byte-order mark: the text
  // has 6 characters, and the one outside the code page is "?".
  RunOutcome r = RunVkaSource("\xEF\xBB\xBFprint \"caf\xC3\xA9 \xE2\x82\xAC\"\nprint len(\"caf\xC3\xA9 \xE2\x82\xAC\")\n"
                          "print \"\xE4\xB8\xAD\"\n",
                          5);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "caf\xC3\xA9 \xE2\x82\xAC\n6\n?\n");
  // Not valid UTF-8: byte for byte, as code-page text.
  r = RunVkaSource("print \"caf\xE9 \x80\"\n", 5);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "caf\xC3\xA9 \xE2\x82\xAC\n");
}
