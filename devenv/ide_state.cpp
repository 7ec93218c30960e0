#include "devenv/ide_state.h"

#include "devenv/browser.h"

IdeState g_ide;

void ResetIdeState() {
  g_ide = IdeState();
  ResetBrowserState();
}
