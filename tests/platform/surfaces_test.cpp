#include "platform/surfaces.h"

#include <gtest/gtest.h>

namespace {

TEST(Surfaces, ExpandAndNarrowRoundTripEvery16BitPixel) {
  PixelFormat f = FormatForDepth(16);
  for (uint32_t p = 0; p < 65536; ++p) ASSERT_EQ(NarrowRgbToPixel(f, ExpandPixelToRgb(f, p)), p) << p;
  EXPECT_EQ(ExpandPixelToRgb(f, 0xFFFF), 0xFFFFFFu);
  EXPECT_EQ(ExpandPixelToRgb(f, 0xF800), 0xFF0000u);
}

TEST(Surfaces, DrawingColourConversionTruncates) {
  PixelFormat f = FormatForDepth(16);
  // 31/255*200 = 24.3 -> 24; 63/255*100 = 24.7 -> 24; 31/255*255 = 31.
  EXPECT_EQ(PixelFromRgb(f, 0xC864FF), (24u << 11) + (24u << 5) + 31u);
  EXPECT_EQ(RgbFromPixel(f, 0xFFFF), 0xFFFFFFu);
  // 255/31*24 = 197.4 -> 197; 255/63*24 = 97.1 -> 97.
  EXPECT_EQ(RgbFromPixel(f, (24u << 11) + (24u << 5)), (197u << 16) + (97u << 8));
  PixelFormat f32 = FormatForDepth(32);
  EXPECT_EQ(PixelFromRgb(f32, 0x123456), 0x123456u);
  EXPECT_EQ(RgbFromPixel(f32, 0xAB123456), 0x123456u);
  EXPECT_EQ(PixelFromRgb(FormatForDepth(24), 0x010203), 0x010203u);
}

TEST(Surfaces, CreateRefusesBadSizesAndInjectedFailures) {
  EXPECT_EQ(SurfaceCreate(0, 5, 16), nullptr);
  EXPECT_EQ(SurfaceCreate(5, -1, 16), nullptr);
  g_surfaceFaults.createFailures = 1;
  EXPECT_EQ(SurfaceCreate(5, 5, 16), nullptr);
  EXPECT_NE(SurfaceCreate(5, 5, 16), nullptr);
  ResetSurfaceFaults();
}

TEST(Surfaces, FillClipsAndRefusesInvertedRectangles) {
  for (int depth : {16, 24, 32}) {
    SurfacePtr s = SurfaceCreate(4, 3, depth);
    SurfRect r{-2, -2, 2, 1};
    EXPECT_EQ(SurfaceFill(s.get(), &r, 0x1234), kSurfOk);
    EXPECT_EQ(s->GetPixel(0, 0), 0x1234u);
    EXPECT_EQ(s->GetPixel(1, 0), 0x1234u);
    EXPECT_EQ(s->GetPixel(2, 0), 0u);
    EXPECT_EQ(s->GetPixel(0, 1), 0u);
    SurfRect inverted{3, 2, 1, 0};
    EXPECT_EQ(SurfaceFill(s.get(), &inverted, 0x55), kSurfInvalid);
    SurfRect outside{10, 10, 12, 12};
    EXPECT_EQ(SurfaceFill(s.get(), &outside, 0x55), kSurfOk);
    SurfRect last{3, 2, 4, 3};  // the last pixel of the last row: no byte past the row
    EXPECT_EQ(SurfaceFill(s.get(), &last, 0xFFFFFFFF), kSurfOk);
    EXPECT_EQ(s->GetPixel(3, 2), depth == 16 ? 0xFFFFu : depth == 24 ? 0xFFFFFFu : 0xFFFFFFFFu);
    EXPECT_EQ(s->GetPixel(2, 2), 0u);
  }
}

TEST(Surfaces, FillsCoverExactlyTheirRectangleAtEveryAlignment) {
  for (int depth : {16, 24, 32}) {
    SurfacePtr s = SurfaceCreate(90, 3, depth);
    for (int left = 0; left < 6; ++left) {
      for (int width = 1; width <= 80; ++width) {
        SurfaceFill(s.get(), nullptr, 0);
        SurfRect r{left, 1, left + width, 2};
        ASSERT_EQ(SurfaceFill(s.get(), &r, 0xA5C3E1), kSurfOk);
        const uint32_t want = depth == 16 ? 0xC3E1u : 0xA5C3E1u;
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < 90; ++x) {
            bool inside = y == 1 && x >= left && x < left + width;
            ASSERT_EQ(s->GetPixel(x, y), inside ? want : 0u) << depth << " " << left << " " << width << " " << x;
          }
      }
    }
  }
}

TEST(Surfaces, BltFastClipsAndHonoursTheColourKey) {
  SurfacePtr src = SurfaceCreate(3, 2, 16), dst = SurfaceCreate(4, 4, 16);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) src->PutPixel(x, y, uint32_t(1 + x + 3 * y));
  src->PutPixel(1, 0, 0);
  src->hasKey = true;
  src->key = 0;
  SurfaceFill(dst.get(), nullptr, 9);
  EXPECT_EQ(SurfaceBltFast(dst.get(), 2, -1, src.get(), nullptr, kBltKeySrc), kSurfOk);
  // Row 1 of the source lands on row 0; only two columns fit.
  EXPECT_EQ(dst->GetPixel(2, 0), 4u);
  EXPECT_EQ(dst->GetPixel(3, 0), 5u);
  EXPECT_EQ(dst->GetPixel(2, 1), 9u);
  SurfaceBltFast(dst.get(), 0, 2, src.get(), nullptr, kBltKeySrc);
  EXPECT_EQ(dst->GetPixel(1, 2), 9u);  // the key pixel was skipped
  SurfaceBltFast(dst.get(), 0, 2, src.get(), nullptr, 0);
  EXPECT_EQ(dst->GetPixel(1, 2), 0u);
}

