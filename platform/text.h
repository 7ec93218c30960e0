#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/surfaces.h"

// Text output onto CPU surfaces through a small device context. Fonts come from FreeType
// with fontconfig finding the files; glyphs are drawn without anti-aliasing. "Arial",
// "Times New Roman" and "Courier New" map to the Liberation fonts; "system" and "fixedsys"
// to the bundled bitmap-like font, so their extents are the same on every machine. Texts
// are bytes of the Windows code page of the font's character set (1252 unless asked).

struct FontRequest {
  std::string face;
  int32_t height = 10;  // cell height in pixels; negative: character height
  bool bold = false, italic = false, underline = false;
  int32_t charset = 0;  // a Windows character set number: picks the code page (CodePageOfCharset)
};

class TextFont;
using TextFontPtr = std::shared_ptr<const TextFont>;

// Makes a font; nullptr when no face could be loaded.
TextFontPtr TextCreateFont(const FontRequest& request);
// The bundled font at height 10 (always available).
TextFontPtr TextDefaultFont();

struct TextExtent {
  int32_t cx = 0, cy = 0;
};

// A device context over one surface: font, colours (pixel values of the surface's format)
// and background mode.
struct TextContext {
  Surface* surface = nullptr;
  TextFontPtr font;
  uint32_t textPixel = 0;
  uint32_t backPixel = 0;
  bool opaque = false;
};

// Whether the font has a glyph of its own for every character its code page gives bytes
// 32-255 (DEL aside); false when some would be drawn as the missing-glyph box.
bool TextHasEveryCharacter(const TextFont* font);

TextExtent TextMeasure(const TextFont* font, const char* text, size_t length);
// Draws at x, y (top-left of the text cell), clipped to the surface.
void TextOut(const TextContext& dc, int32_t x, int32_t y, const char* text, size_t length);
// Face names of the installed font families, once each, in fontconfig's order.
std::vector<std::string> TextFontFamilies();
