#pragma once
// The browser panel's own state and the helpers its files share.
#include <cstdint>
#include <string>
#include <vector>

#include "devenv/browser.h"
#include "devenv/ide_state.h"

inline constexpr int32_t kBrowserSlots = 32;        // buttons and fields 1..31; slot 0 stays empty
inline constexpr int32_t kBrowserMaxEntries = 256;  // list entries, the parent entry included
inline constexpr int32_t kBrowserRows = 7, kBrowserRowHeight = 16;
inline constexpr int32_t kBrowserMaxText = 255;     // characters a field holds
inline constexpr int32_t kBrowserPictures = 40;     // stored pictures 1..39
inline constexpr int32_t kIconFrames = 32, kIconSize = 66, kIconsPerRow = 9;
// The list's scroll track, relative to the panel.
inline constexpr int32_t kTrackX = 391, kTrackY = 45, kTrackWidth = 14, kTrackHeight = 112;

enum BrowserEntryType : int32_t {
  kEntryFolder = 0,  // a folder, or the parent entry
  kEntryOther = 1,
  kEntrySource = 2,
  kEntryProgram = 3,  // a regular file with an executable bit
  kEntryRoot = 4,     // "/", the home folder, the program folder, a mount
};

struct BrowserButton {
  bool exists = false;
  int32_t x = 0, y = 0, width = 0, height = 23;  // x is the left edge
  std::string label;
  bool pressed = false;
};

struct BrowserField {
  bool exists = false;
  int32_t x = 0, y = 0, width = 0, height = 21;
  bool editable = false;
  std::string text;  // code-page text, as typed and shown
};

struct BrowserEntry {
  int32_t type = kEntryFolder;
  std::string name;  // as shown (code-page text)
  std::string real;  // the name on disk (a root's whole path), so any name opens again
  std::string date;  // 16 characters of the modification time
};

struct BrowserState {
  int32_t state = 2;  // 1 while a panel is open, 2 after it closed
  uint32_t openings = 0;  // panels opened so far: each takes the keys anew
  bool redraw = false;
  int32_t kind = 0, background = 0;
  int32_t left = 0, top = 0, width = 0, height = 0;
  int32_t iconFrame = 0;  // -1 after the still frame was drawn
  bool editing = false;
  BrowserButton buttons[kBrowserSlots];
  BrowserField fields[kBrowserSlots];
  std::string startFolder;  // the working folder when the panel opened; the list's is g_ide.browserFolder
  int32_t firstVisible = 0;
  std::vector<BrowserEntry> entries;
  int32_t selected = 0;  // 1-based, 0 for none
  uint32_t colours[6] = {};
  int32_t activeField = 0;
  std::string editText;
  int32_t cursor = 0;
  bool cursorShown = false;
  int32_t blinkCounter = 0;
  bool selectAll = false;
  bool listShown = false;
  bool dragging = false;
  int32_t dragOffset = 0;
  int32_t thumbTop = 0, thumbLength = 0;  // the thumb as last drawn, panel-relative
  std::string message;
  bool mouseHeld = false;
  // The entry last chosen from the list: while field 1 still shows its name, its real name is
  // used.
  std::string chosenName, chosenReal;
  int32_t chosenEditor = 0;  // the media editor whose program is being chosen
  SurfacePtr pictures[kBrowserPictures];
};
extern BrowserState g_browser;

// ---- panel (browser_panel.cpp)
void BrowserBeginEdit(int32_t i);
void BrowserCommitEdit();
// Sets field 1 (and the edit text while field 1 is being edited).
void BrowserSetChosenName(const std::string& shown, const std::string& real);
// Kind 8: button 2 says "Select" while field 1 names a list entry, "New" otherwise.
void BrowserRelabelNewSelect();
void BrowserSetButtonLabel(int32_t i, const std::string& label, int32_t centreX, int32_t minWidth);
// Mode 0 and the panel closed.
void BrowserClose();
// A failure shown over the panel, or in the status line when no panel is open.
void BrowserShowMessage(const std::string& text);

// ---- list (browser_list.cpp)
void BrowserBuildList();
// Entry (1-based) opened by a second click: a folder, the parent entry or a root.
void BrowserOpenEntry(int32_t index);
void BrowserGoToParent();
// The sort: folders, sources, programs, other files, each by name ignoring case in the text
// code page's alphabet.
void BrowserSortEntries(std::vector<BrowserEntry>& entries);
// "Jun  3 21:49:08 " for a time.
std::string BrowserDateText(int64_t seconds);
// folder + "/" + name; an absolute name or an empty folder gives the name.
std::string BrowserJoin(const std::string& folder, const std::string& name);
// Whether field 1 shows the name of the entry last chosen from the list.
bool BrowserFieldIsChosen();
// Field 1 as a path in the list's folder (the chosen entry's real name when field 1 shows it).
std::string BrowserChosenPath();
// Field 1 as the host path of a file to write: the chosen entry's, or the name typed in the
// text code page's letters ('\' between folders), never matched to another file.
std::string BrowserWritePath();
bool BrowserEntryNamed(const std::string& name, bool ignoreCase);

// ---- actions (browser_actions.cpp)
// The action code of button b in the current mode.
int32_t BrowserButtonAction(int32_t b);
void BrowserPerformAction(int32_t action);

// ---- drawing (browser_draw.cpp, browser_pictures.cpp)
Surface* BrowserPicture(int32_t n);
void BrowserChooseColours();
int32_t BrowserThumbLength();
// The lines the message box shows a message in: one, or two when it is too wide for one (the
// second losing its front when that too is too wide).
std::vector<std::string> BrowserMessageLines(const std::string& text);
