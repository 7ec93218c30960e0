#include "devenv/ide_state.h"

IdeState g_ide;

void ResetIdeState() { g_ide = IdeState(); }
