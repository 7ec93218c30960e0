#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The source editor's line store. A line holds its text only: bytes of 14 and above and Tab
// (the first other byte ended a line in the file). The table's capacity is the limit that
// Enter and paste respect; it starts at 4064 lines and doubles as lines are inserted.
inline constexpr int32_t kInitialLineCapacity = 4064;
inline constexpr int32_t kVisibleRows = 32, kRowHeight = 13, kPaneTop = 43, kPaneRight = 617;
inline constexpr int32_t kCaretLeft = 2, kTabStop = 24;

struct EditorSelection {
  bool selecting = false;  // a selection is being extended (mouse drag or Shift + keys)
  bool dragging = false;   // the mouse button that started it is held
  int32_t anchorRow = 0, anchorCol = 0;
  int32_t startRow = 0, startCol = 0, endRow = 0, endCol = 0;  // start not after end
  int32_t lastExtendRow = 0;  // cursor row + 1 at the previous extension
};

struct EditorBuffer {
  std::vector<std::string> lines;
  int32_t tableCapacity = kInitialLineCapacity;
  int32_t topLine = 0, firstColumn = 0;
  int32_t cursorRow = 0, cursorCol = 0;
  int32_t caretX = kCaretLeft, caretY = kPaneTop;
  bool rowDrawn[kVisibleRows] = {};
  EditorSelection sel;

  int32_t LineCount() const { return int32_t(lines.size()); }
};

// A source file as the buffer last read or wrote it: a save over a file that differs from it
// asks first. path is the source it stands for ("" for none: nothing to compare with).
struct SourceStamp {
  std::string path;
  bool exists = false;  // false: there was no file at path
  uint64_t device = 0, inode = 0;
  int64_t size = 0, modifiedNs = 0;
};

// What each of the two buffers keeps while the other one is live.
struct EditorBufferRecord {
  EditorBuffer buffer;
  bool used = false;
  std::string workFolder, browserFolder, fileName, projectFolder;
  uint8_t modified = 0;
  std::string title, author, date;
  SourceStamp disk;
  // The last write of its work file failed: the next creation keeps this text, not the file's.
  bool workUnwritten = false;
};
