#include "runtime/session.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/loader.h"
#include "core/pack.h"
#include "core/run_state.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/charset_setting.h"
#include "platform/codepage.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/ini.h"
#include "platform/message_name.h"
#include "platform/window.h"
#include "runtime/run_loop.h"
#include "runtime/startup.h"
#include "runtime/subsystems.h"
#include "system/files.h"
#include "system/ftp_session.h"
#include "system/streams.h"

namespace {

// The program's command line rebuilt from the argument list: an argument holding a blank (or
// an empty one) is quoted, so the program can still tell where each one ends. Host text: the
// program is given it in its code page, cut then.
std::string JoinArgs(const std::vector<std::string>& args) {
  std::string s;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (k > 0) s += ' ';
    if (a.empty() || a.find_first_of(" \t") != std::string::npos) s.append(1, '"').append(a).append(1, '"');
    else s += a;
  }
  return s;
}

// The run's options, taken before anything of it starts.
void TakeRunOptions(const RunOptions& options) {
  g_runtime = RuntimeState{};
  g_runtime.options = options;
  g_runtime.commandLine = JoinArgs(options.args);
  g_runtime.standalone = options.standalone ? 1 : 0;
}

void ReportPendingError(bool toolMode) {
  if (g_errorCode <= 0 || g_runtime.runtimeTest) return;
  std::string message = FormatErrorMessage();
  AppendErrorLog(message);
  // The tool also prints it; where no box can be shown, stderr is the only place for it. The
  // message is text of the code page (names as the program spelled them), the terminal's UTF-8.
  const bool shown = ShowMessageBox(message, "Error In Program", true);
  // A run from source names the line first, as the compiler's messages do.
  // Names the code page cannot spell are said as they are on disk.
  std::string said = CodePageToUtf8(TextCodePage(), message);
  const auto& [detail, onDisk] = g_lastEngineErrorOnDisk;
  if (!detail.empty() && detail == g_lastEngineError && message.ends_with(detail))
    said = CodePageToUtf8(TextCodePage(), message.substr(0, message.size() - detail.size())) + onDisk;
  if (toolMode || !shown) std::fprintf(stderr, "%sError In Program: %s\n", ErrorSourcePrefix().c_str(), said.c_str());
}

// Load, start, run and stop of the program in the session's window.
int LoadAndRun(Session& s, const RunRequest& r, uint32_t fullScreen, uint32_t windowMode) {
  std::string image = r.imagePath, why;
  bool packOk = true;
  if (r.pack) {
    g_packReader = r.pack;
    packOk = r.pack->LoadPack(r.runningFile, &why);
  }
  // A load given up because the process is asked to stop is no failure: the run ends as a
  // closed window does.
  if (!packOk && StopSignalReceived()) return kExitOk;
  if (!packOk) {
    std::fprintf(stderr, "%s: %s: the game's pack is damaged: %s\n", MessageName(), r.runningFile.c_str(), why.c_str());
    return kExitLoadError;
  }
  if (!InitRuntimeSubsystems()) return kExitOk;
  if (r.pack) {
    image = r.pack->ExtractPackedProgram();
    // The game cannot start without its program's work copy: it says which file failed and why.
    if (image.empty() && !StopSignalReceived()) {
      const int error = errno;
      std::fprintf(stderr, "%s: cannot write %s: %s\n", MessageName(), FsTempFolderFile("_virtual.dat").c_str(),
                   FileErrorCause(error).c_str());
      return kExitLoadError;
    }
  }
  if (image.empty() || !LoadProgram(image, &why)) {
    if (StopSignalReceived()) return kExitOk;
    // The tool names the image, a built game its own file (the image is a work copy).
    std::fprintf(stderr, "%s: %s: %s\n", MessageName(), (r.toolMode ? r.imagePath : r.runningFile).c_str(),
                 why.empty() ? "cannot be loaded" : why.c_str());
    return kExitLoadError;
  }
  // The program's names and texts are in the code page its image carries; an image that
  // carries none keeps the one the settings gave.
  if (g_program.codePage) {
    SetTextCodePage(g_program.codePage);
  } else if (!g_runtime.options.environmentMode) {
    const std::string settings = ProgramSettingsFile();
    CodePageOfCharsetSetting(IniGetString(settings, "SETTINGS", "TEXTLANGUAGE-CHARSET", ""), settings);
  }
  if (StartDisplayAndEngines(fullScreen, windowMode, &s.device)) {
    if (!r.toolMode) g_runtime.standalone = 1;
    RunProgram();
    if (g_afterRunHook) g_afterRunHook();
  }
  int status = kExitOk;
  if (r.endsProcess) {
    // The process ends with the run: what the run leaves, the files the program left open too,
    // is written before the shut-down, and a stop signal then ends the process without freeing
    // the objects one by one (before the shut-down, or during it when no error is left to report).
    WriteGrabFile();
    g_runtime.options.grabFile.clear();
    TranscriptClose();
    if (CloseStreamsLeftOpen() || WritesLost()) status = kExitRunError;
    // A download in steps that has not ended leaves nothing: its temporary goes before a stop
    // can end the process.
    FtpAbortTransfer();
    if (EndsAtOnce(r)) return status;
    if (status == kExitOk && g_errorCode <= 0 && !g_unavailableCommand) EventsEndProcessOnStop(kExitOk);
  }
  g_packReader = nullptr;
  if (r.pack) r.pack->Cleanup();
  StopDisplayAndEngines(&s.device);
  return status;
}

}  // namespace

