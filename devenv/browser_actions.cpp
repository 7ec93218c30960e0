// What a confirmed browser panel does in each mode: open and save sources, the overwrite and
// save-first questions, making programs, new projects and folders, find and replace, and the
// media editors' programs.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "core/run_state.h"
#include "devenv/browser_state.h"
#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/exe_builder.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_texts.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/input.h"
#include "system/input.h"

namespace {

constexpr int kEscapeKeyCode = 0x01;

const std::string& Desc(int n) { return IdeText(IdeSection::Desc, n); }

void Status(const std::string& text) {
  g_ide.statusText = text;
  g_ide.statusColour = 0;
  g_ide.redrawStatus = true;
}

bool HostPathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A text of the failures list followed by its cause: "The source could not be saved: disk full".
std::string WithCause(int desc, const std::string& cause) {
  return cause.empty() ? Desc(desc) : Desc(desc) + ": " + cause;
}

// Why a host path that exists can never be written over (a folder, a device, a pipe); "" for a
// file.
std::string NeverReplaced(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
  return S_ISDIR(st.st_mode) ? FileErrorCause(EISDIR) : "not a regular file";
}

// What the last failed save of BrowserSaveSource said.
std::string g_saveFailure;

// A name relative to the working folder as a whole path.
std::string Absolute(const std::string& name) {
  return !name.empty() && name[0] == '/' ? name : BrowserJoin(FsCurrentFolder(), name);
}

// The open panel gives way to a question of kind 4 in mode m.
void Ask(int32_t mode) {
  BrowserClose();
  g_ide.dialogMode = mode;
  BrowserOpenDialog(4, 320, 240);
}

// A failure that must not pass unseen: the panel stays with the message, and the next click
// closes it.
void FailAndStay(const std::string& text) {
  BrowserShowMessage(text);
  g_ide.dialogMode = 23;
}

void BackToStartFolder() {
  if (!g_browser.startFolder.empty()) FsChangeFolder(g_browser.startFolder);
}

void OverwriteSource() {
  const std::string path = BrowserWritePath();
  if (BrowserReadOnlyFile(path)) {
    BrowserShowMessage(Desc(kDescFileReadOnly));
    return;
  }
  if (!BrowserSaveSource(path)) {
    FailAndStay(g_saveFailure);
    return;
  }
  BrowserClose();
  IdeSaveAsSucceeded();
}

void OverwriteProgram(int32_t mode) {
  const std::string path = BrowserWritePath();
  if (BrowserReadOnlyFile(path)) {
    BrowserShowMessage(Desc(kDescFileReadOnly));
    return;
  }
  BrowserClose();
  BrowserMakeExecutable(path, mode == 14 ? 1 : 0, g_ide.projectFolder);
}

void FindOrReplace(int32_t mode) {
  BrowserCommitEdit();
  const std::string& pattern = GetBrowserItem(1);
  const std::string replacement = GetBrowserItem(2);
  if (EditorFindReplace(pattern, mode == 22 ? &replacement : nullptr) < 0) {
    FailAndStay(Desc(kDescNotFound));
    return;
  }
  BrowserClose();
}

std::string Capitalised(std::string name) {
  if (!name.empty()) name[0] = char(std::toupper(static_cast<unsigned char>(name[0])));
  return name;
}

int32_t OtherTab() { return g_ide.loadedBuffer == 2 ? 1 : 2; }

// The other buffer's source as a host path; "" when it has none.
std::string OtherTabSource() {
  const EditorBufferRecord& other = g_ide.records[OtherTab() - 1];
  return other.used && !other.fileName.empty() ? BrowserJoin(other.projectFolder, other.fileName) : "";
}

// Whether the other buffer holds the file at the host path.
bool OtherTabHolds(const std::string& path) {
  const std::string other = OtherTabSource();
  return !other.empty() && FsSameHostFile(path, other);
}

// One file is never in both buffers: opening the other one's shows that buffer, with its changes.
void ShowOtherTab() {
  g_ide.currentBuffer = OtherTab();
  EditorSelectBuffer(g_ide.currentBuffer, true);
  IdeUpdateStatusText();
}

void NewProject() {
  BrowserState& b = g_browser;
  const std::string typed = GetBrowserItem(1);
  if (typed.empty()) {
    BrowserShowMessage(Desc(kDescNoProjectName));
    return;
  }
  const std::string real = !b.chosenReal.empty() && typed == b.chosenName ? b.chosenReal : typed;
  const int32_t result = BrowserPrepareProjectFolder(real);
  if (result == 2 || result == 9) {
    BrowserShowMessage(Desc(result == 2 ? kDescFileInWay : kDescProjectNotMade));
    return;
  }
  const std::string folder = BrowserJoin(g_ide.browserFolder, real);
  if (!FsChangeFolder(folder)) {
    BrowserShowMessage(Desc(kDescFolderFailed));
    return;
  }
  g_ide.browserFolder = FsCurrentFolder();
  g_ide.fileName.clear();
  g_ide.projectFolder.clear();
  EditorNewEmpty();
  const std::string source = BrowserJoin(g_ide.browserFolder, real + ".vka");
  if (!FsFileExists(source)) {
    if (result == 0) {
      Status(Desc(kDescNoProjectSource));
    } else if (BrowserSaveSource(FsResolve(source))) {
      Status(Desc(kDescProjectMade1) + " " + Capitalised(typed) + " " + Desc(kDescProjectMade2));
    }
  } else if (OtherTabHolds(source)) {
    g_ide.modified = 0;
    BrowserClose();
    ShowOtherTab();
    return;
  } else {
    Status(Desc(BrowserLoadSource(FsResolve(source)) ? kDescProjectOpened : kDescNotLoaded));
  }
  g_ide.modified = 0;
  BrowserClose();
}

// The sources open in the two buffers, as host paths.
std::vector<std::string> OpenSources() {
  std::vector<std::string> out;
  if (!g_ide.fileName.empty()) out.push_back(BrowserJoin(g_ide.projectFolder, g_ide.fileName));
  if (const std::string other = OtherTabSource(); !other.empty()) out.push_back(other);
  return out;
}

// The run's --grab, --transcript or --input option whose file is at the host path; "" when none
// is (standard output is no file).
std::string RunFileAt(const std::string& path) {
  const RunOptions& o = g_runtime.options;
  for (const auto& [option, file] : {std::pair{"--grab", &o.grabFile}, std::pair{"--transcript", &o.transcriptFile},
                                     std::pair{"--input", &o.inputGiven}})
    if (!file->empty() && *file != "-" && FsSameHostFile(path, *file)) return option;
  return "";
}

// Why a source or a game may not be written at the host path: it is a file of the run's own,
// which the run reads or writes over; "" when it may.
std::string RunWritesThere(const std::string& path) {
  const std::string option = RunFileAt(path);
  return option.empty() ? "" : "it is the run's " + option + " file";
}

// Why a source or a game is never written at the host path; "" when it may be.
std::string NeverWritten(const std::string& path) {
  const std::string why = NeverReplaced(path);
  return why.empty() ? RunWritesThere(path) : why;
}

// The build of the live buffer into a game at a host path: the open sources are its inputs and
// its text goes into the temporary source the compile reads. False, with the cause, when that
// cannot be written.
bool PrepareBuild(ExeBuild& build, const std::string& name, const std::string& projectFolder, std::string* error) {
  build.output = Absolute(name);
  build.projectFolder = projectFolder;
  build.inputs = OpenSources();
  build.source = FsTempFolderFile("_exesource.vka");
  const std::string folder = projectFolder.empty() ? FsCurrentFolder() : projectFolder;
  build.shownAs = folder + (folder.ends_with('/') ? "" : "/") + (g_ide.fileName.empty() ? "untitled.vka" : g_ide.fileName);
  std::string text;
  for (const std::string& line : g_ide.editor.lines) text += line + "\r\n";
  if (FsWriteFileAtomic(build.source, text)) return true;
  *error = FileErrorCause(errno);
  return false;
}

// Whether a game at the host path would replace a file the program is made from.
bool MadeFrom(const std::string& path, bool withMedia) {
  ExeBuild build;
  std::string error;
  PrepareBuild(build, path, g_ide.projectFolder, &error);
  build.withMedia = withMedia;
  const bool madeFrom = IdeBuildWritesInput(build);
  FsDeleteFile(build.source);
  return madeFrom;
}

// The chosen program becomes the media editor's.
void EditorProgramChosen() {
  const std::string path = BrowserChosenPath();
  struct stat st;
  if (stat(FsResolve(path).c_str(), &st) != 0) {
    BrowserShowMessage(Desc(kDescNoSuchFile));
    return;
  }
  if (!S_ISREG(st.st_mode) || (st.st_mode & 0111) == 0) {
    BrowserShowMessage(Desc(kDescNotProgram));
    return;
  }
  MediaEditor& m = g_ide.mediaEditors[g_browser.chosenEditor];
  m.path = FsResolve(path);
  m.exists = true;
  m.processId = 0;
  BrowserClose();
  BackToStartFolder();
  IdeMediaEditorsStep();
}

}  // namespace

