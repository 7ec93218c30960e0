// The help folder made at build time: every keyword reachable by F1, every link whole, every
// tag one the viewer reads, the example programs compiling; and the generator's own checks.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "compiler/language_words.h"
#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/ide_state.h"
#include "runtime/game_build.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kHelp = std::string(VK_BINARY_DIR) + "/HELP/";

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The text between the first "<FONT SIZE=4 COLOR=YELLOW>" after a "<P>" and the next font tag:
// a page's example program, its line breaks and entities made plain again.
std::string ExampleOf(const std::string& page) {
  const std::string start = "<P><FONT SIZE=4 COLOR=YELLOW>";
  size_t at = page.find(start);
  if (at == std::string::npos) return "";
  at += start.size();
  std::string html = page.substr(at, page.find("<FONT", at) - at), text;
  for (size_t i = 0; i < html.size();) {
    if (html.compare(i, 4, "<BR>") == 0) i += 4;
    else if (html[i] == '\n') text += html[i++];
    else if (html[i] == '&') {
      const size_t end = html.find(';', i);
      const std::string name = html.substr(i + 1, end - i - 1);
      text += name == "lt" ? '<' : name == "gt" ? '>' : name == "quot" ? '"' : '&';
      i = end + 1;
    } else {
      text += html[i++];
    }
  }
  return text;
}

// Every distinct name of the keyword lists.
std::set<std::string> KeywordNames() {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(std::string(VK_SOURCE_DIR) + "/data/keywords")) {
    std::istringstream in(ReadAll(e.path()));
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line[0] != ';' && line.find('%') != std::string::npos && line.find('%') > 0)
        names.insert(line.substr(0, line.find('%')));
  }
  return names;
}

TEST(HelpPages, EveryKeywordIsFoundFromItsIndexEntry) {
  ResetIdeState();
  g_ide.settings.helpFolder = kHelp;
  const std::set<std::string> names = KeywordNames();
  ASSERT_GT(names.size(), 500u);
  int words = 0;
  for (std::string name : names) {
    if (!std::isalpha(static_cast<unsigned char>(name[0]))) continue;  // operators have no word to press F1 on
    if (name.back() == '[') name.pop_back();
    ++words;
    std::string page;
    ASSERT_TRUE(ContextHelpLookup(name, &page)) << name;  // as typed: lower case
    const std::string text = ReadAll(kHelp + page);
    EXPECT_NE(text.find(">" + Upper(name) + "<BR>"), std::string::npos) << page;
  }
  EXPECT_GT(words, 500);
  ResetIdeState();
}

// The words the compiler reads itself have pages that say what they do, found by F1 with the
// cursor on the word inside its statement.
TEST(HelpPages, EveryWordOfTheCompilerHasAPageFoundByF1) {
  ResetIdeState();
  g_ide.settings.helpFolder = kHelp;
  for (std::string_view w : kLanguageWords) {
    const std::string word(w);
    std::string page;
    ASSERT_TRUE(ContextHelpLookup(word, &page)) << word;
    const std::string text = ReadAll(kHelp + page);
    EXPECT_NE(text.find(">" + Upper(word) + "<BR>"), std::string::npos) << page;
    EXPECT_NE(text.find("COLOR=WHITE><P>"), std::string::npos) << page << ": no line of what it does";
  }
  struct Case {
    const char* line;
    const char* cursorOn;
    const char* page;  // under commands/, without ".htm"
  } cases[] = {
      {"if x > 1 then print x else print 0", "then", "then"},
      {"for i = 1 to 10 step 2", "to", "to"},
      {"for i = 1 to 10 step 2", "step", "step"},
      {"function add(a, b)", "function", "function"},
      {"case default", "default", "default"},
      {"rem something : print 1", "rem", "rem"},
      // A word of a longer command opens the command's page, not the word's own.
      {"set camera to follow 1, 2, 3, 0, 5, 2, 1, 0", "to", "set_camera_to_follow"},
      {"set camera to follow 1, 2, 3, 0, 5, 2, 1, 0", "follow", "set_camera_to_follow"},
      {"scene step after slice", "slice", "scene_step_after_slice"},
      {"open to read 1, \"a.txt\"", "read", "open_to_read"},
      {"open to read 1, \"a.txt\"", "a.txt", "open_to_read"},  // an operand: its command
      {"color backdrop rgb(0,0,0)", "rgb", "rgb"},                // a function inside an operand
  };
  for (const Case& c : cases) {
    g_ide.editor.lines = {c.line};
    g_ide.editor.cursorRow = 0;
    g_ide.editor.cursorCol = int32_t(std::string(c.line).find(c.cursorOn) + 1);
    IdeContextHelp();
    EXPECT_EQ(g_ide.helpPage, "commands/" + std::string(c.page) + ".htm") << c.line << " on " << c.cursorOn;
  }
  ResetIdeState();
}

