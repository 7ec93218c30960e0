// Sprites: no trail over many frames, with one or two buffers; collision; deferred delete.
#include <tuple>
#include <utility>

#include "display/images.h"
#include "display/sprites.h"
#include "tests/display/display_fixture.h"

namespace {

class SpriteTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    AllocImageRecord();
    AllocFrameRecord();  // the records the pointer sprites would take
  }
  // An image of w x h: a frame of colour 0x07E0 around a red centre, black (keyed) corners.
  uint32_t MakeImage(int32_t number, int32_t w, int32_t h) {
    const uint32_t r = BindImageNumber(number);
    EXPECT_TRUE(EnsureImageSurface(r, w, h));
    Surface* s = ImageSurfaceOf(r);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const bool corner = (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
        const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
        s->PutPixel(x, y, corner ? 0 : edge ? 0x07E0 : uint32_t(0xF800 + x));
      }
    return r;
  }
  static uint32_t Background(int32_t x, int32_t y) { return uint32_t(((x / 4) ^ (y / 4)) & 1 ? 0x001F : 0x1082); }
  void PaintBackground() {
    for (int32_t y = 0; y < 480; ++y)
      for (int32_t x = 0; x < 640; ++x) Back()->PutPixel(x, y, Background(x, y));
  }
  // The frame cycle's sprite steps around a frame without drawing.
  void Frame() {
    RestoreSpriteBackgrounds();
    RunDrawQueue();
    TickRecordLifetimes();
    SaveSpriteBackgrounds();
    DrawAllSprites();
    PresentFrame();
  }
};

// Expected picture: the background with the sprite laid over it, sampled independently. A
// sprite cut by the screen's edge is stretched from the source left after the cut, so only
// the background around it is compared then.
void ExpectComposite(Surface* back, const FrameRecord& f, Surface* img, int frame) {
  const int32_t w = img->Width(), h = img->Height();
  const int32_t dw = int32_t(float(w) * f.scaleX), dh = int32_t(float(h) * f.scaleY);
  const int32_t left = f.x - f.offsetX, top = f.y - f.offsetY;
  const bool cut = left < 0 || top < 0 || left + dw > 640 || top + dh > 480;
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) {
      uint32_t want = uint32_t(((x / 4) ^ (y / 4)) & 1 ? 0x001F : 0x1082);
      if (f.visible && x >= left && x < left + dw && y >= top && y < top + dh) {
        if (cut) continue;
        int32_t sx = (x - left) * w / dw, sy = (y - top) * h / dh;
        if (f.mirrored) sx = w - 1 - sx;
        if (f.flipped) sy = h - 1 - sy;
        const uint32_t p = img->GetPixel(sx, sy);
        if (p != 0) want = p;
      }
      ASSERT_EQ(back->GetPixel(x, y), want) << "frame " << frame << " at " << x << "," << y;
    }
}

TEST_F(SpriteTest, AMovingScaledMirroredKeyedSpriteLeavesNoTrail) {
  for (int fullScreen : {0, 1}) {
    SCOPED_TRACE(fullScreen ? "full screen" : "window");
    SetFullScreenFlag(uint32_t(fullScreen));
    PaintBackground();
    const uint32_t img = MakeImage(1, 9, 6);
    const uint32_t f = MakeSprite(1);
    FrameRecord& s = g_framePool[f];
    s.imageRecord = int32_t(img);
    s.scaleX = 2.5f;
    s.scaleY = 1.5f;
    s.mirrored = 1;
    s.offsetX = 4;
    s.offsetY = 3;
    for (int frame = 0; frame < 60; ++frame) {
      // Across the screen and over its left and bottom edges.
      g_framePool[f].x = -10 + frame * 11;
      g_framePool[f].y = 470 - frame * 7;
      g_framePool[f].flipped = frame % 3 == 0;
      Frame();
      ExpectComposite(Back(), g_framePool[f], ImageSurfaceOf(img), frame);
      if (HasFatalFailure()) return;
    }
    // Deleted, it is wiped from the screen and its record goes after two frames.
    DeleteSprite(1);
    Frame();
    Frame();
    EXPECT_EQ(SpriteRecordOf(1), 0u);
    EXPECT_FALSE(g_framePool.InUse(f));
    FrameRecord none{};
    ExpectComposite(Back(), none, ImageSurfaceOf(img), 99);
  }
}

