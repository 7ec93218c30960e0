// Control flow: jumps, the counted-loop step, subroutines and user functions.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/call_stack.h"
#include "core/command_numbers.h"
#include "core/commands.h"
#include "core/handler.h"
#include "core/language.h"
#include "core/threaded_code.h"
#include "platform/events.h"

namespace {

CodeWord* JumpIfFalse(CodeWord* pc) {
  return Cell(pc, 0)->i == 0 ? reinterpret_cast<CodeWord*>(pc[1]) : pc + 2;
}

CodeWord* Jump(CodeWord* pc) { return reinterpret_cast<CodeWord*>(pc[0]); }

// Both bounds inclusive; a step of 0 never leaves the loop.
inline CodeWord* ForNextStep(CodeWord* pc) {
  VarCell* v = Cell(pc, 0);
  const int32_t limit = Cell(pc, 1)->i, step = Cell(pc, 2)->i;
  const int32_t x = WrapAdd(v->i, step);
  v->i = x;
  if (step > 0 ? x > limit : (step < 0 && x < limit)) return reinterpret_cast<CodeWord*>(pc[3]);
  return pc + 4;
}

CodeWord* ForNextStepCmd(CodeWord* pc) { return ForNextStep(pc); }

// NEXT jumps back to the loop's step, which it runs at once on the fast path.
CodeWord* JumpOperand1(CodeWord* pc) {
  CodeWord* target = reinterpret_cast<CodeWord*>(pc[1]);
  if (*target == kCmdForStep && g_fastDispatch) return ForNextStep(target + 1);
  return target;
}

// NEXT at a place whose jump lands on the loop step.
CodeWord* NextThenStep(CodeWord* pc) { return ForNextStep(reinterpret_cast<CodeWord*>(pc[1]) + 1); }

// NEXT at a place whose jump lands on the loop step, in a loop whose body starts with a fast
// form: while the loop goes on, the body's first command runs here too, so that a short loop
// turns without returning to the interpreter. The turns one dispatch runs this way are
// bounded (kChainedTurns), so a dispatch still runs a bounded number of commands.
constexpr uint32_t kChainedTurns = 8;
uint32_t g_chainedTurnsLeft = kChainedTurns;
CodeWord* NextThenStepThenBody(CodeWord* pc) {
  CodeWord* step = reinterpret_cast<CodeWord*>(pc[1]);
  CodeWord* next = ForNextStep(step + 1);
  if (next != step + 5 || --g_chainedTurnsLeft == 0 || LeaveSlice) {
    g_chainedTurnsLeft = kChainedTurns;
    return next;
  }
  return RunThreadedNext(next);
}

// NEXT right after its loop step (a loop without a body): up to kMaxChain turns at once.
CodeWord* RepeatEmptyLoop(CodeWord* pc) {
  CodeWord* step = reinterpret_cast<CodeWord*>(pc[1]);
  for (int k = 0; k < kMaxChain; ++k) {
    CodeWord* next = ForNextStep(step + 1);
    if (next != pc - 1) return next;
  }
  return pc - 1;
}

// A code position inside the code with at least `words` words from it.
bool InsideCode(const CodeWord* p, int64_t words) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(p), begin = reinterpret_cast<uintptr_t>(CommandStream);
  return at >= begin && (at - begin) % sizeof(CodeWord) == 0 &&
         int64_t((at - begin) / sizeof(CodeWord)) + words <= g_codeWordCount + 1;
}

void CmdGosub() {
  const int32_t d = g_callStack.depth;
  if (d + 1 >= kCallStackLevels) {
    RunError(kErrCallsTooDeep);
    return;
  }
  CallLevel& level = g_callLevels[d];
  level.returnPoint = ProgramCounter + 1;
  level.entry = nullptr;
  level.argCount = 0;
  level.isFunction = 0;
  level.savedBegin = level.savedEnd = level.blockBegin = level.blockEnd = 0;
  g_callStack.depth = d + 1;
  ProgramCounter = OpTarget(0);
}

// Only a subroutine level is popped: a RETURN met while a user function is the innermost call
// goes on with the next command, as at depth 0.
void CmdReturn() {
  const int32_t d = g_callStack.depth;
  if (d > 0 && !g_callLevels[d - 1].isFunction) {
    g_callStack.depth = d - 1;
    ProgramCounter = g_callLevels[d - 1].returnPoint;
  }
}