// The tutorial runs from its first page through every page of its folder, each page's
// example compiles, and one of them shows a 3D scene: an object, the camera and a light.
TEST(HelpPages, TheTutorialReachesEveryPageAndItsExamplesCompile) {
  const std::string folder = kHelp + "tutorial/";
  std::set<std::string> seen, all;
  for (const auto& e : fs::directory_iterator(folder)) all.insert(e.path().filename().string());
  std::vector<std::string> next = {"tstart.htm"};
  bool scene3d = false;
  TempDir dir;
  while (!next.empty()) {
    const std::string name = next.back();
    next.pop_back();
    if (!seen.insert(name).second) continue;
    const std::string page = ReadAll(folder + name);
    for (size_t at = page.find("<A HREF=\""); at != std::string::npos; at = page.find("<A HREF=\"", at + 1)) {
      const std::string target = page.substr(at + 9, page.find('"', at + 9) - at - 9);
      if (target.find('/') == std::string::npos) next.push_back(target);
    }
    const std::string example = ExampleOf(page);
    ASSERT_FALSE(example.empty()) << name;
    dir.Write("example.vka", example);
    EXPECT_TRUE(CompileFile(dir.File("example.vka"), "")) << name << ":\n" << example;
    scene3d = scene3d || (example.find("make object") != std::string::npos &&
                          example.find("position camera") != std::string::npos &&
                          example.find("make light") != std::string::npos);
  }
  EXPECT_EQ(seen, all);
  EXPECT_TRUE(scene3d);
}

// Every tag is one the help viewer reads; every link names a file, relative to its page.
TEST(HelpPages, EveryTagIsReadAndEveryLinkResolves) {
  const char* const kTags[] = {"BR", "P", "P ALIGN=", "/P", "CENTER", "/CENTER", "FONT ", "A HREF=\"", "/A"};
  int pages = 0, links = 0;
  for (const auto& e : fs::recursive_directory_iterator(kHelp)) {
    if (e.path().extension() != ".htm") continue;
    ++pages;
    const std::string text = ReadAll(e.path());
    for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
      const size_t end = text.find('>', at);
      ASSERT_NE(end, std::string::npos) << e.path();
      const std::string tag = text.substr(at + 1, end - at - 1);
      bool known = false;
      for (const char* t : kTags) {
        const std::string k = t;
        const bool prefix = k.back() == ' ' || k.back() == '=' || k.back() == '"';
        known = known || tag == k || (prefix && tag.rfind(k, 0) == 0);
      }
      EXPECT_TRUE(known) << e.path() << ": <" << tag << ">";
      if (tag.rfind("A HREF=\"", 0) != 0) continue;
      const std::string target = tag.substr(8, tag.find('"', 8) - 8);
      ++links;
      EXPECT_TRUE(fs::is_regular_file(e.path().parent_path() / target)) << e.path() << " -> " << target;
    }
  }
  EXPECT_GT(pages, 600);
  EXPECT_GT(links, 2000);
  for (const char* named : {"menu.htm", "main.htm", "intro.htm", "princpal.htm", "fast/fstart.htm",
                            "tutorial/tstart.htm", "glossary.htm", "credits.htm", "media.htm", "examples.htm",
                            "nocontex.htm"})
    EXPECT_TRUE(fs::is_regular_file(kHelp + named)) << named;
  // The lists of the families are titled by what they hold.
  const struct {
    const char *page, *title;
  } lists[] = {{"language.htm", "Statement words"}, {"core.htm", "The language"}, {"system.htm", "Input, files"}};
  for (const auto& l : lists)
    EXPECT_EQ(ReadAll(kHelp + l.page).rfind(std::string("<FONT SIZE=6 COLOR=YELLOW>") + l.title, 0), 0u) << l.page;
  // A page that speaks of a warning links to what a warning does; one that does not, not.
  const std::string warningLink = "<A HREF=\"../glossary.htm\">What a warning does</A>";
  for (const char* page : {"delete_file", "force_up", "find_next", "set_graphics_card", "ftp_connect", "file_open",
                           "control_device_name_s", "op_divide"})
    EXPECT_NE(ReadAll(kHelp + "commands/" + page + ".htm").find(warningLink), std::string::npos) << page;
  // #include's file is warned about when compiled: no warning of a run, which goes on.
  for (const char* page : {"print", "include"})
    EXPECT_EQ(ReadAll(kHelp + "commands/" + page + ".htm").find(warningLink), std::string::npos) << page;
}

