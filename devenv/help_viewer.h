#pragma once
// The help viewer: HTML help pages from the help folder, laid out in a small subset of HTML
// (entities, BR, P [ALIGN=CENTER], /P, CENTER, /CENTER, FONT FACE/SIZE/COLOR, A HREF, /A) and
// drawn with scalable text on a target surface; links become rectangles the pointer can hit;
// a history of pages with their scroll positions gives back and forward.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/surfaces.h"
#include "platform/text.h"

// A link's area in pane coordinates (y from the pane's top, the scroll already applied).
struct HelpLink {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::string target;
};

// One visited page: its resolved path and the scroll position it was left at.
struct HelpHistoryNode {
  std::string page;
  int32_t scroll = 0;
};

// Everything the layout carries from one token to the next. y is in page coordinates (without
// the scroll), so the index page's cache can restart the layout at any scroll position.
struct HelpPen {
  size_t parsePos = 0;
  int32_t x = 8, y = 4;
  bool lineStart = true, centred = false;
  std::string face = "Arial";
  int32_t size = 16;
  bool bold = false, italic = false, underline = false;
  uint32_t colour = 0xFFFFFF, previousColour = 0xFFFFFF;  // 0xRRGGBB
  // The open link: its target, and whether it has drawn on an earlier line (a piece it draws at
  // the start of a later line is clickable from x 0).
  bool inLink = false, linkDrawn = false;
  int32_t linkFirstY = 0;
  std::string linkTarget;
};

struct HelpFontEntry {
  std::string key;
  TextFontPtr font;
  std::array<int32_t, 256> advance{};  // per character: text widths add up
};

inline constexpr int32_t kHelpIndexCacheLines = 512;

struct HelpViewer {
  bool shown = false;
  Surface* target = nullptr;  // the editor surface while the pane is shown
  SurfacePtr background;      // the 160 by 120 tile
  int32_t topMargin = 4, leftMargin = 8;
  int32_t lineStep = 32;     // arrow keys and scroll-bar arrows
  int32_t pageHeight = 438;  // Page Up / Page Down, and the visible height
  int32_t rightLimit = 608;  // text ends before this x
  int32_t documentHeight = 0;  // laid-out height, 0 until the first render of the page
  int32_t scroll = 0;          // first pixel row shown

  bool hasPage = false;
  std::string text;       // the current page after entity decoding
  std::vector<bool> literal;  // per byte of text: a '<' or '>' that an entity gave (no tag)
  std::string pageName;   // its resolved path
  std::string subFolder;  // its folder relative to the help folder: "" or ending in '/'

  std::vector<HelpLink> links;  // of the last render
  std::string pointerLink;      // the target under the pointer, "" when none

  // Position p of the history is node p - 1; the viewer stands at currentPosition, and
  // forward reaches newestPosition.
  std::vector<HelpHistoryNode> history;
  uint32_t currentPosition = 1, newestPosition = 1;

  // The index page's layout state at the first token of each line of lineStep pixels, filled in
  // order by the first (full) layout.
  std::vector<HelpPen> indexCache;

  std::vector<HelpFontEntry> fonts;  // fonts made so far (a bounded cache)
};

extern HelpViewer g_help;
// The defaults: no page, empty history, nothing shown.
void ResetHelpViewer();

// ---- pages, paths and scrolling (help_viewer.cpp)
// Entity decoding: each known entity gives its byte; from any '&' everything up to and
// including the next ';' (or to the end of the text) is dropped. With angles given, it marks
// each '<' and '>' that an entity gave, so the layout shows them rather than reading a tag.
std::string HelpDecodeEntities(const std::string& raw, std::vector<bool>* angles = nullptr);
// "\" becomes "/"; a name beginning with "/" or with a drive ("C:") is absolute (the drive
// dropped); any other name is taken from the help folder.
std::string HelpResolvePath(const std::string& name);
// Collapses "." and "x/.." components (a ".." above a relative path's start stays).
std::string HelpNormalisePath(const std::string& path);
// The path a page name would be read from now (relative to the current sub-folder), normalised.
std::string HelpTargetPath(const std::string& name);
// Loads a page named relative to the current sub-folder (or absolute), decodes it and moves
// the sub-folder with it ("a/b.htm" enters "a/", "../c.htm" steps back). False (viewer
// unchanged) when the file cannot be read.
bool HelpLoadPage(const std::string& name, std::string* resolved);
// The tile picture; false when its surface cannot be made.
bool HelpLoadBackground(const PixelFormat& format);
void HelpRelease();
void HelpViewerShow(Surface* target);
void HelpViewerHide();
bool HelpViewerIsShown();
// Scrolling: up stops at 0, down at documentHeight - pageHeight (0 for a page shorter than
// the pane). HelpSetScroll limits the same way.
void HelpLineUp();
void HelpLineDown();
void HelpPageUp();
void HelpPageDown();
void HelpSetScroll(int32_t scroll);
int32_t HelpMaxScroll();

// ---- history (help_history.cpp)
// Opens a page at the current history position (from the current sub-folder, then from the
// help root); false leaves page, sub-folder and history as they were.
bool HelpOpenPage(const std::string& name);
// A fresh history beginning with the page; a page that cannot be read keeps the old one.
bool HelpGoToPage(const std::string& name);
// A link: a page other than the current one adds a history step (the page left keeps its
// scroll); a failed link undoes its step.
bool HelpFollowLink(const std::string& name);
bool HelpBack();
bool HelpForward();
bool HelpCanGoBack();
bool HelpCanGoForward();

// ---- layout and drawing (help_layout.cpp)
// Tiles the background over the target, lays out the page (the "no help page" text without
// one) and draws it, collecting the link areas.
void HelpRender();
// The target of the first link whose area holds (x, y) in pane coordinates; false and ""
// when none.
bool HelpLinkAt(int32_t x, int32_t y, std::string* target);
