#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "devenv/editor_buffer.h"
#include "devenv/settings.h"
#include "platform/surfaces.h"
#include "platform/unsaved_copies.h"

// The development environment's state: one struct, reset as one block. It lives across the
// runs of programs the environment starts, so it is not part of a run's subsystem table.

struct RecentFile {
  std::string name, folder;
};
inline constexpr int kRecentFileCount = 4;

struct MediaEditor {
  bool exists = false;  // the program file exists
  std::string path;
  int64_t processId = 0;  // of a started editor, 0 when none
};
inline constexpr int kMediaEditorCount = 5;

// The environment's colours as pixel values of its surfaces.
struct IdeColours {
  uint32_t background = 0, selection = 0, lightEdge = 0, face = 0, darkEdge = 0;
};

// The bitmap font: 8 colour bands of 12 by 16 glyph cells on one surface; glyph code = band *
// 256 + character.
inline constexpr int32_t kFontBands = 8, kGlyphCellWidth = 12, kGlyphCellHeight = 16;
struct IdeGlyphSize {
  uint8_t width = 0, height = 0;
};

struct IdeSurfaces {
  PixelFormat format;
  IdeColours colours;
  SurfacePtr screen;  // the environment screen, shown each frame
  SurfacePtr editor;  // the editor's drawing: pane, menu bar, scroll bar, status line
  SurfacePtr back;    // the frame as presented
  SurfacePtr font;
  IdeGlyphSize widths[kFontBands * 256];
  SurfacePtr background, track, thumb, tab, tabSelected, topButton, topButtonLit, upArrow, upArrowPressed,
      downArrow, downArrowPressed, progressBox, progressMarker;
  int64_t presents = 0;  // frames presented
};

struct IdeMenuItem {
  std::string text, key;  // text "-" is a separator
  bool enabled = true;
};
struct IdeMenu {
  std::string title;
  std::vector<IdeMenuItem> items;
  bool lit = false;
};
inline constexpr int kMenuCount = 6;

// A scroll bar's thumb: length and position in pixels of the 382-pixel travel.
struct IdeScrollBar {
  int32_t length = 0, range = 382, position = 0;
  bool dragging = false;
  int32_t dragStartPosition = 0, dragStartY = 0;
  SurfRect rect;
};

inline constexpr int32_t kStartNoticeFrames = 240;
inline constexpr uint64_t kNoClickTaker = ~uint64_t(0);

struct IdeState {
  IdeSettings settings;
  std::vector<RecentFile> recent;  // newest first, at most kRecentFileCount
  MediaEditor mediaEditors[kMediaEditorCount];

  std::string fileName, projectFolder;  // the current source and its project folder
  std::string title, author, date;      // the source's header fields
  uint8_t modified = 0;                 // the source differs from its file
  SourceStamp disk;                     // the source's file as last read or written

  std::string statusText;
  int32_t statusColour = 0;  // 0 the normal band, 256 the second one
  bool firstRun = false;
  // Where the start kept the unsaved text of ended runs: the status line shows each in turn,
  // kStartNoticeFrames frames apiece, until another text takes the line.
  std::vector<std::string> startNotices;
  size_t noticeShown = 0;
  int32_t noticeFrames = 0;
  bool redrawStatus = false, redrawMenus = false, redrawScrollBar = false;
  bool editorChanged = false;  // the editor surface must be copied to the screen

  IdeSurfaces gfx;
  IdeMenu menus[kMenuCount];
  int32_t openMenu = 0, hotItem = 0;  // menu number 1..6 (0 none); item number from 1
  SurfRect dropDownRect;
  int32_t hotSpot = 0, shownHotSpot = -1;  // -1: the hover pictures must be drawn
  int32_t drawnOpenMenu = 0;  // the drop-down on the screen, to be removed when it closes
  IdeScrollBar scroll;
  bool helpView = false;
  bool displayActive = true;
  bool displayRestored = false;  // the display was lost and came back during this run
  int32_t dialogMode = 0;
  bool caretHidden = false;
  int32_t mouseX = 0, mouseY = 0;
  bool buttonHeld = false;
  int32_t currentBuffer = 1, loadedBuffer = 0;

