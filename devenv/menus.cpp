// The six menus: their items, key texts and enables, opening a menu on its title and running
// the item chosen.
#include <array>

#include "devenv/browser.h"
#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/help_pane.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "platform/clipboard.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace {

enum : int32_t { kFileMenu = 1, kEditMenu, kGoToMenu, kHelpMenu, kRunMenu, kMediaMenu };
constexpr int32_t kFixedFileItems = 10, kFirstRecentItem = 11, kCloseItem = 3, kFirstEditorItem = 5;
// A recent item's text is narrower than this in the environment's font, and at most 32 characters.
constexpr int32_t kRecentTextWidth = 256;
constexpr size_t kRecentTextLength = 32;

struct HelpPageItem {
  int32_t menu, item;
  const char* page;
};
constexpr std::array<HelpPageItem, 10> kHelpPages{{
    {kHelpMenu, 2, "menu.htm"},
    {kHelpMenu, 5, "intro.htm"},
    {kHelpMenu, 6, "princpal.htm"},
    {kHelpMenu, 7, "fast/fstart.htm"},
    {kHelpMenu, 9, "main.htm"},
    {kHelpMenu, 10, "examples.htm"},
    {kHelpMenu, 11, "tutorial/tstart.htm"},
    {kHelpMenu, 12, "glossary.htm"},
    {kHelpMenu, 14, "credits.htm"},
    {kMediaMenu, 1, "media.htm"},
}};

IdeMenuItem Item(int text, const char* key = "") { return {IdeText(IdeSection::Menu, text), key, true}; }
IdeMenuItem Separator() { return {"-", "", true}; }

IdeMenu& Menu(int32_t m) { return g_ide.menus[m - 1]; }

void Enable(int32_t m, int32_t item, bool on) {
  auto& items = Menu(m).items;
  if (item >= 1 && size_t(item) <= items.size()) items[size_t(item - 1)].enabled = on;
}

std::string PlainFolder(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// A recent entry in the browser's folder shows its name; another shows its folder's last
// component before it, shortened from the front to fit the menu. Host names, drawn as text of
// the code page.
std::string RecentItemText(const RecentFile& r) {
  const std::string folder = PlainFolder(r.folder);
  if (folder == PlainFolder(GetBrowserPath())) return FsToProgramName(r.name);
  std::string text = FsToProgramName(folder.substr(folder.rfind('/') + 1) + "/" + r.name);
  while (!text.empty() && IdeTextWidth(text) >= kRecentTextWidth) text.erase(0, 1);
  if (text.size() > kRecentTextLength) text.erase(0, text.size() - kRecentTextLength);
  return text;
}

// The enables that follow the editor's state, decided when a menu opens.
void RefreshEnables() {
  Enable(kFileMenu, kCloseItem, !g_ide.fileName.empty());
  const bool selection = EditorHasSelection();
  Enable(kEditMenu, 1, g_ide.undoEnabled);
  for (int32_t item : {3, 4, 6}) Enable(kEditMenu, item, selection);
  Enable(kEditMenu, 5, !ClipboardGetText().empty());
  for (int32_t i = 0; i < kMediaEditorCount; ++i) {
    MediaEditor& e = g_ide.mediaEditors[i];
    e.exists = ProgramFound(e.path);
    Enable(kMediaMenu, kFirstEditorItem + i, e.exists);
  }
}

void RunFileItem(int32_t item) {
  const int32_t recent = item - kFirstRecentItem;
  if (item == g_ide.exitItem) IdeMenuQuit();
  else if (recent >= 0 && recent < int32_t(g_ide.recent.size())) IdeMenuOpenRecent(recent);
  else if (item == 1) IdeMenuNewProject();
  else if (item == 2) IdeMenuOpen();
  else if (item == 3) IdeMenuNew();
  else if (item == 5) IdeSaveSource();
  else if (item == 6) IdeOpenDialog(kModeSaveAs, 3);
  else if (item == 8) IdeOpenDialog(kModeMakeProgram, 6);
  else if (item == 9) IdeOpenDialog(kModeMakeProgramWithMedia, 7);
}

void RunEditItem(int32_t item) {
  switch (item) {
    case 1: IdeUndo(); break;
    case 3: IdeCut(); break;
    case 4: IdeCopy(); break;
    case 5: IdePaste(); break;
    case 6: IdeDelete(); break;
    case 8: IdeFindOrReplace(0); break;
    case 9: IdeFindOrReplace(1); break;
    default: break;
  }
}

void RunItem(int32_t m, int32_t item) {
  for (const HelpPageItem& h : kHelpPages) {
    if (h.menu != m || h.item != item) continue;
    IdeHelpFromRoot();
    IdeShowHelpPage(h.page);
    return;
  }
  switch (m) {
    case kFileMenu: RunFileItem(item); break;
    case kEditMenu: RunEditItem(item); break;
    case kGoToMenu:
      if (item == 1) EditorGoToTop();
      else if (item == 2) EditorGoToEnd();
      else if (item == 4) EditorPageDown();
      else if (item == 5) EditorPageUp();
      break;
    case kHelpMenu:
      if (item == 1) IdeContextHelp();
      else if (item == 3) IdeShowHelpPage(std::string());
      break;
    case kRunMenu:
      if (item == 1) IdeSetExitState5();
      else if (item == 2) IdeSetExitState4();
      break;
    case kMediaMenu:
      if (item == 2) IdeOpenDialog(kModeMediaEditors, 71);
      else if (item == 3) LaunchMediaBrowser();
      else if (item >= kFirstEditorItem && item < kFirstEditorItem + kMediaEditorCount)
        RunMediaEditor(item - kFirstEditorItem);
      else if (item == 11) IdeMinimise();
      break;
    default: break;
  }
}

}  // namespace

