// Window and system commands are not built yet.
#include "system/system_services.h"

uint8_t g_windowModeFlag = 0;
void ResetWindowState() { g_windowModeFlag = 0; }