  bool keysHeld[256] = {};  // the polled keyboard by virtual-key code
  int32_t lastKey = 0;       // virtual key of the last key-down message
  int32_t spentKey = 0;      // a key that closed what took it: dropped with its characters until released
  uint64_t clickTaker = kNoClickTaker;  // what took the last click and takes the clicks still

  EditorBuffer editor;  // the live buffer
  // The single-level undo: a copy of every line, made before an edit of more than a character.
  struct {
    bool valid = false;
    std::vector<std::string> lines;
  } undo;
  bool undoEnabled = false;  // the edit menu's undo item
  // Copied text, each line break one byte (0 or 13); no break after the last piece unless the
  // selection ended at a line end.
  std::string copyBuffer;
  std::string searchText, replaceText;  // the search text is kept in lower case
  bool clickPending = false;  // a left click in the text pane that no control took
  std::string helpPage;       // the page context help chose, for the help pane to show
  bool helpRequested = false;
  EditorBufferRecord records[2];
  std::string browserFolder;
  bool created = false;  // the buffers were made once: later creations reload the work files

  int32_t exitState = 3;       // 3 while a run of the environment is under way, then what it returns
  int32_t errorLine = 0;       // editor line of the last compile or run error, 0 when none
  bool createFailed = false;   // the last run could not make its display, surfaces or buffers
  bool surfacesKept = false;   // the last run ended by a compile: surfaces and buffers are still up
  // The view at the end of the last run, brought back by the next one.
  struct {
    bool valid = false;
    int32_t topLine = 0, cursorRow = 0, cursorCol = 0;
    EditorSelection sel;
  } savedView;
  bool firstFrameShown = false;

  // The menus, the shell's keys and the outside tools.
  int32_t exitItem = 0;             // the file menu's exit item (number from 1)
  // An action that drops buffer text, waiting on its save-first questions (one per changed
  // buffer it drops): what it is, with the recent entry or example it opens.
  struct PendingDrop {
    int32_t action = 0;  // kDrop..., 0 none
    RecentFile recent;  // taken when asked: a save on the way moves the list's entries
    std::string example;
    int32_t asked = 0;         // the buffer the open question is about
    bool declined[2] = {};     // buffers whose changes the answer "no" lets go
    bool afterSaveAs = false;  // "yes" opened Save As for an unnamed buffer: its save carries on
  } pendingDrop;
  bool onceKeyLatched = false;      // a once-per-press key acted and one of them is still down
  int64_t mediaBrowserPid = 0;      // the media browser while it runs, 0 when none

  // The work files listed in the run folder as holding unsaved text (see UnsavedWorkNote), with
  // the buffer and source each stands for: a buffer saved or given another source since drops out.
  struct NotedWork {
    int32_t buffer = 0;
    std::string fileName, projectFolder;
    UnsavedWork work;
  };
  std::vector<NotedWork> notedWork;
  // The recovery files written when a stop signal asked to close, one a buffer (by number - 1),
  // with the source and text each holds.
  struct KeptForQuestion {
    std::string path, fileName, projectFolder;
    size_t textHash = 0, textSize = 0;
  };
  KeptForQuestion keptForQuestion[2];
  // The text (its hash) each buffer's work file was last named for, where no folder took it.
  size_t keptInWork[2] = {};
  // A stop signal came with unsaved changes, kept: once left, the environment ends by it.
  int stopSignal = 0;
};

extern IdeState g_ide;
void ResetIdeState();
// Whether the status line still shows what the start put there (the version, or where unsaved
// text was kept): it stays until there is a message to show.
bool IdeShowsStartText();