int32_t BrowserButtonAction(int32_t button) {
  const int32_t mode = g_ide.dialogMode;
  const bool yes = button == 2;
  switch (mode) {
    case 1: if (yes) return 5; break;
    case 2: if (yes) return 6; break;
    case 3: if (yes) return 7; break;
    case 5:
    case 7:
    case 8:
    case 9:
    case 10:
    case kModeSaveBeforeExample: {
      Status(Desc(yes ? kDescSaved : kDescUnsaved));
      static const int32_t kYes[] = {3, 0, 41, 43, 45, 47}, kNo[] = {4, 0, 42, 44, 46, 48};
      if (mode == kModeSaveBeforeExample) return yes ? 49 : 50;
      const int32_t k = mode == 5 ? 0 : mode - 5;
      return yes ? kYes[k] : kNo[k];
    }
    case 11: case 12: case 13: case 14: case 21: case 22: case 51: case kModeReplaceChanged:
      if (yes) return mode;
      break;
    case 31: if (yes) return 31; break;
    case 71:
      if (button >= 2 && button <= 6) {
        g_browser.chosenEditor = button - 2;
        return 71;
      }
      break;
    case 72: return yes ? 72 : button == 1 ? 73 : 0;
    case 99: if (yes) return 2; break;
    default: break;
  }
  return button == 1 ? 1 : 0;
}

