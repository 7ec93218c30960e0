// Golden code-word listings of the statement rewrites and of operator precedence.
#include <gtest/gtest.h>

#include <cctype>

#include "tests/support/compile_helpers.h"

TEST(Listing, EmptyProgramIsTheEndCommand) { EXPECT_EQ(Listing(""), "213"); }

TEST(Listing, OperatorPrecedenceReducesEachLevelLeftToRight) {
  // "+" before "-": 10-(2+3); "/" before "*": 2*(3/4); "^" left first.
  EXPECT_EQ(Listing("a=10-2+3\n"), "81 10000 19000 19001 91 10001 19002 10000 151 13000 10001 213");
  EXPECT_EQ(Listing("a=2*3/4\n"), "61 10000 19000 19001 71 10001 19002 10000 151 13000 10001 213");
  EXPECT_EQ(Listing("a=2^3^2\n"), "51 10000 19000 19001 51 10001 10000 19000 151 13000 10001 213");
  // Grouping parentheses are compiled first.
  EXPECT_EQ(Listing("a=(10-2)+3\n"), "91 10000 19000 19001 81 10001 10000 19002 151 13000 10001 213");
  // Comparisons yield integers; "=" inside an expression is a comparison.
  EXPECT_EQ(Listing("a=b>1\n"), "111 10000 13001 19000 151 13000 10000 213");
  EXPECT_EQ(Listing("a=b=c\n"), "101 10000 13001 13002 151 13000 10000 213");
}

TEST(Listing, SignsAndMixedTypes) {
  EXPECT_EQ(Listing("a=-1\nb=a*-1\n"), "151 13000 19000 71 10000 13000 19000 151 13001 10000 213");
  // int + float chooses the mixed form; a float stored into an integer is converted (154).
  EXPECT_EQ(Listing("a#=1+2.5\n"), "84 11000 19000 21000 152 15000 11000 213");
  EXPECT_EQ(Listing("a=1.5\n"), "154 10000 21000 151 13000 10000 213");
  EXPECT_EQ(Listing("a#=1\n"), "155 11000 19000 152 15000 11000 213");
  // Equal integer literals share a number; equal string literals do not.
  EXPECT_EQ(Listing("a$=\"x\"+\"x\"\nb=7+7\n"), "87 12000 23000 23001 153 17000 12000 81 10000 19000 19000 151 13000 10000 213");
}

TEST(Listing, PrintReadAndInputLists) {
  EXPECT_EQ(Listing("print a,b\n"), "305 13000 301 13001 213");
  EXPECT_EQ(Listing("print \"x\";\n"), "307 23000 213");
  EXPECT_EQ(Listing("print\n"), "304 213");
  EXPECT_EQ(Listing("print 1.5;a$\n"), "306 21000 303 17000 213");
  EXPECT_EQ(Listing("read a,b#\n"), "33 13000 34 15000 213");
  EXPECT_EQ(Listing("input \"name? \", n$\n"), "307 23000 352 17000 213");
  EXPECT_EQ(Listing("input \"n\";n\n"), "307 23000 351 13000 213");
}

TEST(Listing, SeveralStatementsOnALine) {
  EXPECT_EQ(Listing("a=1:b=2\n"), "151 13000 19000 151 13001 19001 213");
  EXPECT_EQ(Listing("print \"a:b\":cls\n"), "303 23000 212 213");
}

TEST(Listing, ForLoopStartsOneStepBeforeItsStart) {
  EXPECT_EQ(Listing("for i=1 to 10\nnext i\n"),
            "91 10000 19000 19000 151 13000 10000 7 13000 19001 19000 37015 8 13000 37007 213");
  EXPECT_EQ(Listing("for i=10 to 1 step -2\nnext i\n"),
            "91 10000 19001 19000 151 13000 10000 7 13000 19002 19000 37015 8 13000 37007 213");
}

