#include "runtime/startup.h"

#include <cstdio>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/loader.h"
#include "core/pack.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/ini.h"
#include "platform/window.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/subsystems.h"
#include "scene3d/scene.h"
#include "sound/commands/sound_services.h"
#include "system/input.h"
#include "system/system_services.h"

std::function<void()> g_afterRunHook;
std::function<void()> g_testTableHook;

namespace {

// The program's command line rebuilt from the argument list: an argument holding a blank (or
// an empty one) is quoted, so the program can still tell where each one ends.
std::string JoinArgs(const std::vector<std::string>& args) {
  std::string s;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (k > 0) s += ' ';
    if (a.empty() || a.find_first_of(" \t") != std::string::npos) s.append(1, '"').append(a).append(1, '"');
    else s += a;
  }
  return s.substr(0, 255);
}

bool SettingOn(const std::string& file, const char* key) {
  return IniGetString(file, "SETTINGS", key, "0") == "1";
}

// The engines that are up before the program loads: the input devices (a bad --input file
// stops the start here) and the sound engine.
bool InitRuntimeSubsystems() {
  if (!StartInputDevices()) {
    g_errorCode = kErrInputDevicesNotStarted;
    return false;
  }
  ChooseMusicDevices();
  InitSoundEngine();
  return true;
}

void ResetRenderDefaults() {
  ResetDisplayRenderDefaults();
  ResetSceneRenderDefaults();
}

void ReportPendingError(bool toolMode) {
  if (g_errorCode <= 0 || g_runtime.runtimeTest) return;
  std::string message = FormatErrorMessage();
  AppendErrorLog(message);
  // The tool also prints it; where no box can be shown, stderr is the only place for it.
  const bool shown = ShowMessageBox(message, "Error In Program", true);
  // A run from source names the line first, as the compiler's messages do.
  if (toolMode || !shown)
    std::fprintf(stderr, "%sError In Program: %s\n", ErrorSourcePrefix().c_str(), message.c_str());
}

// Start-up, run and shutdown of one program. The image is either read from the pack of the
// running file (reader set) or from imagePath.
int RunSession(const std::string& runningFile, VirtualFiles* reader, const std::string& imagePath, bool toolMode) {
  EventsCatchStopSignals();
  g_runWindow = RunWindow{};
  ResetSubsystems();
  g_runtime.programFile = runningFile;
  SetupWorkPaths(runningFile);
  uint32_t fullScreen = 1, windowMode = 0;
  ReadRuntimeSettings(&fullScreen, &windowMode);
  if (g_runtime.options.windowMode) {
    fullScreen = 0;
    windowMode = 1;
  }
  if (g_runtime.options.debug && !g_runtime.debugMode) {
    // As if DEBUGMODE were set: the run starts a fresh log.
    FsDeleteFile(FsCurrentFolder() + "/VK.LOG");
    g_runtime.debugMode = 1;
  }
  PlatformSetHeadless(g_runtime.options.headless);
  ClockUseVirtual(g_runtime.options.virtualClock);
  EventsReset();
  InitErrorTexts();
  for (size_t k = 0; k < g_runtime.options.errorTexts.size(); ++k)
    if (!g_runtime.options.errorTexts[k].empty()) SetErrorSlotText(int(k), g_runtime.options.errorTexts[k]);
  InitCommandTable();
  InstallInterpreterHooks();
  if (g_testTableHook) g_testTableHook();
  g_errorCode = 0;
  g_errorKind = 0;
  int status = kExitOk;

  if (!CreateDisplayWindow(runningFile, windowMode != 0)) {
    g_errorCode = kErrWindowNotCreated;
  } else {
    std::string image = imagePath;
    bool packOk = true;
    if (reader) {
      g_packReader = reader;
      packOk = reader->LoadPack(runningFile);
    }
    if (packOk && InitRuntimeSubsystems()) {
      if (reader) image = reader->ExtractPackedProgram();
      std::string why;
      if (!image.empty() && LoadProgram(image, &why)) {
        if (StartDisplayAndEngines(fullScreen, windowMode, false)) {
          if (!toolMode) g_runtime.standalone = 1;
          RunProgram();
          if (g_afterRunHook) g_afterRunHook();
        }
        g_packReader = nullptr;
        if (reader) reader->Cleanup();
        StopDisplayAndEngines(false);
      } else {
        // A built game ends silently; the tool says why.
        if (toolMode)
          std::fprintf(stderr, "vellumark: %s: %s\n", imagePath.c_str(), why.empty() ? "cannot be loaded" : why.c_str());
        status = kExitLoadError;
      }
    } else if (!packOk) {
      status = kExitLoadError;
    }
  }
  g_packReader = nullptr;
  if (reader) reader->Cleanup();
  ShutdownRuntimeSubsystems();
  ReportPendingError(toolMode);
  if (g_errorCode > 0 || g_unavailableCommand) status = kExitRunError;
  DestroyMainWindow();
  DeleteWorkFiles();
  FreeErrorTexts();
  FreeProgramStrings();
  ClockUseVirtual(false);
  EventsReleaseStopSignals();
  FsRemoveTempFolder();
  return status;
}

}  // namespace

