// The environment's commands behind the menus, keys and buttons: file commands through the
// browser's dialogs, leaving a run with an exit state, find and replace, the quit question and
// the example programs opened from help links.
#include <algorithm>
#include <cctype>

#include "core/run_state.h"
#include "devenv/browser.h"
#include "devenv/browser_state.h"
#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/help_pane.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "devenv/ide_shell.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"

namespace {

void SetStatus(const std::string& text) {
  g_ide.statusText = text;
  g_ide.statusColour = 0;
  g_ide.redrawStatus = true;
}

void LeaveWith(int32_t state, int desc) {
  g_ide.openMenu = g_ide.hotItem = 0;
  g_ide.redrawMenus = true;
  g_ide.exitState = state;
  SetStatus(IdeText(IdeSection::Desc, desc));
  IdeRedraw();  // the message shows while the program is compiled
  PostQuit();
}

}  // namespace

void IdeOpenDialog(int32_t mode, int32_t kind) {
  g_ide.openMenu = g_ide.hotItem = 0;
  g_ide.redrawMenus = true;
  g_ide.dialogMode = mode;
  BrowserOpenDialog(kind, 320, 240);
}

void IdeBrowseNewProject() { IdeOpenDialog(kModeNewProject, 8); }

void IdeMenuNewProject() { IdeDropAfterQuestions(kDropNewProject); }

void IdeBrowseOpen() { IdeOpenDialog(kModeOpen, 2); }

void IdeMenuOpen() { IdeDropAfterQuestions(kDropOpen); }

void IdeOpenRecentFile(int32_t k) {
  if (k >= 0 && size_t(k) < g_ide.recent.size()) IdeOpenRecentEntry(g_ide.recent[size_t(k)]);
}

void IdeOpenRecentEntry(const RecentFile& chosen) {
  const RecentFile entry = chosen;  // a copy: the load reorders the list
  FsChangeFolder(entry.folder);
  SetBrowserPath(entry.folder);
  BrowserSetChosenName(FsToProgramName(entry.name), entry.name);  // shown in the code page
  BrowserApplySelection(kModeOpen);
  IdeRebuildRecentItems();
}

void IdeMenuOpenRecent(int32_t k) {
  if (k >= 0 && size_t(k) < g_ide.recent.size()) IdeDropAfterQuestions(kDropRecent, k);
}

void IdeNewSource() {
  g_ide.fileName.clear();
  g_ide.projectFolder.clear();
  IdeRebuildRecentItems();  // the close item follows the file name
  EditorNewEmpty();
  ResetBrowserItems();
  g_ide.dialogMode = 0;
  BrowserClearList();
  IdeUpdateStatusText();
  g_ide.redrawStatus = true;
  g_ide.modified = 0;
}

void IdeMenuNew() { IdeDropAfterQuestions(kDropClose); }

namespace {

// Saves the shown source over its file; unless replace, a file changed on disk since the buffer
// read or wrote it is asked about first.
void SaveShownSource(bool replace) {
  // Without a name, or with its folder gone, the user chooses where the source goes; an example
  // of the help is never written back into the help's folder.
  const std::string back = FsCurrentFolder();
  if (g_ide.fileName.empty() || IdeSourceInHelp() || !FsEnterHostFolder(g_ide.projectFolder)) {
    if (IdeSourceInHelp()) FsChangeFolder(BrowserProjectsFolder());  // where new projects go
    IdeOpenDialog(kModeSaveAs, 3);
    return;
  }
  if (!replace && IdeSourceChangedOnDisk()) {
    FsChangeFolder(back);
    IdeOpenDialog(kModeReplaceChanged, 4);
    return;
  }
  BrowserSaveSource(g_ide.fileName);  // a read-only file is left alone, and the status line says so
  FsChangeFolder(back);
}

}  // namespace

void IdeSaveSource() { SaveShownSource(false); }

void IdeSaveSourceOverChange() { SaveShownSource(true); }

void IdeSetExitState5() { LeaveWith(kIdeExitCompile, kDescRunning); }
void IdeSetExitState4() { LeaveWith(kIdeExitRun, kDescRunningWindow); }

void IdeFindOrReplace(int32_t how) {
  if (how == 0) {
    IdeOpenDialog(kModeFind, 11);
    BrowserSetField(1, g_ide.searchText);
  } else if (how == 1) {
    IdeOpenDialog(kModeReplace, 12);
    BrowserSetField(1, g_ide.searchText);
    BrowserSetField(2, g_ide.replaceText);
  } else {
    EditorFindReplace(g_ide.searchText, nullptr);
  }
}

void IdeAskQuit() { IdeOpenDialog(kModeQuit, 4); }

// Leaving drops both buffers: each changed one is asked about before the question to leave.
void IdeMenuQuit() { IdeDropAfterQuestions(kDropExit); }

void IdeAskLoadExample(const std::string& path) {
  IdeOpenDialog(kModeLoadExample, 4);
  BrowserSetField(1, path);
}

void IdeOpenFromBrowser(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  const size_t cut = p.rfind('/');
  const std::string folder = cut == std::string::npos ? "" : p.substr(0, cut + 1);
  const std::string file = cut == std::string::npos ? p : p.substr(cut + 1);
  g_ide.currentBuffer = 2;
  EditorSelectBuffer(2, true);
  IdeUpdateStatusText();
  SetBrowserPath(g_ide.settings.helpFolder + folder);
  FsChangeFolder(g_runtime.programFolder);
  BrowserSetField(1, file);
  BrowserApplySelection(kModeOpen);
  const bool loaded = g_ide.statusText == IdeText(IdeSection::Desc, kDescLoaded);
  IdeCloseHelp();
  // The unsaved changes of it an earlier session kept (in the settings folder) are named.
  if (loaded && IdeSourceInHelp()) IdeNameKeptCopiesOfExample(BrowserJoin(g_ide.projectFolder, g_ide.fileName));
}

void IdeShowBrowserPage72() { IdeOpenDialog(kModeEditorProgram, 72); }

void IdeMediaEditorsStep() { IdeOpenDialog(kModeMediaEditors, 71); }
