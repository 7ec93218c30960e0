#pragma once
#include <string>
#include <vector>

#include "core/run_state.h"

// Exit statuses of a run.
enum : int { kExitOk = 0, kExitRunError = 1, kExitCompileError = 2, kExitLoadError = 3 };

// A built game: runs the program packed at the end of the running file. Failures to read
// the pack or load the program end silently with status 3. This and RunImageFile end the
// process at once when a stop signal ended the run (grab and transcript written).
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

// The steps of start-up and shutdown (runtime/session.cpp puts them together).
void SetupWorkPaths(const std::string& runningFile);
void ReadRuntimeSettings(uint32_t* fullScreen, uint32_t* windowMode);
// Whether the program folder's settings or the options ask for a window rather than full screen.
bool WindowModeAsked(const RunOptions& options);
// The engines that are up before the program loads: the input devices (a bad --input file
// stops the start here, with the system error stored) and the sound engine.
bool InitRuntimeSubsystems();
struct KeptDevice3D;
// Opens the display and starts the subsystems. kept: the device of a session's last run, used
// again when it was made for the display's size (nullptr or empty: a new device).
bool StartDisplayAndEngines(uint32_t fullScreen, uint32_t windowMode, KeptDevice3D* kept);
// Stops the subsystems and releases the display; with kept set the 3D device is handed over
// there instead of being released.
void StopDisplayAndEngines(KeptDevice3D* kept);
void ShutdownRuntimeSubsystems();
void DeleteWorkFiles();
