#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "core/error_codes.h"

// The pending run-time error of the running program.
extern int32_t g_errorCode;   // 0 none; system codes from 10000
extern uint8_t g_errorKind;   // 0 error, 1 warning
extern int64_t g_errorWord;   // index of the code word running when it was stored (-1 none)
// While a queued operation runs: the code word of the command that queued it, which its errors
// name in place of the running one (-1 none).
extern int64_t g_queuedOpWord;

// Index of the running command's code word (-1 when no program runs).
int64_t CurrentCommandWord();

inline constexpr int kErrorSlots = 200;

// Reports an error: stores it, ends the slice and posts the quit message. Codes of the
// warning list are passed on to RunWarning.
void RunError(int32_t code);
// Reports a warning: like an error in a development run; ignored in a built game.
void RunWarning(uint32_t code);
// Whether RunWarning reports (a development run), so that what explains a warning is only
// recorded when it will be shown.
bool WarningsReported();
// The same for a command that failed on a file: the message follows the code's text with the
// file's name and the cause ("FILE: not found").
void RunFileError(int32_t code, const std::string& file, const std::string& why);
void RunFileWarning(uint32_t code, const std::string& file, const std::string& why);

// Marks a command's load of a file for its whole life: when memory runs out anywhere inside
// the load (std::bad_alloc leaving the command, whatever the loader), the load fails with its
// own error (a warning where the code is one), the file and "not enough memory to load it",
// not with the severe exception of a damaged program. Scopes nest; the innermost names the load.
inline constexpr const char* kNoMemoryToLoad = "not enough memory to load it";
class FileLoadScope {
 public:
  FileLoadScope(int32_t code, std::string file);
  ~FileLoadScope();
  FileLoadScope(const FileLoadScope&) = delete;
  FileLoadScope& operator=(const FileLoadScope&) = delete;

 private:
  int32_t code_;
  std::string file_;
  int exceptions_;
};
// For the interpreter, after an exception left a command: reports the load it ended (when a
// FileLoadScope was left by an allocation failure, outOfMemory) and forgets it. False when the
// exception left no load, or was no allocation failure.
bool ReportFailedLoad(bool outOfMemory);

// Fills the 200 text slots with "ERROR %d" and their numbers; FreeErrorTexts empties them.
void InitErrorTexts();
void FreeErrorTexts();
// Replaces the text of one slot (the language file supplies real texts).
void SetErrorSlotText(int slot, const std::string& text);
// Slot of a code (-1 when the code has none).
int ErrorSlotOf(int32_t code);
// Text of a code: its slot's text, a fixed text, or "" for a code without either.
std::string GetErrorText(int32_t code);
// "Runtime Error : text. engine text" and its variants, for the stored error.
std::string FormatErrorMessage();
// "FILE:LINE: " of the stored error in a run from source; "" when the line is not known.
std::string ErrorSourcePrefix();
// Appends the message to "VK.LOG" in the program folder (debug mode only).
void AppendErrorLog(const std::string& message);
// Writes one key of the debug log at the host path (IniWriteHostString). The first write of a
// run that fails is said on stderr with the file and its cause; the run goes on without it.
void WriteDebugLog(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value);
// A run in debug mode starts a fresh debug log at the path: the one there goes, unless it may not
// be written (read-only, or in a folder its owner made read-only), which is kept as it is and said
// as a lost write is.
void StartDebugLog(const std::string& path);
// The command line has said that the debug log at the path is not written: the run says it no
// more.
void DebugLogLostSaid(const std::string& path);
// The state dump put on the clipboard by every error when RUNTIMETEST is on.
std::string FormatProgramState(const intptr_t* commandWord);
void DumpProgramStateToClipboard(const intptr_t* commandWord);
// The numbered source listing "VK.VKA" written by the compiler in debug mode.
void WriteDebugListing(const char* source, uint32_t length);
// Last display-engine error text (empty when none); set by the display.
extern std::string g_lastEngineError;
// A detail that names files the code page cannot spell, as the program spells it and as it is
// on disk (UTF-8): while g_lastEngineError is the first, stderr says the second in its place.
extern std::pair<std::string, std::string> g_lastEngineErrorOnDisk;
