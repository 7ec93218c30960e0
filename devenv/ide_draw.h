#pragma once
#include <cstdint>
#include <string>

#include "devenv/ide_state.h"

class Compiler;

// The environment's drawing on its 640 by 480 surfaces: bitmap font, text, menu bar and
// drop-downs, buttons, status line, progress box, scroll bar, hit test and the frame redraw.

// ---- surfaces and pictures (pictures.cpp)
// Makes the surfaces and the pictures in the given pixel depth (16 or 32) and sets the
// colours. False when a surface cannot be made.
bool IdeCreateSurfaces(int32_t depth);
void IdeReleaseSurfaces();
// A box filled with fill, its top and left edges hi, its bottom and right lo (pixel values).
void IdeBevel(Surface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t hi, uint32_t lo, uint32_t fill);
// A filled triangle w wide pointing up or down, its top-left at x, y.
void IdeTriangle(Surface* s, int32_t x, int32_t y, int32_t w, bool up, uint32_t pixel);

// ---- font (font.cpp)
// The top-left corner of a glyph's cell on the font surface.
void IdeGlyphCell(int32_t code, int32_t* x, int32_t* y);
// Renders every character 32..255 of every band through the text layer: the Courier bands in
// Liberation Mono at 13 pixels (10 points at 96 dpi), the others in the bundled fixed font.
// The Courier bands draw Windows-1252; the others the code page of the text character set.
bool IdeBuildFont();
void IdeReleaseFont();
inline int32_t IdeGlyphWidth(int32_t code) { return g_ide.gfx.widths[code & 2047].width; }
// Copies a glyph with the colour key to dst at x, y.
void IdeDrawGlyph(Surface* dst, int32_t code, int32_t x, int32_t y);
// Glyphs of one band one after another; returns the x after the last one.
int32_t IdeDrawTextBand(Surface* dst, const std::string& text, int32_t band, int32_t x, int32_t y);
// Glyphs of band + highlight; with highlight, the line from the text's end to right, 16 high,
// is filled with the background colour.
void IdeDrawText(Surface* dst, const std::string& text, int32_t band, int32_t x, int32_t y, int32_t highlight,
                 int32_t right);
// Width of a text in band 2 (the measure of the environment's own texts).
int32_t IdeTextWidth(const std::string& text);

// ---- menu bar, buttons and status line (draw_bar.cpp)
void IdeDrawButtonFrame(Surface* dst, int32_t state, int32_t x, int32_t y, int32_t width);
// Left edge of menu m (1..6) on the bar and its title's button width.
int32_t IdeMenuLeft(int32_t m);
int32_t IdeMenuTitleWidth(int32_t m);
void IdeDrawMenuBar();
void IdeDrawHelpButtons();
// The drop-down rectangle of menu m (also remembered for the hit test).
SurfRect IdeDropDownRect(int32_t m);
void IdeDrawDropDown(Surface* dst, int32_t m);
void IdeDrawStatusLine();

// ---- fitting a text to the status line (status_fit.cpp)
inline constexpr int32_t kStatusTextWidth = 610;  // the status line's room for text, in pixels
int32_t IdeStatusWidth(const std::string& text, int32_t band);
// A notice of kept text as the status line shows it: its paths' folders shortened in their
// middle with "\x85" until it fits, then a reason in brackets left out, then the source's name
// shortened, and only then the files' names; its other words are never cut.
std::string IdeFitNotice(const std::string& text, int32_t band);
// A failed Make Program's status line keeps the cause whole: the file's folder gives way in its
// middle, then the words before the failure's own text, then the file's name in its middle.
std::string IdeFitBuildFailure(const std::string& text, int32_t band);

// ---- progress box (progress.cpp)
bool IdeDrawProgressBox();
void IdeShowProgress(int percent);
void IdeShowProgressText(const std::string& text);
// The compiler reports its progress in the box.
void IdeAttachProgress(Compiler& compiler);

// ---- scroll bar (scroll_bar.cpp)
// Thumb length and position for a document of total units shown page at a time from scroll;
// length 0 when everything fits.
void IdeThumbGeometry(int32_t total, int32_t page, int32_t scroll, IdeScrollBar* bar);
void IdeDrawScrollBar();
// A click at y on the scroll bar of a document of total units shown page at a time from
// scroll: on the thumb it starts a drag (0); above it -1, below it 1 (a page each way).
int32_t IdeScrollBarHit(int32_t y, int32_t total, int32_t page, int32_t scroll);
// A click at y on the scroll bar: starts a drag on the thumb, pages above or below it.
void EditorScrollBarClick(int32_t y);
// Every frame while dragging: follows the pointer, ends when the button is up.
void EditorScrollBarDrag();
// The help pane's drag: the page follows the thumb (pages of 438 pixels).
void HelpScrollBarDrag();
// While the button is held on an arrow (hot spot 31 or 32): one line per frame.
void EditorScrollByArrow();

// ---- hit test and frame (redraw.cpp)
void IdeHitTest();
void IdeDrawHover();
// The frame: nothing while the display is lost and cannot be restored.
void IdeRedraw();
// Copies the frame to the display's back buffer (when there is one), draws the pointer and the
// caret over it and presents it.
void IdePresent();

// ---- pointer and caret (ide_pointer.cpp)
void IdeCreatePointerSprites();
void IdeReleasePointerSprites();
// The pointer at the mouse (the caret's shape over the text pane), the caret at the cursor.
void IdeDrawPointerSprites();