TEST(Listing, BlockForms) {
  EXPECT_EQ(Listing("if a=1\nprint 1\nelse\nprint 2\nendif\n"),
            "101 10000 13000 19000 1 10000 37011 301 19000 2 37013 301 19001 213");
  EXPECT_EQ(Listing("if a=1\nprint 1\nendif\n"), "101 10000 13000 19000 1 10000 37009 301 19000 213");
  EXPECT_EQ(Listing("if a=1 then print 1 else print 2\n"),
            "101 10000 13000 19000 1 10000 37011 301 19000 2 37013 301 19001 213");
  EXPECT_EQ(Listing("do\nexit\nloop\n"), "5 37004 6 37000 213");
  EXPECT_EQ(Listing("while a<3\na=a+1\nendwhile\n"),
            "115 10000 13000 19000 9 10000 37016 81 10000 13000 19001 151 13000 10000 10 37000 213");
  EXPECT_EQ(Listing("repeat\nuntil a=1\n"), "101 10000 13000 19000 12 10000 37000 213");
  // exit inside an if inside a loop leaves the loop.
  EXPECT_EQ(Listing("do\nif a then exit\nloop\n"), "1 13000 37005 5 37007 6 37000 213");
  // Conditions: <> and "and"/"or" become operators in block keywords.
  // "=" (level 9) is reduced before "!" (level 10), so b and 2 are numbered first.
  EXPECT_EQ(Listing("if a<>1 and b=2\nendif\n"),
            "101 10000 13000 19000 119 10001 13001 19001 123 10002 10001 10000 1 10002 37015 213");
}

TEST(Listing, SelectCase) {
  EXPECT_EQ(Listing("select a\ncase 1,2\nprint 1\nendcase\ncase default\nprint 2\nendcase\nendselect\n"),
            "151 13000 19000 101 10000 13001 19001 101 10001 13001 19002 124 10002 10000 10001 1 10002 37023 "
            "151 13000 19001 301 19001 101 10000 13000 19000 1 10000 37032 301 19002 213");
}

TEST(Listing, ArraysLabelsDataAndFunctions) {
  EXPECT_EQ(Listing("dim a(10)\na(2)=5\nb=a(2)\n"), "501 13000 19000 561 13000 19001 19002 661 10000 13000 19001 151 13001 10000 213");
  EXPECT_EQ(Listing("dim m#(3,4)\nm#(1,2)=7\n"), "512 15000 19000 19001 577 15000 19002 19003 19004 213");
  EXPECT_EQ(Listing("undim a(\ndim a(1)\n"), "506 13000 501 13000 19000 213");
  // The separator ends the dimensions: brackets after it belong to the next statement.
  EXPECT_EQ(Listing("dim a(2): a(1)=3\n"), Listing("dim a(2)\na(1)=3\n"));
  EXPECT_EQ(Listing("dim a(len(\"a:)\")): print \")\"\n"), Listing("dim a(len(\"a:)\"))\nprint \")\"\n"));
  EXPECT_EQ(Listing("goto x\nx:\ngosub x\nreturn\n"), "42 37002 41 37002 43 213");
  EXPECT_EQ(Listing("data 1,2.5,\"ab\"\nx:\nrestore x\nread a\nrestore\n"), "31 25003 33 13000 32 213");
  EXPECT_EQ(Listing("print sq(3)\nend\nfunction sq(n)\nendfunction n*n\n"),
            "21 37009 10000 19000 19001 301 10000 213 26 13000 1 71 10050 13000 13000 23 10050 213");
  // A call as a statement drops its result; a function without a value returns with 22.
  EXPECT_EQ(Listing("hello()\nend\nfunction hello()\nendfunction\n"), "21 37006 10000 19000 213 26 1 22 213");
}

