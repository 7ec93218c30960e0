#pragma once
#include <cstdint>

// Window and system state the runtime core resets and reads.
extern uint8_t g_windowModeFlag;  // set by the window-mode commands
void ResetWindowState();
// The system subsystem's state back to a new process's.
void ResetSystemState();
void FtpShutdown();
