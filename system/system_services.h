#pragma once
#include <cstdint>

// Window and system state the runtime core resets and reads.
// Leaves window mode (g_display.windowMode) and lets the system keys go.
void ResetWindowState();
// The system subsystem's state back to a new process's: no stream, search or FTP connection.
void ResetSystemState();
// End of a run: closes every stream (writing what is buffered), the search and FTP.
void StopSystemServices();
