// Rotating by a huge angle: four quarter turns bring a picture back, so at most four are made
// and the command returns at once with the picture the whole count of turns gives.
#include <cstdint>

#include "display/bitmaps.h"
#include "tests/display/display_fixture.h"

namespace {

class AuditRotateTest : public DisplayTest {};

TEST_F(AuditRotateTest, HugeAnglesTurnAtMostFourTimes) {
  SurfacePtr s = SurfaceCreate(64, 32, 16);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 64; ++x) s->PutPixel(x, y, uint32_t(y * 64 + x));
  // INT32_MAX / 90 = 23860929 turns: one more than a whole number of full turns.
  ASSERT_TRUE(RotateSurface(&s, INT32_MAX));
  EXPECT_EQ(s->Width(), 32);
  EXPECT_EQ(s->Height(), 64);
  EXPECT_EQ(s->GetPixel(31, 0), 0u);           // old 0,0 goes to h-1-0, 0
  EXPECT_EQ(s->GetPixel(0, 63), 31u * 64 + 63);  // old 63,31 goes to 0, 63
  ASSERT_TRUE(RotateSurface(&s, 360 * 1000000 + 270));
  EXPECT_EQ(s->Width(), 64);
  EXPECT_EQ(s->GetPixel(5, 7), 7u * 64 + 5);  // back where it started
}

}  // namespace
