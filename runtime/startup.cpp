#include "runtime/startup.h"

#include <cstdio>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/loader.h"
#include "core/pack.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/charset_setting.h"
#include "platform/codepage_tables.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/ini.h"
#include "platform/message_name.h"
#include "platform/window.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/session.h"
#include "runtime/subsystems.h"
#include "scene3d/scene.h"
#include "sound/commands/sound_services.h"
#include "system/input.h"
#include "system/system_services.h"

std::function<void()> g_afterRunHook;
std::function<void()> g_testTableHook;

namespace {

bool SettingOn(const std::string& file, const char* key) {
  return IniGetString(file, "SETTINGS", key, "0") == "1";
}

// A setting that turns the debug log on, taken only from a settings file this user can trust:
// another user's in a folder others can write turns nothing on.
bool LogSettingOn(const std::string& file, const char* key) {
  return SettingOn(file, key) && FsHostFileTrusted(FsResolve(file));
}

void ResetRenderDefaults() {
  ResetDisplayRenderDefaults();
}

}  // namespace

bool InitRuntimeSubsystems() {
  if (!StartInputDevices()) {
    // An input file given up because the process is asked to stop is no failure: the run
    // ends as a stop.
    if (!StopSignalReceived()) g_errorCode = kErrInputDevicesNotStarted;
    return false;
  }
  ChooseMusicDevices();
  InitSoundEngine();
  return true;
}

bool WindowModeAsked(const RunOptions& options) {
  return options.windowMode || SettingOn(ProgramSettingsFile(), "WINDOWMODE");
}

void SetupWorkPaths(const std::string& runningFile) {
  g_runtime.startFolder = FsCurrentFolder();
  std::string folder = FsFolderOf(runningFile);
  if (folder.empty()) folder = g_runtime.startFolder;
  if (folder.back() != '/') folder += '/';
  g_runtime.programFolder = folder;
  g_runtime.workFileTmp = FsTempFolderFile("workfile.tmp");
  g_runtime.workFileTmp2 = FsTempFolderFile("workfil2.tmp");
  g_runtime.workFileWav = FsTempFolderFile("workfile.wav");
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
  // Typed and pasted text is read in the text character set's code page; a run in the
  // environment keeps the environment's. A set not served is said once the image is loaded, only
  // where the image carries no code page of its own.
  if (!g_runtime.options.environmentMode) {
    const std::string charset = IniGetString(settings, "SETTINGS", "TEXTLANGUAGE-CHARSET", "");
    SetTextCodePage(CodePageOfCharsetSetting(charset, settings, false));
  }
  if (LogSettingOn(settings, "DEBUGMODE")) {
    StartDebugLog(log);
    g_runtime.debugMode = 1;
  }
  if (LogSettingOn(current, "TRACEMODE")) {
    StartDebugLog(log);
    g_runtime.traceMode = 1;
  }
  if (LogSettingOn(current, "RUNTIMETEST")) {
    StartDebugLog(log);
    g_runtime.runtimeTest = 1;
  }
}

bool StartDisplayAndEngines(uint32_t fullScreen, uint32_t windowMode, KeptDevice3D* kept) {
  // The card and the mode are the display's records of a run, made again each time (the reset
  // clears them); what a session keeps is the device.
  if (ChooseDisplayCard()) g_input.messageMouseButtons = 0;
  SetFullScreenFlag(fullScreen);
  if (!OpenDisplayOnCard(0, fullScreen)) {
    g_errorCode = kErrDisplayNotStarted;
    return false;
  }
  if (windowMode != 1 && !SetVideoMode(640, 480, kDefaultDepth)) {
    g_errorCode = kErrDisplayModeNotSet;
    return false;
  }
  ResetRenderDefaults();
  Device3DPtr device;
  if (kept && kept->width == 640 && kept->height == 480) device = std::move(kept->device);
  if (kept) *kept = KeptDevice3D{};
  if (!CreateSurfacesAndDevice(640, 480, 1, std::move(device))) {
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

void StopDisplayAndEngines(KeptDevice3D* kept) {
  StopSubsystems();
  ResetRenderDefaults();
  if (kept) *kept = TakeDevice3D();
  ReleaseDisplay(false);
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
  // The game's messages go by its own name.
  SetMessageName(exePath.substr(exePath.rfind('/') + 1));
  VirtualFiles reader;
  RunRequest request;
  request.runningFile = exePath;
  request.pack = &reader;
  request.toolMode = false;
  request.options.args = args;
  request.options.errorTexts = errorTexts;
  request.endsProcess = true;
  Session session;
  OpenSession(session, exePath, request.options);
  const int status = RunInSession(session, request);
  if (EndsAtOnce(request)) EndProcessNow(status);
  CloseSession(session);
  return status;
}

namespace {

// A run whose grab or transcript could not be written whole did not do what the command asked:
// an output that cannot be written.
int WithRunOutputs(int status) { return status == kExitOk && RunOutputFailed() ? kExitCompileError : status; }

}  // namespace

int RunImageFile(const std::string& imagePath, const RunOptions& options) {
  RunRequest request;
  // The image is a host path, read as it is.
  request.runningFile = options.programFile.empty() ? imagePath : options.programFile;
  if (!request.runningFile.empty() && request.runningFile[0] != '/')
    request.runningFile = FsCurrentFolder() + "/" + request.runningFile;
  request.imagePath = imagePath;
  request.options = options;
  request.endsProcess = true;
  Session session;
  OpenSession(session, request.runningFile, options);
  const int status = RunInSession(session, request);
  if (EndsAtOnce(request)) EndProcessNow(WithRunOutputs(status));
  CloseSession(session);
  return WithRunOutputs(status);
}
