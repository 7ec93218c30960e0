#pragma once
#include <cstdint>

#include "core/run_timing.h"

// When set, the frame steps append their names here (tests check the order).
#include <string>
#include <vector>
extern std::vector<std::string>* g_frameTrace;

// What the runtime window's messages tell of the window.
struct RunWindow {
  int32_t originX = 0, originY = 0;  // client area on the screen
  uint32_t width = 0, height = 0;    // client area size
  uint8_t active = 1;                // cleared while a full-screen window is deactivated
};
extern RunWindow g_runWindow;

// Hands the interpreter the runtime's periodic probe and message handling.
void InstallInterpreterHooks();
// Runs the loaded program until the quit message.
void RunProgram();
// Points the interpreter at the loaded program's first command (the rest of its state is the
// table's reset).
uint32_t ResetInterpreter();
void BeginFrame();
void EndFrame();
void WaitForStopKeysReleased();
// Handles one window message as the runtime window's procedure does.
void HandleWindowMessage(const struct Message& m);
