// User functions compiled from source and run: early returns hand back the function's own type.
#include <gtest/gtest.h>

#include "tests/programs/vka_run.h"

TEST(Functions, EarlyReturnsAreConvertedToTheFunctionsType) {
  const char* source =
      "print half#(3)\nprint half#(-1)\nprint whole(2.75)\nprint fact#(1.0)\nprint fact#(5.0)\nend\n"
      "function half#(n)\n if n<0 then exitfunction 0\nendfunction n/2.0\n"
      "function whole(x#)\n if x#>2.0 then exitfunction x#\nendfunction 0\n"
      "function fact#(n#)\n if n# <= 1.0 then exitfunction 1\nendfunction n#*fact#(n#-1.0)\n";
  VkaRun r = RunVkaSource(source, 10);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "1.5\n0\n2\n1\n120\n");
}
