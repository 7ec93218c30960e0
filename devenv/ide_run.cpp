// One run of the environment: entering with the last compile's message and error line, the
// frame loop, the routing of window messages, and leaving with an exit state.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "devenv/browser.h"
#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "devenv/help_pane.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_texts.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/input.h"
#include "platform/unsaved_copies.h"
#include "system/input.h"

namespace {

constexpr uint32_t kFrameMs = 16, kEscapeWaitMs = 5000;

void Leave(int32_t state) {
  g_ide.exitState = state;
  PostQuit();
}

}  // namespace

void IdeSelectErrorLine(int32_t line) {
  EditorBuffer& e = g_ide.editor;
  const int32_t row = std::clamp(line - 1, 0, e.LineCount() - 1);
  e.cursorRow = row;
  e.cursorCol = int32_t(e.lines[size_t(row)].size());
  e.sel = EditorSelection{};
  e.sel.startRow = e.sel.endRow = e.sel.anchorRow = row;
  e.sel.startCol = e.sel.anchorCol = 0;
  e.sel.endCol = e.cursorCol;
  if (row < e.topLine || row >= e.topLine + kVisibleRows) e.topLine = std::max(0, row - 15);
  e.caretX = EditorCaretXFromColumn(row, e.cursorCol);
  EditorSetCaretRow(row);
  EditorRedrawVisible();
}

