// Asking after a sprite number that was never used answers 0, before and after other sprites
// were made.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

namespace {

TEST(AuditSpritePrograms, UnusedSpriteNumbersDoNotExist) {
  RunOutcome r = RunVkaSource(R"(sync on
get image 1,0,0,8,8
sync
print sprite exist(9)
sprite 1,10,10,1
print sprite exist(9);" ";sprite exist(1);" ";sprite exist(65535)
delete sprite 1
sync
sync
sync
print sprite exist(1)
sync
)",
                              10);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "0\n0 1 0\n0\n");
}

}  // namespace
