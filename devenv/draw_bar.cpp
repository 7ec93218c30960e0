// The menu bar, its drop-downs, the help pane's buttons and the status line.
#include <algorithm>
#include <vector>

#include "devenv/help_viewer.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "devenv/settings.h"
#include "runtime/language_file.h"

namespace {

constexpr int32_t kTitleY = 21, kDropDownTop = 40, kMinDropDownWidth = 96;
constexpr int32_t kStatusX = 2, kStatusY = 463, kStatusRight = 617;

void Line(Surface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t pixel) {
  SurfRect rect{l, t, r, b};
  SurfaceFill(s, &rect, pixel);
}

// Items shown in a drop-down: those before the first empty text.
size_t ShownItems(const IdeMenu& menu) {
  size_t n = 0;
  while (n < menu.items.size() && !menu.items[n].text.empty()) ++n;
  return n;
}

const std::string& HelpButtonText(int32_t i) {
  static const std::string empty;
  const size_t k = size_t(91 + i);
  return k < g_language.menu.size() ? g_language.menu[k] : empty;
}

}  // namespace

void IdeDrawButtonFrame(Surface* dst, int32_t state, int32_t x, int32_t y, int32_t width) {
  const IdeColours& c = g_ide.gfx.colours;
  const uint32_t topLeft = state == 1 ? c.lightEdge : state == 2 ? c.darkEdge : c.face;
  const uint32_t bottomRight = state == 1 ? c.darkEdge : state == 2 ? c.lightEdge : c.face;
  Line(dst, x, y, x + width, y + 17, c.face);
  Line(dst, x, y, x + width, y + 1, topLeft);
  Line(dst, x, y, x + 1, y + 17, topLeft);
  Line(dst, x, y + 16, x + width, y + 17, bottomRight);
  Line(dst, x + width - 1, y, x + width, y + 17, bottomRight);
}

int32_t IdeMenuTitleWidth(int32_t m) { return IdeTextWidth(g_ide.menus[m - 1].title) + 8; }

int32_t IdeMenuLeft(int32_t m) {
  int32_t x = 8;
  for (int32_t k = 1; k < m; ++k) x += IdeMenuTitleWidth(k);
  return x;
}

void IdeDrawMenuBar() {
  if (!g_ide.redrawMenus) return;
  g_ide.redrawMenus = false;
  Surface* s = g_ide.gfx.editor.get();
  for (int32_t m = 1; m <= kMenuCount; ++m) {
    const int32_t x = IdeMenuLeft(m), w = IdeMenuTitleWidth(m);
    const int32_t state = g_ide.openMenu == m ? 2 : g_ide.menus[m - 1].lit ? 1 : 0;
    IdeDrawButtonFrame(s, state, x, kTitleY, w);
    IdeDrawTextBand(s, g_ide.menus[m - 1].title, 5, x + 3, kTitleY);
  }
  g_ide.editorChanged = true;
}

void IdeDrawHelpButtons() {
  Surface* s = g_ide.gfx.screen.get();
  int32_t x = 8;
  for (int32_t i = 0; i < 3; ++i) {
    const std::string& text = HelpButtonText(i);
    const int32_t w = IdeTextWidth(text) + 8;
    const bool enabled = i == 0 || (i == 1 ? HelpCanGoBack() : HelpCanGoForward());
    const int32_t state = !enabled ? 0 : g_ide.hotSpot == 11 + i ? 1 : 0;
    IdeDrawButtonFrame(s, state, x, kTitleY, w);
    IdeDrawTextBand(s, text, enabled ? 5 : 6, x + 3, kTitleY);
    x += w;
  }
}

SurfRect IdeDropDownRect(int32_t m) {
  const IdeMenu& menu = g_ide.menus[m - 1];
  const size_t n = ShownItems(menu);
  int32_t width = kMinDropDownWidth;
  for (size_t i = 0; i < n; ++i)
    width = std::max(width, IdeTextWidth(menu.items[i].text) + IdeTextWidth(menu.items[i].key) + 32);
  const int32_t left = IdeMenuLeft(m);
  return {left, kDropDownTop, left + width, kDropDownTop + 2 + 16 * int32_t(n) + 5};
}

