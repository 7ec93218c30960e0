// The browser panel's pictures, drawn here in the environment's pixel format: the panel
// backgrounds (1, 3, 4, 6), the buttons (23, 24), the list icons (12 to 16), the animated
// source icon (20), the project and program pictures (33, 39), the caret (11) and the message
// box (2); and the panel's colours.
#include <algorithm>

#include "devenv/browser_state.h"
#include "devenv/ide_draw.h"

namespace {

constexpr uint32_t kFace = 0xD6D3E4, kTitleBand = 0xB9B5D0, kLight = 0xFFFFFF, kDark = 0x6E6A8C, kDeep = 0x4B4877,
                   kWell = 0xFFFFFF, kStrip = 0xECEAF4, kNote = 0xF2E6A0, kInk = 0x202028;

uint32_t Pixel(uint32_t rgb) {
  // Pure black is the colour key of the keyed pictures; drawn colours never reach it.
  return PixelFromRgb(g_ide.gfx.format, rgb == 0 ? 0x010101 : rgb);
}

void Fill(Surface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t rgb) {
  SurfRect rect{l, t, r, b};
  SurfaceFill(s, &rect, Pixel(rgb));
}

void Clear(Surface* s) {
  SurfRect all{0, 0, s->Width(), s->Height()};
  SurfaceFill(s, &all, 0);
  s->hasKey = true;
  s->key = 0;
}

// A raised (or, sunken, pressed-in) box with one-pixel edges.
void Box(Surface* s, int32_t l, int32_t t, int32_t r, int32_t b, bool sunken, uint32_t fill) {
  IdeBevel(s, l, t, r, b, Pixel(sunken ? kDark : kLight), Pixel(sunken ? kLight : kDark), Pixel(fill));
}

void Triangle(Surface* s, int32_t x, int32_t y, int32_t w, bool up, uint32_t rgb) {
  IdeTriangle(s, x, y, w, up, Pixel(rgb));
}

// A panel: raised, with a title band when it has a title.
SurfacePtr Panel(int32_t w, int32_t h, bool titled) {
  SurfacePtr s = SurfaceCreate(w, h, g_ide.gfx.format);
  if (!s) return s;
  Box(s.get(), 0, 0, w, h, false, kFace);
  Box(s.get(), 2, 2, w - 2, h - 2, true, kFace);
  if (!titled) return s;
  Fill(s.get(), 3, 3, w - 3, 22, kTitleBand);
  Fill(s.get(), 3, 22, w - 3, 23, kDark);
  return s;
}

SurfacePtr ListPanel() {
  SurfacePtr s = Panel(419, 321, true);
  if (!s) return s;
  Surface* p = s.get();
  Box(p, 14, 25, 389, 44, true, kStrip);  // the folder line
  Box(p, 14, 43, 390, 159, true, kWell);  // the list
  Box(p, 391, 28, 405, 45, false, kFace);  // scroll arrows
  Triangle(p, 394, 33, 8, true, kDeep);
  Box(p, 391, 157, 405, 171, false, kFace);
  Triangle(p, 394, 161, 8, false, kDeep);
  Fill(p, 10, 166, 409, 167, kDark);
  Fill(p, 10, 167, 409, 168, kLight);
  return s;
}

SurfacePtr Button(bool pressed) {
  SurfacePtr s = SurfaceCreate(240, 23, g_ide.gfx.format);
  if (!s) return s;
  Box(s.get(), 0, 0, 240, 23, pressed, pressed ? kTitleBand : kFace);
  if (!pressed) Fill(s.get(), 1, 21, 239, 22, kDeep);
  return s;
}

SurfacePtr Keyed(int32_t w, int32_t h) {
  SurfacePtr s = SurfaceCreate(w, h, g_ide.gfx.format);
  if (s) Clear(s.get());
  return s;
}

// The list icons, 16 by 16, by entry type: folder, other file, source, program, root.
SurfacePtr Icon(int32_t type) {
  SurfacePtr s = Keyed(16, 16);
  if (!s) return s;
  Surface* p = s.get();
  switch (type) {
    case kEntryFolder:
      Fill(p, 1, 2, 7, 5, 0x8C6E1E);
      Fill(p, 1, 4, 15, 14, 0x8C6E1E);
      Fill(p, 2, 5, 14, 13, 0xE8C84A);
      break;
    case kEntryOther:
    case kEntrySource:
      Fill(p, 3, 1, 13, 15, 0x707080);
      Fill(p, 4, 2, 12, 14, type == kEntrySource ? 0xDCE8FF : 0xF8F8F8);
      for (int32_t y = 4; y < 13; y += 3) Fill(p, 5, y, type == kEntrySource ? 11 : 9, y + 1, type == kEntrySource ? 0x2850B4 : 0x909090);
      break;
    case kEntryProgram:
      Fill(p, 1, 2, 15, 14, 0x404858);
      Fill(p, 2, 3, 14, 5, 0x30A050);
      Fill(p, 2, 5, 14, 13, 0xC8CCD8);
      Fill(p, 5, 7, 11, 11, 0x30A050);
      break;
    default:  // a root: a drive
      Fill(p, 1, 5, 15, 12, 0x505060);
      Fill(p, 2, 6, 14, 11, 0xA8A8B8);
      Fill(p, 11, 8, 13, 10, 0x40D040);
      break;
  }
  return s;
}

// The source icon's frames, 66 by 66, 9 to a row: a page whose reading line moves down it.
SurfacePtr SourceIcon() {
  SurfacePtr s = SurfaceCreate(kIconsPerRow * kIconSize, 4 * kIconSize, g_ide.gfx.format);
  if (!s) return s;
  Surface* p = s.get();
  for (int32_t k = 0; k < kIconFrames; ++k) {
    const int32_t x = (k % kIconsPerRow) * kIconSize, y = (k / kIconsPerRow) * kIconSize;
    Box(p, x, y, x + kIconSize, y + kIconSize, true, kFace);
    Box(p, x + 14, y + 7, x + 52, y + 59, false, kWell);
    for (int32_t line = 0; line < 8; ++line)
      Fill(p, x + 19, y + 13 + 6 * line, x + 19 + (line % 3 == 2 ? 18 : 28), y + 15 + 6 * line, 0x2850B4);
    if (k > 0) {
      const int32_t at = y + 10 + (k * 44) / kIconFrames;
      Fill(p, x + 16, at, x + 50, at + 4, 0xF0B030);
    }
  }
  return s;
}

// Kind 8's picture: a large folder below the name field, on a keyed ground.
SurfacePtr ProjectPicture() {
  SurfacePtr s = Keyed(150, 146);
  if (!s) return s;
  Surface* p = s.get();
  Fill(p, 14, 38, 70, 50, 0x8C6E1E);
  Fill(p, 14, 46, 142, 136, 0x8C6E1E);
  Fill(p, 17, 49, 139, 133, 0xE8C84A);
  Box(p, 40, 62, 80, 112, false, kWell);
  Box(p, 70, 72, 110, 122, false, 0xDCE8FF);
  return s;
}

// The program picture of kinds 6, 7 and 72: a small machine with a game on its screen.
SurfacePtr ProgramPicture() {
  SurfacePtr s = Keyed(140, 100);
  if (!s) return s;
  Surface* p = s.get();
  Box(p, 0, 0, 136, 96, false, 0x606878);
  Box(p, 10, 8, 126, 68, true, 0x182048);
  Triangle(p, 58, 30, 20, true, 0xF0D040);
  Fill(p, 30, 56, 106, 60, 0x30A050);
  Fill(p, 22, 76, 40, 88, 0xD04040);
  Fill(p, 96, 76, 114, 88, 0x4060D0);
  return s;
}

SurfacePtr MessageBox() {
  SurfacePtr s = SurfaceCreate(404, 50, g_ide.gfx.format);
  if (!s) return s;
  Box(s.get(), 0, 0, 404, 50, false, kDeep);
  Box(s.get(), 3, 3, 401, 47, true, kNote);
  return s;
}

SurfacePtr Caret() {
  SurfacePtr s = SurfaceCreate(2, 15, g_ide.gfx.format);
  if (s) Fill(s.get(), 0, 0, 2, 15, kInk);
  return s;
}

}  // namespace

