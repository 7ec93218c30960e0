#include <string>
#include <vector>

#include "tests/display/display_fixture.h"
#include "tests/support/gl_required.h"

namespace {

TEST(GlDevice, ClearsItsTargetAndKeepsEvery16BitPixelThroughTheRoundTrip) {
  Device3DPtr d = CreateGlDevice(256, 256);
  VK_NEED_GL(d);
  EXPECT_EQ(d->Kind(), DeviceKind::kGl);
  ASSERT_TRUE(d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, 256, 256}, 0xFF0000, 1.0f, 0));
  ASSERT_TRUE(d->Clear(kClearTarget, SurfRect{0, 0, 16, 8}, 0x0000FF, 1.0f, 0));
  SurfacePtr out = SurfaceCreate(256, 256, 32);
  ASSERT_TRUE(d->ReadBackInto(out.get()));
  EXPECT_EQ(out->GetPixel(0, 0) & 0xFFFFFF, 0x0000FFu);  // the top-left rectangle
  EXPECT_EQ(out->GetPixel(15, 7) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(out->GetPixel(16, 7) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(out->GetPixel(255, 255) & 0xFFFFFF, 0xFF0000u);

  SurfacePtr in = SurfaceCreate(256, 256, 16), back = SurfaceCreate(256, 256, 16);
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) in->PutPixel(x, y, uint32_t(x + 256 * y));
  ASSERT_TRUE(d->UploadFrom(*in));
  ASSERT_TRUE(d->ReadBackInto(back.get()));
  int wrong = 0;
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) wrong += back->GetPixel(x, y) != uint32_t(x + 256 * y);
  EXPECT_EQ(wrong, 0);
}

TEST(RecordingDevice, RenderStatesAreSeededInOrder) {
  std::vector<std::string> log;
  g_display = DisplayState{};
  g_display.device = CreateRecordingDevice(CreateNullDevice(), &log);
  g_display.blendLevel = 3;
  ASSERT_TRUE(InitRenderStates());
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0], "rs 7 1");
  EXPECT_EQ(log[1], "rs 14 1");
  EXPECT_EQ(log[2], "rs 19 2");  // level 3: ONE, ONE
  EXPECT_EQ(log[3], "rs 20 2");
  EXPECT_EQ(log.back(), "material 0.5,0.5,0.5 0.5,0.5,0.5");
  g_display = DisplayState{};
}

TEST_F(DisplayTest, EveryBlendCapabilityEndsAtLevelOneAndTheDeviceIsSeeded) {
  EXPECT_EQ(g_display.blendLevel, 1);
  EXPECT_EQ(g_display.multiplyBlendLevel, 7);
  EXPECT_EQ(g_display.blendSrc, uint32_t(kBlendOne));
  EXPECT_EQ(g_display.blendDest, uint32_t(kBlendInvSrcColor));
  EXPECT_EQ(g_display.device->State().viewport.width, 640);
  EXPECT_EQ(g_display.filterLevel, 1);
  EXPECT_GE(g_display.textureFormats.size(), 1u);
}

TEST_F(DisplayTest, AFailedModeKeepsTheOldModeAndAThirdSurfaceFailureIs10005) {
  int32_t w = 640, h = 480, d = 16, sw = 0;
  SetFullScreenFlag(1);
  int32_t bad = 12;
  EXPECT_EQ(SetDisplayMode(&w, &h, &bad, &sw, 640, 480, 16, 0), 0);
  EXPECT_EQ(bad, 16);
  EXPECT_EQ(g_errorCode, 1503);
  g_errorCode = 0;
  ASSERT_NE(g_display.backBuffer, nullptr);
  g_surfaceFaults.createFailures = 2;  // the first surface of two attempts
  EXPECT_EQ(SetDisplayMode(&w, &h, &d, &sw, 640, 480, 16, 0), 0);
  EXPECT_EQ(g_errorCode, 1504);
  EXPECT_NE(g_display.backBuffer, nullptr);  // made again in the old mode
  g_errorCode = 0;
  g_surfaceFaults.createFailures = 100;
  EXPECT_EQ(SetDisplayMode(&w, &h, &d, &sw, 640, 480, 16, 0), 0);
  EXPECT_EQ(g_errorCode, 10005);
  g_surfaceFaults.createFailures = 0;
}

