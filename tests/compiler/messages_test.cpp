// Every compiler message that a source can cause, with its line number.
#include <gtest/gtest.h>

#include <unistd.h>
#include <utility>

#include "platform/fs.h"
#include "tests/support/compile_helpers.h"

namespace {

std::string Repeat(const std::string& piece, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += piece;
  return s;
}

std::string Numbered(const char* fmt, int n) {
  std::string s;
  char buf[128];
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, fmt, i, i);
    s += buf;
  }
  return s;
}

}  // namespace

TEST(Messages, StatementErrorsNameTheirLine) {
  EXPECT_EQ(Failure("a=1\nfoo bar\n"), "2: Command not understood");
  EXPECT_EQ(Failure("\n\na=(1+2\n"), "3: Brackets do not balance");
  EXPECT_EQ(Failure("a=1+\n"), "1: Expression not understood");
  EXPECT_EQ(Failure("a=b$+1\n"), "1: Expression not understood");
  EXPECT_EQ(Failure("x:\nx:\n"), "2: Label declared twice: x");
  EXPECT_EQ(Failure("goto 12x-\n"), "1: Label name expected after GOTO, GOSUB or RESTORE");
  EXPECT_EQ(Failure("if 1\nelse\nelse\nendif\n"), "3: Block out of place (IF, ELSE, ENDIF, DO, LOOP, FOR, NEXT, WHILE, ENDWHILE, REPEAT, UNTIL or EXIT)");
  EXPECT_EQ(Failure("exit\n").substr(0, 20), "1: Block out of plac");
  EXPECT_EQ(Failure("do\nnext i\n").substr(0, 20), "2: Block out of plac");
  EXPECT_EQ(Failure("data 1,x\n"), "1: DATA item is not a number or a string: x");
  // A mismatch lists every form of the command and what it was given; operands of a count no
  // form takes are named as a count that differs.
  EXPECT_EQ(Failure("line 1,2\n"), "1: Parameters do not match the command. Parameter count does not match: line expects 4 operands (integer, integer, integer, integer), given 2 (integer, integer)");
  EXPECT_EQ(Failure("load image \"q.png\"\n"), "1: Parameters do not match the command. Parameter count does not match: load image expects 2 or 3 operands (string, integer) or (string, integer, integer), given 1 (string)");
  // The counts in order, whatever the order of the forms.
  EXPECT_NE(Failure("loop object 1, 2, 3, 4\n").find("loop object expects 1, 2 or 3 operands ("), std::string::npos);
  EXPECT_EQ(Failure("make object cube 1\n"), "1: Parameters do not match the command. Parameter count does not match: make object cube expects 2 operands (integer, float), given 1 (integer)");
  EXPECT_EQ(Failure("make object cube 1,\"x\"\n"), "1: Parameters do not match the command. Parameter types do not match: make object cube expects (integer, float), given (integer, string)");
  EXPECT_EQ(Failure("sync 1\n"), "1: Parameters do not match the command. Parameter count does not match: sync expects 0 operands (no parameters), given 1 (integer)");
  EXPECT_EQ(Failure("a$=1\n"), "1: Parameters do not match the command. Parameter types do not match: assignment expects (integer, integer) or (float, float) or (string, string), given (string, integer)");
  EXPECT_EQ(Failure("a=left$(1.5)\n"), "1: Parameter count does not match: left$ expects 2 operands (string, integer), given 1 (float)");
  EXPECT_EQ(Failure("a=left$(1.5,2)\n"), "1: Parameter types do not match: left$ expects (string, integer), given (float, integer)");
  EXPECT_EQ(Failure("goto x,1\nx:\n"), "1: Parameters do not match the command. Parameter count does not match: goto expects 1 operand (label), given 2 (label, integer)");
  // Forms beyond the 255 characters of a message are cut, never what was given.
  const std::string many = Failure("a$(1)=2\n");
  EXPECT_LE(many.size(), 3u + 255u);
  EXPECT_NE(many.find(" or ..., given (string, integer, integer)"), std::string::npos) << many;
  EXPECT_EQ(Failure("a=f(1.5)\nend\nfunction f(n)\nendfunction\n"), "1: User function called with parameters that do not match its declaration");
  // An integer for a float parameter is not converted either.
  EXPECT_EQ(Failure("a=f(1)\nend\nfunction f(n#)\nendfunction\n"), "1: User function called with parameters that do not match its declaration");
  EXPECT_EQ(Failure("a$=\"" + std::string(260, 'x') + "\"\n").substr(0, 3), "1: ");
  EXPECT_EQ(Failure("a=rgb(" + Repeat("1,", 32) + "1)\n"), "1: Too many parameters (at most 32)");
  EXPECT_EQ(Failure("for i=1 t 10\n"), "1: Expression not understood");
  EXPECT_EQ(Failure("for i 1 to 10\n"), "1: FOR statement not understood");
  EXPECT_EQ(Failure("for =1 to 10\n"), "1: FOR statement not understood");
  EXPECT_EQ(Failure("for a#=1 to 10\nnext a#\n"), "1: FOR needs an integer variable: a#");
  EXPECT_EQ(Failure("dim a(\"x\")\n").substr(0, 39), "1: Parameters do not match the command.");
  EXPECT_EQ(Failure("case 1\n"), "1: SELECT or CASE out of place");
  EXPECT_EQ(Failure("select a b\n"), "1: SELECT or CASE out of place");
  EXPECT_EQ(Failure("select a\ncase default\nendcase\ncase 2\n"), "4: CASE after CASE DEFAULT");
  const std::string kCaseTooLong =
      "2: CASE list too long (at most 237 characters before the last value, each written out as SELECT value=value, "
      "joined by \" or \")";
  EXPECT_EQ(Failure("select a\ncase " + Repeat("100000,", 30) + "1\n"), kCaseTooLong);
  // The comparisons before the last value take at most 237 characters: 18 of "a=1000000" take
  // 18 * 9 + 17 * 4 = 230, 19 take 243; 16 of a$="abcdef" take 16 * 11 + 15 * 4 = 236, 17 take 251.
  EXPECT_EQ(Failure("select a\ncase " + Repeat("1000000,", 18) + "1000000\nendcase\nendselect\n"), "compiled");
  EXPECT_EQ(Failure("select a\ncase " + Repeat("1000000,", 19) + "1000000\n"), kCaseTooLong);
  EXPECT_EQ(Failure("select a$\ncase " + Repeat("\"abcdef\",", 16) + "\"abcdef\"\nendcase\nendselect\n"), "compiled");
  EXPECT_EQ(Failure("select a$\ncase " + Repeat("\"abcdef\",", 17) + "\"abcdef\"\n"), kCaseTooLong);
  EXPECT_EQ(Failure("a=1\n" + std::string(300, 'b') + "\n"), "2: Line too long (255 characters or more)");
  // A CASE list holding THEN would make a one-line IF: no block opens, inside a loop or not.
  EXPECT_EQ(Failure("select a\ncase 1 then print 1\n"), "2: Statement cannot be compiled: case 1 then print 1");
  EXPECT_EQ(Failure("repeat\nselect a\ncase 1 then print 1\nendcase\nendselect\nuntil 1\n"),
            "3: Statement cannot be compiled: case 1 then print 1");
}

