// Generates data/system_font.bin, the bundled bitmap-like font that stands for "system" and
// "fixedsys": 224 glyphs (character codes 32..255 of Windows-1252) in 8 x 16 cells, one byte
// per row, high bit leftmost, rendered once without anti-aliasing from DejaVu Sans Mono Bold.
// The file starts with "VKF1", the cell width, the cell height and the baseline row.
// Built as build/tools/gen_system_font; CI checks that it still makes the file byte for byte:
//   gen_system_font /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf data/system_font.bin
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
const uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
constexpr int kW = 8, kH = 16, kBase = 12;
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face)) return 1;
  FT_Set_Pixel_Sizes(face, 0, 13);
  std::vector<uint8_t> out = {'V', 'K', 'F', '1', kW, kH, kBase, 0};
  for (int code = 32; code < 256; ++code) {
    uint32_t uc = code >= 0x80 && code < 0xA0 ? kHigh[code - 0x80] : uint32_t(code);
    uint8_t rows[kH] = {};
    if (uc && FT_Load_Char(face, uc, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0) {
      FT_GlyphSlot g = face->glyph;
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
    out.insert(out.end(), rows, rows + kH);
  }
  FILE* f = std::fopen(argv[2], "wb");
  if (!f) return 1;
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
  return 0;
}
