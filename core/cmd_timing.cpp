// Timer, date and time, waits, refresh control, the mouse and scan-code queries, the pointer
// and the commands that end the program.
#include <cstdint>
#include <ctime>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/run_loop.h"
#include "core/runtime.h"
#include "core/strings.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "scene3d/scene.h"
#include "system/input.h"
#include "system/system_services.h"

namespace {

void CmdEndProgram() {
  PostQuit();
  LeaveSlice = 1;
  g_timing.ended = 1;
}

void CmdExitProgram() {
  PostQuit();
  LeaveSlice = 1;
}

void CmdEndWithText() {
  SkipOperands(1);
  PostQuit();
  LeaveSlice = 1;
}

void CmdSync() { LeaveSlice = 1; }

void CmdSyncOn() {
  g_timing.timeSliceMode = 0;
  g_timing.autoRefresh = 0;
  LeaveSlice = 1;
}

void CmdSyncOff() {
  g_timing.timeSliceMode = 1;
  g_timing.autoRefresh = 1;
  LeaveSlice = 1;
}

void CmdSyncRate() {
  const int32_t rate = OpInt(0);
  SkipOperands(1);
  if (rate < 0 || rate > 1000) {
    RunError(112);
    return;
  }
  // Rate 0 divides by zero: a negative period, which the frame end takes as its 1 ms least.
  g_timing.framePeriod = rate == 0 ? INT32_MIN : 1000 / rate;
}

void CmdTimer() {
  OpCell(0)->i = int32_t(TimeMs());
  SkipOperands(1);
}

void StoreLocalTime(const char* format) {
  char text[32];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  size_t n = std::strftime(text, sizeof text, format, &local);
  SetCellString(OpCell(0), text, n);
  SkipOperands(1);
}

void CmdGetDateString() { StoreLocalTime("%m/%d/%y"); }
void CmdGetTimeString() { StoreLocalTime("%H:%M:%S"); }

// A running wait keeps its start time where the run state keeps the wait marker (-1: none)
// and compares the unsigned elapsed time, so it ends across the wrap of the clock too.
void CmdWaitMs() {
  const uint32_t now = TimeMs();
  if (g_timing.waitDeadline < 0) {
    g_timing.waitDeadline = double(now);
    WaitAndRetry();
    return;
  }
  const uint32_t elapsed = now - uint32_t(g_timing.waitDeadline);
  if (int64_t(elapsed) > int64_t(OpInt(0))) {
    g_timing.waitDeadline = -1.0;
    SkipOperands(1);
    LeaveSlice = 1;
    return;
  }
  WaitAndRetry();
}

// Waits for a character message to arrive and then for the next message to clear it.
void CmdWaitKey() {
  if (g_input.keyWaitSeen && g_runtime.lastCharacter == 0) {
    g_input.keyWaitSeen = 0;
    return;
  }
  if (g_runtime.lastCharacter != 0) g_input.keyWaitSeen = 1;
  WaitAndRetry();
}

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
void CmdMouseX() { MouseQuery([] { return g_runtime.mouseX; }); }
void CmdMouseY() { MouseQuery([] { return g_runtime.mouseY; }); }
void CmdMouseZ() { MouseQuery([] { return g_runtime.mouseWheel; }); }
void CmdMouseMoveX() { MouseQuery([] { return g_input.moveX; }); }
void CmdMouseMoveY() { MouseQuery([] { return g_input.moveY; }); }
void CmdMouseMoveZ() { MouseQuery([] { return g_input.moveZ; }); }

void CmdScancode() {
  RefreshStaleInput();
  int32_t code = 0;
  for (int k = 0; k < kKeyCodeCount; ++k) {
    if (g_input.keyboard[k]) {
      code = k;
      break;
    }
  }
  OpCell(0)->i = code;
  SkipOperands(1);
  InputStale = 1;
}

// In a window the system pointer goes to that place of the picture.
void CmdPositionMouse() {
  const int32_t x = OpInt(0), y = OpInt(1);
  SkipOperands(2);
  g_runtime.mouseX = x;
  g_runtime.mouseY = y;
  if (g_windowModeFlag) InputWarpMouse(Saturate(int64_t(x) + g_display.pictureOffsetX),
                                       Saturate(int64_t(y) + g_display.pictureOffsetY));
  LeaveSlice = g_timing.autoRefresh;
}

// In a window the system pointer is shown or hidden; the display's cursor-shown flag is the
// one the window set-up keeps too, so the two never disagree about the pointer.
void CmdHideMouse() {
  if (!g_windowModeFlag) {
    HidePointerSprites();
  } else if (g_display.cursorShown) {
    g_display.cursorShown = 0;
    InputShowSystemCursor(false);
  }
  LeaveSlice = g_timing.autoRefresh;
}

void CmdShowMouse() {
  if (!g_windowModeFlag) {
    CreatePointerSprites(1);
  } else if (!g_display.cursorShown) {
    g_display.cursorShown = 1;
    InputShowSystemCursor(true);
  }
  LeaveSlice = 1;
}

const CommandDef kTimingCommands[] = {
    {213, CmdEndProgram, ""},
    {217, CmdExitProgram, ""},
    {266, CmdEndWithText, "s"},
    {259, CmdSync, ""},
    {403, CmdSyncOn, ""},
    {404, CmdSyncOff, ""},
    {407, CmdSyncRate, "l"},
    {260, CmdTimer, "l"},
    {408, CmdGetDateString, "s"},
    {409, CmdGetTimeString, "s"},
    {255, CmdWaitMs, "l"},
    {410, CmdWaitMs, "l"},
    {263, CmdWaitKey, ""},
    {264, CmdWaitKey, ""},
    {265, CmdWaitMouse, ""},
    {238, CmdMouseClick, "l"},
    {239, CmdMouseX, "l"},
    {240, CmdMouseY, "l"},
    {431, CmdMouseZ, "l"},
    {241, CmdMouseMoveX, "l"},
    {244, CmdMouseMoveY, "l"},
    {432, CmdMouseMoveZ, "l"},
    {246, CmdPositionMouse, "ll"},
    {250, CmdScancode, "l"},
    {224, CmdHideMouse, ""},
    {253, CmdShowMouse, ""},
};

}  // namespace

std::span<const CommandDef> TimingCommands() { return kTimingCommands; }