TEST(Messages, FunctionDeclarations) {
  EXPECT_EQ(Failure("function \n"), "1: Function declaration not understood");
  EXPECT_EQ(Failure("function f(a+b)\nendfunction\n"), "1: Function declaration not understood");
  EXPECT_EQ(Failure("a=1\nendfunction\n"), "2: ENDFUNCTION without FUNCTION");
  EXPECT_EQ(Failure("function f()\nendfunction (1\n"), "2: Function return value not understood");
  EXPECT_EQ(Failure("end\nfunction f()\nendfunction\nfunction f()\nendfunction\n"), "4: Function declared twice: f");
  // An early return of a text from a number function, or the reverse, is refused at its line.
  EXPECT_EQ(Failure("end\nfunction g(n)\nif n=1 then exitfunction \"x\"\nendfunction n\n"),
            "3: Function return value not understood");
  EXPECT_EQ(Failure("end\nfunction g$(n)\nexitfunction 5\nendfunction \"n\"\n"),
            "3: Function return value not understood");
  EXPECT_EQ(Failure("end\nfunction g#(n)\nexitfunction 5\nendfunction 1.5\n"), "compiled");
  // A function without ENDFUNCTION is an open block, named at its FUNCTION line.
  EXPECT_EQ(Failure("a=f()\nend\nfunction f()\nprint 1\n"), "3: Block not closed at the end of the program (FUNCTION)");
  // A block open inside it is the one named; a FUNCTION line in a comment block opens nothing.
  EXPECT_EQ(Failure("end\nfunction f()\nprint 1\ndo\n"), "4: Block not closed at the end of the program (DO)");
  EXPECT_EQ(Failure("print 1\nremstart\nfunction old()\nremend\nprint 2\n"), "compiled");
}

