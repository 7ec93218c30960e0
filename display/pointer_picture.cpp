// The pictures of the pointer sprites, drawn by code so the sheet needs no resource file.
#include "display/pointer_picture.h"

#include <cstring>

namespace {

// The arrow, row by row from its tip: 'X' outline, 'o' fill, anything else see-through.
constexpr const char* kArrow[22] = {
    "X",
    "XX",
    "XoX",
    "XooX",
    "XoooX",
    "XooooX",
    "XoooooX",
    "XooooooX",
    "XoooooooX",
    "XooooooooX",
    "XoooooooooX",
    "XooooooooooX",
    "XooooooXXXXX",
    "XoooXooX",
    "XooXXooX",
    "XoX  XooX",
    "XX   XooX",
    "X     XooX",
    "      XooX",
    "       XooX",
    "       XooX",
    "        XX",
};

// The pointing hand, drawn the same way: the finger up at the left, the palm below.
constexpr const char* kHand[17] = {
    " XX",
    "XooX",
    "XooX",
    "XooX",
    "XooXXX",
    "XooXooXX",
    "XooXooXoXX",
    "XooXooXoXoX",
    "XoooooooooX",
    "XoooooooooX",
    "XoooooooooX",
    "XoooooooooX",
    " XooooooooX",
    " XooooooooX",
    "  XooooooX",
    "  XooooooX",
    "  XXXXXXXX",
};

// Near black, so the outline is not the key colour.
constexpr uint32_t kOutlineRgb = 0x101010, kFillRgb = 0xFFFFFF;

}  // namespace

void DrawPointerPicture(Surface& sheet) {
  if (sheet.Width() < kPointerSheetSize || sheet.Height() < kPointerSheetSize) return;
  const uint32_t outline = PixelFromRgb(sheet.Format(), kOutlineRgb);
  const uint32_t fill = PixelFromRgb(sheet.Format(), kFillRgb);
  auto draw = [&](const char* const* rows, const SurfRect& at) {
    for (int32_t y = 0; y < at.Height(); ++y) {
      const char* row = rows[y];
      for (int32_t x = 0; x < int32_t(std::strlen(row)); ++x) {
        if (row[x] == 'X') sheet.PutPixel(at.left + x, at.top + y, outline);
        if (row[x] == 'o') sheet.PutPixel(at.left + x, at.top + y, fill);
      }
    }
  };
  draw(kArrow, kPointerArrowRect);
  draw(kHand, kPointerHandRect);
  for (int32_t y = kPointerCaretRect.top; y < kPointerCaretRect.bottom; ++y)
    for (int32_t x = kPointerCaretRect.left; x < kPointerCaretRect.right; ++x) sheet.PutPixel(x, y, fill);
  sheet.PutPixel(kPointerDotRect.left, kPointerDotRect.top, fill);
}
