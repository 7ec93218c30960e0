#pragma once
#include <cstdint>
#include <string>

#include "devenv/ide_state.h"
#include "platform/events.h"

// The source editor over the live buffer g_ide.editor: a fixed pane of 32 rows of 13 pixels
// from y 43, text drawn from band 0 of the bitmap font (band 7 for comment lines, band 1 where
// selected), a caret that follows the cursor.

// ---- lines and caret arithmetic (editor_lines.cpp)
// 1792 (band 7) for a line that begins, after blanks, with "`" or "rem" in any case; else 0.
int32_t EditorLineColourBand(const std::string& line);
// The caret x after a character at x: a Tab goes to the next multiple of 24.
int32_t EditorAdvance(int32_t x, unsigned char c);
// Caret x of a column on a row: 2 + the advances from firstColumn.
int32_t EditorCaretXFromColumn(int32_t row, int32_t col);
// Sets the cursor column from a caret x on the cursor row (the first column whose left edge
// reaches x, at most the line's end) and the caret x to that edge.
void EditorColumnFromX(int32_t row, int32_t x);
void EditorCursorToLineEnd();
void EditorSetCaretRow(int32_t row);
void EditorResetCursor();
// Moves the cursor line's text from the cursor on into the result.
std::string EditorCutLineTail();
void EditorAppendText(const std::string& text);
// Inserts a line at the cursor row (the table's capacity doubles when it runs short).
void EditorInsertLine(const std::string& text);
// Deletes the cursor line, never the last one left.
void EditorDeleteLine();
void EditorInsertChar(int32_t row, int32_t col, unsigned char c);
void EditorUnindentLine(int32_t row);

// ---- pane drawing and scrolling (editor_view.cpp)
void EditorDrawLine(int32_t row, int32_t y);
void EditorRedrawRowAt(int32_t row, int32_t y);
void EditorRedrawRow(int32_t row);  // at the row's place in the pane, when it is shown
void EditorRedrawVisible();
void EditorMarkRowsDrawn();
void EditorMarkRowsStale();
void EditorRedrawStaleRows();
void EditorScrollTo(int32_t line);
void EditorScrollUpOneRow();
void EditorScrollDownOneRow();
void EditorKeepCaretVisible();
void EditorGoToTop();
void EditorGoToEnd();
void EditorPageUp();
void EditorPageDown();
// Where the caret sprite goes: (caretX - 1, caretY) while it is shown and no menu or dialog
// covers the pane; false (and -256, -256) when it is hidden.
bool EditorCaretPosition(int32_t* x, int32_t* y);

// ---- buffers (editor_buffers.cpp)
void EditorClearBuffer();
void EditorNewEmpty();
// Keeps the live buffer (with the current file's strings) in record n (1 or 2).
void EditorStoreBuffer(int32_t n);
// Makes buffer n (1 or 2) the live one; with redraw the pane shows it.
void EditorSelectBuffer(int32_t n, bool redraw);
// Makes both buffers when the environment is created: a file named on the command line goes
// into the current buffer (its folder becomes the project folder); once a file is current or
// the buffers were made before, each buffer reloads its work file; otherwise one empty line.
void EditorCreateBuffers(const std::string& commandLineFile);
// Writes the current buffer to "workfile.tmp" and the other to "workfil2.tmp" in the temporary
// folder, with their header fields, flushed to the disk. False when a file could not be written;
// currentCause (when given) gets why the current buffer's was not (FileErrorCause), "" when it was.
bool EditorWriteWorkFiles(std::string* currentCause = nullptr);
// The work file of buffer n (1 or 2).
std::string EditorWorkFile(int32_t n);
// A click on a buffer tab (y 2..36, x 454..469 or 471..486) chooses that buffer.
bool IdeBufferTabClick(int32_t x, int32_t y);

// ---- keys (editor_keys.cpp)
// The editor's handler of key-down and character messages; false for what it leaves to the
// window's default handling (the function keys the environment's shell acts on).
bool EditorWindowMessage(const Message& m);
// The keyboard state read for Control, Escape and Shift (virtual-key codes).
inline bool IdeKeyHeld(int vk) { return vk >= 0 && vk < 256 && g_ide.keysHeld[vk]; }
enum : int {
  kVkBack = 8, kVkTab = 9, kVkReturn = 13, kVkShift = 16, kVkControl = 17, kVkIdeEscape = 27,
  kVkPageUp = 33, kVkPageDown = 34, kVkEnd = 35, kVkHome = 36, kVkLeft = 37, kVkUp = 38, kVkRight = 39,
  kVkDown = 40, kVkDelete = 46, kVkF1 = 112, kVkLeftShift = 160, kVkRightShift = 161, kVkLeftControl = 162,
  kVkRightControl = 163,
};
bool IdeShiftHeld();
bool IdeControlHeld();

// ---- source files (source_files.cpp)
// A header line "Rem * Title  : value" at pos (its colon the 14th character): the value, and pos
// moves to the next line. Otherwise "" and pos stays.
std::string ReadHeaderField(const std::string& data, size_t* pos);
// Reads a source at a host path, taken as it is, into the editor.
bool LoadSourceIntoEditor(const std::string& path);
// A source file's text: the header lines (title, author, date, those not empty) and the lines,
// each ended by CR LF.
std::string SourceFileText(const EditorBuffer& b, const std::string& title, const std::string& author,
                           const std::string& date);
// The header lines of each: a source's (those set) and a work file's (all three).
std::string SourceFileHeader(const std::string& title, const std::string& author, const std::string& date);
std::string WorkFileHeader(const std::string& title, const std::string& author, const std::string& date);
// Writes the editor's source text to a host path, taken as it is, through a temporary file
// renamed over the target: a failed save leaves the old file.
bool SaveEditorBuffer(const std::string& path);
bool ReadSourceFileForIde(const std::string& path);
// Rewrites a template copied to path with the current header fields in place of its own.
bool NewSourceFromTemplate(const std::string& path);
bool IsSourceFileName(const std::string& name);

// ---- the source on disk (source_on_disk.cpp)
// The file at a host path as it is now.
SourceStamp SourceStampAt(const std::string& path);
// The live buffer's source was read or written as stamp (taken at the host path just before a
// read, or just after a write) and is its file now.
void IdeNoteSourceOnDisk(SourceStamp stamp);
// Whether the live buffer's source file is no longer the one it last read or wrote: changed,
// replaced or made since. A file gone is not: a save writes it again.
bool IdeSourceChangedOnDisk();
// Whether a host path is in the help's folder (its examples), which no save writes into.
bool IdeInHelpFolder(const std::string& path);
// Whether the live buffer's source is a file of the help's (an example opened from a page).
bool IdeSourceInHelp();
bool IsExeFileName(const std::string& name);