void BrowserPerformAction(int32_t action) {
  g_browser.redraw = true;
  switch (action) {
    case 1:
      if (g_browser.kind != 4) BackToStartFolder();
      BrowserClose();
      IdeDropCancelled();  // an action waiting on this panel is not carried out
      return;
    case 2:
      g_ide.exitState = 3;
      PostQuit();
      BrowserClose();
      return;
    case 3: case 41: case 43: case 45: case 47: case 49: IdeSaveFirstYes(); return;
    case 4: case 42: case 44: case 46: case 48: case 50: IdeSaveFirstNo(); return;
    case 5: BrowserApplySelection(1); return;
    case 6: BrowserApplySelection(2); return;
    case 7: OverwriteSource(); return;
    case 11: BrowserApplySelection(6); return;
    case 12: BrowserApplySelection(7); return;
    case 13: case 14: OverwriteProgram(action); return;
    case 21: case 22: FindOrReplace(action); return;
    case 31: BrowserApplySelection(31); return;
    case 51: {
      const std::string path = GetBrowserItem(1);
      BrowserClose();
      IdeDropAfterQuestions(kDropExample, 0, path);  // it replaces buffer 2: asked about first
      return;
    }
    case kModeReplaceChanged: IdeReplaceChangedYes(); return;
    case 71: {
      const int32_t chosen = g_browser.chosenEditor;
      BrowserClose();
      g_browser.chosenEditor = chosen;
      IdeShowBrowserPage72();
      return;
    }
    case 72: BrowserApplySelection(72); return;
    case 73: BrowserApplySelection(73); return;
    default: return;
  }
}