// The loop the FILE END page gives reads every line of a file once, whether a line break ends
// the last line or not.
TEST(HelpPages, TheFileEndPagesLoopReadsEveryLineOnce) {
  std::string loop = ReadAll(kHelp + "commands/file_end.htm");
  const size_t from = loop.find("WHILE FILE END"), to = loop.find("ENDWHILE", from);
  ASSERT_NE(to, std::string::npos) << loop;
  loop = loop.substr(from, to + 8 - from);
  for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}})
    for (size_t at; (at = loop.find(entity)) != std::string::npos;) loop.replace(at, std::strlen(entity), c);
  TempDir dir;
  for (const char* text : {"one\r\n\r\nthree\r\n", "one\r\n\r\nthree"}) {
    dir.Write("lines.txt", text);
    const RunOutcome r = RunVkaSource("open to read 1, \"" + dir.File("lines.txt") + "\"\r\n" + loop + "\r\nclose file 1\r\n", 20);
    ASSERT_EQ(r.status, 0) << r.err << loop;
    EXPECT_EQ(r.transcript, "one\n\nthree\n") << loop;
  }
}

// Whether the page holds each line of says (its text as the page has it, entities and all).
void ExpectPageSays(const std::string& page, const std::string& says) {
  const std::string text = ReadAll(kHelp + page);
  std::istringstream lines(says);
  for (std::string line; std::getline(lines, line);)
    EXPECT_NE(text.find(line), std::string::npos) << page << " no longer says: " << line;
}

// Statements of the pages that a reader relies on and that run against the usual rules: the
// page still says it, and a run still does it (the transcript, or the start of stderr's message).
TEST(HelpPages, WhatThePagesSayOfOrderAndFormsHolds) {
  const char* kHalf = "function half#(v#)\nendfunction v# / 2\n";
  const auto values = [](int n) {  // n CASE values and a comma
    std::string list;
    while (n-- > 0) list += "\"abcdef\", ";
    return list;
  };
  const struct {
    const char* page;
    const char* says;
    std::string program, transcript;
    int status;
    const char* error;
  } kCases[] = {
      {"princpal.htm", "So 10 - 2 + 3 gives 5, as 10 - (2 + 3), and 2 * 3 / 4 gives 0",
       "print 10 - 2 + 3\nprint 2 * 3 / 4\nprint (10 - 2) + 3\nprint (2 * 3) / 4\n", "5\n0\n11\n1\n", 0, ""},
      {"princpal.htm", "comparisons, &amp;, |. So",
       "a = 2\nb = 3\nif a > 1 and b > 1 then print (a > 1) & (b > 1)\nprint 8 | 1 & 0\nprint 2 & 2 = 2\n",
       "1\n8\n0\n", 0, ""},
      {"princpal.htm", "The words AND and OR work only in IF, WHILE and UNTIL conditions, where they mean &amp; and |;",
       "a = 2\nflag = a > 1 or a < 5\n", "", 2, "Expression not understood"},
      {"commands/abs.htm", "ABS(y#) + 0.0 still takes the integer form",
       "y# = -2.5\nprint abs(y#) + 0.0\nx# = abs(y#)\nprint half#(x#)\nend\n" + std::string(kHalf), "2\n1.25\n", 0, ""},
      {"commands/abs.htm", "(half#(ABS(y#)) is refused, as half#(3) is)",
       "y# = -2.5\nprint half#(abs(y#))\nend\n" + std::string(kHalf), "", 2, "User function called with parameters"},
      {"commands/op_add.htm", "So + comes before -: 10 - 2 + 3 gives 5, as 10 - (2 + 3); write (a - b) + c to add c after subtracting b (11 here)",
       "print 10 - 2 + 3\nprint (10 - 2) + 3\n", "5\n11\n", 0, ""},
      {"commands/op_divide.htm", "So / comes before *: 2 * 3 / 4 gives 0, as 2 * (3 / 4) (3 / 4 of two integers is 0); write (a * b) / c to divide the product (1 here)\n(-7 / 2 gives -3)",
       "print 2 * 3 / 4\nprint (2 * 3) / 4\nprint -7 / 2\n", "0\n1\n-3\n", 0, ""},
      {"commands/val.htm",
       "(leading blanks skipped), 0 when it begins with none; &quot;12abc&quot; gives 12\n"
       "Stored in an integer, a fractional number is cut at the decimal point\n"
       "In PRINT, comparisons and sums the integer form is taken (PRINT VAL(&quot;2.75&quot;) shows 2)\n"
       "in an expression assigned to a float variable or element, or for an operand of a command or keyword function that takes only a float (WRAP VALUE(VAL(a$)))\n"
       "VAL(a$) + 0.0 still takes the integer form\nTo keep the fraction, assign to a float variable first: x# = VAL(text$).",
       "a$ = \"2.75\"\ndim f#(1)\nprint val(\"  12abc\")\nprint val(\"abc\")\nn = val(a$)\nprint n\nprint val(a$)\n"
       "if val(a$) = 2 then print \"=2\"\nprint val(a$) + 1\nx# = val(a$)\nprint x#\nf#(1) = val(a$)\nprint f#(1)\n"
       "print wrap value(val(a$))\nprint val(a$) + 0.0\n",
       "12\n0\n2\n2\n=2\n3\n2.75\n2.75\n2.75\n2\n", 0, ""},
      {"commands/val.htm", "a user function's float parameter takes neither (half#(VAL(a$)) is refused, as half#(3) is)",
       "a$ = \"2.75\"\nprint half#(val(a$))\nend\n" + std::string(kHalf), "", 2, "User function called with parameters"},
      {"princpal.htm", "A line holds at most 254 characters: the compiler refuses a longer one (&quot;Line too long (255 characters or more)&quot;).",
       "a = 1" + std::string(246, ' ') + "+ 1\nprint a\na = 1" + std::string(247, ' ') + "+ 1\n", "", 2, "Line too long (255 characters or more)"},
      {"commands/case.htm", "written out so, the values before the last may take at most 237 characters, and a longer list is "
                            "refused when the program is compiled (&quot;CASE list too long&quot;)",
       "a$ = \"abcdef\"\nselect a$\ncase " + values(16) + "\"abcdef\"\nprint 16\nendcase\nendselect\n"
       "select a$\ncase " + values(17) + "\"abcdef\"\nendcase\nendselect\n", "", 2,
       ":8: CASE list too long (at most 237 characters"},
      {"princpal.htm", "an array used without a DIM is refused when the program is compiled (&quot;Array used without DIM&quot;)",
       "print 1\nmap(2) = 1\n", "", 2, "Array used without DIM: map"},
      {"glossary.htm", "Run from the editor (F5) or with vellumark run, a warning stops\nthe program with its message, as an error does; a built game ignores it and goes on past the command.",
       "print 1 / 0\nprint 2\n", "", 1, "Runtime Warning"},
      {"commands/control_device_name_s.htm", "A warning when none was chosen", "print control device name$()\n", "", 1,
       "Runtime Warning : No control device is chosen"},
      {"commands/save_image.htm", "a LOAD IMAGE of it before then fails with &quot;File not found&quot;",
       "sync on\nget image 1, 0, 0, 8, 8\nsync\nsave image \"a.png\", 1\nload image \"a.png\", 2\n", "", 1,
       "Error In Program: Runtime Error : File not found."},
  };
  for (const auto& c : kCases) {
    ExpectPageSays(c.page, c.says);
    const RunOutcome r = RunVkaSource(c.program, 10);
    EXPECT_EQ(r.transcript, c.transcript) << c.program;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << c.program << r.err;
    EXPECT_EQ(r.status, c.status) << c.program << r.err;
  }
}

