// Generates data/system_font.bin, the bundled bitmap-like font that stands for "system" and
// "fixedsys": the glyphs of ASCII and of the upper halves of every Windows code page the text
// layer draws (platform/codepage_tables.cpp), in 8 x 16 cells, one byte per row, high bit
// leftmost, rendered once without anti-aliasing from DejaVu Sans Mono Bold. Characters the face
// lacks are left out: they are drawn with the face's missing-glyph box, kept as code point 0.
//
// Layout: "VKF2", the cell width, the cell height, the baseline row, 0; the glyph count (16 bits,
// little-endian); the code points (16 bits each, ascending); then each glyph's rows in that order.
// Built as build/tools/gen_system_font; CI checks that it still makes the file byte for byte:
//   gen_system_font /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf data/system_font.bin
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

#include "platform/codepage_tables.h"

namespace {
constexpr int kW = 8, kH = 16, kBase = 12;

// The glyph's rows as the cell holds them.
void Rows(FT_GlyphSlot g, uint8_t* rows) {
  for (unsigned y = 0; y < g->bitmap.rows; ++y) {
    int row = kBase - g->bitmap_top + int(y);
    if (row < 0 || row >= kH) continue;
    for (unsigned x = 0; x < g->bitmap.width; ++x) {
      int col = g->bitmap_left + int(x);
      if (col < 0 || col >= kW) continue;
      if (g->bitmap.buffer[y * unsigned(g->bitmap.pitch) + x / 8] & (0x80 >> (x % 8))) rows[row] |= uint8_t(0x80 >> col);
    }
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face)) return 1;
  FT_Set_Pixel_Sizes(face, 0, 13);
  // Code point 0 is the missing-glyph box; then every character the face has.
  std::set<uint32_t> wanted = {0};
  for (uint32_t c = 32; c < 127; ++c) wanted.insert(c);
  for (int32_t page : CodePagesDrawn()) {
    const uint16_t* high = CodePageHighHalf(page);
    for (int b = 0; b < 128; ++b)
      if (high[b]) wanted.insert(high[b]);
  }
  std::vector<uint16_t> codes;
  std::vector<uint8_t> cells;
  constexpr FT_Int32 kFlags = FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME;
  for (uint32_t c : wanted) {
    const FT_UInt index = c == 0 ? 0 : FT_Get_Char_Index(face, c);
    if (c != 0 && index == 0) continue;
    uint8_t rows[kH] = {};
    if (FT_Load_Glyph(face, index, kFlags) == 0) Rows(face->glyph, rows);
    codes.push_back(uint16_t(c));
    cells.insert(cells.end(), rows, rows + kH);
  }
  std::vector<uint8_t> out = {'V', 'K', 'F', '2', kW, kH, kBase, 0, uint8_t(codes.size()), uint8_t(codes.size() >> 8)};
  for (uint16_t c : codes) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
  out.insert(out.end(), cells.begin(), cells.end());
  FILE* f = std::fopen(argv[2], "wb");
  if (!f) return 1;
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
  return 0;
}
