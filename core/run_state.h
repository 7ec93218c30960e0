#pragma once
#include <cstdint>
#include <string>
#include <vector>

// How a run was asked for: a built game, or the tool's exec/run with its options.
struct RunOptions {
  bool headless = false;
  bool windowMode = false;   // --window: force window mode
  bool debug = false;        // --debug: debug mode as if DEBUGMODE=1
  bool standalone = false;   // --standalone: run as a built game (warnings ignored)
  bool virtualClock = false;
  int64_t frames = -1;       // end after this many frames (-1: no limit)
  std::string grabFile, transcriptFile, inputFile;
  std::vector<std::string> args;  // the program's command line
  std::vector<std::string> errorTexts;  // texts for the error slots (the language file); empty: "ERROR %d"
  std::string programFile;              // the running file when not the image (run: the source)
};

// Process-wide state of the player (one instance).
struct RuntimeState {
  RunOptions options;
  std::string commandLine;       // returned by the command-line command
  std::string programFile;       // path of the running file or image
  std::string programFolder;     // folder of the running file, ending in '/'
  std::string startFolder;       // current folder at start
  std::string runFolder;         // current folder once the display is up
  std::string workFileTmp, workFileTmp2, workFileWav;
  std::string externalEditor;
  uint8_t debugMode = 0, traceMode = 0, runtimeTest = 0;
  uint32_t standalone = 0;       // 1 while running as a built game
  uint8_t lastCharacter = 0;     // character of the latest key message
  int64_t framesRun = 0;
};

extern RuntimeState g_runtime;

// Files that belong beside the program ("VK.LOG", "VK.VKA"): in the program folder, or in the
// per-user settings folder where the program folder cannot be written.
std::string ProgramSideFile(const std::string& name);
// The settings file "SETUP.INI": the program folder's, or the per-user one where the program
// folder cannot be written and holds none.
std::string ProgramSettingsFile();

// Number of the development environment's mode: 0 while a program runs on its own.
extern int32_t g_environmentMode;

// The runtime core back to a new process's state: interpreter, call stack, loaded program,
// arrays, DATA position, random generator, checklist and the pending error.
void ResetCoreState();
// What a run starts with: DATA from the first item, the random generator at 1, no arrays.
void StartCoreRun();
