#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "platform/fs.h"
#include "tests/display/display_fixture.h"

namespace {

class TextTest : public DisplayTest {};

// Leftmost and rightmost lit columns of the back buffer (-1 when nothing is lit).
std::pair<int, int> LitColumns(Surface* s) {
  int lo = -1, hi = -1;
  for (int32_t x = 0; x < s->Width(); ++x)
    for (int32_t y = 0; y < s->Height(); ++y)
      if (s->GetPixel(x, y) != 0) {
        if (lo < 0) lo = x;
        hi = x;
        break;
      }
  return {lo, hi};
}

TEST_F(TextTest, BundledFontHasTheSameExtentsEverywhere) {
  TextExtent e = MeasurePrintText("Hello");
  EXPECT_EQ(e.cx, 40);
  EXPECT_EQ(e.cy, 16);
  EXPECT_EQ(MeasurePrintText("").cx, 0);
  FontRequest big{"fixedsys", 32};
  EXPECT_EQ(TextMeasure(TextCreateFont(big).get(), "ab", 2).cx, 32);
  FontRequest bold{"system", 10, true};
  EXPECT_EQ(TextMeasure(TextCreateFont(bold).get(), "ab", 2).cx, 18);
}

TEST_F(TextTest, PrintCursorMovesAndWraps) {
  int32_t x = 0, y = 0;
  QueueTextWithExtent("AB", &x, &y, true, false, true);
  EXPECT_EQ(x, 16);
  EXPECT_EQ(y, 0);
  QueueTextWithExtent("C", &x, &y, false, false, false);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 16);
  x = 632;
  QueueTextWithExtent("AB", &x, &y, true, false, true);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 32);
  x = 632;
  QueueTextWithExtent("AB", &x, &y, true, false, false);
  EXPECT_EQ(x, 648);
  EXPECT_EQ(DrawQueueSize(), 4);
}

TEST_F(TextTest, PrintedTextIsDrawnInTheForegroundAtTheCursor) {
  int32_t x = 100, y = 50;
  QueueTextWithExtent("I", &x, &y, true, false, false);
  RunDrawQueue();
  auto [lo, hi] = LitColumns(Back());
  EXPECT_GE(lo, 100);
  EXPECT_LT(hi, 108);
  bool any = false;
  for (int32_t yy = 50; yy < 66; ++yy)
    for (int32_t xx = 100; xx < 108; ++xx) any |= Px(xx, yy) == White();
  EXPECT_TRUE(any);
  EXPECT_EQ(CountLit() > 0, true);
}

TEST_F(TextTest, OpaqueAndBlankedEcho) {
  QueueInk(0xFFFFFF, 0x0000FF);
  RunDrawQueue();
  int32_t x = 0, y = 0;
  QueueTextWithExtent("W", &x, &y, true, true, false);
  RunDrawQueue();
  EXPECT_EQ(Px(0, 0), 0x1Fu);  // the cell is painted in the background
  QueueTextAt("WWW", &x, &y);  // at 8,0: cells in the background colour only
  RunDrawQueue();
  for (int32_t yy = 0; yy < 16; ++yy)
    for (int32_t xx = 8; xx < 32; ++xx) ASSERT_EQ(Px(xx, yy), 0x1Fu);
}

TEST_F(TextTest, CentredTextStartsHalfItsWidthLeft) {
  QueueTextState(kDrawTextBold, 0, "");  // bold: 9 pixels a character
  QueueTextAtPoint(kDrawCentreText, 100, 0, "a");
  RunDrawQueue();
  auto [lo, hi] = LitColumns(Back());
  EXPECT_GE(lo, 96);  // 100 - 9 / 2
  EXPECT_LT(hi, 105);
  EXPECT_LT(lo, 100);
}

TEST_F(TextTest, TextStateChangesWhenTheQueueRuns) {
  QueueTextState(kDrawTextItalic, 0, "");
  QueueTextState(kDrawTextBold, 0, "");
  QueueTextState(kDrawSetTextFont, 0, "Arial");
  QueueTextState(kDrawSetTextSize, 24, "");
  EXPECT_EQ(g_text.style, 0);
  EXPECT_EQ(g_text.face, "system");
  RunDrawQueue();
  EXPECT_EQ(g_text.style, 2);
  EXPECT_EQ(g_text.face, "Arial");
  EXPECT_EQ(g_text.size, 24);
  TextExtent e = MeasureTextFont("Hello");
  EXPECT_GT(e.cx, 20);
  EXPECT_GE(e.cy, 20);
  EXPECT_LE(e.cy, 30);
  QueueTextState(kDrawTextOpaque, 0, "");
  RunDrawQueue();
  EXPECT_EQ(g_text.background, 1);
}

