#include <cstdio>
#include <string>

#include "core/pack.h"
#include "display/bitmaps.h"
#include "display/commands.h"
#include "platform/fs.h"
#include "display/imagefiles/surface_files.h"
#include "tests/display/display_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

// Fills bitmap n with a pattern of distinct pixels.
void Pattern(Surface* s) {
  for (int32_t y = 0; y < s->Height(); ++y)
    for (int32_t x = 0; x < s->Width(); ++x) s->PutPixel(x, y, uint32_t(1 + x + 100 * y));
}

class BitmapTest : public DisplayTest {};

TEST_F(BitmapTest, CreateMakesTheBitmapCurrentAndDeleteFallsBack) {
  QueueCreateBitmap(2, 8, 4);
  RunDrawQueue();
  ASSERT_NE(BitmapSurface(2), nullptr);
  EXPECT_EQ(g_draw.programBitmap, 2u);
  EXPECT_EQ(g_bitmapInfo[2].width, 8);
  EXPECT_EQ(g_bitmapInfo[2].depth, 16);
  QueueDot(1, 1);
  RunDrawQueue();
  EXPECT_EQ(BitmapSurface(2)->GetPixel(1, 1), White());
  EXPECT_EQ(CountLit(), 0);
  QueueDeleteBitmap(2);
  EXPECT_EQ(g_draw.programBitmap, 0u);
  RunDrawQueue();
  EXPECT_EQ(BitmapSurface(2), nullptr);
  EXPECT_EQ(g_bitmapInfo[2].width, 8);  // the entry keeps its old values
}

TEST_F(BitmapTest, CreateAndDeleteErrors) {
  QueueCreateBitmap(0, 8, 8);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1009);
  QueueCreateBitmap(32, 8, 8);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1001);
  QueueCreateBitmap(4, 0, 8);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1005);
  QueueDeleteBitmap(0);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1006);
  QueueDeleteBitmap(5);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1002);
}

TEST_F(BitmapTest, WholeAndRectangleCopies) {
  ASSERT_TRUE(CreateBitmapSurface(1, 4, 3));
  Pattern(BitmapSurface(1));
  QueueCopyBitmap(1, 0);
  RunDrawQueue();
  EXPECT_EQ(Px(3, 2), 1u + 3 + 200);
  QueueCopyBitmap(1, 1);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1007);
  g_errorCode = 0;
  QueueCopyBitmap(0, 1);  // the screen does not fit into bitmap 1
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1008);
  g_errorCode = 0;
  // Inclusive corners: 1,1..2,2 is 2 x 2, stretched to 4 x 4 at 10,10.
  QueueCopyBitmapRect(1, 1, 1, 2, 2, 0, 10, 10, 13, 13);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_EQ(Px(10, 10), 1u + 1 + 100);
  EXPECT_EQ(Px(11, 11), 1u + 1 + 100);
  EXPECT_EQ(Px(13, 13), 1u + 2 + 200);
  QueueCopyBitmapRect(1, 1, 1, 1, 2, 0, 10, 10, 13, 13);  // fx2 = fx1
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1011);
  g_errorCode = 0;
  QueueCopyBitmapRect(1, 0, 0, 3, 2, 0, 0, 0, 3, 2);  // fx2 + 1 = the width: accepted
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  QueueCopyBitmapRect(1, 0, 0, 4, 2, 0, 0, 0, 3, 2);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1010);
  g_errorCode = 0;
  QueueCopyBitmapRect(1, 0, 0, 1, 1, 0, 639, 0, 640, 1);  // destination leaves the screen
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1010);
}