TEST(Messages, EndOfPassChecks) {
  EXPECT_EQ(Failure("a=1\ngoto nowhere\n"), "2: Label or function not found: nowhere");
  // A name fetched as name(...) that no DIM gives and nothing else uses as an array reads as
  // the call of a function that does not exist; one stored to, DIMmed elsewhere, UNDIMmed or
  // given to an array command is an array.
  const std::pair<const char*, const char*> kUndeclared[] = {
      {"b=c(2)", "Label or function not found: c"},
      {"print len(c$(1, 2))", "Label or function not found: c$"},
      {"a(c(1)) = 2\ndim a(3)", "Label or function not found: c"},
      {"b=c(2)\nc(1)=3", "Array used without DIM: c"},
      {"c(1)=3", "Array used without DIM: c"},
      {"undim c", "Array used without DIM: c"},
      {"load array \"f\", c(0)", "Array used without DIM: c"},
      {"save array \"f\", c(d(0))", "Array used without DIM: c"},
      {"b=c(1)\nend\nfunction f()\ndim c(2)\nendfunction", "Array used without DIM: c"},
  };
  for (const auto& [statements, said] : kUndeclared) EXPECT_EQ(Failure(std::string("a=1\n") + statements + "\n"), std::string("2: ") + said);
  // Where an array belongs only a variable can stand: a literal or a value is refused at its
  // line, named as written.
  const std::pair<const char*, const char*> kNotArrays[] = {
      {"dim 1, 1", "1"},  {"dim 1.5, 2, 3", "1.5"},        {"dim \"a\", 1", "\"a\""},     {"dim 3(4)", "3"},
      {"undim 1", "1"},   {"undim 1.5", "1.5"},            {"undim \"x\"", "\"x\""},      {"undim 2+3", "2+3"},
      {"x = 5(1)", "5"},  {"5(1, 2) = 3", "5"},            {"load array \"f\", 1", "1"}, {"save array \"f\", a+1", "a+1"},
      // The array files take an element with one index: not the bare name, nor a value made from one.
      {"load array \"f\", a", "a"}, {"save array \"f\", abs(a(0))", "abs(a(0))"}, {"save array \"f\", a(0, 0)", "a(0, 0)"},
  };
  for (const auto& [statement, given] : kNotArrays)
    EXPECT_EQ(Failure(std::string("a=1\n") + statement + "\n"), std::string("2: Array used without DIM: ") + given);
  EXPECT_EQ(Failure("dim a(2)\nundim a()\nload array \"f\", a(0)\nsave array \"f\", a(i + 1)\n"), "compiled");
  // An element fetched by an earlier statement does not make a later value an element.
  EXPECT_EQ(Failure("dim a(2)\nx = a(0)\nload array \"f\", x+1\n"), "3: Array used without DIM: x+1");
  // An open block is named at the line that opened it (the innermost one when several are).
  EXPECT_EQ(Failure("do\na=1\n"), "1: Block not closed at the end of the program (DO)");
  EXPECT_EQ(Failure("print 1\nif 1\ndo\nloop\n"), "2: Block not closed at the end of the program (IF)");
  EXPECT_EQ(Failure("select a\ncase 1\nprint 1\nendselect\n"), "2: Block not closed at the end of the program (CASE)");
  // A label inside a function cannot be reached from the main program.
  EXPECT_EQ(Failure("goto inner\nend\nfunction f()\ninner:\nendfunction\n"), "1: Label or function not found: inner");
}

TEST(Messages, LimitsAreClearErrors) {
  EXPECT_EQ(Failure("do\n" + Repeat("exit\n", 33) + "loop\n"), "34: Too many EXIT statements in one loop (at most 32)");
  EXPECT_EQ(Failure(Numbered("v%d=%d\n", 2000)), "2000: Too many integer variables (at most 1999)");
  EXPECT_EQ(Failure(Numbered("v%d#=%d.5\n", 2000)).substr(0, 30), "2000: Too many float variables");
  EXPECT_EQ(Failure(Numbered("a=%d\n", 2000)), "2000: Too many different integer numbers (at most 1999)");
  EXPECT_EQ(Failure(Numbered("l%d:\n", 2000)), "2000: Too many labels and function names (at most 1999)");
  // A statement of the main program has 1000 temporaries a type, one in a function 50.
  EXPECT_TRUE(TestCompiler().CompileText("a=1" + Repeat("+a", 120) + "\n"));
  EXPECT_EQ(Failure("function f(a)\nb=1" + Repeat("+a", 51) + "\nendfunction\n"), "2: Too many values in one statement");
  EXPECT_EQ(Failure(Repeat("data 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30\n", 334)),
            "334: Too many DATA items (at most 9999)");
  EXPECT_EQ(Failure(Numbered("dim a%d(1)\n", 700) + Numbered("dim b%d#(1)\n", 700) + Numbered("dim c%d$(1)\n", 601)),
            "2001: Too many DIM statements (at most 2000)");
}