void BrowserApplySelection(int32_t mode) {
  BrowserState& b = g_browser;
  if (b.activeField > 0) BrowserCommitEdit();
  if (b.buttons[2].exists && (mode == 1 || mode == 2 || mode == 6 || mode == 7 || mode == 31 || mode == 72))
    b.buttons[2].pressed = true;
  b.redraw = true;
  const std::string name = GetBrowserItem(1);
  switch (mode) {
    case 1: {
      const std::string path = BrowserFieldIsChosen() ? BrowserChosenPath() : FsResolve(BrowserChosenPath());
      if (!IsSourceFileName(name)) {
        BrowserShowMessage(Desc(kDescNotSource));
      } else if (OtherTabHolds(Absolute(path))) {
        BrowserClose();
        ShowOtherTab();
      } else if (!BrowserLoadSource(path)) {
        BrowserShowMessage(Desc(kDescNotLoaded));
      } else {
        g_ide.modified = 0;
        BrowserClose();
        Status(Desc(kDescLoaded));
      }
      return;
    }
    case 2: {
      if (name.empty()) {
        BrowserShowMessage(Desc(kDescNoName));
        return;
      }
      std::string full = name;
      AddDefaultExtension(full, ".VKA");
      if (full != name) BrowserSetField(1, full);
      const std::string path = BrowserWritePath();
      if (const std::string why = NeverWritten(path); !why.empty()) {
        BrowserShowMessage(WithCause(kDescNotSaved, why));
        return;
      }
      if (IdeInHelpFolder(path)) {
        BrowserShowMessage(Desc(kDescHelpKept));
        return;
      }
      // A save over the source's own file is a plain save; over the other buffer's source or a
      // file the program includes it would lose that file.
      if (OtherTabHolds(path)) {
        BrowserShowMessage(Desc(kDescOtherTabHolds));
        return;
      }
      if (!FsSameHostFile(path, BrowserJoin(g_ide.projectFolder, g_ide.fileName)) && MadeFrom(path, false)) {
        BrowserShowMessage(Desc(kDescOutputIsInput));
        return;
      }
      if (HostPathExists(path)) {
        Ask(3);
        return;
      }
      if (!BrowserSaveSource(path)) return;  // the message stays over the panel
      BrowserClose();
      IdeSaveAsSucceeded();
      return;
    }
    case 3:
      if (!BrowserMakeFolder(name)) {
        BrowserShowMessage(Desc(kDescNoFolder));
        return;
      }
      for (BrowserButton& button : b.buttons) button.pressed = false;
      BrowserBuildList();
      BrowserClose();
      return;
    case 6:
    case 7: {
      if (name.empty()) {
        BrowserShowMessage(Desc(kDescNoName));
        return;
      }
      // Programs here have no extension: the name is kept as typed.
      const std::string path = BrowserWritePath();
      if (const std::string why = NeverWritten(path); !why.empty()) {
        BrowserShowMessage(WithCause(kDescNotBuilt, why));
        return;
      }
      // The sources, made yet or not, the included files and the packed ones are never written
      // over.
      if (MadeFrom(path, mode == 7)) {
        BrowserShowMessage(Desc(kDescOutputIsInput));
        return;
      }
      if (HostPathExists(path)) {
        Ask(mode + 7);
        return;
      }
      BrowserClose();
      BrowserMakeExecutable(path, mode - 6, g_ide.projectFolder);
      return;
    }
    case 31: NewProject(); return;
    case 72:
      if (name.empty()) {
        BrowserShowMessage(Desc(kDescNoSuchFile));
        return;
      }
      EditorProgramChosen();
      return;
    case 73:
      BrowserClose();
      BackToStartFolder();
      IdeMediaEditorsStep();
      return;
    default: return;
  }
}

bool BrowserSaveSource(const std::string& name) {
  const std::string path = Absolute(name);
  // Every save of a source comes here: a file the user made read-only is never written over.
  if (BrowserReadOnlyFile(path)) {
    g_saveFailure = Desc(kDescReadOnly);
    for (char& c : g_saveFailure) c = char(std::toupper(static_cast<unsigned char>(c)));
    BrowserShowMessage(g_saveFailure);
    return false;
  }
  // The help's examples stay as the help shows them.
  if (IdeInHelpFolder(path)) {
    g_saveFailure = Desc(kDescHelpKept);
    BrowserShowMessage(g_saveFailure);
    return false;
  }
  // A source opened from a file of the run's own is never saved back over it.
  if (const std::string why = RunWritesThere(path); !why.empty()) {
    g_saveFailure = WithCause(kDescNotSaved, why);
    BrowserShowMessage(g_saveFailure);
    return false;
  }
  if (!SaveEditorBuffer(path)) {
    g_saveFailure = WithCause(kDescNotSaved, FileErrorCause(errno));
    BrowserShowMessage(g_saveFailure);
    return false;
  }
  const SourceStamp written = SourceStampAt(path);
  SetCurrentFileFromPath(path);
  IdeNoteSourceOnDisk(written);
  g_ide.modified = 0;
  // The run folder lists the buffer's work file no more, at once: a kill now leaves nothing to
  // recover for it.
  IdeSyncNotedWork();
  AddRecentFile(g_ide.fileName, g_ide.projectFolder);
  IdeRebuildRecentItems();
  EditorRedrawVisible();
  return true;
}

