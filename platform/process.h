#pragma once
#include <string>
#include <vector>

// Starting another program without a shell. The file is a program (an executable file, or a
// name looked up in PATH) or a document, which is opened with the desktop's opener. The
// parameters are split as a command line is: blanks separate, double quotes group.
std::vector<std::string> SplitCommandLine(const std::string& parameters);
// Starts the file with the folder as its working folder ("" keeps ours); its id, or -1 when
// it could not be started (errno says why). All three are a program's names and text, of the text code page.
int ProcessStart(const std::string& file, const std::string& parameters, const std::string& folder);
// The program that opens documents and folders.
inline constexpr const char* kDocumentOpener = "xdg-open";
// The error (errno) that kept the opener from starting when the last ProcessStart failed because
// its file, a document or folder, found no opener to show it; 0 when that was not the failure.
int ProcessOpenerError();
// Blocks until the started program ends, or until a stop signal comes (the program is then
// left running, as ProcessDetach leaves it).
void ProcessWait(int pid);
// Leaves the program running; it is collected once it has ended.
void ProcessDetach(int pid);
// True while a program started here has not ended; an ended one is collected.
bool ProcessRunning(int pid);
// Starts a program with exactly these arguments (no splitting), the file found as
// ProcessStart finds a program; its id, or -1.
int ProcessStartWithArguments(const std::string& file, const std::vector<std::string>& arguments);
// The program can be started: an executable file, or a bare name found in PATH.
bool ProgramFound(const std::string& file);