// Statements of the pages where a user trips, against a run: the page says it, and the program
// (when there is one), fed the input file, gives the transcript or stops with the error.
TEST(HelpPages, WhatThePagesSayWhereAUserTripsHolds) {
  const std::string measure =
      "Under SYNC ON, after SET TEXT FONT or SET TEXT SIZE, it measures in the font as of the last SYNC: the "
      "measuring is done at once, while the font change waits for the next SYNC.";
  const std::string asked =
      "Under SYNC ON, after SET TEXT FONT or SET TEXT SIZE, it gives the font as of the last SYNC: the font change "
      "waits for the next SYNC.";
  const std::string toRadians =
      "Degrees are turned into radians by the factor 0.01745, a little less than pi / 180, so COS(90) is not 0 but "
      "about 0.0003, and SIN(180) about 0.0006.";
  const std::string toDegrees =
      "Radians are turned into degrees by dividing by 0.01745, a little less than pi / 180, so ASIN(1) and ACOS(0) "
      "give about 90.017 and ATAN(1) about 45.008; the same factor makes COS(90) not 0 but about 0.0003.";
  const std::string turns = "The turn, pitch and roll commands add to the orientation left by earlier turns; after ";
  const std::string fromZero = " or another angle command they start from angles 0.";
  const std::string shifted = "make matrix 1, 30, 30, 3, 3\nmake matrix 2, 30, 30, 3, 3\nfor i = 0 to 3\n"
                              "set matrix height 1, i, 0, i + 1\nset matrix height 2, 0, i, i + 1\nnext i\n";
  const std::string heights = "for i = 0 to 3\nprint get matrix height(1, i, 0)\nprint get matrix height(2, 0, i)\nnext i\n";
  const struct {
    const char* page;
    std::string says, program, input, transcript;
    const char* error;  // "" a clean run
  } kCases[] = {
      {"text_width.htm", measure,
       "sync on\nw = text width(\"MM\")\nh = text height(\"MM\")\nset text size 40\n"
       "if text width(\"MM\") = w and text height(\"MM\") = h then print \"old\"\nsync\n"
       "if text width(\"MM\") > w and text height(\"MM\") > h then print \"new\"\nsync\n",
       "", "old\nnew\n", ""},
      {"text_height.htm", measure, "", "", "", ""},
      {"text_size.htm", asked,
       "sync on\nset text size 40\nset text font \"Courier New\"\nprint text size()\nprint text font$()\nsync\n"
       "print text size()\nprint text font$()\nsync\n",
       "", "10\nsystem\n40\nCourier New\n", ""},
      {"text_font_s.htm", asked, "", "", "", ""},
      {"text_style.htm",
       "Under SYNC ON, after SET TEXT TO NORMAL, ITALIC, BOLD or BOLDITALIC, it gives the style as of the last SYNC: "
       "the style change waits for the next SYNC.",
       "sync on\nset text to bold\nprint text style()\nsync\nprint text style()\nsync\n", "", "0\n2\n", ""},
      {"text_background_type.htm",
       "So at the start of a program SET TEXT OPAQUE then PRINT TEXT BACKGROUND TYPE() prints 0, and a second such "
       "PRINT prints 1.",
       "set text opaque\nprint text background type()\nprint text background type()\nsync on\nset text transparent\n"
       "print text background type()\nsync\nprint text background type()\nsync\n",
       "", "0\n1\n1\n0\n", ""},
      {"op_and.htm",
       "The word AND works only in IF, WHILE and UNTIL conditions, where it means &amp;, as &lt;&gt; there means "
       "not equal; elsewhere, as in flag = (a &gt; 1) &amp; (b &gt; 1), write &amp;: AND there is refused.",
       "a = 2\nb = 3\nif a > 1 and b > 1 then print 1\nwhile a = 2 and b = 3\na = 0\nendwhile\nprint (a > 1) & (b > 1)\n",
       "", "1\n0\n", ""},
      {"op_and.htm", "", "flag = 2 > 1 and 3 > 1\n", "", "", "Expression not understood"},
      {"op_or.htm",
       "The word OR works only in IF, WHILE and UNTIL conditions, where it means this bar operator, as &lt;&gt; "
       "there means not equal; elsewhere, as in the form above, write the bar itself: OR there is refused.",
       "a = 2\nb = 3\nif a > 5 or b > 1 then print 1\nrepeat\na = a + 1\nuntil a > 4 or b > 5\nprint a\nprint (a > 5) | (b > 1)\n",
       "", "1\n5\n1\n", ""},
      {"op_or.htm", "", "flag = 2 > 1 or 3 > 1\n", "", "", "Expression not understood"},
      {"cos.htm", toRadians,
       "print cos(90)\nprint sin(180)\nprint tan(45)\nprint asin(1)\nprint acos(0)\nprint atan(1)\n", "",
       "0.000296327\n0.000592654\n0.999704\n90.017\n90.017\n45.0085\n", ""},
      {"sin.htm", toRadians, "", "", "", ""},
      {"tan.htm", toRadians, "", "", "", ""},
      {"asin.htm", toDegrees, "", "", "", ""},
      {"acos.htm", toDegrees, "", "", "", ""},
      {"atan.htm", toDegrees, "", "", "", ""},
      {"end.htm", "After SYNC ON, what was drawn since the last SYNC is not shown",
       "sync on\nprint 1\nsync\nprint 2\nend\n", "", "1\n", ""},
      {"turn_object_right.htm", turns + "ROTATE OBJECT" + fromZero,
       "make object cube 1, 1\nturn object right 1, 30\nturn object right 1, 20\nprint object angle y(1)\n"
       "rotate object 1, 0, 45, 0\nroll object left 1, 20\nprint object angle y(1)\nprint object angle z(1)\n",
       "", "50\n0\n20\n", ""},
      {"turn_object_left.htm", turns + "ROTATE OBJECT" + fromZero, "", "", "", ""},
      {"pitch_object_up.htm", turns + "ROTATE OBJECT" + fromZero, "", "", "", ""},
      {"pitch_object_down.htm", turns + "ROTATE OBJECT" + fromZero, "", "", "", ""},
      {"roll_object_left.htm", turns + "ROTATE OBJECT" + fromZero, "", "", "", ""},
      {"roll_object_right.htm", turns + "ROTATE OBJECT" + fromZero, "", "", "", ""},
      {"pitch_camera_up.htm", turns + "ROTATE CAMERA, POINT CAMERA" + fromZero,
       "rotate camera 0, 45, 0\npitch camera up 10\nprint int(camera angle y())\nprint camera angle x()\n", "",
       "0\n350\n", ""},
      {"turn_camera_left.htm", turns + "ROTATE CAMERA, POINT CAMERA" + fromZero, "", "", "", ""},
      {"turn_camera_right.htm", turns + "ROTATE CAMERA, POINT CAMERA" + fromZero, "", "", "", ""},
      {"pitch_camera_down.htm", turns + "ROTATE CAMERA, POINT CAMERA" + fromZero, "", "", "", ""},
      {"roll_camera_left.htm", turns + "ROTATE CAMERA, POINT CAMERA" + fromZero, "", "", "", ""},
      {"roll_camera_right.htm", turns + "ROTATE CAMERA, POINT CAMERA" + fromZero, "", "", "", ""},
      // Heights 1 to 4 along x (matrix 1) and along z (matrix 2), on 3 by 3 tiles.
      {"shift_matrix_rows_back.htm",
       "The heights of the first line of points (x 0) go to the line x tilesx - 1; the far edge line (x tilesx) keeps its heights.",
       shifted + "shift matrix rows back 1\nshift matrix columns back 2\n" + heights, "", "2\n2\n3\n3\n1\n1\n4\n4\n", ""},
      {"shift_matrix_columns_back.htm",
       "The heights of the first line of points (z 0) go to the line z tilesz - 1; the far edge line (z tilesz) keeps its heights.",
       "", "", "", ""},
      {"shift_matrix_rows_forward.htm",
       "The heights of the line of points x tilesx - 1 go to the near edge line (x 0) and to the far edge line (x tilesx), which moves along with the others.",
       shifted + "shift matrix rows forward 1\nshift matrix columns forward 2\n" + heights, "", "3\n3\n1\n1\n2\n2\n3\n4\n", ""},
      {"shift_matrix_columns_forward.htm",
       "The heights of the line of points z tilesz - 1 go to the near edge line (z 0); the far edge line (z tilesz) keeps its heights.",
       "", "", "", ""},
      {"object_in_screen.htm",
       "For an object less than 20 units in front of the camera only its depth is tested: it counts as in view however far it is to the side.",
       "sync on\nautocam off\nmake object cube 1, 1\nposition camera 0, 0, 0\npoint camera 0, 0, 100\n"
       "position object 1, 100, 0, 10\nsync\nprint object in screen(1)\nposition object 1, 100, 0, 30\nsync\n"
       "print object in screen(1)\nsync\n",
       "", "1\n0\n", ""},
      {"mouse_z.htm", "One notch of the wheel moves it by 120, so from 50 a single notch reaches 99 (turned away from the user) or 0.",
       "sync on\nfor i = 1 to 4\nsync\nnext i\nprint mouse z()\nprint mouse move z()\nsync\n", "2 wheel -1\n", "0\n-120\n", ""},
      {"mouse_move_z.htm", "One notch of the wheel counts 120, positive when turned away from the user.", "", "", "", ""},
      {"dim.htm", "an element of a text array of 2 to 5 dimensions that was never given a text reads as one blank, so IF map$(x, y) = &quot;&quot; is never true for it: compare it with &quot; &quot;.",
       "dim map$(3, 3)\ndim one$(3)\nif map$(1, 2) = \"\" then print \"empty\"\nif map$(1, 2) = \" \" then print \"blank\"\n"
       "print len(one$(1))\n", "", "blank\n0\n", ""},
      {"case.htm", "a comma inside quotes is part of the text, so CASE &quot;a,b&quot; matches the one text a,b.",
       "for i = 1 to 3\nread t$\nselect t$\ncase \"a,b\"\nprint t$\nendcase\nendselect\nnext i\ndata \"a\", \"b\", \"a,b\"\n", "",
       "a,b\n", ""},
      {"point.htm", "under SYNC ON too it sees what the commands before it drew at once, without waiting for SYNC. Sprites are never seen",
       "sync on\nink rgb(0, 255, 0), 0\nbox 0, 0, 20, 20\nprint point(5, 5)\nget image 1, 0, 0, 20, 20\ncls\nprint point(5, 5)\n"
       "sprite 1, 50, 50, 1\nsync\nprint point(55, 55)\nsync\n", "", "65280\n0\n0\n", ""},
      {"abs.htm", "except assigned to a float, where x# = ABS(y#) + 0.0 keeps the fraction as x# = ABS(y#) does",
       "y# = -2.5\nx# = abs(y#) + 0.0\nprint x#\nprint abs(y#) + 0.0\n", "", "2.5\n2\n", ""},
      {"val.htm", "except assigned to a float, where x# = VAL(a$) + 0.0 keeps the fraction as x# = VAL(a$) does",
       "x# = val(\"2.75\") + 0.0\nprint x#\n", "", "2.75\n", ""},
      {"print.htm", "Values separated by ; or , print one after another on the same line, with no gap between them (a comma is no tab stop). A ; or , at the end keeps the text cursor on that line",
       "print 1, \"a\"; 2\nprint 3;\nprint 4,\nprint 5\n", "", "1a2\n345\n", ""},
      {"text_size.htm", "It is not a height in pixels: TEXT HEIGHT() gives the height drawn, the size rounded to a step of 16 pixels (16 for the sizes up to 23).",
       "print text size()\nprint text height(\"A\")\n", "", "10\n16\n", ""},
      {"set_text_size.htm", "sizes up to 23 draw 16 pixels high, 24 to 39 draw 32, 40 to 55 draw 48",
       "set text size 23\nsync\nprint text height(\"A\")\nset text size 24\nsync\nprint text height(\"A\")\n"
       "set text size 55\nsync\nprint text height(\"A\")\n", "", "16\n32\n48\n", ""},
      {"sync_rate.htm", "under --clock virtual a frame of SYNC RATE 0 counts 16 ms, as one of SYNC RATE 60 does",
       "sync on\nsync rate 0\nt = timer()\nfor i = 1 to 10\nsync\nnext i\nprint timer() - t\nsync\n", "", "160\n", ""},
      {"../fast/fstart.htm", "Shift or an arrow key does not end the wait",
       "wait key\nprint \"first\"\nwait key\nprint \"second\"\n", "2 key Left Shift down\n3 key Left Shift up\n4 key Left down\n5 key Left up\n8 type a\n",
       "first\n", ""},
  };
  for (const auto& c : kCases) {
    ExpectPageSays(std::string("commands/") + c.page, c.says);
    if (c.program.empty()) continue;
    const RunOutcome r = RunVkaSource(c.program, 30, c.input);
    EXPECT_EQ(r.transcript, c.transcript) << c.program;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << c.program << r.err;
    EXPECT_EQ(r.status, *c.error ? 2 : 0) << c.program << r.err;
  }
}

