// Sprites as programs use them at the edges: numbers never used, and positions at the ends of
// the 32-bit range (a position minus its offset does not come back on the other side).
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

TEST(AuditSpritePrograms, FarPositionsDoNotWrapAround) {
  RunOutcome r = RunVkaSource(R"(sync on
ink rgb(255,255,255),0
box 0,0,16,16
get image 1,0,0,16,16
sync
sprite 1,2147483647,0,1
offset sprite 1,-10,0
sprite 2,-2147483639,0,1
print sprite collision(1,2);" ";sprite collision(2,0)
paste sprite 1,2147483647,0
sync
)",
                              5);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "0 0\n");
}

}  // namespace