bool OpenSession(Session& s, const std::string& runningFile, const RunOptions& options) {
  s = Session{};
  s.open = true;
  ForgetLastShownFrame();
  ClearRunOutputFailure();
  EventsCatchStopSignals();
  ResetSubsystems();
  // The window's mode comes from the settings beside the running file.
  TakeRunOptions(options);
  SetupWorkPaths(runningFile);
  PlatformSetHeadless(options.headless);
  s.window = CreateDisplayWindow(runningFile, WindowModeAsked(options));
  // The session's transcript takes the text of all its runs.
  TranscriptStart(options.transcriptFile, true);
  return s.window;
}

int RunInSession(Session& s, const RunRequest& r) {
  const int32_t keepCodePage = TextCodePage();
  TakeRunOptions(r.options);
  ResetSubsystems();
  g_runtime.programFile = r.runningFile;
  SetupWorkPaths(r.runningFile);
  uint32_t fullScreen = 1, windowMode = 0;
  ReadRuntimeSettings(&fullScreen, &windowMode);
  if (r.options.windowMode) {
    fullScreen = 0;
    windowMode = 1;
  }
  if (r.options.debug && !g_runtime.debugMode) {
    // As if DEBUGMODE were set: the run starts a fresh log.
    StartDebugLog(FsCurrentFolder() + "/VK.LOG");
    g_runtime.debugMode = 1;
  }
  ClockUseVirtual(r.options.virtualClock);
  for (size_t k = 0; k < r.options.errorTexts.size(); ++k)
    if (!r.options.errorTexts[k].empty()) SetErrorSlotText(int(k), r.options.errorTexts[k]);
  if (g_testTableHook) g_testTableHook();
  TranscriptStart(r.options.transcriptFile, false);
  ForgetLostWrites();
  EventsProgramRunning(true);

  int status = kExitOk;
  if (!s.window)
    g_errorCode = kErrWindowNotCreated;
  else
    status = LoadAndRun(s, r, fullScreen, windowMode);
  if (EndsAtOnce(r)) {
    ReportPendingError(r.toolMode);
    return g_errorCode > 0 || g_unavailableCommand ? kExitRunError : status;
  }
  g_packReader = nullptr;
  if (r.pack) r.pack->Cleanup();
  ShutdownRuntimeSubsystems();
  EventsEndProcessOnStop(-1);
  EventsProgramRunning(false);
  ReportPendingError(r.toolMode);
  // A file the program left open that lost bytes as the run closed it fails the run too, as a
  // write a built game went on past does.
  if (g_errorCode > 0 || g_unavailableCommand || g_fileStreams.lostAtClose || WritesLost()) status = kExitRunError;
  DeleteWorkFiles();
  FreeErrorTexts();
  FreeProgramStrings();
  ClockUseVirtual(false);
  // The environment goes on in its own code page.
  SetTextCodePage(keepCodePage);
  return status;
}

bool EndsAtOnce(const RunRequest& r) { return r.endsProcess && StopSignalReceived(); }

void EndProcessNow(int status) {
  FsRemoveTempFolder();
  std::fflush(nullptr);
  std::_Exit(status);
}

void CloseSession(Session& s) {
  if (!s.open) return;
  s.device = KeptDevice3D{};
  DestroyMainWindow();
  EventsReleaseStopSignals();
  TranscriptClose();
  ForgetLastShownFrame();
  FsRemoveTempFolder();
  s = Session{};
}
