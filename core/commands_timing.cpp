// Timer, date and time, timed waits, refresh control and the commands that end the program.
#include <cstdint>
#include <ctime>

#include "core/commands.h"
#include "core/handler.h"
#include "platform/clock.h"
#include "platform/events.h"

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
    RunError(kErrFrameRateOutOfRange);
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
};

}  // namespace

std::span<const CommandDef> TimingCommands() { return kTimingCommands; }