TEST_F(BitmapTest, AFailedRectangleCopyReports1000AndCopiesNothing) {
  ASSERT_TRUE(CreateBitmapSurface(1, 8, 8));
  Surface* s = BitmapSurface(1);
  Pattern(s);
  // A stretch within one bitmap needs a scratch copy; its creation fails.
  g_surfaceFaults.createFailures = 1;
  QueueCopyBitmapRect(1, 0, 0, 1, 1, 1, 4, 4, 7, 7);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1000);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(s->GetPixel(x, y), uint32_t(1 + x + 100 * y));
  g_errorCode = 0;
  QueueCopyBitmapRect(1, 0, 0, 1, 1, 1, 4, 4, 7, 7);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_EQ(s->GetPixel(7, 7), 1u + 1 + 100);
}

TEST_F(BitmapTest, MirrorAndFlipTwiceRestore) {
  ASSERT_TRUE(CreateBitmapSurface(1, 5, 3));
  Surface* s = BitmapSurface(1);
  Pattern(s);
  QueueBitmapEffect(kDrawMirrorBitmap, 1, 0);
  RunDrawQueue();
  EXPECT_EQ(s->GetPixel(0, 0), 5u);
  EXPECT_EQ(s->GetPixel(2, 1), 103u);  // the middle column stays
  EXPECT_EQ(s->GetPixel(4, 2), 201u);
  QueueBitmapEffect(kDrawFlipBitmap, 1, 0);
  RunDrawQueue();
  EXPECT_EQ(s->GetPixel(0, 0), 205u);
  QueueBitmapEffect(kDrawMirrorBitmap, 1, 0);
  QueueBitmapEffect(kDrawFlipBitmap, 1, 0);
  RunDrawQueue();
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(s->GetPixel(x, y), uint32_t(1 + x + 100 * y));
}

// An even width: the two middle columns change places too.
TEST_F(BitmapTest, MirrorOfAnEvenWidthSwapsEveryColumn) {
  ASSERT_TRUE(CreateBitmapSurface(1, 4, 2));
  Surface* s = BitmapSurface(1);
  Pattern(s);
  QueueBitmapEffect(kDrawMirrorBitmap, 1, 0);
  RunDrawQueue();
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(s->GetPixel(x, y), uint32_t(1 + (3 - x) + 100 * y)) << x << "," << y;
}

TEST_F(BitmapTest, BlurAveragesItsWindowAndChecksTheAmount) {
  ASSERT_TRUE(CreateBitmapSurface(1, 3, 3));
  Surface* s = BitmapSurface(1);
  s->PutPixel(1, 1, 0xFFFF);
  QueueBitmapEffect(kDrawBlurBitmap, 1, 1);  // kernel 2: the pixel, one up and one left
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  // 2x2 windows: each of the four pixels at or below-right of 1,1 sees the white pixel once.
  EXPECT_EQ(s->GetPixel(1, 1), (31u / 4 << 11) | (63u / 4 << 5) | (31u / 4));
  EXPECT_EQ(s->GetPixel(2, 2), (31u / 4 << 11) | (63u / 4 << 5) | (31u / 4));
  EXPECT_EQ(s->GetPixel(0, 0), 0u);
  EXPECT_EQ(s->GetPixel(0, 1), 0u);
  // At 24 bits the average reads exactly three bytes a pixel.
  QueueBitmapEffect(kDrawBlurBitmap, 1, 0);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1012);
  g_errorCode = 0;
  QueueBitmapEffect(kDrawBlurBitmap, 1, 9);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1012);
}

TEST_F(BitmapTest, FadeScalesEachChannel) {
  ASSERT_TRUE(CreateBitmapSurface(1, 2, 1));
  Surface* s = BitmapSurface(1);
  s->PutPixel(0, 0, 0xFFFF);
  s->PutPixel(1, 0, (10u << 11) | (20u << 5) | 30u);
  QueueBitmapEffect(kDrawFadeBitmap, 1, 50);
  RunDrawQueue();
  EXPECT_EQ(s->GetPixel(0, 0), (15u << 11) | (31u << 5) | 15u);
  EXPECT_EQ(s->GetPixel(1, 0), (5u << 11) | (10u << 5) | 15u);
  // 100 keeps every pixel as it is; 101 is out of range.
  QueueBitmapEffect(kDrawFadeBitmap, 1, 100);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_EQ(s->GetPixel(0, 0), (15u << 11) | (31u << 5) | 15u);
  EXPECT_EQ(s->GetPixel(1, 0), (5u << 11) | (10u << 5) | 15u);
  EXPECT_TRUE(FadeSurface(s, 100));
  EXPECT_FALSE(FadeSurface(s, 101));
  QueueBitmapEffect(kDrawFadeBitmap, 1, 101);
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1013);
}