TEST_F(DisplayTest, PresentCentresNothingHeadlessButKeepsTheFrame) {
  Back()->PutPixel(639, 479, 0xFFFF);
  PresentFrame();
  ASSERT_NE(g_display.primary, nullptr);
  EXPECT_EQ(g_display.primary->GetPixel(639, 479), 0xFFFFFFu);
  EXPECT_EQ(g_display.framePresented, 1);
  EXPECT_EQ(g_display.frameCounter, 1u);
}

}  // namespace

namespace {

TEST_F(DisplayTest, BackBufferAndDeviceStayInStep) {
  QueueDot(1, 1);
  RunDrawQueue();
  EXPECT_EQ(g_display.device->Kind(), DeviceKind::kNull);  // no 3D yet: no GL
  Device3D* d = PrepareDevice3D();
  VK_NEED_GL(d->Kind() == DeviceKind::kGl);
  EXPECT_EQ(g_display.backBufferChanged, 0);
  d->Clear(kClearTarget, SurfRect{100, 100, 110, 110}, 0x00FF00, 1.0f, 0);
  MarkDeviceDrew();
  QueueDot(2, 2);
  RunDrawQueue();  // reads the device's picture back first
  EXPECT_EQ(Px(1, 1), White());
  EXPECT_EQ(Px(2, 2), White());
  EXPECT_EQ(Px(105, 105), 0x07E0u);
  EXPECT_EQ(Px(110, 110), 0u);
  EXPECT_EQ(g_display.deviceDrew, 0);
  // Untouched pixels survive another trip exactly.
  for (int32_t x = 0; x < 640; ++x) Back()->PutPixel(x, 300, uint32_t(x * 97));
  g_display.backBufferChanged = 1;
  PrepareDevice3D();
  MarkDeviceDrew();
  PrepareBackBuffer2D();
  for (int32_t x = 0; x < 640; ++x) ASSERT_EQ(Px(x, 300), uint32_t(x * 97) & 0xFFFF);
}

}  // namespace

namespace {

TEST_F(DisplayTest, ModesOf24And32BitsDrawAndPresentTheSame) {
  SetFullScreenFlag(1);
  for (int32_t depth : {24, 32, 16}) {
    int32_t w = 320, h = 200, d = depth, sw = 0;
    ASSERT_EQ(SetDisplayMode(&w, &h, &d, &sw, 640, 480, 16, 0), 1) << depth;
    EXPECT_EQ(Back()->Depth(), depth);
    EXPECT_EQ(g_bitmapInfo[0].depth, depth);
    EXPECT_EQ(g_bitmapInfo[0].width, 320);
    ComputePixelShifts(Back());
    QueueInk(0x00FF00, 0x000080);
    QueueCls();
    QueueDot(319, 199);
    RunDrawQueue();
    PresentFrame();
    EXPECT_EQ(g_display.primary->GetPixel(319, 199), 0x00FF00u);
    // Background 0x80 is 15 of 31 at five bits (truncated): 0x7B once widened.
    EXPECT_EQ(g_display.primary->GetPixel(0, 0), depth == 16 ? 0x00007Bu : 0x000080u);
    VarCell cell{};
    ReadSurfacePixel(Back(), 319, 199, &cell);
    EXPECT_EQ(cell.i, 0x00FF00);
  }
}

}  // namespace

namespace {

TEST_F(DisplayTest, InksKeepTheirColoursThroughADepthChange) {
  QueueInk(0xFFFFFF, 0x0000FF);
  RunDrawQueue();
  SetFullScreenFlag(1);
  int32_t w = 640, h = 480, d = 32, sw = 0;
  ASSERT_EQ(SetDisplayMode(&w, &h, &d, &sw, 640, 480, 16, 0), 1);
  QueueDot(5, 5);
  RunDrawQueue();
  EXPECT_EQ(Px(5, 5), 0xFFFFFFu);
  EXPECT_EQ(Px(0, 0), 0x0000FFu);  // cleared in the background colour (255 survives 5 bits)
}

}  // namespace