// The existence queries stop the program for a number outside their range, as their pages say;
// what SCREEN INVALID gives at the start, and RND's error for a range below 0.
TEST(HelpPages, WhatThePagesSayOfRangesHolds) {
  const std::string stops = " stops the program with an error.";
  const struct {
    const char* page;
    std::string says, program, transcript;
    const char* error;  // "" a clean run
  } kCases[] = {
      {"image_exist.htm", "A number outside 1-65535" + stops, "print image exist(65535)\nprint image exist(0)\n", "0\n",
       "Image number outside 1 to 65535"},
      {"sprite_exist.htm", "A number outside 1-65535" + stops, "print sprite exist(65535)\nprint sprite exist(65536)\n",
       "0\n", "Sprite number outside 1 to 65535"},
      {"bitmap_exist.htm", "A number outside 0-31" + stops, "print bitmap exist(31)\nprint bitmap exist(32)\n", "0\n",
       "Bitmap number outside 0 to 31"},
      {"animation_exist.htm", "A number outside 1-32" + stops, "print animation exist(32)\nprint animation exist(33)\n",
       "0\n", "Animation number outside 1 to 32"},
      {"object_exist.htm", "A number outside 1-65535" + stops, "print object exist(65535)\nprint object exist(0)\n",
       "0\n", "Object number outside 1 to 65535"},
      {"mesh_exist.htm", "A number outside 1-65534" + stops, "print mesh exist(65534)\nprint mesh exist(65535)\n", "0\n",
       "Mesh number outside 1 to 65534"},
      {"matrix_exist.htm", "A number outside 1-65535" + stops, "print matrix exist(65535)\nprint matrix exist(0)\n",
       "0\n", "Matrix number outside 1 to 65535"},
      {"limb_exist.htm",
       "An object number outside 1-65535, an object that does not exist, or a limb number below 0 or past the "
       "object's limb table (limbs 0-31 at least, and 3 past its last limb)" + stops,
       "make object cube 1, 1\nprint limb exist(1, 31)\nprint limb exist(1, -1)\n", "0\n", "Limb number out of range"},
      {"sound_exist.htm", "A number outside 1-1025" + stops, "print sound exist(1025)\nprint sound exist(0)\n", "0\n",
       "Sound number outside 1 to 1025"},
      {"music_exist.htm", "A number outside 1-32" + stops, "print music exist(32)\nprint music exist(33)\n", "0\n",
       "Music number outside 1 to 32"},
      {"screen_invalid.htm", "At the program's start it returns 0.",
       "print screen invalid()\nset display mode 640, 480, 32\nprint screen invalid()\nprint screen invalid()\n",
       "0\n1\n0\n", ""},
      {"rnd.htm", "A range below 0" + stops, "print rnd(0)\nprint rnd(-1)\n", "0\n", "Random number range below 0."},
  };
  for (const auto& c : kCases) {
    ExpectPageSays(std::string("commands/") + c.page, c.says);
    const RunOutcome r = RunVkaSource(c.program, 10);
    EXPECT_EQ(r.transcript, c.transcript) << c.program;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << c.program << r.err;
    EXPECT_EQ(r.status, *c.error ? 1 : 0) << c.program << r.err;
  }
}

