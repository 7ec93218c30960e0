#include "core/interp.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/loader.h"
#include "core/run_state.h"
#include "core/run_timing.h"
#include "core/threaded_code.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/message_name.h"
#include "platform/stop_request.h"

CodeWord* ProgramCounter = nullptr;
uint8_t LeaveSlice = 1;
uint8_t InputStale = 0;
bool g_fastDispatch = false;
RunTiming g_timing;
InterpreterHooks g_interpreterHooks;

namespace {

// Virtual clock: each command takes this long, so timed slices end in repeatable places.
constexpr uint32_t kVirtualCommandMicros = 10;

// Timed slices test the clock after every command of another family (such a command may
// take long) and otherwise every so many language commands, each of which takes a short,
// bounded time: the interval adapts so that reads are 100 to 250 microseconds apart, which
// keeps the slice end well within a millisecond of its length while the clock costs next to
// nothing per command.
constexpr uint32_t kMaxCheckInterval = 4096;
uint32_t g_checkInterval = 1;
uint64_t g_lastCheckUs = 0;

void TraceCommand() {
  char key[32], value[32];
  std::snprintf(key, sizeof key, "PC%lld", (long long)CodeIndexOf(ProgramCounter));
  std::snprintf(value, sizeof value, "%lld", (long long)*ProgramCounter);
  WriteDebugLog(g_runtime.runFolder + "/VK.LOG", "VELLUMARKLOOPMIDDLE", key, value);
}

// A command number without a handler ends the program without a message.
void NoHandler() {
  if (!g_runtime.standalone && ProgramCounter[-1] != 0)
    std::fprintf(stderr, "%s: no command %lld at code word %lld\n", MessageName(),
                 (long long)ImageWordOf(ProgramCounter[-1]), (long long)CodeIndexOf(ProgramCounter - 1));
  PostQuit();
  WaitAndRetry();
}

// Program-controlled mode, after every 200 commands: the runtime's probe, then input.
void EveryTwoHundredCommands() {
  if (g_interpreterHooks.periodicProbe) g_interpreterHooks.periodicProbe();
  g_timing.commandCounter = 0;
  InputStale = 1;
}

// The slice-end test after each command (the exact form, for traced and virtual-clock runs).
// A stop request ends the slice at once, as after a command of another family below.
inline void CheckSliceEnd() {
  if (StopSignalReceived()) LeaveSlice = 1;
  if (g_timing.timeSliceMode) {
    if (TimeMs() - g_timing.sliceStart > g_timing.sliceLength) LeaveSlice = 1;
    return;
  }
  if (++g_timing.commandCounter > 200) EveryTwoHundredCommands();
}

// The test after a command of another family: such a command may take long (a big load), so a
// stop request ends the slice here rather than at the next probe, which may be up to 200
// commands away; then the timed slice end.
[[gnu::noinline]] void CheckAfterOtherCommand() {
  if (StopSignalReceived()) LeaveSlice = 1;
  if (g_timing.timeSliceMode && TimeMs() - g_timing.sliceStart > g_timing.sliceLength) LeaveSlice = 1;
}

// The slice-end test after a batch of commands; returns the size of the next batch.
uint32_t CheckSliceEndAfter(uint32_t ran) {
  if (g_timing.timeSliceMode) {
    const uint64_t now = TimeUs();
    if (uint32_t(now / 1000) - g_timing.sliceStart > g_timing.sliceLength) LeaveSlice = 1;
    const uint64_t gap = now - g_lastCheckUs;
    g_lastCheckUs = now;
    if (gap < 100) g_checkInterval = std::min(g_checkInterval * 2, kMaxCheckInterval);
    else if (gap > 250) g_checkInterval = std::max(g_checkInterval / 2, 1u);
    return g_checkInterval;
  }
  g_timing.commandCounter += int32_t(ran);
  if (g_timing.commandCounter > 200) EveryTwoHundredCommands();
  return uint32_t(201 - g_timing.commandCounter);
}

inline void Dispatch() {
  const uintptr_t number = uintptr_t(*ProgramCounter++);
  const CommandHandler handler = number < uintptr_t(kCommandSlots) ? g_commandTable[number] : nullptr;
  if (handler) handler();
  else NoHandler();
}

// Traced or virtual-clock runs: every command is traced, advances the clock and is followed
// by the full slice-end test.
void RunCommandsExactly(bool trace, bool virtualClock) {
  for (;;) {
    if (LeaveSlice) {
      LeaveSlice = 0;
      return;
    }
    if (trace) TraceCommand();
    if (virtualClock) ClockAdvanceMicros(kVirtualCommandMicros);
    Dispatch();
    CheckSliceEnd();
  }
}

// The command loop; returns when the slice ends. Exceptions leave it and are handled outside,
// so the loop itself carries no per-command cost for them. The fast path keeps the program
// counter in a register across the fast forms of the language commands; ProgramCounter is
// set to the operands before every handler, as the handler convention wants.
void RunCommands() {
  g_fastDispatch = !g_runtime.debugMode && !ClockIsVirtual();
  if (!g_fastDispatch) {
    RunCommandsExactly(g_runtime.debugMode != 0, ClockIsVirtual());
    return;
  }
  PrepareThreadedCode();
  uint32_t batch = g_timing.timeSliceMode ? g_checkInterval : uint32_t(std::max(1, 201 - g_timing.commandCounter));
  CodeWord* pc = ProgramCounter;
  for (;;) {
    uint32_t left = batch;
    while (!LeaveSlice) {
      ProgramCounter = pc + 1;
      const uintptr_t at = reinterpret_cast<uintptr_t>(pc);
      if (at - g_threadedBegin < g_threadedBytes) [[likely]] {
        pc = (*reinterpret_cast<ThreadedHandler*>(at + uintptr_t(g_threadedDelta)))(pc + 1);
      } else {
        const uintptr_t number = uintptr_t(*pc);
        if (number < uintptr_t(kCommandSlots)) {
          const CommandHandler handler = g_commandTable[number];
          const FastEntry& fast = g_fastEntries[number];
          if (fast.slow == handler && handler) {
            pc = fast.fast(pc + 1);
          } else {
            if (handler) handler();
            else NoHandler();
            pc = ProgramCounter;
            CheckAfterOtherCommand();
          }
        } else {
          NoHandler();
          pc = ProgramCounter;
        }
      }
      if (--left == 0) break;
    }
    ProgramCounter = pc;
    batch = CheckSliceEndAfter(batch - left);
    if (LeaveSlice) {
      LeaveSlice = 0;
      return;
    }
  }
}

}  // namespace

