// The environment's pictures, drawn here in its colours: the screen background, scroll track
// and thumb, buffer tabs, top buttons, scroll arrows and the progress box with its marker.
#include <algorithm>

#include "devenv/browser.h"
#include "devenv/ide_draw.h"

namespace {

// The 5-6-5 values of the environment's colours, turned into the surfaces' format.
constexpr uint16_t kBackground565 = 2145, kSelection565 = 65535;
constexpr uint32_t kLightRgb = 0x7D7AA3, kFaceRgb = 0x64618C, kDarkRgb = 0x4B4877;

uint32_t From565(const PixelFormat& f, uint16_t v) {
  static const PixelFormat k565 = FormatForDepth(16);
  return f.bits == 16 ? v : NarrowRgbToPixel(f, ExpandPixelToRgb(k565, v));
}

SurfacePtr Make(int32_t w, int32_t h) { return SurfaceCreate(w, h, g_ide.gfx.format); }

void Fill(Surface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t pixel) {
  SurfRect rect{l, t, r, b};
  SurfaceFill(s, &rect, pixel);
}

// A raised (or, pressed, sunken) box with one-pixel edges.
void Box(Surface* s, int32_t l, int32_t t, int32_t r, int32_t b, bool pressed, uint32_t fill) {
  const IdeColours& c = g_ide.gfx.colours;
  IdeBevel(s, l, t, r, b, pressed ? c.darkEdge : c.lightEdge, pressed ? c.lightEdge : c.darkEdge, fill);
}

void Arrow(Surface* s, int32_t x, int32_t y, int32_t w, bool up, uint32_t pixel) { IdeTriangle(s, x, y, w, up, pixel); }

SurfacePtr ArrowPicture(int32_t h, bool up, bool pressed) {
  const IdeColours& c = g_ide.gfx.colours;
  SurfacePtr s = Make(12, h);
  if (!s) return s;
  Box(s.get(), 0, 0, 12, h, pressed, c.face);
  Arrow(s.get(), 2 + (pressed ? 1 : 0), h / 2 - 2 + (pressed ? 1 : 0), 8, up, c.selection);
  return s;
}

}  // namespace

void IdeBevel(Surface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t hi, uint32_t lo, uint32_t fill) {
  Fill(s, l, t, r, b, fill);
  Fill(s, l, t, r, t + 1, hi);
  Fill(s, l, t, l + 1, b, hi);
  Fill(s, l, b - 1, r, b, lo);
  Fill(s, r - 1, t, r, b, lo);
}

void IdeTriangle(Surface* s, int32_t x, int32_t y, int32_t w, bool up, uint32_t pixel) {
  const int32_t rows = w / 2;
  for (int32_t i = 0; i < rows; ++i) {
    const int32_t half = up ? i : rows - 1 - i;
    Fill(s, x + rows - half - 1, y + i, x + rows + half + 1, y + i + 1, pixel);
  }
}

bool IdeCreateSurfaces(int32_t depth) {
  IdeSurfaces& g = g_ide.gfx;
  g.format = FormatForDepth(depth == 32 ? 32 : 16);
  IdeColours& c = g.colours;
  c.background = From565(g.format, kBackground565);
  c.selection = From565(g.format, kSelection565);
  c.lightEdge = PixelFromRgb(g.format, kLightRgb);
  c.face = PixelFromRgb(g.format, kFaceRgb);
  c.darkEdge = PixelFromRgb(g.format, kDarkRgb);

  g.background = Make(640, 480);
  g.screen = Make(640, 480);
  g.editor = Make(640, 480);
  g.back = Make(640, 480);
  g.track = Make(15, 402);
  g.thumb = Make(15, 402);
  g.tab = Make(16, 35);
  g.tabSelected = Make(16, 35);
  g.topButton = Make(65, 23);
  g.topButtonLit = Make(65, 23);
  g.progressBox = Make(406, 72);
  g.progressMarker = Make(22, 34);
  g.upArrow = ArrowPicture(23, true, false);
  g.upArrowPressed = ArrowPicture(23, true, true);
  g.downArrow = ArrowPicture(20, false, false);
  g.downArrowPressed = ArrowPicture(20, false, true);
  for (const SurfacePtr* p : {&g.background, &g.screen, &g.editor, &g.back, &g.track, &g.thumb, &g.tab, &g.tabSelected,
                              &g.topButton, &g.topButtonLit, &g.progressBox, &g.progressMarker, &g.upArrow,
                              &g.upArrowPressed, &g.downArrow, &g.downArrowPressed})
    if (!*p) {
      IdeReleaseSurfaces();
      return false;
    }

  // Background: the bar at the top, the text pane, the status strip.
  Surface* bg = g.background.get();
  Fill(bg, 0, 0, 640, 480, c.background);
  Box(bg, 0, 0, 640, 42, false, c.face);
  Fill(bg, 0, 460, 625, 461, c.darkEdge);
  Fill(bg, 617, 42, 625, 460, c.face);

  Box(g.track.get(), 0, 0, 15, 402, true, c.darkEdge);
  Fill(g.thumb.get(), 0, 0, 15, 402, c.face);
  Fill(g.thumb.get(), 0, 0, 1, 402, c.lightEdge);
  Fill(g.thumb.get(), 14, 0, 15, 402, c.darkEdge);
  for (int32_t y = 0; y < 402; y += 4) Fill(g.thumb.get(), 4, y, 11, y + 1, c.lightEdge);

  Box(g.tab.get(), 0, 0, 16, 35, false, c.face);
  Box(g.tabSelected.get(), 0, 0, 16, 35, true, c.lightEdge);
  Box(g.topButton.get(), 0, 0, 65, 23, false, c.face);
  Box(g.topButtonLit.get(), 0, 0, 65, 23, false, c.lightEdge);

  // Progress box: a sunken black bar (x 13..393, y 18..53 of the box). The marker is stamped
  // at each step just left of the step's position, so the steps done build a row of blocks.
  Box(g.progressBox.get(), 0, 0, 406, 72, false, c.face);
  Box(g.progressBox.get(), 12, 17, 394, 54, true, c.darkEdge);
  Fill(g.progressBox.get(), 13, 18, 393, 53, 0);
  Surface* marker = g.progressMarker.get();
  marker->hasKey = true;
  marker->key = 0;
  Fill(marker, 9, 1, 21, 33, c.lightEdge);
  Fill(marker, 10, 2, 20, 32, c.selection);

  for (Surface* s : {g.screen.get(), g.editor.get()}) SurfaceBltFast(s, 0, 0, bg, nullptr, 0);
  if (!BrowserCreatePictures()) {
    IdeReleaseSurfaces();
    return false;
  }
  return true;
}

void IdeReleaseSurfaces() {
  IdeSurfaces& g = g_ide.gfx;
  for (SurfacePtr* p : {&g.background, &g.screen, &g.editor, &g.back, &g.track, &g.thumb, &g.tab, &g.tabSelected,
                        &g.topButton, &g.topButtonLit, &g.progressBox, &g.progressMarker, &g.upArrow,
                        &g.upArrowPressed, &g.downArrow, &g.downArrowPressed})
    p->reset();
  BrowserReleasePictures();
  IdeReleaseFont();
}
