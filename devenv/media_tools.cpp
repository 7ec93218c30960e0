// Outside programs: the media browser and the media editors, each started with the project
// folder as its one argument while the environment minimises itself.
#include "core/run_state.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_state.h"
#include "devenv/ide_texts.h"
#include "platform/fs.h"
#include "platform/present.h"
#include "platform/process.h"

namespace {

constexpr int32_t kShowMinimised = 6, kShowNormal = 1;

std::string ProjectArgument() {
  return g_ide.projectFolder.empty() ? FsCurrentFolder() : g_ide.projectFolder;
}

// Starts a tool; on success the environment steps aside for it.
int64_t StartTool(const std::string& program) {
  const int pid = ProcessStartWithArguments(program, {ProjectArgument()});
  if (pid <= 0) return 0;
  g_ide.caretHidden = true;
  IdeMinimise();
  return pid;
}

}  // namespace

void LaunchMediaBrowser() {
  // The browser program is looked for first: without it a media folder is of no use.
  const std::string tool = g_runtime.programFolder + "Tools/VKBrowse";
  const bool haveTool = ProgramFound(tool);
  if (!haveTool || !FsFolderExists(g_runtime.programFolder + "media/")) {
    g_ide.statusText = IdeText(IdeSection::Desc, haveTool ? kDescNoMediaFolder : kDescNoMediaBrowser);
    g_ide.statusColour = 0;
    g_ide.redrawStatus = true;
    return;
  }
  // One media browser at a time: a running one is only shown again.
  if (g_ide.mediaBrowserPid > 0 && ProcessRunning(int(g_ide.mediaBrowserPid))) {
    IdeMinimise();
    return;
  }
  g_ide.mediaBrowserPid = StartTool(tool);
}

void PollMediaBrowser() {
  for (MediaEditor& e : g_ide.mediaEditors)
    if (e.processId > 0 && !ProcessRunning(int(e.processId))) e.processId = 0;
  if (g_ide.mediaBrowserPid <= 0 || ProcessRunning(int(g_ide.mediaBrowserPid))) return;
  g_ide.mediaBrowserPid = 0;
  WindowApplyShowState(kShowNormal);
}

void RunMediaEditor(int32_t i) {
  if (i < 0 || i >= kMediaEditorCount) return;
  MediaEditor& e = g_ide.mediaEditors[i];
  // An editor still running keeps its work: it is not started a second time.
  if (e.processId > 0 && ProcessRunning(int(e.processId))) {
    g_ide.caretHidden = true;
    IdeMinimise();
    return;
  }
  e.processId = ProgramFound(e.path) ? StartTool(e.path) : 0;
}

void IdeMinimise() { WindowApplyShowState(kShowMinimised); }
