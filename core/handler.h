#pragma once
// What a command handler needs, and nothing of the run loop.
//
// A handler is `void CmdName()`: ProgramCounter points at its first operand word. It reads
// operands with OpInt/OpFloat/OpString/OpCell, moves past them with SkipOperands(n) (every
// path, also after an error), waits with WaitAndRetry(), ends the slice with LeaveSlice = 1
// (AutoRefresh() after drawing), reports with RunError(code) and stores texts with StoreText.
// A function's handler (not on the fast path) finds its result cell, operand 0, holding 0 or
// the empty text: a path that computes nothing leaves that defined value.
//
// A new family: put the handlers in <folder>/commands_<family>.cpp with a table
//   const CommandDef kFooCommands[] = {{number, CmdFoo, "operand letters"}, ...};
//   std::span<const CommandDef> FooCommands() { return kFooCommands; }
// declare FooCommands() in <folder>/commands.h, and add {"foo", FooCommands} to kFamilies in
// runtime/command_families.cpp (the one list). Letters: see CommandDef in core/command_table.h;
// every command needs a keyword line with matching letters in its folder's part of the keyword
// list, data/keywords/<folder>.txt (a test checks every family). The placeholder that stops a
// program at an unbuilt command is replaced as soon as a family installs the number. Error
// codes are named in core/error_codes.h.
#include <cstddef>
#include <cstring>

#include "core/arrays.h"
#include "core/cells.h"
#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/run_timing.h"
#include "core/strings.h"

// The longest text of the language; work buffers hold it and its terminator.
inline constexpr size_t kMaxText = 255;

// Text of a string cell ("" for a cell without a buffer).
inline const char* CellText(const VarCell* c) { return c->s ? c->s : ""; }

// Stores a copy of at most 255 characters of text into a string cell (the work-buffer rule:
// the text is copied before the old buffer is released, so a cell may be given its own text).
inline void StoreText(VarCell* cell, const char* text) {
  size_t n = strnlen(text, kMaxText);
  SetCellString(cell, text, n);
}
inline void StoreText(VarCell* cell, const char* text, size_t length) {
  SetCellString(cell, text, length > kMaxText ? kMaxText : length);
}

// After a command that changed the picture: the slice ends when the runtime refreshes the
// screen by itself (auto refresh, until the program takes over with SYNC ON). It only ever
// ends the slice: an error the command reported has ended it already and must stay so.
inline void AutoRefresh() { LeaveSlice |= g_timing.autoRefresh; }