void SetupWorkPaths(const std::string& runningFile) {
  g_runtime.startFolder = FsCurrentFolder();
  std::string folder = FsFolderOf(runningFile);
  if (folder.empty()) folder = g_runtime.startFolder;
  if (folder.back() != '/') folder += '/';
  g_runtime.programFolder = folder;
  const std::string& temp = FsTempFolder();
  g_runtime.workFileTmp = temp + "/workfile.tmp";
  g_runtime.workFileTmp2 = temp + "/workfil2.tmp";
  g_runtime.workFileWav = temp + "/workfile.wav";
}

void ReadRuntimeSettings(uint32_t* fullScreen, uint32_t* windowMode) {
  const std::string& program = g_runtime.programFolder;
  const std::string settings = ProgramSettingsFile();
  const std::string current = FsCurrentFolder() + "/SETUP.INI";
  const std::string log = FsCurrentFolder() + "/VK.LOG";
  if (SettingOn(settings, "WINDOWMODE")) {
    *windowMode = 1;
    *fullScreen = 0;
  }
  std::string editor = IniGetString(settings, "SETTINGS", "EXTERNALEDITOR", "");
  g_runtime.externalEditor = !editor.empty() && FsFileExists(program + editor) ? program + editor : "";
  g_runtime.debugMode = g_runtime.traceMode = g_runtime.runtimeTest = 0;
  if (SettingOn(settings, "DEBUGMODE")) {
    FsDeleteFile(log);
    g_runtime.debugMode = 1;
  }
  if (SettingOn(current, "TRACEMODE")) {
    FsDeleteFile(log);
    g_runtime.traceMode = 1;
  }
  if (SettingOn(current, "RUNTIMETEST")) {
    FsDeleteFile(log);
    g_runtime.runtimeTest = 1;
  }
}

bool StartDisplayAndEngines(uint32_t fullScreen, uint32_t windowMode, bool keepDevice) {
  if (!keepDevice) ChooseDisplayCard();
  SetFullScreenFlag(fullScreen);
  if (!keepDevice && !OpenDisplayOnCard(0, fullScreen)) {
    g_errorCode = kErrDisplayNotStarted;
    return false;
  }
  if (windowMode != 1 && !keepDevice && !SetVideoMode(640, 480, kDefaultDepth)) {
    g_errorCode = kErrDisplayModeNotSet;
    return false;
  }
  ResetRenderDefaults();
  if (!CreateSurfacesAndDevice(640, 480, 1)) {
    g_errorCode = kErrSurfacesNotCreated;
    return false;
  }
  ClearBackBuffer();
  PresentFrame();
  ClearBackBuffer();
  PresentFrame();
  if (!StartSubsystems()) return false;
  g_runtime.runFolder = FsCurrentFolder();
  return true;
}

void StopDisplayAndEngines(bool keepDevice) {
  StopSubsystems();
  ResetRenderDefaults();
  ReleaseDisplay(keepDevice);
  FreeProgramStrings();
  if (!g_runtime.runFolder.empty()) FsChangeFolder(g_runtime.runFolder);
  RestoreFullScreenWindow();
}

void ShutdownRuntimeSubsystems() {
  ReleaseDisplay(false);
  ShutdownSound();
  StopInputDevices();
}

void DeleteWorkFiles() {
  if (!g_runtime.startFolder.empty()) FsChangeFolder(g_runtime.startFolder);
  if (!g_runtime.workFileWav.empty()) FsDeleteFile(g_runtime.workFileWav);
}

int RunBuiltGame(const std::string& exePath, const std::vector<std::string>& args,
                 const std::vector<std::string>& errorTexts) {
  g_runtime = RuntimeState{};
  g_runtime.options.args = args;
  g_runtime.options.errorTexts = errorTexts;
  g_runtime.commandLine = JoinArgs(args);
  VirtualFiles reader;
  return RunSession(exePath, &reader, "", false);
}

int RunImageFile(const std::string& imagePath, const RunOptions& options) {
  g_runtime = RuntimeState{};
  g_runtime.options = options;
  g_runtime.commandLine = JoinArgs(options.args);
  g_runtime.standalone = options.standalone ? 1 : 0;
  std::string running = options.programFile.empty() ? FsResolve(imagePath) : options.programFile;
  if (!running.empty() && running[0] != '/') running = FsCurrentFolder() + "/" + running;
  return RunSession(running, nullptr, FsResolve(imagePath), true);
}
