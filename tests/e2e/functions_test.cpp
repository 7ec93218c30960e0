// User functions compiled from source and run: early returns hand back the function's own type.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

TEST(Functions, EarlyReturnsAreConvertedToTheFunctionsType) {
  const char* source =
      "print half#(3)\nprint half#(-1)\nprint whole(2.75)\nprint fact#(1.0)\nprint fact#(5.0)\nend\n"
      "function half#(n)\n if n<0 then exitfunction 0\nendfunction n/2.0\n"
      "function whole(x#)\n if x#>2.0 then exitfunction x#\nendfunction 0\n"
      "function fact#(n#)\n if n# <= 1.0 then exitfunction 1\nendfunction n#*fact#(n#-1.0)\n";
  RunOutcome r = RunVkaSource(source, 10);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "1.5\n0\n2\n1\n120\n");
}

// A statement of the main program with more than 50 temporaries keeps those of them that
// share cells with a function's temporaries across a call of that function (w$ uses the
// temporaries from 50 on, twice those from 100 on).
TEST(Functions, LongMainStatementsKeepTheirTemporariesAcrossCalls) {
  std::string ints = "b", texts = "x$", zeros, empties;
  for (int k = 0; k < 105; ++k) ints += "+b";
  for (int k = 0; k < 60; ++k) texts += "+x$";
  for (int k = 0; k < 7; ++k) zeros += "+0*n";
  for (int k = 0; k < 12; ++k) empties += "+\"\"";
  const std::string source = "b=2\nx$=\"x\"\nt$=w$(" + texts + ")+w$(\"y\")+\"z\"\nprint t$\n" +
                             "a=twice(" + ints + ")+twice(3)+1\nprint a\nend\n" +
                             "function w$(s$)\n r$ = s$" + empties + "\nendfunction r$\n" +
                             "function twice(n)\n m = n*2" + zeros + "\nendfunction m\n";
  RunOutcome r = RunVkaSource(source, 10);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, std::string(61, 'x') + "yz\n431\n");
}

// After the end of a function returning a text, the code belongs to the main program again:
// a label there is the main program's and so are the variables.
TEST(Functions, CodeAfterATextFunctionIsTheMainPrograms) {
  const char* source =
      "v = 1\ngosub after\nprint v\nend\n"
      "function f$()\nendfunction \"a\"\n"
      "after:\nv = v + 2\nreturn\n";
  RunOutcome r = RunVkaSource(source, 10);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "3\n");
}
