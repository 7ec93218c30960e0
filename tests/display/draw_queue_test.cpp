#include <cmath>
#include <set>

#include "tests/display/display_fixture.h"

namespace {

TEST_F(DisplayTest, DotBoxAndInk) {
  QueueInk(0xFF0000, 0x0000FF);
  QueueDot(3, 4);
  QueueBox(10, 10, 12, 11);
  RunDrawQueue();
  EXPECT_EQ(Px(3, 4), 0xF800u);
  EXPECT_EQ(Px(10, 10), 0xF800u);
  EXPECT_EQ(Px(12, 11), 0xF800u);
  EXPECT_EQ(Px(13, 11), 0u);
  EXPECT_EQ(Px(12, 12), 0u);
  EXPECT_EQ(CountLit(), 1 + 6);
  EXPECT_EQ(g_draw.backgroundPixel, 0x1Fu);
  EXPECT_EQ(DrawQueueSize(), 0);
}

TEST_F(DisplayTest, BoxesClipInvertedAndOutsideDrawNothing) {
  QueueBox(630, 470, 700, 500);
  RunDrawQueue();
  EXPECT_EQ(CountLit(), 10 * 10);
  QueueBox(20, 20, 10, 30);        // inverted
  QueueBox(-50, -50, -10, -10);    // wholly outside
  QueueBox(INT32_MAX - 1, 0, INT32_MAX, 5);
  RunDrawQueue();
  EXPECT_EQ(CountLit(), 100);
  EXPECT_EQ(g_errorCode, 0);
}

TEST_F(DisplayTest, LinesAreExactClippedAndBounded) {
  QueueLine(5, 5, 5, 5);  // zero length: the start pixel
  RunDrawQueue();
  EXPECT_EQ(CountLit(), 1);
  EXPECT_EQ(Px(5, 5), White());
  QueueLine(0, 10, 9, 10);
  RunDrawQueue();
  for (int x = 0; x < 10; ++x) EXPECT_EQ(Px(x, 10), White()) << x;
  EXPECT_EQ(Px(10, 10), 0u);
  // A diagonal walks sqrt(18) = 4.24 steps of one pixel's length: x = 100, 100.7, 101.4,
  // 102.1, 102.8, truncated; the end point itself is not reached.
  QueueLine(100, 100, 103, 103);
  RunDrawQueue();
  EXPECT_EQ(Px(100, 100), White());
  EXPECT_EQ(Px(101, 101), White());
  EXPECT_EQ(Px(102, 102), White());
  EXPECT_EQ(Px(103, 103), 0u);
  // Far off the target on both ends: drawn only where it crosses, quickly.
  int before = CountLit();
  QueueLine(-2000000000, 200, 2000000000, 200);
  RunDrawQueue();
  EXPECT_EQ(CountLit(), before + 640);
  QueueLine(-100, -100, -1, -50);
  RunDrawQueue();
  EXPECT_EQ(CountLit(), before + 640);
}

TEST_F(DisplayTest, EllipseOutlineIsClosedAndSymmetric) {
  QueueEllipse(320, 240, 50.0f, 30.0f);
  RunDrawQueue();
  EXPECT_EQ(Px(370, 240), White());
  EXPECT_EQ(Px(320, 270), White());
  EXPECT_EQ(Px(320, 240), 0u);
  int lit = CountLit();
  EXPECT_GT(lit, 200);
  EXPECT_LT(lit, 400);
  // Partly off the screen: clipped, no error; enormous radii stay bounded.
  QueueEllipse(0, 0, 40.0f, 40.0f);
  QueueEllipse(10, 10, 3e9f, 3e9f);
  RunDrawQueue();
  EXPECT_EQ(Px(40, 0), White());
  EXPECT_EQ(g_errorCode, 0);
}

TEST_F(DisplayTest, ClsUsesTheBackgroundAndTheDeviceClearForBlack) {
  QueueBox(0, 0, 9, 9);
  QueueClsColor(0x00FF00);
  QueueCls();
  RunDrawQueue();
  EXPECT_EQ(Px(5, 5), 0x07E0u);
  EXPECT_EQ(Px(639, 479), 0x07E0u);
  QueueClsColor(0);
  QueueCls();
  RunDrawQueue();
  EXPECT_EQ(CountLit(), 0);
  QueueClsDevice(0xFF0000);
  RunDrawQueue();
  EXPECT_EQ(Px(0, 0), 0xF800u);
  // The device clear is a clear of the screen even while a bitmap is current.
  ASSERT_TRUE(CreateBitmapSurface(2, 4, 4));
  QueueSetCurrentBitmap(2);
  QueueClsDevice(0x0000FF);
  RunDrawQueue();
  EXPECT_EQ(Px(639, 479), 0x001Fu);
  EXPECT_EQ(BitmapSurface(2)->GetPixel(3, 3), 0u);
}

TEST_F(DisplayTest, ExtremeCoordinatesDrawNothingAndNeverOverflow) {
  QueueDot(INT32_MAX, INT32_MIN);
  QueueLine(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  QueueEllipse(INT32_MAX, 0, 1e30f, 1e30f);
  QueueEllipse(0, 0, std::nanf(""), 5.0f);
  QueueTextAtPoint(kDrawText, INT32_MAX, INT32_MAX, "far away");
  QueueTextAtPoint(kDrawCentreText, INT32_MIN, 0, "far away");
  QueueTextState(kDrawTextOpaque, 0, "");
  QueueTextAtPoint(kDrawText, INT32_MAX - 3, 0, "opaque");
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  // The diagonal through the whole plane crosses the screen's corner pixels only if it
  // passes them; what it draws stays on the diagonal.
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) {
      if (Px(x, y) != 0) {
        ASSERT_LE(std::abs(x - y), 1) << x << "," << y;
      }
    }
}

TEST_F(DisplayTest, ColourConversionTableOfTheDrawingColours) {
  ComputePixelShifts(Back());
  SetDrawColours(0x808080, 0xC864FF);
  EXPECT_EQ(g_draw.foregroundPixel, (24u << 11) + (24u << 5) + 31u);
  EXPECT_EQ(g_draw.foreground[0], 197);
  EXPECT_EQ(g_draw.foreground[1], 97);
  EXPECT_EQ(g_draw.foreground[2], 255);
  // 128 -> 15 (5 bits) -> 123; 128 -> 31 (6 bits) -> 125.
  EXPECT_EQ(g_draw.background[0], 123);
  EXPECT_EQ(g_draw.background[1], 125);
  uint32_t before = g_draw.foregroundPixel;
  SetDrawColours(0, -1);
  EXPECT_EQ(g_draw.foregroundPixel, before);
  // Through the queue as well: an ink whose foreground is -1 changes only the background.
  QueueInk(0xFFFFFFFF, 0x00FF00);
  QueueDot(1, 1);
  RunDrawQueue();
  EXPECT_EQ(Px(1, 1), before);
  EXPECT_EQ(g_draw.backgroundPixel, 0x07E0u);
}

TEST_F(DisplayTest, PointReadGivesTheColourNextFrameIntoAFullWidthCell) {
  VarCell cell{};
  cell.raw = 0xFFFFFFFF00000000ull;
  QueueInk(0xFFFFFF, 0);
  QueueDot(7, 8);
  QueueReadPoint(7, 8, &cell);
  QueueReadPoint(640, 8, &cell);  // outside: no change
  EXPECT_EQ(cell.i, 0);
  RunDrawQueue();
  EXPECT_EQ(cell.i, 0xFFFFFF);
}

TEST_F(DisplayTest, ScreenPersistenceDrawsScreenRecordsTwice) {
  SetScreenPersistence(2);
  QueueDot(1, 1);
  EXPECT_EQ(g_drawOpPool[g_drawOpPool.UsedHead()].lifetime, 2);
  RunDrawQueue();
  EXPECT_EQ(DrawQueueSize(), 1);
  Back()->PutPixel(1, 1, 0);
  RunDrawQueue();
  EXPECT_EQ(Px(1, 1), White());
  EXPECT_EQ(DrawQueueSize(), 0);
}

TEST_F(DisplayTest, FlushAgesWithoutDrawing) {
  SetScreenPersistence(2);
  QueueDot(1, 1);
  SetScreenPersistence(1);
  QueueDot(2, 2);
  FlushDrawQueue();
  EXPECT_EQ(DrawQueueSize(), 1);
  RunDrawQueue();
  EXPECT_EQ(Px(1, 1), White());
  EXPECT_EQ(Px(2, 2), 0u);
}

TEST_F(DisplayTest, ScreenRecordSurvivesADisplayChangeWithoutTouchingTheOldSurface) {
  SetScreenPersistence(2);
  QueueDot(600, 400);
  int32_t w = 320, h = 240, d = 16, sw = 0;
  EXPECT_EQ(SetDisplayMode(&w, &h, &d, &sw, 640, 480, 16, 0), 1);
  EXPECT_EQ(g_display.backBuffer->Width(), 320);
  EXPECT_EQ(DrawQueueSize(), 1);
  QueueDot(3, 3);
  RunDrawQueue();  // the old dot is off the new screen: clipped, nothing else touched
  EXPECT_EQ(Px(3, 3), White());
  EXPECT_EQ(g_display.recreated, 1);
}

TEST_F(DisplayTest, DrawsToABitmapWithoutSurfaceDoNothingAndSetBitmapReports1002) {
  QueueSetCurrentBitmap(3);
  QueueDot(1, 1);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1002);
  EXPECT_EQ(CountLit(), 0);
}