TEST(Listing, ScopesOfVariablesArraysAndTemporaries) {
  // a, a# and a$ are three variables; a plain a and an array a are two rows.
  EXPECT_EQ(Listing("a=1\na#=1.5\na$=\"x\"\ndim a(2)\n"), "151 13000 19000 152 15000 21000 153 17000 23000 501 13001 19001 213");
  // An array of the main program used inside a function is the main program's row.
  EXPECT_EQ(Listing("dim a(3)\nprint f()\nend\nfunction f()\nendfunction a(1)\n"),
            "501 13000 19000 21 37011 10000 19001 301 10000 213 26 1 661 10050 13000 19002 23 10050 213");
  // Temporaries of function 20 and above all start 950 above the block bases.
  std::string source = "end\n";
  for (int k = 0; k < 22; ++k) source += "function f" + std::to_string(k) + "(n)\nendfunction n+n\n";
  Compiler& c = TestCompiler();
  ASSERT_TRUE(c.CompileText(source)) << c.ResultText();
  std::vector<int32_t> results;
  for (size_t i = 0; i + 1 < c.Code().size(); ++i)
    if (c.Code()[i] == 81) results.push_back(c.Code()[i + 1]);
  ASSERT_EQ(results.size(), 22u);
  EXPECT_EQ(results[0], 10050);
  EXPECT_EQ(results[18], 10950);
  EXPECT_EQ(results[19], 10950);
  EXPECT_EQ(results[21], 10950);
}

// Capitals outside quotes are lowered wherever they stand, also when the only one among
// eight characters is the first or the last letter of the alphabet.
TEST(Listing, CapitalsOutsideQuotesAreLowered) {
  for (const char* name : {"Zed", "Aed", "zeD", "ZZZZZZZZZ"}) {
    std::string lower = name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Listing(lower + "=5\nx = " + name + " + 1\n"), Listing(lower + "=5\nx = " + lower + " + 1\n")) << name;
  }
  EXPECT_EQ(Listing("print \"Zed\"\n"), Listing("PRINT \"Zed\"\n"));
}

TEST(Listing, ALabelAndAFunctionMayShareAName) {
  EXPECT_EQ(Listing("f:\nprint f()\ngoto f\nend\nfunction f()\nendfunction 5\n"),
            "21 37010 10000 19000 301 10000 42 37000 213 26 1 23 19001 213");
}

TEST(Listing, KeywordFunctionsAndConversions) {
  // A float argument to an integer-only function is converted first (154).
  EXPECT_EQ(Listing("a$=chr$(65.0)\n"), "154 10000 21000 209 12000 10000 153 17000 12000 213");
  // The expected type picks the variant: val() into an integer is the integer form.
  EXPECT_EQ(Listing("a=val(\"3\")\n"), "322 10000 23000 151 13000 10000 213");
  EXPECT_EQ(Listing("a#=val(\"3\")\n"), "321 11000 23000 152 15000 11000 213");
  EXPECT_EQ(Listing("a=timer()\n"), "260 10000 151 13000 10000 213");
  EXPECT_EQ(Listing("inc a,2\n"), "155 11000 19000 414 13000 11000 213");
}

TEST(Listing, CommentsIncludesAndRemBlocks) {
  EXPECT_EQ(Listing("rem nothing\n` nothing\nremstart\nprint 1\nremend\nprint 2\n"), "301 19000 213");
}

TEST(Listing, LineEndsOfAllKindsCompileAlike) {
  const std::string crlf = Listing("a=1\r\nb=2\r\n");
  EXPECT_EQ(Listing("a=1\nb=2\n"), crlf);
  EXPECT_EQ(Listing("a=1\rb=2\r"), crlf);
  EXPECT_EQ(Listing("a=1\nb=2"), crlf);
  EXPECT_EQ(Listing(std::string("a=1\0b=2", 7)), crlf);
}

TEST(Listing, BlanksInsideStringsAreKeptInUserFunctionArguments) {
  Compiler& c = TestCompiler();
  ASSERT_TRUE(c.CompileText("f(\"a b\")\nend\nfunction f(x$)\nendfunction\n"));
  std::vector<uint8_t> image = c.BuildImage();
  std::string bytes(image.begin(), image.end());
  EXPECT_NE(bytes.find(std::string("a b\0", 4)), std::string::npos);
}