TEST_F(SpriteTest, EachBufferOfAFlippingDisplayKeepsItsOwnBackground) {
  SurfacePtr other = SurfaceCreate(640, 480, 16);
  PaintBackground();
  SurfaceBltFast(other.get(), 0, 0, Back(), nullptr, 0);
  const uint32_t img = MakeImage(1, 8, 8);
  const uint32_t f = MakeSprite(1);
  g_framePool[f].imageRecord = int32_t(img);
  for (int frame = 0; frame < 20; ++frame) {
    g_framePool[f].x = frame * 5;
    g_framePool[f].y = frame * 3;
    RestoreSpriteBackgrounds();
    SaveSpriteBackgrounds();
    DrawAllSprites();
    ExpectComposite(Back(), g_framePool[f], ImageSurfaceOf(img), frame);
    if (HasFatalFailure()) return;
    // A flip: the other buffer becomes the back buffer.
    std::swap(g_display.backBuffer, other);
    g_display.bufferIndex ^= 1;
  }
}

TEST_F(SpriteTest, CollisionByBoxThenPixels) {
  const uint32_t img = MakeImage(1, 10, 10);
  const uint32_t a = MakeSprite(1), b = MakeSprite(2);
  for (uint32_t f : {a, b}) g_framePool[f].imageRecord = int32_t(img);
  struct Case {
    int32_t bx, by;
    float scale;
    int32_t mirrored, hit;
  };
  const Case cases[] = {
      {5, 5, 1, 0, 1},      // frames overlap
      {9, 9, 1, 0, 0},      // only the keyed corners meet
      {10, 0, 1, 0, 0},     // boxes touch at the edge: no contact
      {-9, 0, 1, 0, 1},     // edges 0x07E0 meet
      {5, 5, 0, 0, 0},      // scale 0: no box, no contact
      {-3, -3, 0.5f, 1, 1},  // red centres meet
  };
  for (const Case& c : cases) {
    g_framePool[b].x = c.bx;
    g_framePool[b].y = c.by;
    g_framePool[b].scaleX = g_framePool[b].scaleY = c.scale;
    g_framePool[b].mirrored = uint32_t(c.mirrored);
    EXPECT_EQ(SpritesOverlap(a, b), c.hit) << c.bx << "," << c.by;
  }
  // Red (0xF800 + x) and the 0x07E0 frame share no bit: opaque pixels that do not touch.
  g_framePool[b].scaleX = g_framePool[b].scaleY = 1;
  g_framePool[b].x = 8;
  g_framePool[b].y = 0;
  g_framePool[b].mirrored = 0;
  const uint32_t green = MakeImage(2, 10, 10);
  Surface* s = ImageSurfaceOf(green);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) s->PutPixel(x, y, 0x07E0);
  g_framePool[a].x = 0;
  g_framePool[b].imageRecord = int32_t(green);
  g_framePool[b].x = 1;
  g_framePool[b].y = 1;
  EXPECT_EQ(SpritesOverlap(a, b), 1);  // the frame of a meets b
  g_framePool[b].x = 2;
  g_framePool[b].y = 2;
  g_framePool[b].scaleX = g_framePool[b].scaleY = 0.6f;  // inside a's red centre only
  EXPECT_EQ(SpritesOverlap(a, b), 0);
}

