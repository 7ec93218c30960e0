#include "core/interp.h"

#include <cstdio>
#include <exception>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/run_loop.h"
#include "core/runtime.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/ini.h"

CodeWord* ProgramCounter = nullptr;
uint8_t LeaveSlice = 1;
uint8_t InputStale = 0;

namespace {

// Virtual clock: each command takes this long, so timed slices end in repeatable places.
constexpr uint32_t kVirtualCommandMicros = 10;

void TraceCommand() {
  char key[32], value[32];
  std::snprintf(key, sizeof key, "PC%lld", (long long)CodeIndexOf(ProgramCounter));
  std::snprintf(value, sizeof value, "%lld", (long long)*ProgramCounter);
  IniWriteString(g_runtime.runFolder + "/VK.LOG", "VELLUMARKLOOPMIDDLE", key, value);
}

// A command number without a handler ends the program without a message.
void NoHandler() {
  if (!g_runtime.standalone && ProgramCounter[-1] != 0)
    std::fprintf(stderr, "vellumark: no command %lld at code word %lld\n", (long long)ProgramCounter[-1],
                 (long long)CodeIndexOf(ProgramCounter - 1));
  PostQuit();
  WaitAndRetry();
}

// The slice-end test after each command.
inline void CheckSliceEnd() {
  if (g_timing.timeSliceMode) {
    if (TimeMs() - g_timing.sliceStart > g_timing.sliceLength) LeaveSlice = 1;
    return;
  }
  if (++g_timing.commandCounter > 200) {
    // The stop keys are seen only through events: take them in, or a loop could never stop.
    if (!g_runtime.standalone) PumpPlatformEvents();
    if (!g_runtime.standalone &&
        (IsVirtualKeyDown(kVkEscape) || IsVirtualKeyDown(kVkF11) || IsVirtualKeyDown(kVkF12)))
      LeaveSlice = 1;
    if (DrawQueueSize() > 32000) LeaveSlice = 1;
    g_timing.commandCounter = 0;
    InputStale = 1;
  }
}

// The command loop; returns when the slice ends. Exceptions leave it and are handled outside,
// so the loop itself carries no per-command cost for them.
void RunCommands() {
  const bool trace = g_runtime.debugMode;
  const bool virtualClock = ClockIsVirtual();
  for (;;) {
    if (LeaveSlice) {
      LeaveSlice = 0;
      return;
    }
    if (trace) TraceCommand();
    if (virtualClock) ClockAdvanceMicros(kVirtualCommandMicros);
    uintptr_t number = uintptr_t(*ProgramCounter++);
    CommandHandler handler = number < uintptr_t(kCommandSlots) ? g_commandTable[number] : nullptr;
    if (handler) handler();
    else NoHandler();
    CheckSliceEnd();
  }
}

}  // namespace

void InterpretSlice() {
  if (!g_display.active || !ProgramCounter) return;
  InputStale = 0;
  g_timing.sliceStart = TimeMs();
  for (;;) {
    try {
      RunCommands();
      return;
    } catch (const std::exception& e) {
      if (!g_runtime.standalone) std::fprintf(stderr, "vellumark: exception in a command: %s\n", e.what());
      RunError(10010);
    } catch (...) {
      RunError(10010);
    }
    CheckSliceEnd();
  }
}
