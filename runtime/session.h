#pragma once
// A session: one window, and the display device in it, that programs run in one after another.
// Each run starts from the table's reset, the state a new process has, so a program runs in a
// session as it runs alone. The tool's run and exec and a built game open a session, run one
// program and close it; the development environment keeps one open across its runs.
#include <string>

#include "core/run_state.h"
#include "display/display.h"

class VirtualFiles;

struct Session {
  bool open = false;
  bool window = false;  // the window was made; a run without one ends with the system error for it
  KeptDevice3D device;  // the 3D device of the last run, with its GL context
};

// One run: the program image is the file imagePath, or the program packed in the running file
// when pack is set (a built game).
struct RunRequest {
  std::string runningFile;  // the program file: the built game, the source of run, the image of exec
  std::string imagePath;
  VirtualFiles* pack = nullptr;
  bool toolMode = true;  // the tool; false for a built game, whose failed load names its own file
  // The process ends with the run: a run stopped by a signal then writes its grab, its
  // transcript and the files the program left open, and frees nothing one by one (the caller
  // ends the process at once).
  bool endsProcess = false;
  RunOptions options;
};

// Opens the window, titled with the running file, in a window or full screen as the program
// folder's settings and the options ask; a headless session has no window of the platform's.
// False when no window can be had (the session is open all the same: close it). The session
// must be new or closed.
bool OpenSession(Session& session, const std::string& runningFile, const RunOptions& options);
// The table's reset, then load, start, run and stop of one program, the input devices and the
// sound engine started and shut down with it. The window, the device and the temporary folder
// are kept for the next run. Answers the exit status.
int RunInSession(Session& session, const RunRequest& request);
// True when the run of the request was stopped by a signal and the process ends with it: the
// caller ends the process at once (EndProcessNow) instead of closing the session.
bool EndsAtOnce(const RunRequest& request);
// Removes the temporary folder, flushes the output and ends the process with the status, with
// nothing else freed.
[[noreturn]] void EndProcessNow(int status);
// Releases the device and the window and removes the temporary folder.
void CloseSession(Session& session);
