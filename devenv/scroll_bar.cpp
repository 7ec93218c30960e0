// The scroll bar at the right of the pane: track, thumb and its geometry.
#include <algorithm>

#include "devenv/editor.h"
#include "devenv/help_viewer.h"
#include "devenv/ide_draw.h"

namespace {

constexpr int32_t kTrackX = 625, kTrackY = 53, kTravel = 382, kHelpPage = 438;

}  // namespace

void IdeThumbGeometry(int32_t total, int32_t page, int32_t scroll, IdeScrollBar* bar) {
  if (total <= page) {
    bar->length = 0;
    bar->position = 0;
    bar->range = kTravel;
    return;
  }
  bar->length = int32_t(int64_t(kTravel) * page / total);
  scroll = std::clamp(scroll, 0, total - page);
  bar->range = kTravel - bar->length;
  bar->position = int32_t(double(bar->range) / double(total - page) * scroll);
}

void IdeDrawScrollBar() {
  IdeScrollBar& bar = g_ide.scroll;
  if (!g_ide.redrawScrollBar && !bar.dragging) return;
  g_ide.redrawScrollBar = false;
  Surface* s = g_ide.helpView ? g_ide.gfx.screen.get() : g_ide.gfx.editor.get();
  SurfaceBltFast(s, kTrackX, kTrackY, g_ide.gfx.track.get(), nullptr, 0);
  if (bar.dragging) {
    bar.position = std::clamp(bar.dragStartPosition + (g_ide.mouseY - bar.dragStartY), 0, bar.range);
  } else if (g_ide.helpView) {
    IdeThumbGeometry(g_help.documentHeight, kHelpPage, g_help.scroll, &bar);
  } else {
    IdeThumbGeometry(g_ide.editor.LineCount(), kVisibleRows, g_ide.editor.topLine, &bar);
  }
  if (bar.length > 0) {
    const SurfRect src{0, bar.position, 15, bar.position + bar.length + 20};
    SurfaceBltFast(s, kTrackX, kTrackY + bar.position, g_ide.gfx.thumb.get(), &src, 0);
    bar.rect = {kTrackX, kTrackY + bar.position, kTrackX + 15, kTrackY + bar.position + bar.length + 20};
  } else {
    bar.rect = {};
  }
  if (!g_ide.helpView) g_ide.editorChanged = true;
}

int32_t IdeScrollBarHit(int32_t y, int32_t total, int32_t page, int32_t scroll) {
  IdeScrollBar& bar = g_ide.scroll;
  IdeThumbGeometry(total, page, scroll, &bar);
  const int32_t thumbTop = kTrackY + bar.position, thumbBottom = thumbTop + bar.length + 20;
  if (bar.length > 0 && y >= thumbTop && y < thumbBottom) {
    bar.dragging = true;
    bar.dragStartPosition = bar.position;
    bar.dragStartY = g_ide.mouseY;
    return 0;
  }
  if (y >= kTrackY && y < thumbTop) return -1;
  return y >= thumbBottom && y <= 454 ? 1 : 0;
}

void EditorScrollBarClick(int32_t y) {
  const int32_t hit = IdeScrollBarHit(y, g_ide.editor.LineCount(), kVisibleRows, g_ide.editor.topLine);
  if (hit < 0) EditorPageUp();
  else if (hit > 0) EditorPageDown();
}

void EditorScrollBarDrag() {
  IdeScrollBar& bar = g_ide.scroll;
  if (!bar.dragging) return;
  if (!g_ide.buttonHeld) {
    bar.dragging = false;
    g_ide.redrawScrollBar = true;
    return;
  }
  const int32_t position = std::clamp(bar.dragStartPosition + (g_ide.mouseY - bar.dragStartY), 0, bar.range);
  if (bar.range <= 0) return;
  const int32_t top = int32_t(double(g_ide.editor.LineCount() - kVisibleRows) / double(bar.range) * position);
  if (top != g_ide.editor.topLine) EditorScrollTo(top);
}

void HelpScrollBarDrag() {
  IdeScrollBar& bar = g_ide.scroll;
  if (!bar.dragging) return;
  if (!g_ide.buttonHeld) {
    bar.dragging = false;
    g_ide.redrawScrollBar = true;
    return;
  }
  if (bar.range <= 0) return;
  const int32_t position = std::clamp(bar.dragStartPosition + (g_ide.mouseY - bar.dragStartY), 0, bar.range);
  HelpSetScroll(int32_t(double(g_help.documentHeight - kHelpPage) / double(bar.range) * position));
  g_ide.redrawStatus = true;  // the page is rendered again
}

void EditorScrollByArrow() {
  if (!g_ide.buttonHeld) return;
  EditorBuffer& e = g_ide.editor;
  if (g_ide.hotSpot == 31 && e.topLine > 0) EditorScrollTo(e.topLine - 1);
  if (g_ide.hotSpot == 32 && e.topLine < e.LineCount() - kVisibleRows) EditorScrollTo(e.topLine + 1);
}