void IdeRebuildRecentItems() {
  auto& items = Menu(kFileMenu).items;
  if (items.size() < size_t(kFixedFileItems)) return;
  items.resize(size_t(kFixedFileItems));
  for (const RecentFile& r : g_ide.recent) items.push_back({RecentItemText(r), "", true});
  if (!g_ide.recent.empty()) items.push_back(Separator());
  items.push_back(Item(18));
  g_ide.exitItem = int32_t(items.size());
  Enable(kFileMenu, kCloseItem, !g_ide.fileName.empty());
}

void BuildIdeMenus() {
  g_ide.openMenu = g_ide.hotItem = 0;
  for (int32_t m = 1; m <= kMenuCount; ++m) Menu(m) = IdeMenu{IdeText(IdeSection::Menu, m), {}, false};
  Menu(kFileMenu).items = {Item(11), Item(12, "F2"), Item(13), Separator(), Item(14, "F3"), Item(15), Separator(),
                           Item(16, "F6"), Item(17, "F7"), Separator()};
  Menu(kEditMenu).items = {Item(21, "Ctrl+Z"), Separator(), Item(22, "Ctrl+X"), Item(23, "Ctrl+C"),
                           Item(24, "Ctrl+V"), Item(25),    Separator(),        Item(26, "Ctrl+F"),
                           Item(27, "Ctrl+R")};
  Menu(kGoToMenu).items = {Item(31), Item(32), Separator(), Item(33, "PgDn"), Item(34, "PgUp")};
  Menu(kHelpMenu).items = {Item(41, "F1"), Item(42), Item(43, "F11"), Separator(), Item(44), Item(45), Item(46),
                           Separator(),    Item(47), Item(48),        Item(49),    Item(50), Separator(), Item(51)};
  Menu(kRunMenu).items = {Item(61, "F4"), Item(62, "F5")};
  Menu(kMediaMenu).items = {Item(71), Item(72), Item(73), Separator()};
  for (int i = 0; i < kMediaEditorCount; ++i) Menu(kMediaMenu).items.push_back(Item(74 + i));
  Menu(kMediaMenu).items.push_back(Separator());
  Menu(kMediaMenu).items.push_back(Item(79, "F8"));
  IdeRebuildRecentItems();
  RefreshEnables();
  // A compile error or the start's text stays in the status line.
  if (g_ide.errorLine == 0 && !IdeShowsStartText()) IdeUpdateStatusText();
  g_ide.redrawMenus = g_ide.redrawStatus = true;
}

bool IdeMenuCommand() {
  if (BrowserIsOpen()) return false;
  if (g_ide.openMenu == 0) {
    // In the help view the same places are the help pane's buttons.
    if (g_ide.helpView || g_ide.hotSpot < 11 || g_ide.hotSpot > 10 + kMenuCount) return false;
    g_ide.openMenu = g_ide.hotSpot - 10;
    g_ide.hotItem = 0;
    g_ide.caretHidden = true;
    if (g_ide.openMenu == kFileMenu) IdeRebuildRecentItems();
    RefreshEnables();
    g_ide.dropDownRect = IdeDropDownRect(g_ide.openMenu);
    g_ide.redrawMenus = true;
    return false;  // the click goes on to the other controls
  }
  const int32_t m = g_ide.openMenu, item = g_ide.hotItem;
  g_ide.openMenu = g_ide.hotItem = 0;
  g_ide.redrawMenus = true;
  const auto& items = Menu(m).items;
  if (item >= 1 && size_t(item) <= items.size()) {
    const IdeMenuItem& chosen = items[size_t(item - 1)];
    if (chosen.enabled && chosen.text != "-") RunItem(m, item);
  }
  return true;
}
