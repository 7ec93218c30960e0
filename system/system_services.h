#pragma once
#include <cstdint>

// Window and system state the runtime core resets and reads.
extern uint8_t g_windowModeFlag;  // set by the window-mode commands
void ResetWindowState();
void FtpShutdown();