// The blanks inside a function name of several words stay, also before an operator.
TEST(Listing, FunctionsOfSeveralWordsInUserFunctionArguments) {
  for (const char* call : {"f(rgb red(5)*1.0, 0.0)", "f(1.0*rgb red(5), 0.0)", "f(abs(rgb red(5))*1.0, 0.0+rgb red(1))"}) {
    const std::string listing = " " + Listing(std::string(call) + "\nend\nfunction f(a#,b#)\nendfunction\n");
    EXPECT_NE(listing.find(" 392 "), std::string::npos) << call << ": " << listing;
  }
}

TEST(Listing, ALabelUsedByGotoAndRestoreGetsBothKinds) {
  EXPECT_EQ(Listing("data 9\nx:\ndata 1\ngoto x\nrestore x\n"), "42 37000 31 25001 213");
}

TEST(Listing, MarkersInTheSourceOnlyNameCells) {
  EXPECT_EQ(Listing("print ?25000\n").substr(0, 7), "FAILED:");
  EXPECT_EQ(Listing("print ?37000\n").substr(0, 7), "FAILED:");
}

TEST(Listing, MemoryCompileAppendsToTheLastFileCompile) {
  Compiler& c = TestCompiler();
  ASSERT_TRUE(c.CompileText("a=5\n"));
  ASSERT_TRUE(c.CompileFromMemory("print a\n", 0)) << c.ResultText();
  std::vector<int32_t> expected = {151, 13000, 19000, 213, 301, 13000, 0};
  EXPECT_EQ(c.Code(), expected);
  ASSERT_TRUE(c.CompileFromMemory("print a+1\n", 0));
  expected = {151, 13000, 19000, 213, 81, 10000, 13000, 19001, 301, 10000, 0};
  EXPECT_EQ(c.Code(), expected);
  EXPECT_FALSE(c.CompileFromMemory("foo bar\n", 0));
  EXPECT_EQ(c.ResultText(), "Command not understood");
}

TEST(Listing, AFailedMemoryCompileLeavesNothingBehind) {
  Compiler& c = TestCompiler();
  ASSERT_TRUE(c.CompileText("a=5\n"));
  // An open block, a select and a reference to a missing label go with the failed compile.
  EXPECT_FALSE(c.CompileFromMemory("do\n", 0));
  EXPECT_FALSE(c.CompileFromMemory("select a\ncase 1\nfoo bar\n", 0));
  EXPECT_FALSE(c.CompileFromMemory("goto x\nprint 7\n", 0));
  ASSERT_TRUE(c.CompileFromMemory("print 1\nprint 2\nx:\nselect a\nendselect\n", 0)) << c.ResultText();
  std::vector<int32_t> expected = {151, 13000, 19000, 213, 301, 19001, 301, 19002, 151, 13001, 19003, 0};
  EXPECT_EQ(c.Code(), expected);
  // The names of a successful one stay.
  EXPECT_FALSE(c.CompileFromMemory("x:\n", 0));
  EXPECT_EQ(c.ResultText().substr(0, 19), "Label declared twic");
  // After the buffers are freed there is nothing to append to.
  c.FreeCompilerBuffers();
  EXPECT_FALSE(c.CompileFromMemory("print 1\n", 0));
}

TEST(Listing, CallsInsideOperandsCompileTheirOwnExpressions) {
  EXPECT_EQ(Listing("a=len(str$(1+2))+3\n"),
            "81 10000 19000 19001 312 12000 10000 234 10001 12000 81 10002 10001 19002 151 13000 10002 213");
  EXPECT_EQ(Listing("a=abs(abs(abs(1.5-2)-3)-4)+1\n").substr(0, 3), "95 ");
}