bool BrowserCreatePictures() {
  SurfacePtr* pic = g_browser.pictures;
  pic[1] = ListPanel();
  pic[3] = Panel(222, 140, false);
  pic[4] = Panel(405, 99, false);
  pic[6] = Panel(419, 194, true);
  pic[23] = Button(false);
  pic[24] = Button(true);
  for (int32_t type = 0; type <= kEntryRoot; ++type) pic[12 + type] = Icon(type);
  pic[20] = SourceIcon();
  pic[33] = ProjectPicture();
  pic[39] = ProgramPicture();
  pic[11] = Caret();
  pic[2] = MessageBox();
  for (int32_t n : {1, 2, 3, 4, 6, 11, 12, 13, 14, 15, 16, 20, 23, 24, 33, 39})
    if (!pic[n]) {
      BrowserReleasePictures();
      return false;
    }
  return true;
}

void BrowserReleasePictures() {
  for (SurfacePtr& p : g_browser.pictures) p.reset();
}

Surface* BrowserPicture(int32_t n) {
  return n > 0 && n < kBrowserPictures ? g_browser.pictures[n].get() : nullptr;
}

void BrowserChooseColours() {
  static const PixelFormat k565 = FormatForDepth(16);
  static constexpr uint16_t kColours[6] = {0x0861, 0xF79E, 0x73D0, 0x4308, 0xDEC6, 0xFFFF};
  const PixelFormat& f = g_ide.gfx.format;
  for (int32_t i = 0; i < 6; ++i)
    g_browser.colours[i] = f.bits == 16 ? kColours[i] : NarrowRgbToPixel(f, ExpandPixelToRgb(k565, kColours[i]));
}
