// The environment's start-up, and the making and freeing of its display, surfaces and buffers.
#include <cstdio>

#include "devenv/browser.h"
#include "devenv/editor.h"
#include "devenv/ide_draw.h"
#include "devenv/help_pane.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_texts.h"
#include "display/display.h"
#include "platform/fs.h"
#include "platform/unsaved_copies.h"

bool IdeStartUp(double version) {
  ResetIdeState();
  IdeLoadLanguageTables();
  LoadRecentFiles();
  g_ide.currentBuffer = 1;
  if (IdeTakeFirstRunMark()) {
    g_ide.firstRun = true;
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "VELLUMARK V%g", version);
    g_ide.statusText = text;
    g_ide.statusColour = 0;
  }
  // Host names in them, drawn as text of the code page.
  g_ide.startNotices = UnsavedTakeSweepSaid();
  for (std::string& notice : g_ide.startNotices) notice = FsToProgramName(notice);
  if (!g_ide.startNotices.empty()) {
    g_ide.statusText = g_ide.startNotices[0];
    g_ide.statusColour = 0;
  }
  return true;
}

bool IdeShowsStartText() {
  const auto& notices = g_ide.startNotices;
  return g_ide.statusText.rfind("VELLUMARK", 0) == 0 ||
         (!notices.empty() && g_ide.statusText == notices[g_ide.noticeShown]);
}

void IdeTurnStartNotices() {
  const auto& notices = g_ide.startNotices;
  if (notices.size() < 2 || g_ide.statusText != notices[g_ide.noticeShown]) return;
  if (++g_ide.noticeFrames < kStartNoticeFrames) return;
  g_ide.noticeFrames = 0;
  g_ide.noticeShown = (g_ide.noticeShown + 1) % notices.size();
  g_ide.statusText = notices[g_ide.noticeShown];
  g_ide.redrawStatus = true;
}

bool CreateIde(const std::string& commandLineFile, bool windowMode) {
  const uint32_t fullScreen = windowMode ? 0 : 1;
  ChooseDisplayCard();
  SetFullScreenFlag(fullScreen);
  if (!OpenDisplayOnCard(0, fullScreen) || (!windowMode && !SetVideoMode(640, 480, kDefaultDepth)) ||
      !CreateSurfacesAndDevice(640, 480, 0)) {
    ReleaseDisplay(true);
    return false;
  }
  if (!IdeCreateSurfaces(g_display.depth) || !IdeBuildFont() || !HelpPaneCreate()) {
    DestroyIde();
    return false;
  }
  IdeCreatePointerSprites();
  g_ide.displayActive = true;
  g_ide.shownHotSpot = -1;
  g_ide.caretHidden = true;
  // The file named on the command line is read once; later creations reload the work files.
  EditorCreateBuffers(g_ide.created ? std::string() : commandLineFile);
  g_ide.currentBuffer = g_ide.currentBuffer == 2 ? 2 : 1;
  EditorRedrawVisible();
  // The browser starts in the current source's folder, or else in the working folder.
  if (!g_ide.browserFolder.empty()) SetBrowserPath(g_ide.browserFolder);
  else if (GetBrowserPath().empty()) SetBrowserPath(FsCurrentFolder());
  BuildIdeMenus();
  g_ide.editorChanged = g_ide.redrawStatus = g_ide.redrawMenus = g_ide.redrawScrollBar = true;
  return true;
}

void DestroyIde() {
  HelpPaneRelease();
  IdeReleasePointerSprites();
  IdeReleaseFont();
  IdeReleaseSurfaces();
  // The last frame shown is the session's grab when nothing runs after it.
  ReleaseDisplay(false);
}
