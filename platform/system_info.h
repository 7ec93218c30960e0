#pragma once
#include <cstdint>

// Memory the machine has free for new work and that plus its free swap, in bytes; false when
// it cannot be read.
bool MemoryAvailable(uint64_t* physical, uint64_t* withSwap);
// Size of the desktop the main window is on; false (and nothing set) without a window.
bool DesktopSize(int32_t* width, int32_t* height);
// While on, the system's own key combinations (task switching and the like) go to the main
// window instead of the system.
void WindowGrabSystemKeys(bool on);
