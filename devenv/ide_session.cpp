// The caller of the environment: one session (window, device and temporary folder) in which
// the editor and the programs it compiles and runs take turns. One frame counter spans them
// all, so one --input file drives the whole session.
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "core/errors.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_state.h"
#include "devenv/ide_texts.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/window.h"
#include "runtime/game_build.h"
#include "runtime/session.h"
#include "runtime/startup.h"
#include "system/input.h"

namespace {

// A work file begins with three header lines before the editor's first line.
constexpr int32_t kWorkFileHeaderLines = 3;

struct EnvironmentRun {
  RunOptions options;   // the session's, as given
  RuntimeState ide;     // the runtime state the editor runs with
  std::string script;   // the --input file's text
  int64_t frames = 0;   // frames of the session so far
  bool windowMode = false;
  bool inputLost = false;  // the rest of the --input file could not be written for a part

  // The session can go no further: its frames are used up, or its input is lost.
  bool InputOver() const { return inputLost || (options.frames >= 0 && frames > options.frames); }
};

// What a "type" line begun at frame `frame` has still to type from frame `from` on (one
// character a frame; a character is one UTF-8 sequence of the file).
std::string TypeRest(const std::string& rest, long long frame, int64_t from) {
  size_t at = rest.find("type");
  if (at == std::string::npos || rest.find_first_not_of(" \t") != at) return "";
  at += 4;
  if (at < rest.size()) ++at;
  for (long long typed = from - frame; typed > 0 && at < rest.size(); --typed) {
    ++at;
    while (at < rest.size() && (static_cast<unsigned char>(rest[at]) & 0xC0) == 0x80) ++at;
  }
  return at < rest.size() ? " type " + rest.substr(at) : "";
}

// The input file's lines from frame `from` on, renumbered from 0; the lines before it were
// delivered already, but a "type" line begun before it goes on with what it has left.
std::string ScriptFrom(const std::string& text, int64_t from) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || !std::isdigit(static_cast<unsigned char>(line[start]))) continue;
    char* rest = nullptr;
    const long long frame = std::strtoll(line.c_str() + start, &rest, 10);
    if (frame < from) {
      const std::string left = TypeRest(rest, frame, from);
      if (!left.empty()) out += "0" + left + "\n";
      continue;
    }
    out += std::to_string(frame - from) + rest + "\n";
  }
  return out;
}

// The options of the next part of the session: the input file and the frame count continue
// from where the last part ended. False, said on stderr, where the rest of the input file cannot
// be written for it (a full disk): the part would run without its input.
bool PartOptions(EnvironmentRun& env, RunOptions& o) {
  o = env.options;
  o.inputGiven = env.options.inputFile;
  if (!env.options.inputFile.empty()) {
    o.inputFile = FsTempFolderFile("session_input.txt");
    if (!FsWriteFileAtomic(o.inputFile, ScriptFrom(env.script, env.frames))) {
      std::fprintf(stderr, "vellumark: edit: the --input file %s cannot be followed: %s could not be written: %s\n",
                   env.options.inputFile.c_str(), o.inputFile.c_str(), FileErrorCause(errno).c_str());
      env.inputLost = true;
      return false;
    }
  }
  if (env.options.frames >= 0) o.frames = std::max<int64_t>(0, env.options.frames - env.frames);
  return true;
}

int32_t RunEditor(EnvironmentRun& env, const IdeCompileReport& report, const std::string& file) {
  g_runtime = env.ide;
  if (!PartOptions(env, g_runtime.options)) return kIdeExitRunning;
  g_runtime.options.environmentMode = 2;
  g_runtime.framesRun = 0;
  ClockUseVirtual(g_runtime.options.virtualClock);
  EventsReset();
  IdeDropUnsavedCopies();
  StartInputDevices();
  const int32_t state = RunIdeUntilExit(report, file, env.windowMode);
  StopInputDevices();
  env.frames += g_runtime.framesRun;
  return state;
}

std::string ProjectFolder() {
  std::string folder = g_ide.projectFolder.empty() ? FsCurrentFolder() : g_ide.projectFolder;
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The user's file the work file stands for.
std::string UserFile() {
  const std::string folder = ProjectFolder();
  return (folder == "/" ? "" : folder) + "/" + (g_ide.fileName.empty() ? "untitled.vka" : g_ide.fileName);
}

// Compiles the current buffer's work file in the project folder; messages on stderr name the
// user's file and line.
IdeCompileReport CompileWorkFile(const std::string& image, SourceMap* map) {
  CompileOutcome outcome;
  outcome.shownAs = UserFile();
  outcome.hiddenLines = kWorkFileHeaderLines;
  IdeCompileReport report;
  if (CompileFile(g_runtime.workFileTmp, image, map, ProjectFolder(), &outcome)) return report;
  report.message = outcome.message.empty() ? "compile failed" : outcome.message;
  if (outcome.errorLine > 0) report.errorLine = std::max(1, outcome.errorLine - kWorkFileHeaderLines);
  return report;
}


// Compiles the work file and runs its image in the session, as a program runs on its own.
IdeCompileReport CompileAndRun(EnvironmentRun& env, Session& session) {
  g_runtime = env.ide;
  const std::string image = FsTempFolderFile("program.img");
  RunRequest r;
  IdeCompileReport report;
  if (image.empty()) {  // the work file is in the same folder
    report.message = IdeText(IdeSection::Desc, kDescWorkFileNotWritten) + ": no temporary folder can be made";
    return report;
  }
  report = CompileWorkFile(image, &r.options.source);
  if (!report.message.empty()) return report;
  const std::string folder = ProjectFolder();
  r.runningFile = UserFile();
  r.imagePath = image;
  SourceMap map = std::move(r.options.source);
  // Errors name the user's file and the editor's line, not the work file's.
  if (!map.files.empty()) {
    map.files[0].name = r.runningFile;
    map.files[0].firstLine += kWorkFileHeaderLines;
  }
  if (!PartOptions(env, r.options)) return report;
  r.options.source = std::move(map);
  r.options.errorTexts = LanguageErrorTexts();
  r.options.programFile = r.runningFile;
  r.options.environmentMode = 1;
  const std::string keep = FsCurrentFolder();
  FsChangeFolder(folder);
  RunInSession(session, r);
  FsChangeFolder(keep);
  report = IdeRunErrorReport(r.options, r.runningFile);
  // The run's last poll, the one that met the quit message, took the input of one more frame.
  env.frames += g_runtime.framesRun + 1;
  g_runtime = env.ide;
  return report;
}

}  // namespace

