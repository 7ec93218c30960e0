// The image bank through the draw queue: grabs, pastes, saves, rotation, deletion countdowns.
#include "display/imagefiles/image_files.h"
#include "display/images.h"
#include "display/sprites.h"
#include "platform/fs.h"
#include "tests/display/display_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

class ImageBankTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    AllocImageRecord();  // record 0 stands for "no image"
    AllocFrameRecord();
  }
  // Colours 1 + x + 7 y in a w x h square at x0, y0 of the back buffer.
  void Pattern(int32_t x0, int32_t y0, int32_t w, int32_t h) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) Back()->PutPixel(x0 + x, y0 + y, uint32_t(1 + x + 7 * y));
  }
  uint32_t Grab(int32_t number, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const uint32_t r = BindImageNumber(number);
    QueueGetImage(r, x1, y1, x2, y2, 0);
    RunDrawQueue();
    return r;
  }
};

TEST_F(ImageBankTest, GrabThenPasteKeyedAndOpaque) {
  Pattern(10, 10, 5, 4);
  Back()->PutPixel(11, 10, 0);  // a keyed (black) pixel
  const uint32_t r = Grab(7, 10, 10, 15, 14);
  ASSERT_NE(ImageSurfaceOf(r), nullptr);
  EXPECT_EQ(ImageAt(r)->width, 5);
  EXPECT_EQ(ImageRecordOf(7), r);
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 60; ++x) Back()->PutPixel(100 + x, y, 0x1234);
  QueuePasteImage(r, 100, 0, true);
  QueuePasteImage(r, 120, 0, false);
  RunDrawQueue();
  EXPECT_EQ(Px(100, 0), 1u);
  EXPECT_EQ(Px(101, 0), 0x1234u);  // keyed: the background shows
  EXPECT_EQ(Px(121, 0), 0u);       // opaque: black is drawn
  EXPECT_EQ(Px(124, 3), uint32_t(1 + 4 + 21));
  // Pastes are clipped at the screen's edges.
  QueuePasteImage(r, 637, 478, false);
  QueuePasteImage(r, -3, -2, false);
  RunDrawQueue();
  EXPECT_EQ(Px(637, 478), 1u);
  EXPECT_EQ(Px(0, 0), uint32_t(1 + 3 + 14));
  EXPECT_EQ(g_errorCode, 0);
}

TEST_F(ImageBankTest, GrabErrorsAreRaisedWhenTheQueueRuns) {
  const struct {
    int32_t x1, y1, x2, y2, error;
  } cases[] = {{5, 5, 5, 9, 504}, {5, 9, 8, 9, 504}, {-1, 0, 4, 4, 503}, {630, 0, 641, 4, 503}, {0, 470, 4, 481, 503}};
  for (const auto& c : cases) {
    g_errorCode = 0;
    const uint32_t r = Grab(3, c.x1, c.y1, c.x2, c.y2);
    EXPECT_EQ(g_errorCode, c.error) << c.x1 << "," << c.y1;
    EXPECT_EQ(ImageSurfaceOf(r), nullptr);  // no surface, not in use
  }
  g_errorCode = 0;
}

TEST_F(ImageBankTest, DeletedAndReplacedRecordsLiveTwoFrames) {
  const uint32_t r = Grab(1, 0, 0, 4, 4);
  const uint32_t f = MakeSprite(9);
  g_framePool[f].imageRecord = int32_t(r);
  DeleteImageNumber(1);
  EXPECT_EQ(ImageRecordOf(1), 0u);  // the number is free at once
  TickRecordLifetimes();
  EXPECT_NE(ImageSurfaceOf(r), nullptr);  // the record outlives queued work
  TickRecordLifetimes();
  EXPECT_FALSE(g_imagePool.InUse(r));
  EXPECT_EQ(g_framePool[f].imageRecord, -1);  // the sprite no longer shows it

  // Bound again while its deletion is pending, a number takes its record back.
  const uint32_t s = Grab(2, 0, 0, 4, 4);
  DeleteImageNumber(2);
  TickRecordLifetimes();
  EXPECT_EQ(BindImageNumber(2), s);
  TickRecordLifetimes();
  TickRecordLifetimes();
  EXPECT_NE(ImageSurfaceOf(s), nullptr);

  // A replaced record counts down while queued work or a sprite uses it; else it goes at once,
  // as does one counting down since its number was deleted.
  enum Use { kNothing, kPaste, kGet, kSave, kRotate, kSprite, kDeleted };
  const struct {
    Use use;
    bool kept;
  } rows[] = {{kNothing, false}, {kPaste, true},  {kGet, true},     {kSave, true},
              {kRotate, true},   {kSprite, true}, {kDeleted, false}};
  TempDir dir;
  for (const auto& row : rows) {
    const uint32_t old = Grab(2, 0, 0, 4, 4);
    if (row.use == kPaste) QueuePasteImage(old, 0, 0, false);
    if (row.use == kGet) QueueGetImage(old, 0, 0, 4, 4, 0);
    if (row.use == kSave) QueueSaveImage(old, dir.File("old.bmp").c_str());
    if (row.use == kRotate) QueueRotateImage(old, 90);
    if (row.use == kSprite) g_framePool[f].imageRecord = int32_t(old);
    if (row.use == kDeleted) DeleteImageNumber(2);
    const uint32_t t = AllocImageRecord();
    RebindImageNumber(2, t);
    EXPECT_EQ(ImageRecordOf(2), t) << row.use;
    EXPECT_EQ(g_imagePool.InUse(old), row.kept) << row.use;
    TickRecordLifetimes();
    EXPECT_EQ(g_imagePool.InUse(old), row.kept) << row.use;
    TickRecordLifetimes();
    EXPECT_FALSE(g_imagePool.InUse(old)) << row.use;
  }
}

