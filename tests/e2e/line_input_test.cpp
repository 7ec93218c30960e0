// Line input into variables and array elements, typed through the input file.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

// One character a frame, from frame `first` on, ending with Enter.
std::string Typed(const std::string& text, int first) {
  std::string script;
  for (char c : text + "\r") script += std::to_string(first++) + " char " + std::to_string(uint8_t(c)) + "\n";
  return script;
}

}  // namespace

TEST(LineInput, StoresIntoArrayElementsOfEveryType) {
  const std::string source =
      "dim a(3)\ndim b#(3)\ndim c$(3)\na(1)=7\n"
      "input a(2)\ninput b#(1)\ninput c$(3)\n"
      "print a(1)\nprint a(2)\nprint b#(1)\nprint c$(3)\nprint c$(2)\n";
  RunOutcome r = RunVkaSource(source, 40, Typed("42", 2) + Typed("2.5", 6) + Typed("hey", 11));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.transcript.find("7\n42\n2.5\nhey\n\n"), std::string::npos) << r.transcript;
}

TEST(LineInput, PromptAndAnElementOfTwoIndices) {
  RunOutcome r = RunVkaSource("dim g(3,3)\ninput \"g? \", g(1,2)\nprint g(1,2)*2\nprint g(2,1)\n", 30, Typed("21", 2));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.transcript.find("g? "), std::string::npos) << r.transcript;
  EXPECT_NE(r.transcript.find("42\n0\n"), std::string::npos) << r.transcript;
}

TEST(LineInput, StoresIntoPlainVariables) {
  RunOutcome r = RunVkaSource("input n\ninput s$\nprint n+1\nprint s$\n", 30, Typed("-9", 2) + Typed("ok", 6));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.transcript.find("-8\nok\n"), std::string::npos) << r.transcript;
}

// Typed letters arrive in the code page of the text character set of the program's settings.
TEST(LineInput, TypedLettersAreInTheTextCharacterSet) {
  // Cyrillic Pe and Greek alpha: 1251 and 1253 hold them, 1252 neither.
  const struct {
    const char *charset, *typed, *code;
  } cases[] = {{"204", "\xD0\x9F", "207\n"}, {"161", "\xCE\xB1", "225\n"}, {"", "\xD0\x9F", "63\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.charset);
    TempDir dir;
    dir.Write("SETUP.INI", std::string("[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=") + c.charset + "\r\n");
    dir.Write("typed.vka", "sync on\ndo\nk$ = inkey$()\nif k$ <> \"\" then print asc(k$) : sync : end\nsync\nloop\n");
    RunOutcome r = RunVka(dir.File("typed.vka"), 20, std::string("2 type ") + c.typed + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.transcript, c.code);
  }
}

// A text INPUT keeps the letters above 127 of the text character set; a number INPUT ignores them.
TEST(LineInput, KeepsLettersAboveTheAsciiRange) {
  // "Zo\xEB" in 1252; Cyrillic I, er, a (200, 240, 224) in 1251.
  const struct {
    const char *charset, *typed, *codes;
  } cases[] = {{"", "Zo\xC3\xAB", "3\n90\n235\n0\n"}, {"204", "\xD0\x98\xD1\x80\xD0\xB0", "3\n200\n224\n0\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.charset);
    TempDir dir;
    dir.Write("SETUP.INI", std::string("[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=") + c.charset + "\r\n");
    dir.Write("name.vka", "input n$\ninput v\nprint len(n$)\nprint asc(n$)\nprint asc(right$(n$, 1))\nprint v\n");
    const std::string typed = std::string(" type ") + c.typed + "\n";
    RunOutcome r = RunVka(dir.File("name.vka"), 30, "2" + typed + "8 char 13\n10" + typed + "16 char 13\n");
    ASSERT_EQ(r.status, 0) << r.err;
    // The typed line, the empty number line, then the codes.
    EXPECT_EQ(r.transcript.substr(r.transcript.find('\n') + 1), std::string("\n") + c.codes);
  }
  // The transcript shows the Western name as typed.
  EXPECT_EQ(RunVkaSource("input n$\n", 10, "2 type Zo\xC3\xAB\n6 char 13\n").transcript, "Zo\xC3\xAB\n");
}

// The transcript holds the finished line once, as the screen shows it: not each redraw of the
// line while it is typed, nor the blanks that cover the cursor. A line at the 255-character
// limit keeps all its characters.
TEST(LineInput, TheTranscriptHoldsTheFinishedLineOnce) {
  const std::string full(255, 'x');
  const std::pair<std::string, std::string> kCases[] = {
      {"2 type Bob\n6 key Return down\n7 key Return up\n", "Name? Bob\n3\n"},
      {"2 type Bobx\n6 key Backspace down\n7 key Backspace up\n8 key Return down\n9 key Return up\n",
       "Name? Bob\n3\n"},
      {"2 type " + full + "yy\n300 key Return down\n301 key Return up\n", "Name? " + full + "\n255\n"},
  };
  for (const auto& [script, transcript] : kCases) {
    RunOutcome r = RunVkaSource("input \"Name? \", n$\nprint len(n$)\n", 320, script);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.transcript, transcript);
  }
}
