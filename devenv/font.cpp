// The environment's bitmap font: every glyph pre-rendered once into coloured cells, so text is
// drawn as a row of keyed copies.
#include <algorithm>

#include "devenv/ide_draw.h"
#include "platform/text.h"

namespace {

constexpr int32_t kFontSurfaceWidth = 344, kFontSurfaceHeight = 1024;
// Courier at 10 points on a display of a fixed 96 dpi: 10 * 96 / 72 pixels.
constexpr int32_t kCourierPixels = 10 * 96 / 72;
constexpr int32_t kFixedPixels = 16;

struct Band {
  bool courier;
  int fill;  // 0 black, 1 white (selection), 2 the environment background
  uint32_t text;
};
const Band kBands[kFontBands] = {
    {true, 0, 0xFFFFFF},  {true, 1, 0x0F0F0F},  {false, 0, 0x0F0F0F}, {false, 2, 0xFFFFFF},
    {false, 0, 0xFFE20B}, {false, 0, 0x202020}, {false, 0, 0x4B4877}, {true, 0, 0xFFFFD2},
};

}  // namespace

void IdeGlyphCell(int32_t code, int32_t* x, int32_t* y) {
  const int32_t band = (code >> 8) & 7, c = code & 255;
  *x = ((c - 32) % 28) * kGlyphCellWidth;
  *y = band * 128 + ((c - 32) / 28) * kGlyphCellHeight;
}

bool IdeBuildFont() {
  IdeSurfaces& g = g_ide.gfx;
  g.font = SurfaceCreate(kFontSurfaceWidth, kFontSurfaceHeight, g.format);
  SurfacePtr cell = SurfaceCreate(kGlyphCellWidth, kGlyphCellHeight, g.format);
  // Every band draws the text language's character set, so the source, its comments and the
  // Find field show the same letters.
  FontRequest courierRequest{"Courier New", kCourierPixels}, fixedRequest{"fixedsys", kFixedPixels};
  courierRequest.charset = fixedRequest.charset = g_ide.settings.textCharset;
  TextFontPtr courier = TextCreateFont(courierRequest);
  TextFontPtr fixed = TextCreateFont(fixedRequest);
  // Without the face, or with a face lacking letters of the set (Liberation Mono has no Hebrew,
  // Arabic or Thai and misses some Vietnamese), the Courier bands are drawn with the fixed font.
  if (!courier || !TextHasEveryCharacter(courier.get())) courier = fixed;
  if (!g.font || !cell || !fixed) {
    g.font.reset();
    return false;
  }
  std::fill(std::begin(g.widths), std::end(g.widths), IdeGlyphSize{});
  for (int32_t band = 0; band < kFontBands; ++band) {
    const Band& b = kBands[band];
    const uint32_t fill = b.fill == 0 ? 0 : b.fill == 1 ? g.colours.selection : g.colours.background;
    TextContext dc{cell.get(), b.courier ? courier : fixed, PixelFromRgb(g.format, b.text), 0, false};
    for (int32_t c = 32; c < 256; ++c) {
      const char ch = char(c);
      const TextExtent e = TextMeasure(dc.font.get(), &ch, 1);
      // The glyph is drawn into a cell of its own first, so no ink leaves the cell.
      SurfaceFill(cell.get(), nullptr, fill);
      TextOut(dc, 0, 0, &ch, 1);
      int32_t x, y;
      IdeGlyphCell(band * 256 + c, &x, &y);
      SurfaceBltFast(g.font.get(), x, y, cell.get(), nullptr, 0);
      g.widths[band * 256 + c] = {uint8_t(std::clamp(e.cx, 0, kGlyphCellWidth)),
                                  uint8_t(std::clamp(e.cy, 0, kGlyphCellHeight))};
    }
  }
  g.font->hasKey = true;
  g.font->key = 0;
  return true;
}

void IdeReleaseFont() { g_ide.gfx.font.reset(); }

void IdeDrawGlyph(Surface* dst, int32_t code, int32_t x, int32_t y) {
  const IdeGlyphSize size = g_ide.gfx.widths[code & 2047];
  if (!g_ide.gfx.font || size.width == 0) return;
  int32_t cx, cy;
  IdeGlyphCell(code, &cx, &cy);
  const SurfRect r{cx, cy, cx + size.width, cy + size.height};
  SurfaceBltFast(dst, x, y, g_ide.gfx.font.get(), &r, kBltKeySrc);
}

int32_t IdeDrawTextBand(Surface* dst, const std::string& text, int32_t band, int32_t x, int32_t y) {
  for (unsigned char c : text) {
    if (c < 32) continue;
    const int32_t code = band * 256 + c;
    IdeDrawGlyph(dst, code, x, y);
    x += IdeGlyphWidth(code);
  }
  return x;
}

void IdeDrawText(Surface* dst, const std::string& text, int32_t band, int32_t x, int32_t y, int32_t highlight,
                 int32_t right) {
  const int32_t end = IdeDrawTextBand(dst, text, band + highlight, x, y);
  if (highlight && end < right) {
    SurfRect r{end, y, right, y + 16};
    SurfaceFill(dst, &r, g_ide.gfx.colours.background);
  }
}

int32_t IdeTextWidth(const std::string& text) {
  int32_t w = 0;
  for (unsigned char c : text)
    if (c >= 32) w += IdeGlyphWidth(2 * 256 + c);
  return w;
}