TEST(Messages, KeywordWithoutCommandFailsClearly) {
  Compiler c;
  c.LoadKeywordTableFromText("=%151%ll\nbroken%0%0\n");
  c.SetMessageTexts({});
  EXPECT_FALSE(c.CompileText("a=1\n"));  // "end" is not a keyword here
  EXPECT_NE(c.ResultText(), "");
}

TEST(Messages, UnknownFunctionWithoutArrayFormsIsNamed) {
  Compiler c;
  c.LoadKeywordTableFromText("=%151%ll\nend%213%0\n");
  std::vector<std::string> texts(60);
  texts[9] = "Command";
  texts[10] = "not recognised";
  c.SetMessageTexts(texts);
  EXPECT_FALSE(c.CompileText("a=x(1)\n"));
  EXPECT_EQ(c.ErrorMessage(), "Command x not recognised");
}

TEST(Messages, SourceFilesAndIncludes) {
  const std::string folder = TempFolder();
  WriteTempFile("inc_ok.vka", "function twice(n)\nendfunction n*2\n");
  WriteTempFile("inc_bad.vka", "function broken()\na=(\nendfunction\n");
  WriteTempFile("inc_outer.vka", "#include \"inc_inner.vka\"\nfunction outer()\nendfunction\n");
  WriteTempFile("inc_inner.vka", "function inner()\nfoo bar\nendfunction\n");
  WriteTempFile("inc_nobreak.vka", "function nb()\nendfunction");
  const std::string keep = FsCurrentFolder();
  ASSERT_TRUE(FsChangeFolder(folder));
  Compiler& c = TestCompiler();
  EXPECT_TRUE(c.CompileText("#include \"inc_ok.vka\"\nprint twice(2)\n#INCLUDE inc_OK.vka\n")) << c.ResultText();
  EXPECT_EQ(Failure("a=1\n#include \"inc_bad.vka\"\n"), "2: Brackets do not balance in included line: a=(");
  // An error in a file included by an included file reports the main file's include line.
  EXPECT_EQ(Failure("\n\n#include inc_outer.vka\n"), "3: Command not understood in included line: foo bar");
  // An included file without a final line break does not merge into the next one.
  EXPECT_TRUE(c.CompileText("#include inc_nobreak.vka\n#include inc_ok.vka\nprint nb()+twice(1)\n")) << c.ResultText();
  // Failures found before or after the statements (function declarations, unresolved names,
  // arrays without DIM, long lines) also name the include line, not a line past the file.
  WriteTempFile("inc_ret.vka", "function r()\nendfunction (1\n");
  WriteTempFile("inc_goto.vka", "a=1\nfunction g()\ngoto nowhere\nendfunction\n");
  WriteTempFile("inc_array.vka", "function h()\nb=arr(1)\nendfunction\n");
  WriteTempFile("inc_long.vka", "function l()\nrem " + std::string(260, 'x') + "\nendfunction\n");
  EXPECT_EQ(Failure("print 1\n\n#include inc_ret.vka\n"),
            "3: Function return value not understood in included line: endfunction (1");
  EXPECT_EQ(Failure("print 1\n#include inc_goto.vka\nprint g()\n"),
            "2: Label or function not found: nowhere in included line: goto nowhere");
  EXPECT_EQ(Failure("#include inc_array.vka\nprint h()\n"), "1: Label or function not found: arr in included line: b=arr(1)");
  EXPECT_EQ(Failure("a=1\n#include inc_long.vka\n"), "2: Line too long (255 characters or more)");
  WriteTempFile("inc_open.vka", "function o()\nrepeat\nendfunction\n");
  EXPECT_EQ(Failure("print 1\n#include inc_open.vka\n"),
            "2: Block not closed at the end of the program (REPEAT) in included line: repeat");
  WriteTempFile("inc_unended.vka", "function u()\nprint 1\n");
  EXPECT_EQ(Failure("print 1\n#include inc_unended.vka\n"),
            "2: Block not closed at the end of the program (FUNCTION) in included line: function u()");
  // The first statement outside the functions of each included file is warned about, as it
  // is left out; comments, include lines and files of functions alone are not.
  WriteTempFile("inc_top.vka", "` c\nrem x\nremstart\nprint 9\nremend\n#include inc_ok.vka\n\nfunction t1()\nendfunction\n"
                               "print \"left out\"\nb=2\n");
  WriteTempFile("inc_top2.vka", "function t2()\nendfunction\nx:\n");
  ASSERT_TRUE(c.CompileText("print 1\n#include inc_top.vka\n#include inc_top2.vka\n")) << c.ResultText();
  std::vector<std::string> warned;
  for (const Compiler::Warning& w : c.Warnings()) {
    const Compiler::SourceFile* in = nullptr;
    for (const Compiler::SourceFile& f : c.SourceFiles())
      if (f.firstLine <= w.line) in = &f;
    warned.push_back(in->name + ":" + std::to_string(w.line - in->firstLine + 1) + ": " + w.text);
  }
  const char* kLeftOut = ": Statements outside the functions of an included file are not compiled";
  EXPECT_EQ(warned, (std::vector<std::string>{std::string("inc_top.vka:10") + kLeftOut, std::string("inc_top2.vka:3") + kLeftOut}));
  // A missing include is silent; the call it should supply then fails.
  EXPECT_EQ(Failure("#include missing.vka\nprint gone(1)\n"), "2: Label or function not found: gone");
  FsChangeFolder(keep);
  EXPECT_FALSE(c.CompileSourceFile(folder + "/does_not_exist.vka"));
  EXPECT_EQ(c.ErrorMessage().substr(0, 27), "Cannot read the source file");
  EXPECT_EQ(c.ResultText().substr(0, 27), "Cannot read the source file");
}

