// Placeholder commands until the menus are built.
#include "devenv/ide_actions.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_state.h"
#include "platform/events.h"

void BuildIdeMenus() {}
void IdeRebuildRecentItems() {}
bool IdeMenuCommand() { return false; }
bool IdeShellFunctionKey(int32_t vk) {
  if (vk == 116) g_ide.exitState = kIdeExitRun;
  else if (vk == 115) g_ide.exitState = kIdeExitCompile;
  else return false;
  PostQuit();
  return true;
}
void IdeShellFrameKeys() {}
void IdeBrowseNewProject() {}
void IdeMenuNewProject() {}
void IdeBrowseOpen() {}
void IdeMenuOpen() {}
void IdeOpenRecentFile(int32_t) {}
void IdeMenuOpenRecent(int32_t) {}
void IdeNewSource() {}
void IdeMenuNew() {}
void IdeSaveSource() {}
void IdeSetExitState5() {}
void IdeSetExitState4() {}
void IdeFindOrReplace(int32_t) {}
void IdeAskQuit() {}
void IdeMenuQuit() {
  g_ide.exitState = kIdeExitRunning;
  PostQuit();
}
void IdeAskLoadExample(const std::string&) {}
void IdeOpenFromBrowser(const std::string&) {}
void IdeShowBrowserPage72() {}
void IdeMediaEditorsStep() {}
void LaunchMediaBrowser() {}
void PollMediaBrowser() {}
void RunMediaEditor(int32_t) {}
void IdeMinimise() {}