bool BrowserLoadSource(const std::string& name) {
  const std::string path = Absolute(name);
  // Only a regular file is read: a pipe or device never blocks the editor.
  const SourceStamp read = SourceStampAt(path);
  if (!IsRegularFile(path) || !LoadSourceIntoEditor(path)) return false;
  SetCurrentFileFromPath(path);
  IdeNoteSourceOnDisk(read);
  g_ide.modified = 0;
  g_ide.savedView.valid = false;
  EditorRedrawVisible();
  g_ide.caretHidden = true;
  AddRecentFile(g_ide.fileName, g_ide.projectFolder);
  IdeRebuildRecentItems();
  return true;
}

bool BrowserReadOnlyFile(const std::string& path) { return FsHostFileReadOnly(path); }

void SetCurrentFileFromPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    g_ide.projectFolder = g_ide.browserFolder.empty() ? FsCurrentFolder() : g_ide.browserFolder;
    g_ide.fileName = path;
  } else {
    g_ide.projectFolder = slash == 0 ? "/" : path.substr(0, slash);
    g_ide.fileName = path.substr(slash + 1);
  }
  g_ide.browserFolder = g_ide.projectFolder;
  FsEnterHostFolder(g_ide.projectFolder);
  // The status line is left to the caller: a save or a load says what it did there.
  g_ide.redrawStatus = true;
}

void AddDefaultExtension(std::string& name, const std::string& ext) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ext;
}

bool BrowserMakeFolder(const std::string& name) {
  std::string candidate = name;
  for (int32_t n = 2; BrowserEntryNamed(candidate, false); ++n) {
    if (n > 64000) return false;
    candidate = name + std::to_string(n);
  }
  return FsMakeFolder(BrowserJoin(g_ide.browserFolder, candidate));
}

int32_t BrowserPrepareProjectFolder(const std::string& name) {
  if (BrowserEntryNamed(FsToProgramName(name), true)) return 0;
  const std::string path = BrowserJoin(g_ide.browserFolder, name);
  if (FsFolderExists(path)) return 0;
  if (FsPathExists(path)) return 2;
  return FsMakeFolder(path) ? 1 : 9;
}

std::string BrowserProjectsFolder() {
  const std::string inProgram = g_runtime.programFolder + "MYPROJ";
  if (FsFolderWritable(inProgram) || (FsFolderWritable(g_runtime.programFolder) && FsMakeFolders(inProgram)))
    return FsResolve(inProgram);
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  std::string base;
  if (data && *data == '/') base = data;
  else if (home && *home) base = std::string(home) + "/.local/share";
  if (base.empty()) return std::string();
  const std::string own = base + "/vellumark/MYPROJ";
  return FsMakeFolders(own) ? own : std::string();
}

bool BrowserMakeExecutable(const std::string& name, int32_t withMedia, const std::string& projectFolder) {
  const std::string here = FsCurrentFolder();
  ExeBuild build;
  std::string error;
  bool ok = PrepareBuild(build, name, projectFolder, &error);
  build.withMedia = withMedia == 1;
  build.escape = [] {
    PollInputDevices();
    return KeyDown(kEscapeKeyCode);
  };
  build.report = [](const std::string& what) { IdeShowProgressText(what); };
  ok = ok && IdeBuildExecutable(build, &error);
  Status(ok ? Desc(kDescBuilt) : WithCause(kDescNotBuilt, error));
  FsDeleteFile(build.source);
  if (!here.empty()) FsChangeFolder(here);
  return ok;
}
