#pragma once
// The environment's start-up and its runs: a caller starts it once, then runs it again and
// again, acting on the exit state each run returns (compile, run the program, come back).
#include <cstdint>
#include <string>

#include "core/run_state.h"

// What a run of the environment returns.
enum : int32_t {
  kIdeExitTopButton = 2,  // the first top-right button, "Run": the caller compiles and runs
  kIdeExitRunning = 3,    // under way; also returned when the environment cannot be created
  kIdeExitRun = 4,        // compile and run the program (F5)
  kIdeExitCompile = 5,    // compile only (F4); the next run keeps the surfaces and buffers
  kIdeExitDisplayLost = 10,
};

// What the last compile or run left for the environment to show: its message (shown in
// capitals), what follows it as the run named it (the file an error names and why, shown as it
// is) and the editor line (1-based) of its error, 0 when none.
struct IdeCompileReport {
  std::string message;
  std::string named;
  int32_t errorLine = 0;
};

// The error the last run ended with (the stored one), as the status line shows it, and its line
// in the editor when it is in sourceFile.
IdeCompileReport IdeRunErrorReport(const RunOptions& options, const std::string& sourceFile);

// Clears the state, reads the recent files and media editors, and takes the first-run mark;
// once started, the status line shows the version (major.minor) instead. Where this start kept
// unsaved text of ended runs, the status line says where, as stderr did, the places in turn.
bool IdeStartUp(double version);
// Once a frame: the next place of kept text after kStartNoticeFrames frames, while they show.
void IdeTurnStartNotices();
// Opens the 640 by 480 display and makes the surfaces, the font and both buffers (the file
// given goes into the current buffer the first time). False when any of them cannot be made.
bool CreateIde(const std::string& commandLineFile, bool windowMode);
void DestroyIde();
// One run: enters with the report selected, runs the frame loop until a command or the window
// ends it, writes the work files and answers the exit state.
int32_t RunIdeUntilExit(const IdeCompileReport& report, const std::string& commandLineFile, bool windowMode);
// Selects the whole error line (1-based; past the end: the last line) with the cursor at its
// end, centring it when it is off the pane.
void IdeSelectErrorLine(int32_t line);
// Handles one window message while the environment runs.
void IdeWindowMessage(const struct Message& m);

// Writes each buffer with unsaved changes to a recovery file ("<source name>.recovered" beside
// its source, else in the per-user settings folder; never over an existing file) and names it
// on stderr. After a run, the copies kept for it become those files. False when some text could
// not be kept.
bool IdeWriteRecoveryFiles();
// As control leaves the editor, before anything else: each buffer with unsaved changes is copied
// whole beside its recovery file, so that whatever ends the process (a signal the busy program
// never looks at) leaves it a recovery file. Dropped when control is back in the editor.
void IdeKeepUnsavedForRun();
void IdeDropUnsavedCopies();
// Lists the work files just written for the buffers with unsaved changes in the run folder, so
// that after a kill the next start keeps their text; IdeSyncNotedWork (every frame) takes out a
// buffer saved or given another source since.
void IdeNoteWorkFiles();
void IdeSyncNotedWork();
// A stop signal asks to close (a shutdown's TERM, then KILL): each buffer with unsaved changes
// is kept in its recovery file and named, and the environment ends by the signal once left
// (IdeState::stopSignal); an ending that follows with the text unchanged names it again rather
// than writing another. A file kept goes once its text is saved or its changes dropped
// (IdeSyncNotedWork), or the user left answering every question (IdeDropAnsweredRecovery).
void IdeKeepForStop();
void IdeDropAnsweredRecovery();
// At the start: names on stderr and in the status line each recovery file kept of the source
// the start opens (a host path; beside it or in the settings folder), or with none ("") of the
// unnamed buffer in the settings folder.
void IdeNameKeptCopies(const std::string& file);
// After an example of the help is loaded: names the recovery files kept of it (in the settings
// folder, or beside it) as the start does, the status line showing the first.
void IdeNameKeptCopiesOfExample(const std::string& path);
// Ends the process by a signal that ends it (a hang-up, a repeated stop request), the unsaved
// changes kept first and the grab and transcript written as a closing window leaves them.
[[noreturn]] void IdeEndBySignal(int signal);

// The caller: opens a session, runs the environment and carries out each exit state (compile
// the work file, run its image in-process, come back) until the environment is left. Answers
// the process's exit status. file is a host path, opened and saved as it is named ("" for none;
// a file not there yet starts an empty source of that name).
int RunEnvironment(const std::string& file, const RunOptions& options, double version);
