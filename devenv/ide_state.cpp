#include "devenv/ide_state.h"

#include "devenv/browser.h"
#include "devenv/help_viewer.h"

IdeState g_ide;

void ResetIdeState() {
  g_ide = IdeState();
  ResetBrowserState();
  ResetHelpViewer();
}
