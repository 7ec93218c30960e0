#pragma once
#include <cstdint>
#include <vector>

#include "core/cells.h"
#include "core/interp.h"
#include "core/language.h"

// The return stack shared by subroutine calls and user-function calls.
inline constexpr int32_t kCallStackLevels = 65535;
// What the open calls may keep of their callers' locals (values and texts) before a further
// call is refused with error 108, as when the levels run out.
inline constexpr uint64_t kCallStackBytes = uint64_t(256) << 20;
bool CallStackMemoryFull();

struct CallLevel {
  CodeWord* returnPoint = nullptr;  // GOSUB: the word after the call; function: the call's first operand
  CodeWord* entry = nullptr;        // function: the called function's parameter list
  int32_t argCount = 0;             // function: the call's argument count
  int16_t callerFunction = 0;       // function: the current function number before the call
  uint8_t isFunction = 0;           // 0: a GOSUB level
  uint8_t ownsParameters = 0;       // function: every parameter is a variable of the called function
  uint32_t savedBegin = 0;          // the caller's saved cells in the save stack, [begin, end)
  uint32_t savedEnd = 0;
  uint32_t blockBegin = 0;          // the caller's numeric temporaries in the block stack
  uint32_t blockEnd = 0;
  int32_t plan = 0;                 // function: what was saved of the caller (a save plan)
  VarCell* const* blockCells = nullptr;  // the cells of the numeric block, in block order
  VarCell* numberResult = nullptr;  // function: the call's result cell when it takes a number, else nullptr
};

struct CallStack {
  int32_t depth = 0;            // levels in use
  int16_t currentFunction = 0;  // 0: the main program; n: user function n
};
extern CallStack g_callStack;
extern CallLevel* g_callLevels;  // kCallStackLevels entries

// Function entries already checked by a call (per code word: the argument count the entry
// was found valid for, or -1), and that entry's kEntry* flags. Emptied with the call stack
// and whenever the calls are unwound.
inline constexpr uint8_t kEntryHasText = 1;        // string parameters
inline constexpr uint8_t kEntryOwnsParameters = 2;  // every parameter is a variable of the function
extern std::vector<int32_t> g_checkedEntries;
extern std::vector<uint8_t> g_entryFlags;

// Empties the call stack of subroutines and user functions (run start).
void ResetCallStack();
// Unwinds every open user-function call (restoring the callers' locals).
void UnwindFunctionCalls();

// True when every parameter of the entry (n parameter cells, then the function number) is a
// variable the scope tables give to that function.
bool ParametersOwnedByFunction(const CodeWord* entry, int32_t n);

// The fast forms of a user-function call (operands: entry, result cell, argument count,
// arguments) and of the return of a number. The common cases (an entry checked before for
// this argument count, a few numeric parameters; a numeric result cell) are done here, the
// rest by the general forms of the control commands.
CodeWord* CallUserFunction(CodeWord* operands);
CodeWord* ReturnNumber(CodeWord* operands);
CodeWord* CallFunctionInGeneral(CodeWord* operands);
CodeWord* ReturnNumberInGeneral(CodeWord* operands);

// True when a call made at level 0 must save the main program's temporaries (a statement
// of the main program uses more than 50 of one type).
bool MainProgramKeepsTemporaries();
// Saves the locals and temporaries of the current function for the call at level d.
void SaveFunctionLocals(int32_t d);
// Puts back the locals saved for level d and releases them.
void RestoreFunctionLocals(int32_t d);