// Every row length and key pattern through the wide paths: each pixel is the source's, or the
// destination's where the source holds the key.
TEST(Surfaces, CopiesOfEveryWidthMatchPixelByPixel) {
  for (int depth : {16, 32}) {
    for (int width = 1; width <= 150; width += (width < 40 ? 1 : 13)) {
      SurfacePtr src = SurfaceCreate(width, 3, depth), dst = SurfaceCreate(width + 2, 3, depth);
      uint32_t seed = uint32_t(width * 7919 + depth);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x) {
          seed = seed * 1103515245u + 12345u;
          src->PutPixel(x, y, (seed >> 9) % 5 == 0 ? 0x77u : (seed >> 4) & (depth == 16 ? 0xFFFFu : 0xFFFFFFu));
        }
      src->hasKey = true;
      src->key = 0x77;
      for (uint32_t flags : {0u, uint32_t(kBltKeySrc)}) {
        SurfaceFill(dst.get(), nullptr, 0x1234);
        ASSERT_EQ(SurfaceBltFast(dst.get(), 1, 0, src.get(), nullptr, flags), kSurfOk);
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < width + 2; ++x) {
            const bool inside = x >= 1 && x <= width;
            const uint32_t p = inside ? src->GetPixel(x - 1, y) : 0x1234;
            const uint32_t want = inside && flags && p == 0x77 ? 0x1234 : p;
            ASSERT_EQ(dst->GetPixel(x, y), want) << depth << " " << width << " " << flags << " " << x;
          }
      }
    }
  }
}

TEST(Surfaces, OverlappingCopyWithinOneSurface) {
  SurfacePtr s = SurfaceCreate(1, 4, 16);
  for (int y = 0; y < 4; ++y) s->PutPixel(0, y, uint32_t(y + 1));
  SurfRect r{0, 0, 1, 3};
  SurfaceBltFast(s.get(), 0, 1, s.get(), &r, 0);
  EXPECT_EQ(s->GetPixel(0, 0), 1u);
  EXPECT_EQ(s->GetPixel(0, 1), 1u);
  EXPECT_EQ(s->GetPixel(0, 2), 2u);
  EXPECT_EQ(s->GetPixel(0, 3), 3u);
}

TEST(Surfaces, StretchAndFormatConversion) {
  SurfacePtr src = SurfaceCreate(2, 1, 32), dst = SurfaceCreate(4, 2, 16);
  src->PutPixel(0, 0, 0xFF0000);
  src->PutPixel(1, 0, 0x0000FF);
  EXPECT_EQ(SurfaceBlt(dst.get(), nullptr, src.get(), nullptr, 0), kSurfOk);
  EXPECT_EQ(dst->GetPixel(0, 0), 0xF800u);
  EXPECT_EQ(dst->GetPixel(1, 1), 0xF800u);
  EXPECT_EQ(dst->GetPixel(2, 0), 0x001Fu);
  EXPECT_EQ(dst->GetPixel(3, 1), 0x001Fu);
  SurfRect outside{0, 0, 5, 1};
  EXPECT_EQ(SurfaceBlt(dst.get(), &outside, src.get(), nullptr, 0), kSurfInvalid);
}

TEST(Surfaces, LostSurfacesAndInjectedBusyAnswers) {
  SurfacePtr s = SurfaceCreate(2, 2, 16);
  g_surfaceFaults.loseNext = 1;
  EXPECT_EQ(SurfaceFill(s.get(), nullptr, 1), kSurfLost);
  EXPECT_EQ(SurfaceFill(s.get(), nullptr, 1), kSurfLost);
  g_surfaceFaults.restoreFailures = 1;
  EXPECT_NE(SurfaceRestore(s.get()), kSurfOk);
  EXPECT_EQ(SurfaceRestore(s.get()), kSurfOk);
  g_surfaceFaults.stillDrawing = 2;
  EXPECT_EQ(SurfaceFill(s.get(), nullptr, 1), kSurfStillDrawing);
  EXPECT_EQ(SurfaceFill(s.get(), nullptr, 1), kSurfStillDrawing);
  EXPECT_EQ(SurfaceFill(s.get(), nullptr, 1), kSurfOk);
  uint8_t* bits = nullptr;
  int32_t pitch = 0;
  EXPECT_EQ(SurfaceLock(s.get(), &bits, &pitch), kSurfOk);
  EXPECT_EQ(SurfaceLock(s.get(), &bits, &pitch), kSurfInvalid);
  EXPECT_EQ(SurfaceUnlock(s.get()), kSurfOk);
  EXPECT_EQ(pitch, 4);
  ResetSurfaceFaults();
}

}  // namespace