int64_t ImageWordOf(CodeWord word) {
  const void* p = reinterpret_cast<const void*>(word);
  if (IsCellAddress(p)) return CellIndexOf(static_cast<const VarCell*>(p)) + 10000;
  const uintptr_t at = uintptr_t(word), begin = reinterpret_cast<uintptr_t>(CommandStream);
  if (CommandStream && at >= begin && at <= begin + uintptr_t(g_codeWordCount) * sizeof(CodeWord) &&
      (at - begin) % sizeof(CodeWord) == 0)
    return 37000 + int64_t((at - begin) / sizeof(CodeWord));
  return int64_t(word);
}

CodeWord* RunOtherCommand(CodeWord* pc) {
  const uintptr_t number = uintptr_t(pc[-1]);
  const uint64_t generation = g_codeGeneration;
  if (number < uintptr_t(kCommandSlots)) {
    if (const CommandHandler handler = g_commandTable[number]) handler();
    else NoHandler();
    CheckAfterOtherCommand();
  } else {
    NoHandler();
  }
  if (g_codeGeneration != generation) DropThreadedCode();
  else SelectThreadedHandlers();
  return ProgramCounter;
}

void ResetInterpreterState() {
  ProgramCounter = nullptr;
  LeaveSlice = 1;
  InputStale = 0;
  g_fastDispatch = false;
  g_timing = RunTiming{};
  g_checkInterval = 1;
  g_lastCheckUs = 0;
  DropThreadedCode();
}

void PumpMessagesOccasionally() {
  if (++g_timing.pumpCounter > 50000) {
    g_timing.pumpCounter = 0;
    if (g_interpreterHooks.dispatchMessages) g_interpreterHooks.dispatchMessages();
  }
}

void InterpretSlice() {
  if (!ProgramCounter) return;
  InputStale = 0;
  g_timing.sliceStart = TimeMs();
  g_lastCheckUs = TimeUs();
  for (;;) {
    try {
      RunCommands();
      g_fastDispatch = false;  // handlers called outside the loop do only their own work
      return;
    } catch (const std::bad_alloc&) {
      // Memory ran out: inside a file's load that load's own error, else "Out of memory" (as a
      // DIM that memory cannot hold), not a fault to report.
      g_fastDispatch = false;
      if (!ReportFailedLoad(true)) RunError(kErrOutOfMemory);
    } catch (const std::exception& e) {
      g_fastDispatch = false;
      ReportFailedLoad(false);
      if (!g_runtime.standalone) std::fprintf(stderr, "%s: exception in a command: %s\n", MessageName(), e.what());
      RunError(kErrExceptionInCommand);
    } catch (...) {
      g_fastDispatch = false;
      ReportFailedLoad(false);
      RunError(kErrExceptionInCommand);
    }
    CheckSliceEnd();
  }
}