TEST_F(BitmapTest, EffectsAt24And32BitsStayInsideTheirPixels) {
  for (int depth : {24, 32}) {
    TearDown();
    StartDisplay(depth);
    ASSERT_TRUE(CreateBitmapSurface(1, 3, 2));  // 9-byte rows: no padding beyond the row's pitch
    Surface* s = BitmapSurface(1);
    s->PutPixel(2, 1, 0xC8C8C8);
    QueueBitmapEffect(kDrawFadeBitmap, 1, 50);
    QueueBitmapEffect(kDrawBlurBitmap, 1, 2);
    QueueBitmapEffect(kDrawMirrorBitmap, 1, 0);
    RunDrawQueue();
    EXPECT_EQ(g_errorCode, 0);
    VarCell cell{};
    ReadSurfacePixel(s, 0, 1, &cell);  // mirrored from 2,1
    EXPECT_EQ(g_pixelShifts.bytesPerPixel, depth / 8);
    EXPECT_NE(cell.i, 0);
  }
}

TEST_F(BitmapTest, RotateTurnsByQuarterTurnsAndKeepsTheOriginalOnFailure) {
  SurfacePtr s = SurfaceCreate(3, 2, 16);
  Pattern(s.get());
  EXPECT_TRUE(RotateSurface(&s, 89));
  EXPECT_EQ(s->Width(), 3);
  EXPECT_TRUE(RotateSurface(&s, -90));
  EXPECT_EQ(s->Width(), 3);
  EXPECT_TRUE(RotateSurface(&s, 90));
  EXPECT_EQ(s->Width(), 2);
  EXPECT_EQ(s->Height(), 3);
  EXPECT_EQ(s->GetPixel(1, 0), 1u);    // old 0,0 goes to h-1-0, 0
  EXPECT_EQ(s->GetPixel(0, 2), 103u);  // old 2,1 goes to 0, 2
  Surface* before = s.get();
  g_surfaceFaults.createFailures = 1;
  EXPECT_FALSE(RotateSurface(&s, 180));
  EXPECT_EQ(s.get(), before);
  EXPECT_TRUE(RotateSurface(&s, 270));
  EXPECT_EQ(s->Width(), 3);
  EXPECT_EQ(s->GetPixel(0, 0), 1u);  // four turns in all
}