bool IsStringOperandCell(const VarCell* c) {
  return CellInRange(c, kCellStringTemp, kCellIntVar) || CellInRange(c, kCellStringVar, kCellIntLiteral) ||
         CellInRange(c, kCellStringLiteral, kCellData);
}

// The entry of a call must be a parameter list of n variable cells followed by the
// function's number, inside the code. Each entry is checked once per argument count.
bool ValidEntry(const CodeWord* entry, int32_t n) {
  const int64_t at = entry - CommandStream;
  if (at < 0 || at + n >= g_codeWordCount) return false;
  if (g_checkedEntries.size() != size_t(g_codeWordCount)) {
    g_checkedEntries.assign(size_t(g_codeWordCount), -1);
    g_entryFlags.assign(size_t(g_codeWordCount), 0);
  }
  if (g_checkedEntries[size_t(at)] == n) return true;
  bool text = false;
  for (int32_t i = 0; i < n; ++i) {
    const void* p = reinterpret_cast<const void*>(entry[i]);
    if (!IsCellAddress(p) || !CellInRange(static_cast<const VarCell*>(p), kCellIntVar, kCellIntLiteral)) return false;
    text |= IsStringVariableCell(static_cast<const VarCell*>(p));
  }
  if (entry[n] <= 0 || entry[n] >= 32768) return false;
  g_checkedEntries[size_t(at)] = n;
  g_entryFlags[size_t(at)] = uint8_t((text ? kEntryHasText : 0) |
                                       (ParametersOwnedByFunction(entry, n) ? kEntryOwnsParameters : 0));
  return true;
}

// Operands: entry, result cell, argument count, then one argument per parameter.
CodeWord* CallFunctionGeneral(CodeWord* pc) {
  const int32_t d = g_callStack.depth;
  if (d + 1 >= kCallStackLevels || CallStackMemoryFull()) {
    RunError(kErrCallsTooDeep);
    return pc;
  }
  CodeWord* entry = reinterpret_cast<CodeWord*>(pc[0]);
  const int32_t n = std::max(Cell(pc, 2)->i, 0);
  if (!ValidEntry(entry, n)) {
    RunError(kErrExceptionInCommand);
    return pc;
  }
  CallLevel& level = g_callLevels[d];
  level.returnPoint = pc;
  level.entry = entry;
  level.argCount = n;
  level.isFunction = 1;
  const uint8_t flags = g_entryFlags[size_t(entry - CommandStream)];
  level.ownsParameters = (flags & kEntryOwnsParameters) != 0;
  level.numberResult = nullptr;
  level.savedBegin = level.savedEnd = level.blockBegin = level.blockEnd = 0;
  // Take every argument before any parameter changes: an argument may be a parameter or a
  // temporary of the caller (a recursive call), which the save below moves away.
  constexpr int kInline = 8;
  if (!(flags & kEntryHasText) && n <= kInline) {
    int32_t values[kInline];
    for (int32_t i = 0; i < n; ++i) values[i] = Cell(pc, 3 + i)->i;
    if (d > 0 || MainProgramKeepsTemporaries()) SaveFunctionLocals(d);
    for (int32_t i = 0; i < n; ++i) Cell(entry, i)->i = values[i];
  } else {
    std::vector<VarCell> values(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      VarCell* param = Cell(entry, i);
      VarCell* arg = Cell(pc, 3 + i);
      if (IsStringVariableCell(param)) {
        if (!IsStringOperandCell(arg)) {
          for (int32_t k = 0; k < i; ++k)
            if (IsStringVariableCell(Cell(entry, k))) std::free(values[size_t(k)].s);
          level.isFunction = 0;
          RunError(kErrExceptionInCommand);
          return pc;
        }
        const char* text = CellText(arg);
        values[size_t(i)].s = NewString(text, strnlen(text, kMaxText));
      } else {
        values[size_t(i)].i = arg->i;
      }
    }
    if (d > 0 || MainProgramKeepsTemporaries()) SaveFunctionLocals(d);
    for (int32_t i = 0; i < n; ++i) {
      VarCell* param = Cell(entry, i);
      if (IsStringVariableCell(param)) {
        std::free(param->s);
        param->s = values[size_t(i)].s;
      } else {
        param->i = values[size_t(i)].i;
      }
    }
  }
  level.callerFunction = g_callStack.currentFunction;
  g_callStack.currentFunction = int16_t(entry[n]);
  g_callStack.depth = d + 1;
  return entry + n + 1;
}

enum class ReturnKind { None, Value, Text };

