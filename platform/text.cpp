#include "platform/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/codepage_tables.h"
#include "platform/embedded_data.h"

namespace {

FT_Library g_ft = nullptr;
bool g_fcReady = false;

FT_Library FreeType() {
  if (!g_ft && FT_Init_FreeType(&g_ft) != 0) g_ft = nullptr;
  return g_ft;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// One glyph: its placement against the pen, its advance and its ink, made on first use.
// Face glyphs keep 1-bit rows; bitmap-font glyphs keep a byte mask at small scales and are
// read from the font's cells at large ones. Drawing visits only the part of a glyph that lies
// on the surface, so a huge font costs no more than what its drawn glyphs need.
struct Glyph {
  int32_t left = 0, top = 0, width = 0, rows = 0, advance = 0;
  bool rendered = false;
  int32_t pitch = 0;
  std::vector<uint8_t> bits;  // face glyphs: rows * pitch bytes, most significant bit first
  std::vector<uint8_t> mask;  // bitmap-font glyphs of small scales: width * rows bytes, 1 = ink
};

// Face glyphs larger than this on either side are not drawn: no surface is that large.
constexpr int32_t kMaxGlyphSide = 16384;
// Largest sizes made: FreeType's limit for faces, a 1M-pixel cell for the bitmap font.
constexpr int64_t kMaxFacePixels = 0xFFFF, kMaxScale = 65536;
// Bitmap-font glyphs up to this scale keep a mask; larger ones are read from the cells.
constexpr int32_t kMaskedScale = 8;
constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME;

}  // namespace

class TextFont {
 public:
  // Bundled bitmap font: the rows of each character's cell (null: no ink).
  // complete: every character of the code page has a glyph of its own (none drawn as the box).
  TextFont(const std::array<const uint8_t*, 256>& cells, int32_t cellW, int32_t cellH, int32_t base,
           const FontRequest& request, bool complete)
      : request_(request), bitmap_(true), complete_(complete), cells_(cells) {
    int64_t h = std::abs(int64_t(request.height));
    scale_ = int32_t(std::clamp<int64_t>((h + cellH / 2) / cellH, 1, kMaxScale));
    cellW_ = cellW;
    cellH_ = cellH;
    ascent_ = base * scale_;
    height_ = cellH * scale_;
    const int32_t extra = request_.bold ? 1 : 0;
    for (int c = 0; c < 256; ++c) {
      Glyph& g = glyphs_[size_t(c)];
      g.advance = cellW_ * scale_ + extra;
      g.rendered = c < 32 || scale_ > kMaskedScale;
      if (c < 32) continue;
      g.width = cellW_ * scale_ + extra + (request_.italic ? height_ / 4 : 0);
      g.rows = height_;
      g.top = ascent_;
    }
  }
  // FreeType face (owned).
  TextFont(FT_Face face, const FontRequest& request)
      : request_(request), face_(face), codePage_(CodePageOfCharset(request.charset)) {
    int32_t h = int32_t(std::clamp<int64_t>(std::abs(int64_t(request.height)), 1, kMaxFacePixels));
    FT_Size_RequestRec req{};
    req.type = request.height < 0 ? FT_SIZE_REQUEST_TYPE_NOMINAL : FT_SIZE_REQUEST_TYPE_REAL_DIM;
    req.height = FT_Long(h) << 6;
    if (FT_Request_Size(face_, &req) != 0) FT_Set_Pixel_Sizes(face_, 0, FT_UInt(h));
    ascent_ = int32_t((face_->size->metrics.ascender + 32) >> 6);
    int32_t descent = int32_t((-face_->size->metrics.descender + 32) >> 6);
    height_ = ascent_ + descent;
    // Advances as the rendered glyphs have them (same hinting), without rendering.
    for (int c = 0; c < 256; ++c)
      if (FT_Load_Char(face_, CodeOf(c), kLoadFlags) == 0)
        glyphs_[size_t(c)].advance = int32_t((face_->glyph->advance.x + 32) >> 6);
    for (int c = 32; c < 256; ++c) {
      const uint32_t cp = CodePageChar(codePage_, uint8_t(c));
      if (c != 0x7F && cp != 0 && FT_Get_Char_Index(face_, cp) == 0) complete_ = false;
    }
  }
  ~TextFont() {
    if (face_) FT_Done_Face(face_);
  }
  TextFont(const TextFont&) = delete;
  TextFont& operator=(const TextFont&) = delete;