TEST_F(TextTest, UnknownFacesStillGiveAFont) {
  CreateTextFont(0, 12, "No Such Face Anywhere");
  ASSERT_NE(g_text.textFont, nullptr);
  EXPECT_GT(MeasureTextFont("x").cx, 0);
  CreateTextFont(0, 12, "Courier New");
  TextExtent a = MeasureTextFont("iiii"), b = MeasureTextFont("WWWW");
  EXPECT_EQ(a.cx, b.cx);  // a fixed-pitch face
}

TEST_F(TextTest, ScaledAndHugeFontsDrawWhatIsVisible) {
  // The bundled font at ten times the size is the small one with every pixel a 10 x 10 square.
  SurfacePtr small = SurfaceCreate(24, 16, 16), big = SurfaceCreate(240, 160, 16);
  TextContext dc;
  dc.textPixel = 0xFFFF;
  dc.surface = small.get();
  dc.font = TextCreateFont(FontRequest{"system", 10});
  TextOut(dc, 0, 0, "Ag", 2);
  dc.surface = big.get();
  dc.font = TextCreateFont(FontRequest{"system", 160});
  TextOut(dc, 0, 0, "Ag", 2);
  for (int32_t y = 0; y < 160; ++y)
    for (int32_t x = 0; x < 160; ++x) ASSERT_EQ(big->GetPixel(x, y), small->GetPixel(x / 10, y / 10)) << x << "," << y;
  // Sizes far beyond any surface measure in proportion and draw only what lands on it.
  TextFontPtr huge = TextCreateFont(FontRequest{"system", 2000000000});
  ASSERT_NE(huge, nullptr);
  EXPECT_EQ(TextMeasure(huge.get(), "ab", 2).cy, 16 * 65536);
  EXPECT_EQ(TextMeasure(huge.get(), "ab", 2).cx, 2 * 8 * 65536);
  dc.surface = Back();
  dc.font = huge;
  TextOut(dc, -300000, -300000, "W", 1);
  TextFontPtr face = TextCreateFont(FontRequest{"arial", 60000});
  ASSERT_NE(face, nullptr);
  EXPECT_GT(TextMeasure(face.get(), "Big", 3).cy, 16384);
  dc.font = face;
  TextOut(dc, 0, 0, "Big", 3);  // glyphs larger than any surface are left out
  dc.font = TextCreateFont(FontRequest{"arial", 2000});
  TextOut(dc, -100, -300, "B", 1);
  EXPECT_GT(CountLit(), 0);
}

TEST_F(TextTest, LongTextIsBoundedInTheRecord) {
  std::string longText(600, 'x');
  QueueTextAtPoint(kDrawText, 0, 0, longText.c_str());
  const DrawOp& op = g_drawOpPool[g_drawOpPool.UsedTail()];
  EXPECT_EQ(std::strlen(op.text), 255u);
}

TEST_F(TextTest, TranscriptHasTheTextAndLineBreaksOnce) {
  std::string file = FsTempFolder() + "/transcript.txt";
  g_runtime.options.transcriptFile = file;
  SetScreenPersistence(2);
  int32_t x = 0, y = 0;
  QueueTextWithExtent("5", &x, &y, true, false, true);
  QueueTextWithExtent("6", &x, &y, true, false, true);
  QueueTextWithExtent("done", &x, &y, false, false, false);
  QueueTextAtPoint(kDrawText, 0, 100, "label");
  RunDrawQueue();
  RunDrawQueue();
  TranscriptClose();
  std::string text;
  ASSERT_TRUE(FsReadFile(file, text));
  EXPECT_EQ(text, "56done\nlabel\n");
}

// A run's transcript that cannot be made is said once, not again at each line drawn; one named
// as a descriptor that cannot be written keeps no copy of the descriptor open.
TEST_F(TextTest, AnUnwritableTranscriptIsReportedOnce) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const auto openFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  for (const std::string& file : {FsTempFolder() + "/missing/transcript.txt", "/dev/fd/" + std::to_string(ends[0])}) {
    const auto before = openFiles();
    g_runtime.options.transcriptFile = file;
    testing::internal::CaptureStderr();
    TranscriptStart(file, false);
    for (const char* line : {"one", "two", "three"}) QueueTextAtPoint(kDrawText, 0, 0, line);
    RunDrawQueue();
    TranscriptEndRun();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string said = "cannot write " + file;
    const size_t first = err.find(said);
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(said, first + 1), std::string::npos) << err;
    EXPECT_EQ(openFiles(), before) << file;
  }
  close(ends[0]);
  close(ends[1]);
}

}  // namespace

namespace {

TEST(FontList, DistinctNamesWithTheBundledFontsAndTheMappedFaces) {
  std::vector<std::string> names = FontFamilyList();
  ASSERT_LE(names.size(), 255u);
  EXPECT_EQ(names[0], "Fixedsys");
  EXPECT_EQ(names[1], "System");
  std::set<std::string> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), names.size());
  EXPECT_TRUE(unique.count("Liberation Sans"));
}

}  // namespace