namespace {

void SaveView() {
  const EditorBuffer& e = g_ide.editor;
  g_ide.savedView = {true, e.topLine, e.cursorRow, e.cursorCol, e.sel};
}

// The view the last run ended with, clamped to the lines there are now.
void RestoreView() {
  if (!g_ide.savedView.valid) return;
  EditorBuffer& e = g_ide.editor;
  const auto& v = g_ide.savedView;
  const int32_t last = e.LineCount() - 1;
  e.cursorRow = std::clamp(v.cursorRow, 0, last);
  e.cursorCol = std::clamp(v.cursorCol, 0, int32_t(e.lines[size_t(e.cursorRow)].size()));
  e.topLine = std::clamp(v.topLine, 0, last);
  e.sel = v.sel.endRow <= last ? v.sel : EditorSelection{};
  e.caretX = EditorCaretXFromColumn(e.cursorRow, e.cursorCol);
  EditorSetCaretRow(e.cursorRow);
  EditorRedrawVisible();
  g_ide.caretHidden = true;
}

// The keyboard as the editor reads it: by virtual-key code.
void ReadKeysHeld() {
  std::fill(std::begin(g_ide.keysHeld), std::end(g_ide.keysHeld), false);
  for (int code = 1; code < kKeyCodeCount; ++code) {
    if (!KeyDown(code)) continue;
    const int vk = VirtualKeyOfKeyCode(code);
    if (vk > 0 && vk < 256) g_ide.keysHeld[vk] = true;
  }
}

// The buffer tabs and the two top buttons, in both views.
bool TabsAndTopButtonsClick() {
  if (IdeBufferTabClick(g_ide.mouseX, g_ide.mouseY)) return true;
  if (g_ide.hotSpot == 22) {  // "Run": the caller compiles and runs
    Leave(kIdeExitTopButton);
    return true;
  }
  if (g_ide.hotSpot == 23) {  // "Exit"
    IdeMenuQuit();
    return true;
  }
  return false;
}

void LeftButtonDown() {
  g_ide.redrawStatus = true;
  g_ide.buttonHeld = true;
  IdeHitTest();
  // Over the help pane the menus are not there: its buttons, the tabs and top buttons, its
  // scroll bar and links take the click, and nothing else sees it.
  if (g_ide.helpView) {
    const bool helpButton = g_ide.hotSpot >= 11 && g_ide.hotSpot <= 13;
    if (helpButton || !TabsAndTopButtonsClick()) HelpPaneClick();
    return;
  }
  IdeUpdateStatusText();
  g_ide.clickPending = true;
  if (IdeMenuCommand() || TabsAndTopButtonsClick()) {
    g_ide.clickPending = false;
  } else if (g_ide.mouseX >= 628 && g_ide.mouseY >= 27 && g_ide.mouseY < 460) {
    g_ide.clickPending = false;
    EditorScrollBarClick(g_ide.mouseY);
  }
}

// One frame: input, the waiting messages, then the drawing.
bool FrameStep() {
  if (const int signal = EventsEndingSignal()) IdeEndBySignal(signal);
  IdeSyncNotedWork();
  // The first start on this machine opens with the introduction, there before the first input:
  // what that frame brings goes to the page, not to the editor or a menu under it.
  if (g_ide.firstRun && !g_ide.firstFrameShown) {
    g_ide.firstFrameShown = true;
    IdeHelpFromRoot();
    IdeShowHelpPage("intro.htm");
  }
  // The keyboard is never taken from this window, so nothing is re-acquired and the caret stays.
  PollInputDevices();
  ReadKeysHeld();
  if (g_ide.buttonHeld) g_ide.redrawStatus = true;
  if (!BrowserIsOpen()) {
    if (g_ide.helpView) HelpPaneFrame();
    else EditorMouseFrame();
  }
  Message m;
  while (PeekWindowMessage(m)) {
    if (m.kind == MsgKind::Quit) return false;
    IdeWindowMessage(m);
  }
  if (!BrowserIsOpen()) IdeShellFrameKeys();
  PollMediaBrowser();
  IdeTurnStartNotices();
  if (g_ide.helpRequested) {  // F1 chose a page
    g_ide.helpRequested = false;
    IdeShowHelpPage(g_ide.helpPage);
  }
  IdeHitTest();
  if (!g_ide.helpView) EditorScrollBarDrag();
  IdeRedraw();
  return true;
}

// A compile or a run takes the text from the work file.
bool LeavesText() {
  const int32_t state = g_ide.exitState;
  return state == kIdeExitRun || state == kIdeExitTopButton || state == kIdeExitCompile;
}

// Shows a message in the status line, as a compile's is shown.
void ShowMessage(const std::string& message) {
  g_ide.statusText = message;
  for (char& c : g_ide.statusText) c = char(std::toupper(static_cast<unsigned char>(c)));
  g_ide.statusColour = 0;
  g_ide.redrawStatus = true;
}

// The text leaves the editor for a compile or a run: on disk whole before anything else, its
// copies for a signal and its work files listed for a kill. What could not be written is said,
// and the editor goes on with its text, compiling nothing.
bool TextLeftWhole() {
  UnsavedTakeRecordFailure();
  IdeKeepUnsavedForRun();
  std::string cause;
  EditorWriteWorkFiles(&cause);
  const UnsavedRecordFailure record = UnsavedTakeRecordFailure();
  if (!cause.empty()) {
    std::fprintf(stderr, "vellumark: edit: the work file %s could not be written: %s\n",
                 EditorWorkFile(g_ide.loadedBuffer > 0 ? g_ide.loadedBuffer : g_ide.currentBuffer).c_str(),
                 cause.c_str());
    ShowMessage(IdeText(IdeSection::Desc, kDescWorkFileNotWritten) + ": " + cause);
  } else if (!record.path.empty()) {
    std::fprintf(stderr, "vellumark: edit: the record %s could not be written: %s\n", record.path.c_str(),
                 record.cause.c_str());
    ShowMessage(IdeText(IdeSection::Desc, kDescRecordNotWritten) + ": " + record.cause);
  } else {
    return true;
  }
  IdeDropUnsavedCopies();
  EventsClearQuit();
  g_ide.exitState = kIdeExitRunning;
  return false;
}

bool FramesUsedUp() { return g_runtime.options.frames >= 0 && g_runtime.framesRun > g_runtime.options.frames; }

void MainLoop() {
  uint32_t last = TimeMs();
  for (;;) {
    // The frame that took the quit message delivered its input too: it counts.
    if (!FrameStep()) {
      ++g_runtime.framesRun;
      break;
    }
    if (g_ide.displayRestored) {
      g_ide.displayRestored = false;
      g_ide.exitState = kIdeExitDisplayLost;
      break;
    }
    // One frame counter for the environment and the programs it runs: --frames ends both.
    ++g_runtime.framesRun;
    // The frames given are used up: leave without a question.
    if (FramesUsedUp() && !QuitPosted()) Leave(kIdeExitRunning);
    ClockWaitElapsed(last, kFrameMs);
    last = TimeMs();
  }
  // An Escape still held would stop the program about to run: wait for its release, for a few
  // seconds at most (a window that lost the keyboard may never see it).
  const uint32_t start = TimeMs();
  while (IdeKeyHeld(kVkIdeEscape) && !FramesUsedUp() && TimeMs() - start < kEscapeWaitMs) {
    PollInputDevices();
    ReadKeysHeld();
    ++g_runtime.framesRun;
    ClockWaitElapsed(last, kFrameMs);
    last = TimeMs();
  }
}

// What takes the keys and clicks now: the open panel (each one anew), the help pane, an open
// menu or the editor.
uint64_t InputTaker() {
  if (BrowserIsOpen()) return 3 + uint64_t(BrowserOpenings());
  if (g_ide.helpView) return 1;
  return g_ide.openMenu > 0 ? 2 : 0;
}

// The keys that type a character as they go down (the window sends it after the key).
bool TypesCharacter(int32_t vk) {
  return vk == kVkBack || vk == kVkTab || vk == kVkReturn || vk == kVkIdeEscape || vk == ' ' ||
         (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || (vk >= 0x60 && vk <= 0x6F) || vk >= 0xBA;
}

// A key down goes to what takes the keys. An open menu takes any key and closes; a function key
// then still does its command.
void KeyDownMessage(const Message& m) {
  if (BrowserIsOpen()) {
    BrowserWindowMessage(m);
    return;
  }
  g_ide.lastKey = m.a;
  if (g_ide.openMenu > 0) {
    g_ide.openMenu = g_ide.hotItem = 0;
    g_ide.redrawMenus = true;
    IdeShellFunctionKey(m.a);
    return;
  }
  if (IdeShellFunctionKey(m.a)) return;
  if (g_ide.helpView) HelpPaneKey(m.a);
  else EditorWindowMessage(m);
}

}  // namespace

void IdeWindowMessage(const Message& m) {
  g_ide.lastKey = 0;
  switch (m.kind) {
    case MsgKind::KeyDown: {
      // A key that closed or changed what takes the keys has done its work there: until it is
      // released, the characters it types and its repeats go nowhere, neither to the editor
      // nor to the next panel (a held Enter answers no question it opened).
      if (m.a == g_ide.spentKey) return;
      const uint64_t taker = InputTaker();
      g_ide.spentKey = 0;
      KeyDownMessage(m);
      if (InputTaker() != taker && TypesCharacter(m.a)) g_ide.spentKey = m.a;
      return;
    }
    case MsgKind::Char:
      if (g_ide.spentKey != 0) return;
      break;
    case MsgKind::LButtonDown: {
      // The later clicks of a double click go only where its first click went, while that still
      // takes the clicks: after a first click that closed a page, or that a page before the
      // environment took, they reach nothing under the pointer.
      if (m.clicks > 1 && InputTaker() != g_ide.clickTaker) return;
      const uint64_t taker = InputTaker();
      if (!BrowserIsOpen() || !BrowserWindowMessage(m)) LeftButtonDown();
      g_ide.clickTaker = InputTaker() == taker ? taker : kNoClickTaker;
      return;
    }
    case MsgKind::KeyUp:
      if (m.a == g_ide.spentKey) g_ide.spentKey = 0;
      break;
    case MsgKind::Activate: g_ide.spentKey = 0; break;
    default: break;
  }
  // An open panel takes the input; a close request asks before a modified source is left.
  if (BrowserIsOpen() && m.kind != MsgKind::Close && BrowserWindowMessage(m)) return;
  switch (m.kind) {
    case MsgKind::Close:
      // A stop signal is not the close button: no one may be there to answer (a shutdown, an
      // input that ended). The unsaved changes go into their recovery files, named on stderr,
      // and the environment ends by the signal, as a hang-up ends it.
      if (m.a && !IdeChangedBuffersDropped(kDropExit).empty()) {
        IdeKeepForStop();
        g_ide.stopSignal = m.b > 0 ? m.b : SIGTERM;
        Leave(kIdeExitRunning);
        return;
      }
      // Unsaved changes, in either buffer, are never left without the save-first question; a
      // panel open for something else gives way to it.
      if (IdeChangedBuffersDropped(kDropExit).empty()) {
        Leave(kIdeExitRunning);
      } else if (g_ide.dialogMode != kModeSaveBeforeQuit || !BrowserIsOpen()) {
        if (BrowserIsOpen()) ResetBrowserItems();
        IdeMenuQuit();
      }
      return;
    case MsgKind::Activate:
      // A full-screen display is lost while the window is in the background; the next frame
      // restores it once the window is back.
      if (m.a) g_display.active = 1;
      else if (g_display.fullScreen) g_ide.displayActive = false;
      return;
    case MsgKind::MouseMove:
      g_ide.mouseX = m.a - g_display.pictureOffsetX;
      g_ide.mouseY = m.b - g_display.pictureOffsetY;
      return;
    case MsgKind::LButtonUp: g_ide.buttonHeld = false; return;
    case MsgKind::Char:
      if (!g_ide.helpView) EditorWindowMessage(m);
      return;
    default: return;
  }
}

int32_t RunIdeUntilExit(const IdeCompileReport& report, const std::string& commandLineFile, bool windowMode) {
  // The start's text stays until there is a message to show.
  if (!IdeShowsStartText() || !report.message.empty()) {
    std::string text = report.message;
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    g_ide.statusText = text + report.named;
    g_ide.statusColour = 0;
  }
  g_ide.errorLine = report.errorLine;
  if (!g_ide.surfacesKept) {
    g_ide.createFailed = !CreateIde(commandLineFile, windowMode);
    if (g_ide.createFailed) return kIdeExitRunning;
  } else if (report.message.empty()) {
    g_ide.statusText = IdeText(IdeSection::Desc, kDescProgramEnded);
  }
  if (g_ide.errorLine > 0) IdeSelectErrorLine(g_ide.errorLine);
  else RestoreView();
  g_ide.redrawStatus = true;
  g_ide.exitState = kIdeExitRunning;
  g_display.title = IdeText(IdeSection::Desc, kDescWindowTitle);

  do MainLoop();
  while (LeavesText() && !TextLeftWhole());
  g_display.title = "Vellumark";
  SaveRecentFiles();
  SaveView();
  if (!LeavesText()) EditorWriteWorkFiles();
  g_ide.surfacesKept = g_ide.exitState == kIdeExitCompile;
  if (!g_ide.surfacesKept) DestroyIde();
  return g_ide.exitState;
}