// No page lists one form twice.
TEST(HelpPages, NoPageListsAFormTwice) {
  int pages = 0;
  for (const auto& e : fs::directory_iterator(kHelp + "commands")) {
    const std::string text = ReadAll(e.path());
    const std::string start = "<P><FONT SIZE=4 COLOR=YELLOW>";
    const size_t from = text.find(start), to = text.find("<FONT SIZE=4 COLOR=WHITE>", from);
    if (from == std::string::npos || to == std::string::npos) continue;
    ++pages;
    std::set<std::string> forms;
    const std::string block = text.substr(from + start.size(), to - from - start.size());
    for (size_t at = 0, end; (end = block.find("<BR>", at)) != std::string::npos; at = end + 5)
      EXPECT_TRUE(forms.insert(block.substr(at, end - at)).second) << e.path() << ": " << block.substr(at, end - at);
  }
  EXPECT_GT(pages, 600);
}

TEST(HelpPages, ExampleProgramsCompile) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(kHelp + "examples")) {
    ++n;
    EXPECT_TRUE(CompileFile(e.path().string(), "")) << e.path();
  }
  EXPECT_GE(n, 3);
}

// The generator on lists of its own: a missing help line still gives a page; data text is
// escaped; a help line naming no keyword, or one named twice, stops it with file and line.
TEST(HelpPages, GeneratorEscapesTextAndRefusesUnknownNames) {
  TempDir dir;
  fs::create_directories(dir.File("kw"));
  fs::create_directories(dir.File("lines"));
  dir.Write("kw/fam.txt", "; ---- Things\nmake thing%1%ls\nthing size%2%l\nthing size[%3%ll\n");
  const std::string tool = std::string(VK_BINARY_DIR) + "/tools/helpgen";
  auto run = [&](const std::string& lines) {
    dir.Write("lines/fam.txt", lines);
    return RunProcess(tool, {dir.File("kw"), dir.File("lines"), dir.File("pages"), dir.File("out")});
  };
  ProcessResult r = run("make thing|MAKE THING n, name$|Makes <one> & \xe9t\xe9.\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  EXPECT_NE(dir.Read("out/commands/make_thing.htm").find("Makes &lt;one&gt; &amp; &eacute;t&eacute;."),
            std::string::npos);
  const std::string shared = dir.Read("out/commands/thing_size.htm");  // command and function, forms only
  EXPECT_NE(shared.find("THING SIZE integer<BR>"), std::string::npos) << shared;
  EXPECT_NE(shared.find("integer = THING SIZE(integer)<BR>"), std::string::npos) << shared;
  EXPECT_NE(dir.Read("out/index.htm").find("<A HREF=\"commands/thing_size.htm\">THING SIZE</A>"), std::string::npos);
  EXPECT_NE(dir.Read("out/index.htm").find("<A HREF=\"commands/select.htm\">SELECT</A>"), std::string::npos);

  struct Case {
    const char* lines;
    const char* message;
  } bad[] = {
      {"make thingy|MAKE THINGY|Makes.\n", "fam.txt:1: \"make thingy\" is not a keyword"},
      {"; c\nmake thing|A|B\nmake thing|A|B\n", "fam.txt:3: \"make thing\" is described twice"},
      {"make thing|MAKE THING\n", "fam.txt:1: a help line has three fields"},
  };
  for (const Case& c : bad) {
    r = run(c.lines);
    EXPECT_EQ(r.status, 1) << c.lines;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("out/index.htm"))) << c.lines;
  }
  EXPECT_EQ(run("").status, 0);  // the folder a failed run left is made again
  EXPECT_TRUE(fs::exists(dir.File("out/index.htm")));
}

}  // namespace
