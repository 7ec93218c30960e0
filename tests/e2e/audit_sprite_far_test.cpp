// Sprites placed at the ends of the coordinate range: a position minus its offset that leaves
// the 32-bit range does not come back on the other side.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

namespace {

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