TEST(Messages, ResultTextCarriesTheLineSuffix) {
  Compiler& c = TestCompiler();
  EXPECT_FALSE(c.CompileText("\nfoo bar\n"));
  EXPECT_EQ(c.ResultText(), "Command not understood at line 2");
  EXPECT_EQ(c.ErrorLine(), 2);
  EXPECT_FALSE(c.CompileText("a$=\"" + std::string(250, 'x') + "\" + " + "\"" + std::string(250, 'y') + "\"\n"));
  EXPECT_LE(c.ResultText().size(), 255u);
}

TEST(Messages, ProgressIsReportedTenTimesAtMost) {
  Compiler c;
  c.LoadKeywordTable();
  std::vector<int> shown;
  c.SetProgressCallback([&](int p) { shown.push_back(p); });
  ASSERT_TRUE(c.CompileText(Numbered("a%d=%d\n", 200)));
  ASSERT_FALSE(shown.empty());
  EXPECT_LE(shown.size(), 10u);
  EXPECT_LE(shown.back(), 100);
  for (size_t i = 1; i < shown.size(); ++i) EXPECT_GT(shown[i], shown[i - 1]);
}

TEST(Messages, LineLengthLimits) {
  // The first line holds 254 characters; later lines 253, their text gathered behind the
  // line feed of the break before them.
  const std::string rem254 = "rem " + std::string(250, 'x'), rem253 = "rem " + std::string(249, 'x');
  EXPECT_EQ(Failure(rem254 + "\n"), "compiled");
  EXPECT_EQ(Failure(rem254 + "x\n"), "1: Line too long (255 characters or more)");
  EXPECT_EQ(Failure("a=1\n" + rem253 + "\n"), "compiled");
  EXPECT_EQ(Failure("a=1\n" + rem254 + "\n"), "2: Line too long (255 characters or more)");
}

TEST(Messages, MoreLimits) {
  EXPECT_EQ(Failure(Numbered("a$=\"%d\"\n", 2000)), "2000: Too many strings (at most 1999)");
  EXPECT_EQ(Failure(Numbered("a#=%d.5\n", 2000)), "2000: Too many different float numbers (at most 1999)");
  EXPECT_EQ(Failure(Numbered("s%d$=a$\n", 2000)), "1999: Too many string variables (at most 1999)");  // a$ is one too
  EXPECT_EQ(Failure("end\n" + Numbered("function f%d()\nendfunction\n", 1024)), "2048: Too many user functions (at most 1023)");
  EXPECT_EQ(Failure(Numbered("#include missing%d.vka\n", 256)), "255: Too many include files (at most 255)");
  EXPECT_EQ(Failure("a=" + Repeat("1^1+", 60) + "1\n"), "1: Line or expression too long");
}