  int32_t Advance(uint8_t c) const { return glyphs_[c].advance; }
  // The glyph with its ink ready for drawing.
  const Glyph& GlyphOf(uint8_t c) const {
    Glyph& g = glyphs_[c];
    if (!g.rendered) Render(c, &g);
    return g;
  }
  // Whether the bitmap font's glyph c has ink at gx, gy of its box.
  bool CellInk(uint8_t c, int32_t gx, int32_t gy) const {
    if (!cells_[c]) return false;
    const uint8_t bits = cells_[c][gy / scale_];
    const int32_t x = gx - (request_.italic ? (height_ - 1 - gy) / 4 : 0);
    auto on = [&](int32_t v) { return v >= 0 && v < cellW_ * scale_ && (bits & (0x80 >> (v / scale_))); };
    return on(x) || (request_.bold && on(x - 1));
  }
  bool IsBitmapFont() const { return bitmap_; }
  bool HasEveryCharacter() const { return complete_; }
  int32_t Ascent() const { return ascent_; }
  int32_t Height() const { return height_; }
  const FontRequest& Request() const { return request_; }

 private:
  uint32_t CodeOf(int c) const {
    const uint32_t cp = CodePageChar(codePage_, uint8_t(c));
    return c < 32 || cp == 0 ? '?' : cp;
  }
  void Render(uint8_t c, Glyph* g) const {
    g->rendered = true;
    if (bitmap_) {
      g->mask.resize(size_t(g->width) * size_t(g->rows));
      for (int32_t gy = 0; gy < g->rows; ++gy)
        for (int32_t gx = 0; gx < g->width; ++gx) g->mask[size_t(gy) * size_t(g->width) + size_t(gx)] = CellInk(c, gx, gy);
      return;
    }
    if (FT_Load_Char(face_, CodeOf(c), kLoadFlags) != 0) return;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->metrics.width > (FT_Pos(kMaxGlyphSide) << 6) || slot->metrics.height > (FT_Pos(kMaxGlyphSide) << 6))
      return;
    if (FT_Load_Char(face_, CodeOf(c), kLoadFlags | FT_LOAD_RENDER) != 0) return;
    slot = face_->glyph;
    g->left = slot->bitmap_left;
    g->top = slot->bitmap_top;
    g->width = int32_t(slot->bitmap.width);
    g->rows = int32_t(slot->bitmap.rows);
    g->pitch = (g->width + 7) / 8;
    g->bits.assign(size_t(g->pitch) * size_t(g->rows), 0);
    for (int32_t y = 0; y < g->rows; ++y) {
      const uint8_t* src = slot->bitmap.buffer + ptrdiff_t(y) * slot->bitmap.pitch;
      std::memcpy(g->bits.data() + size_t(y) * size_t(g->pitch), src, size_t(g->pitch));
    }
  }

  FontRequest request_;
  bool bitmap_ = false;
  bool complete_ = true;
  std::array<const uint8_t*, 256> cells_{};
  FT_Face face_ = nullptr;
  int32_t codePage_ = 1252;
  int32_t scale_ = 1, cellW_ = 0, cellH_ = 0;
  int32_t ascent_ = 0, height_ = 0;
  mutable std::array<Glyph, 256> glyphs_;
};

namespace {

// The bundled font holds glyphs by code point (see tools/fontgen); each byte of the request's
// code page takes its character's glyph, or the missing-glyph box (code point 0) when the font
// has none. A byte the code page leaves undefined has no ink.
TextFontPtr MakeBitmapFont(const FontRequest& request) {
  const EmbeddedFile* f = FindEmbeddedFile("system_font.bin");
  if (!f || f->size < 10 || std::memcmp(f->data, "VKF2", 4) != 0) return nullptr;
  const int32_t w = f->data[4], h = f->data[5], base = f->data[6];
  const size_t count = size_t(f->data[8]) | size_t(f->data[9]) << 8;
  if (w < 1 || w > 8 || h < 1 || base > h || f->size < 10 + count * (2 + size_t(h))) return nullptr;
  const uint8_t* codes = f->data + 10;
  const uint8_t* rows = codes + 2 * count;
  auto glyphOf = [&](uint32_t cp) -> const uint8_t* {
    size_t lo = 0, hi = count;  // codes ascend
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      const uint32_t at = uint32_t(codes[2 * mid]) | uint32_t(codes[2 * mid + 1]) << 8;
      if (at == cp) return rows + mid * size_t(h);
      if (at < cp) lo = mid + 1;
      else hi = mid;
    }
    return nullptr;
  };
  const int32_t page = CodePageOfCharset(request.charset);
  const uint8_t* box = glyphOf(0);
  std::array<const uint8_t*, 256> cells{};
  bool complete = true;
  for (int c = 32; c < 256; ++c) {
    const uint32_t cp = CodePageChar(page, uint8_t(c));
    const uint8_t* g = cp ? glyphOf(cp) : nullptr;
    cells[size_t(c)] = g ? g : cp ? box : nullptr;
    if (cp && !g && c != 0x7F) complete = false;
  }
  return std::make_shared<const TextFont>(cells, w, h, base, request, complete);
}

// The family fontconfig is asked for.
std::string FamilyFor(const std::string& face) {
  std::string l = Lower(face);
  if (l == "arial") return "Liberation Sans";
  if (l == "times new roman") return "Liberation Serif";
  if (l == "courier new" || l == "courier") return "Liberation Mono";
  return face;
}