// Loads into one number in one frame hold the number's picture alone.
TEST_F(ImageBankTest, LoadsIntoANumberInUseDoNotPileUp) {
  TempDir dir;
  SurfacePtr picture = SurfaceCreate(64, 48, 16);
  ASSERT_TRUE(picture && SaveImageByExtension(*picture, dir.File("a.png")));
  const std::string file = dir.File("a.png");
  const int32_t before = g_imagePool.Count();
  for (int k = 0; k < 300; ++k) ASSERT_EQ(CommandCall({file, 1}).Run(220), 0);
  EXPECT_EQ(g_imagePool.Count(), before + 1);
  EXPECT_NE(ImageSurfaceOf(ImageRecordOf(1)), nullptr);
}

TEST_F(ImageBankTest, ASecondTallerGrabOfTheSameWidthKeepsEveryNewRow) {
  Pattern(0, 0, 4, 3);
  Grab(8, 0, 0, 4, 3);
  Pattern(20, 0, 4, 9);
  const uint32_t r = Grab(8, 20, 0, 24, 9);
  ASSERT_NE(ImageSurfaceOf(r), nullptr);
  EXPECT_EQ(ImageAt(r)->height, 9);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(ImageSurfaceOf(r)->GetPixel(x, y), uint32_t(1 + x + 7 * y)) << x << "," << y;
}

TEST_F(ImageBankTest, RotationTurnsWholeQuartersAndUpdatesTheRecord) {
  Pattern(0, 0, 5, 3);
  const uint32_t r = Grab(4, 0, 0, 5, 3);
  for (auto [angle, w, h] : {std::tuple{89, 5, 3}, {-90, 5, 3}, {90, 3, 5}, {180, 3, 5}, {450, 5, 3}}) {
    QueueRotateImage(r, angle);
    RunDrawQueue();
    EXPECT_EQ(ImageAt(r)->width, w) << angle;
    EXPECT_EQ(ImageAt(r)->height, h) << angle;
    EXPECT_EQ(ImageAt(r)->source.right, w) << angle;
    EXPECT_EQ(ImageSurfaceOf(r)->Width(), w) << angle;
  }
  // A quarter turn: the bottom-left pixel comes to the top-left.
  const uint32_t before = ImageSurfaceOf(r)->GetPixel(0, 2);
  QueueRotateImage(r, 90);
  RunDrawQueue();
  EXPECT_EQ(ImageSurfaceOf(r)->GetPixel(0, 0), before);
}

TEST_F(ImageBankTest, SaveWritesTheImageOrReportsTheFailure) {
  TempDir dir;
  Pattern(0, 0, 6, 4);
  const uint32_t r = Grab(5, 0, 0, 6, 4);
  QueueSaveImage(r, dir.File("a.bmp").c_str());
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  SurfacePtr back = LoadImageByExtension(dir.File("a.bmp"), 16);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetPixel(5, 3), uint32_t(1 + 5 + 21));
  for (const char* name : {"a.tif", "no/such/a.png"}) {
    g_errorCode = 0;
    QueueSaveImage(r, dir.File(name).c_str());
    RunDrawQueue();
    EXPECT_EQ(g_errorCode, 505) << name;  // "Image command failed"
    EXPECT_FALSE(FsFileExists(dir.File(name)));
  }
  // A file made under the name between the command and the frame is kept.
  g_errorCode = 0;
  QueueSaveImage(r, dir.File("mine.png").c_str());
  dir.Write("mine.png", "MY SAVE GAME");
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 106);  // "File already exists"
  EXPECT_EQ(dir.Read("mine.png"), "MY SAVE GAME");
  g_errorCode = 0;
  QueueSaveImage(BindImageNumber(6), dir.File("b.png").c_str());
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 502);
  g_errorCode = 0;
}

TEST(ClipScaledRects, EdgesMoveTheMatchingSourceSide) {
  struct Case {
    int32_t x, y;
    float sx, sy;
    bool flipped, mirrored;
    SurfRect src, dst;
    bool drawn;
  };
  const Case cases[] = {
      {10, 10, 1, 1, false, false, {0, 0, 8, 4}, {10, 10, 18, 14}, true},
      {-3, 0, 1, 1, false, false, {3, 0, 8, 4}, {0, 0, 5, 4}, true},
      {-3, 0, 1, 1, false, true, {0, 0, 5, 4}, {0, 0, 5, 4}, true},     // mirrored: cut on the right
      {-4, 0, 2, 1, false, false, {2, 0, 8, 4}, {0, 0, 12, 4}, true},   // scaled: half the pixels
      {95, 98, 1, 1, true, false, {0, 2, 5, 4}, {95, 98, 100, 100}, true},  // flipped: cut on the top
      {10, 10, 0, 1, false, false, {}, {}, false},                      // scale 0 draws nothing
      {100, 0, 1, 1, false, false, {}, {}, false},
  };
  for (const Case& c : cases) {
    SurfRect src{0, 0, 8, 4}, dst;
    ASSERT_EQ(ClipScaledRects(100, 100, &src, &dst, c.x, c.y, c.sx, c.sy, c.flipped, c.mirrored), c.drawn) << c.x;
    if (!c.drawn) continue;
    EXPECT_EQ(src.left, c.src.left) << c.x;
    EXPECT_EQ(src.top, c.src.top) << c.x;
    EXPECT_EQ(src.right, c.src.right) << c.x;
    EXPECT_EQ(src.bottom, c.src.bottom) << c.x;
    EXPECT_EQ(dst.left, c.dst.left) << c.x;
    EXPECT_EQ(dst.right, c.dst.right) << c.x;
    EXPECT_EQ(dst.bottom, c.dst.bottom) << c.x;
  }
}

}  // namespace