// Rotating by a huge angle: four quarter turns bring a picture back, so at most four are made
// and the command returns at once with the picture the whole count of turns gives.
TEST_F(BitmapTest, HugeAnglesTurnAtMostFourTimes) {
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

TEST_F(BitmapTest, GammaRampsAndPresentUseThem) {
  ASSERT_TRUE(SetGammaLevels(256, 256, 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(g_display.gamma.red[i], i << 8);
  ASSERT_TRUE(SetGammaLevels(511, 128, 0));
  EXPECT_EQ(g_display.gamma.red[0], 65280);
  EXPECT_EQ(g_display.gamma.red[255], 65280);
  EXPECT_EQ(g_display.gamma.green[255], 128 * 255);
  EXPECT_EQ(g_display.gamma.blue[200], 0);
  Back()->PutPixel(0, 0, 0xFFFF);
  PresentFrame();
  EXPECT_EQ(g_display.primary->GetPixel(0, 0), 0xFF7F00u);
  EXPECT_EQ(Px(0, 0), 0xFFFFu);  // applied at present only
}

// A screen save that cannot be written (missing folder, unknown kind) stops the program
// with the save's error and leaves an old file as it was.
TEST_F(BitmapTest, AFailedScreenSaveIsReported) {
  TempDir dir;
  dir.Write("old.xyz", "old");
  PresentFrame();
  for (const char* name : {"shot.png", "no/such/shot.png", "old.xyz"}) {
    SCOPED_TRACE(name);
    g_errorCode = 0;
    RequestScreenGrab(dir.File(name));
    CaptureScreenToFile();
    EXPECT_EQ(g_errorCode, name == std::string("shot.png") ? 0 : 1004);
  }
  g_errorCode = 0;
  EXPECT_EQ(dir.Read("old.xyz"), "old");
  EXPECT_TRUE(FsFileExists(dir.File("shot.png")));
}

TEST_F(BitmapTest, SaveAndLoadThroughTheQueue) {
  std::string dir = FsTempFolder();
  std::string file = dir + "/bitmap_test.png";
  ASSERT_TRUE(CreateBitmapSurface(1, 4, 3));
  Pattern(BitmapSurface(1));
  QueueSaveBitmap(1, file.c_str());
  RunDrawQueue();
  ASSERT_EQ(g_errorCode, 0);
  QueueLoadBitmap(2, file.c_str());
  RunDrawQueue();
  ASSERT_NE(BitmapSurface(2), nullptr);
  EXPECT_EQ(g_draw.programBitmap, 2u);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(BitmapSurface(2)->GetPixel(x, y), BitmapSurface(1)->GetPixel(x, y));
  // Loading onto the screen copies; a missing file is 105; a damaged one warning 1003.
  QueueLoadBitmap(0, file.c_str());
  RunDrawQueue();
  EXPECT_EQ(Px(3, 2), BitmapSurface(1)->GetPixel(3, 2));
  QueueLoadBitmap(3, (dir + "/missing.png").c_str());
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 105);
  g_errorCode = 0;
  std::string bad = dir + "/bad.bmp";
  ASSERT_TRUE(FsWriteFileAtomic(bad, "BM not a bitmap"));
  QueueLoadBitmap(3, bad.c_str());
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1003);
  EXPECT_EQ(g_errorKind, 1);
  g_errorCode = 0;
  QueueSaveBitmap(1, (dir + "/no/such/folder/x.png").c_str());
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 1004);
  g_errorCode = 0;
  // A screen that is lost and cannot be restored ends the load quietly: the display is
  // inactive until the frame start restores it, and bitmap 2 stays current.
  QueueSetCurrentBitmap(2);
  g_surfaceFaults.loseNext = 1;
  g_surfaceFaults.restoreFailures = 1;
  QueueLoadBitmap(0, file.c_str());
  RunDrawQueue();
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_EQ(g_display.active, 0);
  EXPECT_EQ(g_draw.programBitmap, 2u);
  std::remove(file.c_str());
}

// A packed picture is read through a copy with its own ending, whatever its length.
TEST_F(BitmapTest, PackedPicturesKeepTheirWholeEnding) {
  VirtualFiles pack;
  const std::vector<uint8_t> bytes = BuildPack({{"prog.img", {1}}, {"media\\pic.jpeg", {1, 2, 3}}}, 0);
  ASSERT_TRUE(pack.LoadPackFromBytes(bytes.data(), bytes.size()));
  g_packReader = &pack;
  std::string why;
  EXPECT_FALSE(LoadBitmapNow(1, "Media/Pic.jpeg", &why));
  g_packReader = nullptr;
  EXPECT_EQ(why, "only .jpg is read");
}

TEST_F(BitmapTest, BmpRoundTrip) {
  std::string file = FsTempFolder() + "/round.bmp";
  SurfacePtr s = SurfaceCreate(5, 3, 16);
  Pattern(s.get());
  ASSERT_TRUE(SaveImageByExtension(*s, file));
  SurfacePtr back = LoadImageByExtension(file, 16);
  ASSERT_NE(back, nullptr);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(back->GetPixel(x, y), s->GetPixel(x, y));
  std::remove(file.c_str());
}

}  // namespace
