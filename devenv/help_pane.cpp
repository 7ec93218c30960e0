// The help pane in the environment: the viewer shown over the editor, its buttons, scroll bar,
// keys and links.
#include "devenv/help_pane.h"

#include <cctype>

#include "devenv/editor.h"
#include "devenv/help_viewer.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "devenv/settings.h"
#include "platform/events.h"

namespace {

constexpr int32_t kHelpTop = 42, kPaneWidth = 616, kPaneHeight = 417, kPaneBottom = 460;
enum : int32_t { kHotClose = 11, kHotBack = 12, kHotForward = 13, kHotArrowUp = 31, kHotArrowDown = 32 };

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

// The page moved or changed: it is rendered again with the scroll bar.
void MarkPage() {
  g_ide.redrawStatus = true;
  g_ide.redrawScrollBar = true;
}

// An example program's path as the load question takes it: from the help folder when it lies
// there, else in full.
std::string ExamplePath(const std::string& target) {
  const std::string full = HelpTargetPath(target);
  const std::string help = HelpNormalisePath(g_ide.settings.helpFolder) + "/";
  return full.compare(0, help.size(), help) == 0 ? full.substr(help.size()) : full;
}

void ScrollBarClick(int32_t y) {
  const int32_t hit = IdeScrollBarHit(y, g_help.documentHeight, g_help.pageHeight, g_help.scroll);
  if (hit < 0) HelpPageUp();
  else if (hit > 0) HelpPageDown();
  MarkPage();
}

}  // namespace

void IdeShowHelpPage(const std::string& name) {
  if (!name.empty()) HelpGoToPage(name);
  IdeSurfaces& g = g_ide.gfx;
  if (g.screen && g.background) SurfaceBltFast(g.screen.get(), 0, 0, g.background.get(), nullptr, 0);
  HelpViewerShow(g.editor.get());
  g_ide.helpView = true;
  // The menus are not drawn over the pane: one left open would come back when it closes.
  g_ide.openMenu = g_ide.hotItem = 0;
  g_ide.caretHidden = true;
  g_ide.scroll.dragging = false;
  g_ide.shownHotSpot = -1;
  g_ide.redrawMenus = true;
  HelpPaneDrawPage();
  MarkPage();
}

void IdeCloseHelp() {
  HelpViewerHide();
  g_help.pointerLink.clear();
  g_ide.helpView = false;
  g_ide.scroll.dragging = false;
  IdeSurfaces& g = g_ide.gfx;
  if (g.editor && g.background) {
    SurfaceBltFast(g.editor.get(), 0, 0, g.background.get(), nullptr, 0);
    EditorRedrawVisible();
  }
  IdeUpdateStatusText();
  g_ide.shownHotSpot = -1;
  g_ide.redrawMenus = g_ide.redrawStatus = g_ide.redrawScrollBar = true;
  g_ide.editorChanged = true;
}

void IdeHelpFromRoot() { g_help.subFolder.clear(); }

bool HelpPaneClick() {
  switch (g_ide.hotSpot) {
    case kHotClose: IdeCloseHelp(); return true;
    case kHotBack:
      if (HelpBack()) MarkPage();
      return true;
    case kHotForward:
      if (HelpForward()) MarkPage();
      return true;
    default: break;
  }
  const int32_t x = g_ide.mouseX, y = g_ide.mouseY;
  if (x >= 628 && y >= 27 && y < kPaneBottom) {
    ScrollBarClick(y);
    return true;
  }
  const std::string link = g_help.pointerLink;
  if (link.empty()) return false;
  if (EndsWithNoCase(link, ".vka")) {
    IdeAskLoadExample(ExamplePath(link));
  } else {
    HelpFollowLink(link);
    g_help.pointerLink.clear();
    MarkPage();
  }
  return true;
}

bool HelpPaneKey(int32_t vk) {
  switch (vk) {
    case kVkUp: HelpLineUp(); break;
    case kVkDown: HelpLineDown(); break;
    case kVkPageUp: HelpPageUp(); break;
    case kVkPageDown: HelpPageDown(); break;
    case kVkIdeEscape:
    case kVkF11: IdeCloseHelp(); return true;
    default: return false;
  }
  MarkPage();
  return true;
}

void HelpPaneFrame() {
  if (g_ide.scroll.dragging) {
    HelpScrollBarDrag();
    return;
  }
  if (!g_ide.buttonHeld) return;
  if (g_ide.hotSpot == kHotArrowUp) {
    HelpLineUp();
    MarkPage();
  } else if (g_ide.hotSpot == kHotArrowDown) {
    HelpLineDown();
    MarkPage();
  }
}

bool HelpPaneCreate() { return HelpLoadBackground(g_ide.gfx.format); }

void HelpPaneRelease() { HelpRelease(); }

void HelpPaneDrawPage() {
  IdeSurfaces& g = g_ide.gfx;
  if (!g.editor || !g.screen) return;
  g_help.target = g.editor.get();
  HelpRender();
  const SurfRect pane{0, 0, kPaneWidth, kPaneHeight};
  SurfaceBltFast(g.screen.get(), 0, kHelpTop, g.editor.get(), &pane, 0);
}

void HelpPaneHover(int32_t x, int32_t y) {
  if (y < kHelpTop || y > kPaneBottom || x >= kPaneRight) {
    g_help.pointerLink.clear();
    return;
  }
  std::string& link = g_help.pointerLink;
  HelpLinkAt(x, y - kHelpTop, &link);
  const int key = link.empty()                                                        ? kGeneralHelpPage
                  : EndsWithNoCase(link, ".htm") || EndsWithNoCase(link, ".html") ? kGeneralPageLink
                                                                                      : kGeneralFileLink;
  const std::string& text = IdeText(IdeSection::General, key);
  if (g_ide.statusText != text || g_ide.statusColour != 0) {
    g_ide.statusText = text;
    g_ide.statusColour = 0;
    g_ide.redrawStatus = true;
  }
}