// Returns from the innermost user-function call, dropping the subroutine levels opened inside
// it. The caller's locals are put back before the result is written, since the result cell
// is one of the caller's temporaries. With no function call open, the command is passed over.
template <ReturnKind kind>
[[gnu::noinline]] CodeWord* ReturnFromFunction(CodeWord* pc) {
  int32_t value = 0;
  char* text = nullptr;
  if (kind == ReturnKind::Value) value = Cell(pc, 0)->i;
  if (kind == ReturnKind::Text) {
    const char* t = CellText(Cell(pc, 0));
    text = NewString(t, strnlen(t, kMaxText));
  }
  int32_t k = g_callStack.depth - 1;
  while (k >= 0 && !g_callLevels[k].isFunction) --k;
  if (k < 0) {
    std::free(text);
    return kind != ReturnKind::None ? pc + 1 : pc;
  }
  CallLevel& level = g_callLevels[k];
  g_callStack.depth = k;
  g_callStack.currentFunction = level.callerFunction;
  RestoreFunctionLocals(k);
  level.isFunction = 0;
  CodeWord* call = level.returnPoint;
  VarCell* result = reinterpret_cast<VarCell*>(call[1]);
  const bool stringResult = IsStringOperandCell(result);
  if (stringResult) {
    std::free(result->s);
    result->s = text ? text : NewString("", 0);
  } else {
    std::free(text);
    result->i = value;
  }
  return call + 3 + level.argCount;
}

constexpr FastHandler FunctionReturn = ReturnFromFunction<ReturnKind::None>;
constexpr FastHandler FunctionReturnValue = ReturnNumber;
constexpr FastHandler FunctionReturnString = ReturnFromFunction<ReturnKind::Text>;

// Reached only by running into a function definition from the code above it: the program
// ends as by the end command, with error 21.
void CmdStopWithError21() {
  PostQuit();
  LeaveSlice = 1;
  g_timing.ended = 1;
  RunError(kErrFunctionEnteredWithoutCall);
}

#define VK_OP(number, fn, kinds) {number, SlowForm<fn>, kinds, fn}
const CommandDef kControl[] = {
    VK_OP(1, JumpIfFalse, "la"), VK_OP(9, JumpIfFalse, "la"), VK_OP(12, JumpIfFalse, "la"),
    VK_OP(2, Jump, "a"),         VK_OP(5, Jump, "a"),         VK_OP(6, Jump, "a"),
    VK_OP(10, Jump, "a"),        VK_OP(42, Jump, "a"),        VK_OP(8, JumpOperand1, "na"),
    VK_OP(7, ForNextStepCmd, "llla"),
    VK_OP(21, CallUserFunction, "avc"),
    VK_OP(22, FunctionReturn, ""),
    VK_OP(27, FunctionReturn, ""),
    VK_OP(23, FunctionReturnValue, "l"),
    VK_OP(28, FunctionReturnValue, "l"),
    VK_OP(24, FunctionReturnValue, "f"),
    VK_OP(29, FunctionReturnValue, "f"),
    VK_OP(25, FunctionReturnString, "s"),
    VK_OP(30, FunctionReturnString, "s"),
    {41, CmdGosub, "a", AsFast<CmdGosub>},
    {43, CmdReturn, "", AsFast<CmdReturn>},
    {26, CmdStopWithError21, "p"},
};
#undef VK_OP

}  // namespace

CodeWord* CallFunctionInGeneral(CodeWord* operands) { return CallFunctionGeneral(operands); }
CodeWord* ReturnNumberInGeneral(CodeWord* operands) { return ReturnFromFunction<ReturnKind::Value>(operands); }

PlacedForm ControlFormAt(const CodeWord* at, int64_t room, bool mayChain) {
  if (at[0] == kCmdNext && room >= 3) {
    const CodeWord* target = reinterpret_cast<const CodeWord*>(at[2]);
    if (InsideCode(target, 5) && target[0] == kCmdForStep && HasFastForm(kCmdForStep)) {
      if (!mayChain || !HasFastForm(kCmdNext)) return {NextThenStep, 0};
      if (target + 5 == at) return {RepeatEmptyLoop, 0};
      if (InsideCode(target, 6) && target + 5 < at && HasFastForm(target[5])) return {NextThenStepThenBody, 0};
      return {NextThenStep, 0};
    }
  }
  return {};
}

void ResetLoopChains() { g_chainedTurnsLeft = kChainedTurns; }

std::span<const CommandDef> ControlCommands() { return kControl; }
