#pragma once
#include <cstdint>

#include "core/interp.h"

// Pre-decoded dispatch for the interpreter's fast path: beside the loaded code, one handler
// per code word, the fast form to run when a command starts at that word (a command of
// another family, or a number without a handler, gets a stand-in that runs it the ordinary
// way). Built when a slice starts, from the code and the command table as they are then; the
// command numbers in the code stay as they are. A word may get a form made for its place, one
// that also runs the command after it (a result assigned next, a comparison tested next),
// since on the fast path nothing is traced or counted between the two.
using ThreadedHandler = CodeWord* (*)(CodeWord* operands);

// The words covered: [g_threadedBegin, g_threadedBegin + g_threadedBytes / 8); the handler
// of word p is at byte address p + g_threadedDelta. g_threadedBytes is 0 while there is none.
extern uintptr_t g_threadedBegin;
extern uintptr_t g_threadedBytes;
extern intptr_t g_threadedDelta;

// The stand-in for commands without a fast form (defined with the command loop).
CodeWord* RunOtherCommand(CodeWord* operands);

// Runs the command at `at` through its threaded handler (for a threaded form that goes on
// with the next command itself).
inline CodeWord* RunThreadedNext(CodeWord* at) {
  ProgramCounter = at + 1;
  return (*reinterpret_cast<ThreadedHandler*>(reinterpret_cast<uintptr_t>(at) + uintptr_t(g_threadedDelta)))(at + 1);
}

// The fast form F, then the command after it through its threaded handler, unless F ended
// the slice.
template <ThreadedHandler F>
CodeWord* ThenNext(CodeWord* pc) {
  CodeWord* next = F(pc);
  if (LeaveSlice) return next;
  return RunThreadedNext(next);
}

// Makes the threaded handlers match the loaded code and the command table; false when the
// code was not loaded by the loader (nothing is then covered).
bool PrepareThreadedCode();
// Takes the handlers for the slice mode (after a command that may have changed it).
void SelectThreadedHandlers();
// Drops the handlers (the loader calls it when the code changes).
void DropThreadedCode();

// A form for a place. A form that runs the command after its own through that command's
// threaded handler (a chain) tells how many words on that command is; chains are kept short,
// so that one dispatch runs a bounded number of commands. (NEXT may also go on into its
// loop's body, for a bounded number of turns; its form tells no chain.)
struct PlacedForm {
  ThreadedHandler handler = nullptr;  // nullptr: the command's ordinary fast form
  int32_t chainsTo = 0;               // 0: returns to the interpreter
  int32_t orChainsTo = 0;             // a form with two ways on (a test): the other one, later in the code
};
inline constexpr int kMaxChain = 8;
// The form a command family has for the command at word `at` in its place. `room` words of
// code (counting the guard word) start at `at`; mayChain false asks for a form without a chain.
PlacedForm ControlFormAt(const CodeWord* at, int64_t room, bool mayChain);
PlacedForm OperatorFormAt(const CodeWord* at, int64_t room, bool mayChain);
PlacedForm ArrayFormAt(const CodeWord* at, int64_t room, bool mayChain);
// True when the table runs command number n with its fast form (the ordinary handler).
bool HasFastForm(CodeWord n);
