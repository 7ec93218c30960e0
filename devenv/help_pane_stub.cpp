// Placeholder help pane until the viewer is built.
#include "devenv/help_pane.h"

void IdeShowHelpPage(const std::string&) {}
void IdeCloseHelp() {}
void IdeHelpFromRoot() {}
bool HelpPaneClick() { return false; }
bool HelpPaneKey(int32_t) { return false; }
void HelpPaneFrame() {}
bool HelpPaneCreate() { return true; }
void HelpPaneRelease() {}