void IdeDrawDropDown(Surface* dst, int32_t m) {
  const IdeColours& c = g_ide.gfx.colours;
  const IdeMenu& menu = g_ide.menus[m - 1];
  const SurfRect r = IdeDropDownRect(m);
  g_ide.dropDownRect = r;
  Line(dst, r.left, r.top, r.right, r.bottom, c.face);
  Line(dst, r.left, r.top, r.right, r.top + 1, c.lightEdge);
  Line(dst, r.left, r.top, r.left + 1, r.bottom, c.lightEdge);
  Line(dst, r.left, r.bottom - 1, r.right, r.bottom, c.darkEdge);
  Line(dst, r.right - 1, r.top, r.right, r.bottom, c.darkEdge);
  const size_t n = ShownItems(menu);
  for (size_t i = 0; i < n; ++i) {
    const IdeMenuItem& item = menu.items[i];
    const int32_t y = r.top + 2 + 16 * int32_t(i);
    if (item.text == "-") {
      Line(dst, r.left + 5, y + 7, r.right - 5, y + 8, c.darkEdge);
      Line(dst, r.left + 5, y + 8, r.right - 5, y + 9, c.lightEdge);
      continue;
    }
    const bool hot = g_ide.hotItem == int32_t(i) + 1 && item.enabled;
    const int32_t band = !item.enabled ? 6 : hot ? 2 : 5;
    IdeDrawText(dst, item.text, band, r.left + 5, y, hot ? 1 : 0, r.right - 5);
    IdeDrawTextBand(dst, item.key, band + (hot ? 1 : 0), r.right - 6 - IdeTextWidth(item.key), y);
  }
}

void IdeDrawStatusLine() {
  std::string& text = g_ide.statusText;
  // "Source saved" (or "loaded", or the start's version) holds no more once the text changes:
  // the file line comes back, with its mark.
  if (g_ide.modified && g_ide.statusColour == 0 &&
      (text == IdeText(IdeSection::Desc, kDescSaved) || text == IdeText(IdeSection::Desc, kDescLoaded) ||
       text.rfind("VELLUMARK V", 0) == 0)) {
    IdeUpdateStatusText();
    g_ide.redrawStatus = true;
  }
  if (!g_ide.redrawStatus) return;
  g_ide.redrawStatus = false;
  if (g_ide.modified && g_ide.statusColour == 256 && (text.empty() || text.back() != '*')) text += '*';
  const int32_t band = 3 + g_ide.statusColour / 256;
  Surface* s = g_ide.helpView ? g_ide.gfx.screen.get() : g_ide.gfx.editor.get();
  Line(s, kStatusX, kStatusY, kStatusRight, 479, g_ide.gfx.colours.background);
  const auto& notices = g_ide.startNotices;
  if (!notices.empty() && text == notices[g_ide.noticeShown]) {
    IdeDrawTextBand(s, IdeFitNotice(text, band), band, kStatusX, kStatusY);
    g_ide.editorChanged = true;
    return;
  }
  if (text.rfind(IdeText(IdeSection::Desc, kDescNotBuilt) + ": ", 0) == 0) {
    IdeDrawTextBand(s, IdeFitBuildFailure(text, band), band, kStatusX, kStatusY);
    g_ide.editorChanged = true;
    return;
  }
  // The end of a long text stays visible: leading characters go until the rest fits.
  size_t from = 0;
  int32_t width = IdeStatusWidth(text, band);
  while (width > kStatusTextWidth && from < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[from++]);
    width -= c >= 32 ? IdeGlyphWidth(band * 256 + c) : 0;
  }
  IdeDrawTextBand(s, text.substr(from), band, kStatusX, kStatusY);
  g_ide.editorChanged = true;
}
