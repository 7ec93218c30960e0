// The mouse: position, buttons, wheel and movement queries, the wait for a click, placing
// the pointer and showing or hiding it.
#include <cstdint>

#include "core/handler.h"
#include "core/run_state.h"
#include "display/display.h"
#include "platform/input.h"
#include "system/commands.h"
#include "system/input.h"
#include "system/system_services.h"

namespace {

// Waits for a mouse button to go down and up again.
void CmdWaitMouse() {
  if (g_input.mouseWaitSeen && g_input.mouseButtons == 0) {
    g_input.mouseWaitSeen = 0;
    return;
  }
  if (g_input.mouseButtons != 0) g_input.mouseWaitSeen = 1;
  WaitAndRetry();
}

int32_t Saturate(int64_t v) { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); }

template <typename Read>
void MouseQuery(Read read) {
  RefreshStaleInput();
  OpCell(0)->i = read();
  SkipOperands(1);
}

void CmdMouseClick() { MouseQuery([] { return int32_t(int16_t(g_input.mouseButtons)); }); }
void CmdMouseX() { MouseQuery([] { return g_input.mouseX; }); }
void CmdMouseY() { MouseQuery([] { return g_input.mouseY; }); }
void CmdMouseZ() { MouseQuery([] { return g_input.mouseWheel; }); }
void CmdMouseMoveX() { MouseQuery([] { return g_input.moveX; }); }
void CmdMouseMoveY() { MouseQuery([] { return g_input.moveY; }); }
void CmdMouseMoveZ() { MouseQuery([] { return g_input.moveZ; }); }

// In a window the system pointer goes to that place of the picture.
void CmdPositionMouse() {
  const int32_t x = OpInt(0), y = OpInt(1);
  SkipOperands(2);
  g_input.mouseX = x;
  g_input.mouseY = y;
  if (g_display.windowMode) InputWarpMouse(Saturate(int64_t(x) + g_display.pictureOffsetX),
                                       Saturate(int64_t(y) + g_display.pictureOffsetY));
  AutoRefresh();
}

// In a window the system pointer is shown or hidden; the display's cursor-shown flag is the
// one the window set-up keeps too, so the two never disagree about the pointer.
void CmdHideMouse() {
  if (!g_display.windowMode) {
    HidePointerSprites();
  } else if (g_display.cursorShown) {
    g_display.cursorShown = 0;
    InputShowSystemCursor(false);
  }
  AutoRefresh();
}

void CmdShowMouse() {
  if (!g_display.windowMode) {
    CreatePointerSprites(1);
  } else if (!g_display.cursorShown) {
    g_display.cursorShown = 1;
    InputShowSystemCursor(true);
  }
  LeaveSlice = 1;
}

const CommandDef kMouseCommands[] = {
    {265, CmdWaitMouse, ""},
    {238, CmdMouseClick, "l"},
    {239, CmdMouseX, "l"},
    {240, CmdMouseY, "l"},
    {431, CmdMouseZ, "l"},
    {241, CmdMouseMoveX, "l"},
    {244, CmdMouseMoveY, "l"},
    {432, CmdMouseMoveZ, "l"},
    {246, CmdPositionMouse, "ll"},
    {224, CmdHideMouse, ""},
    {253, CmdShowMouse, ""},
};

}  // namespace

std::span<const CommandDef> MouseCommands() { return kMouseCommands; }
