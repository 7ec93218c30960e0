#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What a run from source knows of the program's source: the file and line of each code word
// and the keywords (run only; empty for exec and built games). Run-time errors name the line.
struct SourceMap {
  std::vector<int32_t> lineOfWord;  // line of the compiled text each code word came from (0: none)
  struct File {
    int32_t firstLine;  // line of the compiled text where the file begins
    std::string name;
  };
  std::vector<File> files;  // ascending by first line: the source, then the included files
  struct Keyword {
    std::string name, params;
  };
  std::vector<std::pair<int32_t, Keyword>> keywords;  // by command number, ascending

  bool empty() const { return lineOfWord.empty(); }
  // Line of the compiled text of a code word (0 when unknown).
  int32_t LineOfWord(int64_t word) const;
  // The file and the line in it of a line of the compiled text; false when unknown.
  bool Locate(int32_t line, std::string* file, int32_t* lineInFile) const;
  // The keyword of a command number (nullptr when none).
  const Keyword* KeywordOf(int64_t command) const;
};

// How a run was asked for: a built game, or the tool's exec/run with its options.
struct RunOptions {
  bool headless = false;
  bool windowMode = false;   // --window: force window mode
  bool debug = false;        // --debug: debug mode as if DEBUGMODE=1
  bool standalone = false;   // --standalone: run as a built game (warnings ignored)
  bool virtualClock = false;
  int64_t frames = -1;       // end after this many frames (-1: no limit)
  std::string grabFile, transcriptFile, inputFile;
  std::string inputGiven;  // edit: the --input file itself, which each part of the session reads a copy of
  std::vector<std::string> args;  // the program's command line
  std::vector<std::string> errorTexts;  // texts for the error slots (the language file); empty: "ERROR %d"
  std::string programFile;              // the running file when not the image (run: the source)
  SourceMap source;                     // run: the compiled source's lines and keywords
  int32_t environmentMode = 0;          // the development environment's mode: 0 for a run on its own
};

// The run's settings, folders and modes, set by start-up and read by every layer (one
// instance; the runtime fills it before each run).
struct RuntimeState {
  RunOptions options;
  std::string commandLine;       // returned by the command-line command (host text)
  std::string programFile;       // path of the running file or image
  std::string programFolder;     // folder of the running file, ending in '/'
  std::string startFolder;       // current folder at start
  std::string runFolder;         // current folder once the display is up
  std::string workFileTmp, workFileTmp2, workFileWav;
  std::string externalEditor;
  uint8_t debugMode = 0, traceMode = 0, runtimeTest = 0;
  bool debugLogLost = false;     // a write of the debug log failed, and was said
  uint32_t standalone = 0;       // 1 while running as a built game
  uint8_t lastCharacter = 0;     // character of the latest key message
  int64_t framesRun = 0;
};

extern RuntimeState g_runtime;

// Files that belong beside the program ("VK.LOG", "VK.VKA"): in the program folder, or in the
// per-user settings folder where the program folder cannot be written.
std::string ProgramSideFile(const std::string& name);
// The same for a folder given ("" the current one; else ending in '/').
std::string SideFileIn(const std::string& folder, const std::string& name);
// The settings file "SETUP.INI": the program folder's, or the per-user one where the program
// folder cannot be written and holds none.
std::string ProgramSettingsFile();
// The same for a folder given ("" the current one; else ending in '/').
std::string SettingsFileIn(const std::string& folder);

// The runtime core back to a new process's state: interpreter, call stack, loaded program,
// arrays, DATA position, random generator, checklist and the pending error.
void ResetCoreState();
// What a run starts with: DATA from the first item, the random generator at 1, no arrays.
void StartCoreRun();