TEST_F(DisplayTest, LostSurfaceIsRestoredAndTheCallRetried) {
  g_surfaceFaults.loseNext = 1;
  QueueDot(4, 4);
  RunDrawQueue();
  EXPECT_EQ(Px(4, 4), White());
  EXPECT_EQ(g_display.active, 1);
  // A restore that fails clears the active flag and ends the operation.
  g_surfaceFaults.loseNext = 1;
  g_surfaceFaults.restoreFailures = 1;
  QueueDot(5, 5);
  RunDrawQueue();
  EXPECT_EQ(Px(5, 5), 0u);
  EXPECT_EQ(g_display.active, 0);
  EXPECT_TRUE(TryRestoreDisplay());
  EXPECT_EQ(g_display.active, 1);
}

TEST_F(DisplayTest, BusySurfaceRetriesAreBounded) {
  g_surfaceFaults.stillDrawing = 5;
  QueueDot(4, 4);
  RunDrawQueue();
  EXPECT_EQ(Px(4, 4), White());
  g_surfaceFaults.stillDrawing = 1000000;
  QueueDot(6, 6);
  RunDrawQueue();
  EXPECT_EQ(Px(6, 6), 0u);
  EXPECT_EQ(g_display.active, 0);  // counted as a failed restore
  EXPECT_GT(g_surfaceFaults.stillDrawing, 0);
}

}  // namespace

