#pragma once
#include <cstdint>

#include "core/run_timing.h"

// When set, the frame steps append their names here (tests check the order).
#include <string>
#include <vector>
extern std::vector<std::string>* g_frameTrace;

// Hands the interpreter the runtime's periodic probe and message handling.
void InstallInterpreterHooks();
// Runs the loaded program until the quit message.
void RunProgram();
uint32_t ResetInterpreter();
void BeginFrame();
void EndFrame();
void WaitForStopKeysReleased();
void ResetMouseState();
void RestoreSystemParameters();
// Handles one window message as the runtime window's procedure does.
void HandleWindowMessage(const struct Message& m);