IdeCompileReport IdeRunErrorReport(const RunOptions& o, const std::string& sourceFile) {
  IdeCompileReport report;
  if (g_errorCode <= 0) return report;
  InitErrorTexts();
  for (size_t k = 0; k < o.errorTexts.size(); ++k)
    if (!o.errorTexts[k].empty()) SetErrorSlotText(int(k), o.errorTexts[k]);
  report.message = FormatErrorMessage();
  FreeErrorTexts();
  // The text after the error's own (a file's name as the program spelled it, and why) keeps its
  // letters: a name in capitals is not the name on disk.
  const size_t named = std::min(g_lastEngineError.size(), report.message.size());
  report.named = report.message.substr(report.message.size() - named);
  report.message.resize(report.message.size() - named);
  std::string file;
  int32_t line = 0;
  if (o.source.Locate(o.source.LineOfWord(g_errorWord), &file, &line) && file == sourceFile) report.errorLine = line;
  return report;
}

int RunEnvironment(const std::string& file, const RunOptions& options, double version) {
  EnvironmentRun env;
  env.options = options;
  if (!options.inputFile.empty() && !FsReadHostFile(options.inputFile, env.script)) return kExitLoadError;
  Session session;
  // The environment is nothing without its window: with no display it ends, unless it was
  // asked to run headless.
  PlatformRequireDisplay(!options.headless);
  const bool opened = OpenSession(session, SelfExecutablePath(), options);
  PlatformRequireDisplay(false);
  if (!opened) {
    CloseSession(session);
    std::fprintf(stderr, "vellumark: edit: no window can be opened\n");
    return kExitLoadError;
  }
  // A hang-up or a repeated stop request is held until the unsaved changes are kept; a stderr
  // whose reader is gone never ends the process before that.
  EventsHoldEndingSignals(true);
  struct sigaction previousPipe {};
  EventsLeaveOwnWriteSignal(SIGPIPE, &previousPipe);
  env.windowMode = WindowModeAsked(options);
  env.ide = g_runtime;
  IdeStartUp(version);
  IdeNameKeptCopies(file);
  IdeCompileReport report;
  int status = kExitOk;
  for (;;) {
    const int32_t state = RunEditor(env, report, file);
    report = IdeCompileReport{};
    if (g_ide.createFailed) {
      std::fprintf(stderr, "vellumark: edit: the environment cannot open its display\n");
      status = kExitLoadError;
    }
    if (state == kIdeExitRunning || env.InputOver() || EventsEndingSignal() || EventsOutputGone()) break;
    if (state == kIdeExitCompile) {
      g_runtime = env.ide;
      report = CompileWorkFile(FsTempFolderFile("program.img"), nullptr);
    } else if (state == kIdeExitRun || state == kIdeExitTopButton) {  // F5 or the "Run" button
      report = CompileAndRun(env, session);
      if (env.InputOver() || EventsEndingSignal() || EventsOutputGone()) break;
    }
  }
  if (const int signal = EventsEndingSignal()) IdeEndBySignal(signal);
  if (g_ide.stopSignal) IdeEndBySignal(g_ide.stopSignal);
  // Frames run out, an input lost, or a transcript that cannot be written, end it as a hang-up
  // would: no one is there to answer a save-first question.
  // What no folder took stays in the run folder's work files, for the next start.
  if (env.InputOver() || EventsOutputGone()) {
    if (!IdeWriteRecoveryFiles()) FsLeaveTempFolder();
  } else {
    // The user left: the question to leave was answered.
    IdeDropAnsweredRecovery();
  }
  IdeDropUnsavedCopies();
  EventsHoldEndingSignals(false);
  sigaction(SIGPIPE, &previousPipe, nullptr);
  if (g_ide.surfacesKept) DestroyIde();
  ResetIdeState();
  CloseSession(session);
  // A grab or transcript that could not be written whole is an output that cannot be written; an
  // input lost, an input that cannot be read.
  return status == kExitOk && (RunOutputFailed() || env.inputLost) ? kExitCompileError : status;
}
