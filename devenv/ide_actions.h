#pragma once
// The environment's commands: what the menus, the function keys, the Control shortcuts and the
// top buttons do, shared with the browser's confirm steps.
#include <cstdint>
#include <string>
#include <vector>

// The browser's dialog modes the commands open (the browser acts on them when confirmed).
enum : int32_t {
  kModeOpen = 1, kModeSaveAs = 2, kModeSaveBeforeClose = 5, kModeSaveBeforeNewProject = 7, kModeSaveBeforeOpen = 8,
  kModeSaveBeforeQuit = 9, kModeSaveBeforeRecent = 10, kModeMakeProgram = 11, kModeMakeProgramWithMedia = 12,
  kModeFind = 21, kModeReplace = 22, kModeNewProject = 31, kModeLoadExample = 51, kModeMediaEditors = 71,
  kModeEditorProgram = 72, kModeQuit = 99, kModeSaveBeforeExample = 52, kModeReplaceChanged = 53,
};
// The actions that replace, empty or leave a buffer's text. Each asks first about every changed
// buffer it would drop: the shown one, except the example (buffer 2) and leaving (both).
enum : int32_t { kDropOpen = 1, kDropRecent, kDropClose, kDropNewProject, kDropExample, kDropExit };
// Closes any open menu, sets the mode and opens the browser's panel of that kind.
void IdeOpenDialog(int32_t mode, int32_t kind);

// Fills the six menus (the file menu's recent items from the recent-file list); closes every
// menu first.
void BuildIdeMenus();
// Rebuilds the file menu's recent items (after a file became current).
void IdeRebuildRecentItems();
// Offered every left click first: opens a menu on its title, or runs the item under the
// pointer and closes the menu. True when the click was consumed.
bool IdeMenuCommand();
// A function key from a key-down message (F1..F11); false when it is not one of the shell's.
bool IdeShellFunctionKey(int32_t vk);
// Every frame: Page Up/Down and the Control shortcuts read from the keyboard state, each acting
// once per press.
void IdeShellFrameKeys();

void IdeBrowseNewProject();
void IdeMenuNewProject();
void IdeBrowseOpen();
void IdeMenuOpen();
// Recent entry k (0 = newest).
void IdeOpenRecentFile(int32_t k);
struct RecentFile;
void IdeOpenRecentEntry(const RecentFile& entry);
void IdeMenuOpenRecent(int32_t k);
void IdeNewSource();
void IdeMenuNew();
void IdeSaveSource();
// F3's save once "Replace it?" was answered yes: over a file changed on disk too.
void IdeSaveSourceOverChange();
void IdeSetExitState5();
void IdeSetExitState4();
// 0 find, 1 replace, 2 find next.
void IdeFindOrReplace(int32_t how);
void IdeAskQuit();
void IdeMenuQuit();
void IdeAskLoadExample(const std::string& path);
// The confirmed example (a path from the help folder) opens in buffer 2.
void IdeOpenFromBrowser(const std::string& path);
void IdeShowBrowserPage72();

// The buffers (1, 2) with unsaved changes the action would drop, the shown one first.
std::vector<int32_t> IdeChangedBuffersDropped(int32_t action);
// Carries out the action once every changed buffer it drops has had its save-first question
// (recent: the entry it opens; example: the example it loads).
void IdeDropAfterQuestions(int32_t action, int32_t recent = 0, const std::string& example = "");
// The question's answers: "yes" saves the buffer asked about (an unnamed one through Save As)
// and goes on; "no" lets its changes go and goes on. A save refused or failed stops the action.
void IdeSaveFirstYes();
void IdeSaveFirstNo();
// Save As succeeded: when "yes" opened it, the action goes on. Cancelled, the action is dropped.
void IdeSaveAsSucceeded();
void IdeDropCancelled();
// "Yes" to "NAME was changed on disk since it was opened. Replace it?", asked by a save (F3, or
// "yes" to a save-first question, whose action then goes on): the source is written.
void IdeReplaceChangedYes();
// The save-first question's text: the buffer named when the action is not the shown one's alone.
std::string IdeSaveFirstQuestion();
// Back to the media-editors panel after an editor program was chosen or the choice cancelled.
void IdeMediaEditorsStep();

// Outside programs: the media browser ("Tools/VKBrowse") and the five media editors, each
// started with the project folder as its one argument.
void LaunchMediaBrowser();
void PollMediaBrowser();  // every frame
void RunMediaEditor(int32_t i);
void IdeMinimise();
