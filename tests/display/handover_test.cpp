// The CPU back buffer and the 3D device's target kept in step across a 3D clear: every 16-bit
// value drawn in 2D before the clear survives it outside the cleared rectangle, and 2D drawn
// after the clear lands on the device's picture.
#include "tests/display/display_fixture.h"
#include "tests/support/gl_required.h"

namespace {

TEST_F(DisplayTest, Every16BitValueSurvivesA3DClearAndLaterDrawing) {
  // All 65536 values in a 256 x 256 square at (100, 100).
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) Back()->PutPixel(100 + x, 100 + y, uint32_t(x + 256 * y));
  g_display.backBufferChanged = 1;
  Device3D* d = PrepareDevice3D();
  VK_NEED_GL(d->Kind() == DeviceKind::kGl);
  d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, 50, 50}, 0xFF0000, 1.0f, 0);
  MarkDeviceDrew();
  PrepareBackBuffer2D();
  int wrong = 0;
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) wrong += Px(100 + x, 100 + y) != uint32_t(x + 256 * y);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(Px(10, 10), 0xF800u);  // the cleared rectangle, red in 5-6-5
  // 2D after the clear, then another trip through the device: both pictures stay.
  for (int32_t x = 0; x < 640; ++x) Back()->PutPixel(x, 400, uint32_t(x * 101));
  g_display.backBufferChanged = 1;
  PrepareDevice3D();
  d->Clear(kClearTarget, SurfRect{600, 0, 640, 10}, 0x0000FF, 1.0f, 0);
  MarkDeviceDrew();
  PrepareBackBuffer2D();
  for (int32_t x = 0; x < 640; ++x) ASSERT_EQ(Px(x, 400), uint32_t(x * 101) & 0xFFFF) << x;
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) wrong += Px(100 + x, 100 + y) != uint32_t(x + 256 * y);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(Px(10, 10), 0xF800u);
  EXPECT_EQ(Px(620, 5), 0x001Fu);
}

}  // namespace
