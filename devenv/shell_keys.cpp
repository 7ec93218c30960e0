// The shell's keys in the editor view: function keys from key-down messages, Page keys and
// Control shortcuts from the keyboard state read each frame.
#include "devenv/browser.h"
#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/help_pane.h"
#include "devenv/ide_actions.h"

namespace {

enum : int32_t { kVkF2 = 113, kVkF3, kVkF4, kVkF5, kVkF6, kVkF7, kVkF8 };

// Keys that act once per press share one latch, released when none of them is down.
bool OncePerPress(bool held) {
  if (!held || g_ide.onceKeyLatched) return false;
  g_ide.onceKeyLatched = true;
  return true;
}

}  // namespace

bool IdeShellFunctionKey(int32_t vk) {
  // The help pane and an open panel have keys of their own.
  if (g_ide.helpView || BrowserIsOpen()) return false;
  switch (vk) {
    case kVkF1: IdeContextHelp(); break;
    case kVkF2: IdeMenuOpen(); break;
    case kVkF3: IdeSaveSource(); break;
    case kVkF4: IdeSetExitState5(); break;
    case kVkF5: IdeSetExitState4(); break;
    case kVkF6: IdeOpenDialog(kModeMakeProgram, 6); break;
    case kVkF7: IdeOpenDialog(kModeMakeProgramWithMedia, 7); break;
    case kVkF8: IdeMinimise(); break;
    case kVkF11: IdeShowHelpPage(std::string()); break;
    default: return false;
  }
  return true;
}

void IdeShellFrameKeys() {
  const bool pageUp = IdeKeyHeld(kVkPageUp), pageDown = IdeKeyHeld(kVkPageDown);
  const bool paste = IdeKeyHeld('V'), next = IdeKeyHeld('N'), undo = IdeKeyHeld('Z');
  if (!pageUp && !pageDown && !paste && !next && !undo) g_ide.onceKeyLatched = false;
  if (g_ide.helpView || BrowserIsOpen()) return;
  if (!IdeControlHeld()) {
    if (OncePerPress(pageUp)) EditorPageUp();
    if (OncePerPress(pageDown)) EditorPageDown();
    return;
  }
  // Cut and copy need a selection: held down, the cut happens once and then finds none.
  if (IdeKeyHeld('X') && EditorHasSelection()) IdeCut();
  if (IdeKeyHeld('C') && EditorHasSelection()) IdeCopy();
  if (OncePerPress(paste)) IdePaste();
  if (OncePerPress(next)) IdeFindOrReplace(2);
  if (OncePerPress(undo) && g_ide.undoEnabled) IdeUndo();
  if (IdeKeyHeld('F')) IdeFindOrReplace(0);
  else if (IdeKeyHeld('R')) IdeFindOrReplace(1);
}
