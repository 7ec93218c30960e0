// The one rule for every action that replaces, empties or leaves a buffer's text: each changed
// buffer it would drop, named or not, shown or not, is asked about first ("save first?"), and
// the action is carried out once every question is answered. "Yes" saves the buffer (an unnamed
// one through Save As) and goes on; a save refused or failed stops the action, the text kept.
#include "devenv/browser.h"
#include "devenv/browser_state.h"
#include "devenv/editor.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_texts.h"
#include "devenv/settings.h"
#include "platform/fs.h"

namespace {

IdeState::PendingDrop& Pending() { return g_ide.pendingDrop; }

int32_t LiveBuffer() { return g_ide.loadedBuffer > 0 ? g_ide.loadedBuffer : g_ide.currentBuffer; }

bool Changed(int32_t n) {
  if (n == LiveBuffer()) return g_ide.modified != 0;
  const EditorBufferRecord& r = g_ide.records[n - 1];
  return r.used && r.modified != 0;
}

const std::string& FileNameOf(int32_t n) {
  return n == LiveBuffer() ? g_ide.fileName : g_ide.records[n - 1].fileName;
}

int32_t QuestionMode(int32_t action) {
  switch (action) {
    case kDropOpen: return kModeSaveBeforeOpen;
    case kDropRecent: return kModeSaveBeforeRecent;
    case kDropClose: return kModeSaveBeforeClose;
    case kDropNewProject: return kModeSaveBeforeNewProject;
    case kDropExample: return kModeSaveBeforeExample;
    default: return kModeSaveBeforeQuit;
  }
}

void CarryOut(const IdeState::PendingDrop p) {
  if (BrowserIsOpen()) BrowserClose();
  switch (p.action) {
    case kDropOpen: IdeBrowseOpen(); break;
    case kDropRecent: IdeOpenRecentEntry(p.recent); break;
    case kDropClose: IdeNewSource(); break;
    case kDropNewProject: IdeBrowseNewProject(); break;
    case kDropExample: IdeOpenFromBrowser(p.example); break;
    case kDropExit: IdeAskQuit(); break;
    default: break;
  }
}

// The action a save-first question opened without one pending stands for: the shown buffer's.
IdeState::PendingDrop& PendingOfQuestion() {
  IdeState::PendingDrop& p = Pending();
  if (p.action != 0) return p;
  for (int32_t action = kDropOpen; action <= kDropExit; ++action)
    if (QuestionMode(action) == g_ide.dialogMode) p.action = action;
  p.asked = LiveBuffer();
  return p;
}

// The next changed buffer not answered for is asked about; with none left the action goes on.
void AskNext() {
  IdeState::PendingDrop& p = Pending();
  for (const int32_t n : IdeChangedBuffersDropped(p.action)) {
    if (p.declined[n - 1]) continue;
    p.asked = n;
    IdeOpenDialog(QuestionMode(p.action), 4);
    return;
  }
  const IdeState::PendingDrop done = p;
  p = {};
  CarryOut(done);
}

// Saves the buffer asked about, shown, over its file and goes on with the action.
void SaveAskedAndGoOn() {
  BrowserSetField(1, FsToProgramName(g_ide.fileName));
  if (!BrowserSaveSource(BrowserJoin(g_ide.projectFolder, g_ide.fileName))) {
    // The panel shows why, alone: the question's buttons go, the next click closes it, and the
    // action is not carried out.
    for (BrowserButton& button : g_browser.buttons) button.exists = false;
    g_ide.dialogMode = 23;
    Pending() = {};
    return;
  }
  AskNext();
}

}  // namespace

std::vector<int32_t> IdeChangedBuffersDropped(int32_t action) {
  const int32_t live = LiveBuffer(), other = live == 1 ? 2 : 1;
  std::vector<int32_t> dropped;
  if (action == kDropExample) dropped = {2};
  else if (action == kDropExit) dropped = {live, other};
  else dropped = {live};
  std::erase_if(dropped, [](int32_t n) { return !Changed(n); });
  return dropped;
}

void IdeDropAfterQuestions(int32_t action, int32_t recent, const std::string& example) {
  Pending() = {};
  Pending().action = action;
  if (action == kDropRecent && recent >= 0 && size_t(recent) < g_ide.recent.size())
    Pending().recent = g_ide.recent[size_t(recent)];
  Pending().example = example;
  AskNext();
}

void IdeSaveFirstYes() {
  IdeState::PendingDrop& p = PendingOfQuestion();
  // The buffer asked about is the one saved: shown first when it is the other tab's.
  if (p.asked != LiveBuffer()) {
    g_ide.currentBuffer = p.asked;
    EditorSelectBuffer(p.asked, true);
    IdeUpdateStatusText();
  }
  // Without a name, or an example of the help (never written back there), through Save As.
  if (g_ide.fileName.empty() || IdeSourceInHelp()) {
    BrowserClose();
    if (IdeSourceInHelp()) FsChangeFolder(BrowserProjectsFolder());
    p.afterSaveAs = true;
    IdeOpenDialog(kModeSaveAs, 3);
    return;
  }
  // A file changed on disk since the buffer read it is asked about before it is written over.
  if (IdeSourceChangedOnDisk()) {
    BrowserClose();
    IdeOpenDialog(kModeReplaceChanged, 4);
    return;
  }
  SaveAskedAndGoOn();
}

void IdeReplaceChangedYes() {
  if (Pending().action == 0) {
    BrowserClose();
    IdeSaveSourceOverChange();
    return;
  }
  SaveAskedAndGoOn();
}

void IdeSaveFirstNo() {
  IdeState::PendingDrop& p = PendingOfQuestion();
  if (p.asked == 1 || p.asked == 2) p.declined[p.asked - 1] = true;
  AskNext();
}

void IdeSaveAsSucceeded() {
  if (!Pending().afterSaveAs) return;
  Pending().afterSaveAs = false;
  AskNext();
}

void IdeDropCancelled() { Pending() = {}; }

std::string IdeSaveFirstQuestion() {
  const IdeState::PendingDrop& p = Pending();
  const bool named = p.action == kDropExit || p.action == kDropExample || (p.asked != 0 && p.asked != LiveBuffer());
  if (!named || p.asked == 0) return IdeText(IdeSection::Desc, kDescSaveFirst);
  const std::string& file = FileNameOf(p.asked);
  const std::string name = file.empty() ? IdeText(IdeSection::Desc, kDescUntitled) : FsToProgramName(file);
  return name + " (" + IdeText(IdeSection::Desc, kDescTab) + " " + std::to_string(p.asked) + ") " +
         IdeText(IdeSection::Desc, kDescChangedSaveFirst);
}
