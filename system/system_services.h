#pragma once
#include <cstdint>

// Window and system state the runtime core resets and reads.
extern uint8_t g_windowModeFlag;  // set by the window-mode commands
void ResetWindowState();
// The system subsystem's state back to a new process's: no stream, search or FTP connection.
void ResetSystemState();
// End of a run: closes every stream (writing what is buffered), the search and FTP.
void StopSystemServices();