// A mirrored sprite shows its last column first: at scale 1 on screen column 0 only, at scale
// 2 on columns 0 and 1. A one-pixel probe finds it there and nowhere else.
TEST_F(SpriteTest, AMirroredSpriteCollidesWhereItsLastColumnIsShown) {
  const uint32_t ia = BindImageNumber(1), ib = BindImageNumber(2);
  ASSERT_TRUE(EnsureImageSurface(ia, 10, 10));
  ASSERT_TRUE(EnsureImageSurface(ib, 1, 1));
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) ImageSurfaceOf(ia)->PutPixel(x, y, x == 9 ? 0xFFFF : 0);
  ImageSurfaceOf(ib)->PutPixel(0, 0, 0xFFFF);
  const uint32_t a = MakeSprite(1), b = MakeSprite(2);
  g_framePool[a].imageRecord = int32_t(ia);
  g_framePool[a].mirrored = 1;
  g_framePool[b].imageRecord = int32_t(ib);
  const struct {
    float scale;
    int32_t column, hit;
  } cases[] = {{1, 0, 1}, {1, 1, 0}, {2, 1, 1}, {2, 2, 0}};
  for (const auto& c : cases) {
    g_framePool[a].scaleX = g_framePool[a].scaleY = c.scale;
    g_framePool[b].x = c.column;
    g_framePool[b].y = 3;
    EXPECT_EQ(SpritesOverlap(a, b), c.hit) << "scale " << c.scale << " column " << c.column;
  }
}

// Sprites scaled up 2500 times overlap on billions of screen pixels: the test still answers
// at once, pixel for pixel. Each picture is clear but for at most one opaque pixel.
TEST_F(SpriteTest, CollisionOfHugelyScaledSpritesAnswersAtOnce) {
  struct Case {
    int32_t ax, bx, hit;  // the opaque pixel (x, x) of each picture, -1 for none
  };
  const Case cases[] = {
      {-1, -1, 0},  // both clear
      {10, 9, 1},   // a (25000..27500) meets b (1250 + 22500..25000)
      {10, 8, 0},   // b's pixel ends at 23750, before a's begins
      {10, -1, 0},  // only one side opaque
  };
  const uint32_t ia = BindImageNumber(1), ib = BindImageNumber(2);
  const uint32_t a = MakeSprite(1), b = MakeSprite(2);
  g_framePool[b].x = g_framePool[b].y = 1250;
  for (const Case& c : cases) {
    for (auto [image, sprite, px] : {std::tuple(ia, a, c.ax), std::tuple(ib, b, c.bx)}) {
      ASSERT_TRUE(EnsureImageSurface(image, 32, 32));
      Surface* s = ImageSurfaceOf(image);
      for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) s->PutPixel(x, y, x == px && y == px ? 0xFFFF : 0);
      g_framePool[sprite].imageRecord = int32_t(image);
      g_framePool[sprite].scaleX = g_framePool[sprite].scaleY = 2500;
    }
    EXPECT_EQ(SpritesOverlap(a, b), c.hit) << c.ax << "," << c.bx;
  }
}

TEST_F(SpriteTest, ANumberWhoseDeletionIsPendingIsTakenBack) {
  const uint32_t f = MakeSprite(4);
  g_framePool[f].imageRecord = int32_t(MakeImage(1, 4, 4));
  DeleteSprite(4);
  EXPECT_EQ(g_framePool[f].countdown, 2);
  TickRecordLifetimes();
  EXPECT_EQ(MakeSprite(4), f);
  TickRecordLifetimes();
  TickRecordLifetimes();
  EXPECT_TRUE(g_framePool.InUse(f));
  EXPECT_EQ(SpriteRecordOf(4), f);
  // Without background saving a sprite goes at once.
  g_framePool[f].savesBackground = 0;
  DeleteSprite(4);
  EXPECT_FALSE(g_framePool.InUse(f));
  EXPECT_EQ(SpriteRecordOf(4), 0u);
}

}  // namespace
