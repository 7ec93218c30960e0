#pragma once
#include <string>
#include <vector>

#include "core/run_state.h"

// Exit statuses of a run.
enum : int { kExitOk = 0, kExitRunError = 1, kExitCompileError = 2, kExitLoadError = 3 };

// A built game: runs the program packed at the end of the running file. Failures to read
// the pack or load the program end silently with status 3.
int RunBuiltGame(const std::string& exePath, const std::vector<std::string>& args,
                 const std::vector<std::string>& errorTexts = {});
// The tool's exec: runs a program image file with the given options. A damaged image ends
// with status 3 and a message on stderr.
int RunImageFile(const std::string& imagePath, const RunOptions& options);

#include <functional>

// Called when the run loop has ended, before anything is released: tests read the program's
// variables here.
extern std::function<void()> g_afterRunHook;
// Called once the command table is set up for a run (tests install test commands here).
extern std::function<void()> g_testTableHook;

// The steps of start-up and shutdown, for tests.
void SetupWorkPaths(const std::string& runningFile);
void ReadRuntimeSettings(uint32_t* fullScreen, uint32_t* windowMode);
bool StartDisplayAndEngines(uint32_t fullScreen, uint32_t windowMode, bool keepDevice);
void StopDisplayAndEngines(bool keepDevice);
void ShutdownRuntimeSubsystems();
void DeleteWorkFiles();