// Fontconfig is started once and finished at exit (no fontconfig object outlives a call).
bool StartFontconfig() {
  if (!g_fcReady && FcInit() == FcTrue) {
    g_fcReady = true;
    std::atexit([] { FcFini(); });
  }
  return g_fcReady;
}

bool FindFontFile(const FontRequest& request, std::string* path, int* index) {
  StartFontconfig();
  if (!g_fcReady) return false;
  FcPattern* pat = FcPatternCreate();
  if (!pat) return false;
  std::string family = FamilyFor(request.face);
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  FcPatternDestroy(pat);
  if (!match) return false;
  FcChar8* file = nullptr;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    *path = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
  }
  FcPatternDestroy(match);
  return ok;
}

}  // namespace

TextFontPtr TextCreateFont(const FontRequest& request) {
  std::string l = Lower(request.face);
  if (l == "system" || l == "fixedsys") return MakeBitmapFont(request);
  std::string path;
  int index = 0;
  if (!FreeType() || !FindFontFile(request, &path, &index)) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(g_ft, path.c_str(), index, &face) != 0) return nullptr;
  return std::make_shared<const TextFont>(face, request);
}

TextFontPtr TextDefaultFont() {
  static TextFontPtr font = MakeBitmapFont(FontRequest{"system", 10});
  return font;
}

bool TextHasEveryCharacter(const TextFont* font) { return font && font->HasEveryCharacter(); }

TextExtent TextMeasure(const TextFont* font, const char* text, size_t length) {
  TextExtent e;
  if (!font) return e;
  e.cy = font->Height();
  for (size_t i = 0; i < length; ++i) e.cx += font->Advance(uint8_t(text[i]));
  return e;
}

void TextOut(const TextContext& dc, int32_t x, int32_t y, const char* text, size_t length) {
  Surface* s = dc.surface;
  const TextFont* font = dc.font.get();
  if (!s || !font || s->Depth() == 8) return;
  TextExtent e = TextMeasure(font, text, length);
  // Positions are worked out in 64 bits: text may start far off the surface.
  auto clampRect = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, -1, 1 << 20)); };
  if (dc.opaque) {
    SurfRect r{clampRect(x), clampRect(y), clampRect(int64_t(x) + e.cx), clampRect(int64_t(y) + e.cy)};
    SurfaceFill(s, &r, dc.backPixel);
  }
  const int64_t baseline = int64_t(y) + font->Ascent();
  int64_t pen = x;
  for (size_t i = 0; i < length && pen < s->Width(); ++i) {
    const uint8_t c = uint8_t(text[i]);
    const Glyph& g = font->GlyphOf(c);
    // Only the part of the glyph's box that lies on the surface is visited.
    const int64_t top = baseline - g.top, left = pen + g.left;
    const int32_t y0 = int32_t(std::clamp<int64_t>(-top, 0, g.rows));
    const int32_t y1 = int32_t(std::clamp<int64_t>(int64_t(s->Height()) - top, 0, g.rows));
    const int32_t x0 = int32_t(std::clamp<int64_t>(-left, 0, g.width));
    const int32_t x1 = int32_t(std::clamp<int64_t>(int64_t(s->Width()) - left, 0, g.width));
    for (int32_t gy = y0; gy < y1; ++gy) {
      const int32_t py = int32_t(top + gy);
      if (!g.mask.empty()) {
        const uint8_t* m = g.mask.data() + size_t(gy) * size_t(g.width);
        for (int32_t gx = x0; gx < x1; ++gx)
          if (m[gx]) s->PutPixel(int32_t(left + gx), py, dc.textPixel);
      } else if (!g.bits.empty()) {
        const uint8_t* row = g.bits.data() + size_t(gy) * size_t(g.pitch);
        for (int32_t gx = x0; gx < x1; ++gx)
          if (row[gx >> 3] & (0x80 >> (gx & 7))) s->PutPixel(int32_t(left + gx), py, dc.textPixel);
      } else if (font->IsBitmapFont()) {
        for (int32_t gx = x0; gx < x1; ++gx)
          if (font->CellInk(c, gx, gy)) s->PutPixel(int32_t(left + gx), py, dc.textPixel);
      }
    }
    pen += g.advance;
  }
  if (font->Request().underline) {
    SurfRect r{clampRect(x), clampRect(baseline + 1), clampRect(pen), clampRect(baseline + 2)};
    SurfaceFill(s, &r, dc.textPixel);
  }
}

std::vector<std::string> TextFontFamilies() {
  std::vector<std::string> names = {"Fixedsys", "System"};
  if (!StartFontconfig()) return names;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* set = pat && os ? FcFontList(nullptr, pat, os) : nullptr;
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      FcChar8* fam = nullptr;
      if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &fam) != FcResultMatch || !fam) continue;
      std::string name = reinterpret_cast<const char*>(fam);
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    FcFontSetDestroy(set);
  }
  if (os) FcObjectSetDestroy(os);
  if (pat) FcPatternDestroy(pat);
  return names;
}