namespace {

// The line walk exactly as defined, pixel by pixel with no clipping shortcut.
std::set<std::pair<int, int>> NaiveLine(int a, int b, int c, int d, int w, int h) {
  std::set<std::pair<int, int>> out;
  double dx = double(c) - a, dy = double(d) - b, steps = std::sqrt(dx * dx + dy * dy);
  double xs = steps > 0 ? dx / steps : 0, ys = steps > 0 ? dy / steps : 0, x = a, y = b;
  for (int64_t i = 0; double(i) <= steps; ++i) {
    int px = int(x), py = int(y);
    if (px >= 0 && py >= 0 && px < w && py < h) out.insert({px, py});
    x += xs;
    y += ys;
  }
  return out;
}

TEST_F(DisplayTest, ClippedLinesDrawTheSamePixelsAsTheFullWalk) {
  uint32_t seed = 12345;
  auto next = [&](int range) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(range)) - range / 4;
  };
  for (int k = 0; k < 200; ++k) {
    int a = next(1200), b = next(900), c = next(1200), d = next(900);
    SurfaceFill(Back(), nullptr, 0);
    QueueLine(a, b, c, d);
    RunDrawQueue();
    std::set<std::pair<int, int>> drawn;
    for (int32_t y = 0; y < 480; ++y)
      for (int32_t x = 0; x < 640; ++x)
        if (Px(x, y)) drawn.insert({x, y});
    ASSERT_EQ(drawn, NaiveLine(a, b, c, d, 640, 480)) << a << "," << b << " to " << c << "," << d;
  }
}

// A line that meets a busy surface waits through the checked fill, then draws every pixel.
TEST_F(DisplayTest, ALineOnABusySurfaceIsDrawnWhole) {
  g_surfaceFaults.stillDrawing = 3;
  QueueLine(-5, 7, 30, 7);
  RunDrawQueue();
  EXPECT_EQ(g_surfaceFaults.stillDrawing, 0);
  std::set<std::pair<int, int>> drawn;
  for (int32_t x = 0; x < 40; ++x)
    if (Px(x, 7)) drawn.insert({x, 7});
  EXPECT_EQ(drawn, NaiveLine(-5, 7, 30, 7, 640, 480));
}

}  // namespace
