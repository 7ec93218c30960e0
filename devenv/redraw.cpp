// What the pointer is over, the pictures that follow it, and the frame redraw.
#include "devenv/browser.h"
#include "devenv/help_pane.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "display/display.h"
#include "runtime/language_file.h"

namespace {

bool Inside(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return x >= left && x <= right && y >= top && y <= bottom;
}

int32_t HelpButtonWidth(int32_t i) {
  const size_t k = size_t(91 + i);
  return IdeTextWidth(k < g_language.menu.size() ? g_language.menu[k] : std::string()) + 8;
}

Surface* ViewSurface() { return g_ide.helpView ? g_ide.gfx.screen.get() : g_ide.gfx.editor.get(); }

void DrawLabels() {
  Surface* s = g_ide.gfx.screen.get();
  IdeDrawTextBand(s, "1", 2, 458, 10);
  IdeDrawTextBand(s, "2", 2, 475, 10);
  for (int i = 0; i < 2; ++i) {
    const std::string& text = IdeText(IdeSection::Title, kTitleRunButton + i);
    IdeDrawTextBand(s, text, 2, (i == 0 ? 529 : 595) - IdeTextWidth(text) / 2, 9);
  }
}

bool AnySurfaceLost() {
  const IdeSurfaces& g = g_ide.gfx;
  for (const Surface* s : {g.screen.get(), g.editor.get(), g.back.get(), g_display.primary.get(),
                           g_display.backBuffer.get()})
    if (s && s->lost) return true;
  return false;
}

}  // namespace

void IdeHitTest() {
  const int32_t x = g_ide.mouseX, y = g_ide.mouseY;
  int32_t hot = 0;
  if (g_ide.helpView) {
    int32_t left = 8;
    for (int32_t i = 0; i < 3; ++i) {
      const int32_t w = HelpButtonWidth(i);
      if (Inside(x, y, left, 21, left + w - 1, 40)) hot = 11 + i;
      left += w;
    }
    HelpPaneHover(x, y);
  } else if (!g_ide.editor.sel.dragging) {
    for (int32_t m = 1; m <= kMenuCount; ++m) {
      const int32_t left = IdeMenuLeft(m);
      if (Inside(x, y, left, 21, left + IdeMenuTitleWidth(m) - 1, 37)) hot = 10 + m;
    }
  }
  if (Inside(x, y, 495, 7, 559, 29)) hot = 22;
  if (Inside(x, y, 561, 7, 627, 29)) hot = 23;
  if (Inside(x, y, 628, 27, 640, 50)) hot = 31;
  if (Inside(x, y, 628, 460, 640, 480)) hot = 32;
  g_ide.hotSpot = hot;
  if (g_ide.openMenu > 0) {
    const SurfRect& r = g_ide.dropDownRect;
    const int32_t item = (y - r.top - 2) / 16 + 1;
    const int32_t count = int32_t(g_ide.menus[g_ide.openMenu - 1].items.size());
    g_ide.hotItem = x >= r.left && x < r.right && y >= r.top + 2 && y < r.bottom && item <= count ? item : 0;
  }
}

void IdeDrawHover() {
  if (!g_ide.helpView) {
    for (int32_t m = 1; m <= kMenuCount; ++m) {
      const bool lit = g_ide.hotSpot == 10 + m;
      if (g_ide.menus[m - 1].lit != lit) g_ide.redrawMenus = true;
      g_ide.menus[m - 1].lit = lit;
    }
  }
  if (g_ide.hotSpot == g_ide.shownHotSpot) return;
  g_ide.shownHotSpot = g_ide.hotSpot;
  IdeSurfaces& g = g_ide.gfx;
  Surface* s = ViewSurface();
  const int32_t hot = g_ide.hotSpot;
  SurfaceBltFast(s, 495, 7, (hot == 22 ? g.topButtonLit : g.topButton).get(), nullptr, 0);
  SurfaceBltFast(s, 561, 7, (hot == 23 ? g.topButtonLit : g.topButton).get(), nullptr, 0);
  SurfaceBltFast(s, 628, 27, (hot == 31 ? g.upArrowPressed : g.upArrow).get(), nullptr, 0);
  SurfaceBltFast(s, 628, 460, (hot == 32 ? g.downArrowPressed : g.downArrow).get(), nullptr, 0);
  SurfaceBltFast(s, 454, 2, (g_ide.currentBuffer == 1 ? g.tabSelected : g.tab).get(), nullptr, 0);
  SurfaceBltFast(s, 471, 2, (g_ide.currentBuffer == 2 ? g.tabSelected : g.tab).get(), nullptr, 0);
  if (!g_ide.helpView) g_ide.editorChanged = true;
}

void IdeRedraw() {
  IdeSurfaces& g = g_ide.gfx;
  if (!g.screen || !g.editor || !g.back) return;
  // A lost display draws nothing until its surfaces come back; then the run ends so the next
  // one makes every picture again.
  if (!g_ide.displayActive || AnySurfaceLost()) {
    g_ide.displayActive = false;
    if (RestoreDisplaySurfaces() != kSurfOk) return;
    for (Surface* s : {g.screen.get(), g.editor.get(), g.back.get()})
      if (SurfaceRestore(s) != kSurfOk) return;
    g_ide.displayActive = true;
    g_ide.displayRestored = true;
    return;
  }
  IdeDrawHover();
  if (g_ide.helpView) {
    IdeDrawHelpButtons();
    if (g_ide.redrawStatus) HelpPaneDrawPage();
    IdeDrawScrollBar();
    IdeDrawStatusLine();
  } else {
    IdeDrawMenuBar();
    IdeDrawScrollBar();
    IdeDrawStatusLine();
    if (g_ide.drawnOpenMenu != g_ide.openMenu) g_ide.editorChanged = true;  // a closed drop-down goes
    if (g_ide.editorChanged) SurfaceBltFast(g.screen.get(), 0, 0, g.editor.get(), nullptr, 0);
    g_ide.editorChanged = false;
    g_ide.drawnOpenMenu = g_ide.openMenu;
    if (g_ide.openMenu > 0) IdeDrawDropDown(g.screen.get(), g_ide.openMenu);
  }
  if (BrowserIsOpen()) BrowserDraw();
  DrawLabels();
  SurfaceBltFast(g.back.get(), 0, 0, g.screen.get(), nullptr, 0);
  IdePresent();
}

void IdePresent() {
  ++g_ide.gfx.presents;
  Surface* target = g_display.backBuffer.get();
  Surface* frame = g_ide.gfx.back.get();
  if (!target || !frame || target->Width() != frame->Width() || target->Height() != frame->Height() ||
      target->Depth() != frame->Depth())
    return;
  SurfaceBltFast(target, 0, 0, frame, nullptr, 0);
  IdeDrawPointerSprites();
  PresentFrame();
}
