#pragma once
#include <cstdint>

// The command numbers that code outside a command's own family table relies on: the compiler
// emits them, the threaded code and the call analysis look for them in the loaded code.
enum CommandNumber : int32_t {
  // Conditional jumps on a zero condition: IF, WHILE, UNTIL (operands: condition, target).
  kCmdIf = 1,
  kCmdWhile = 9,
  kCmdUntil = 12,
  // The loop step of FOR (operands: variable, end, step, exit target) and NEXT.
  kCmdForStep = 7,
  kCmdNext = 8,
  // User functions: the call, the end without a value and with one (integer, float, text),
  // the guard that stops a run into a definition, and the early exits.
  kCmdCallFunction = 21,
  kCmdEndFunction = 22,
  kCmdEndFunctionInt = 23,
  kCmdEndFunctionFloat = 24,
  kCmdEndFunctionText = 25,
  kCmdFunctionGuard = 26,
  kCmdExitFunction = 27,
  kCmdExitFunctionInt = 28,
  kCmdExitFunctionFloat = 29,
  kCmdExitFunctionText = 30,
  // Assignments (destination, source) and the numeric conversions.
  kCmdAssignInt = 151,
  kCmdAssignFloat = 152,
  kCmdAssignText = 153,
  kCmdFloatToInt = 154,
  kCmdIntToFloat = 155,
  // The comment block words (compiled to nothing).
  kCmdCommentStart = 401,
  kCmdCommentEnd = 402,
  // The array files: load (integer, float, text) and save, 5001-5006.
  kCmdLoadIntArray = 5001,
  kCmdSaveTextArray = 5006,
};

// A conditional jump whose condition is its first operand.
inline bool IsConditionalJump(int64_t n) { return n == kCmdIf || n == kCmdWhile || n == kCmdUntil; }
// An assignment of a number (its result may be handed on).
inline bool IsNumberAssignment(int64_t n) { return n == kCmdAssignInt || n == kCmdAssignFloat; }
// A return of a number from a user function.
inline bool IsNumberReturn(int64_t n) {
  return n == kCmdEndFunctionInt || n == kCmdEndFunctionFloat || n == kCmdExitFunctionInt || n == kCmdExitFunctionFloat;
}
// An element fetch with one index (integer, float, text): destination, array, index.
inline bool IsOneIndexFetch(int64_t n) { return n == 661 || n == 666 || n == 671; }
// The operand of a command that names an array: the first of DIM, UNDIM and the element
// stores and reads, the second of LOAD ARRAY and SAVE ARRAY
// (there an element with one index, whose fetch the command reads its array from); -1 for a command without one.
inline int ArrayOperandOf(int64_t n) {
  if ((n >= 501 && n <= 506) || (n >= 511 && n <= 516) || (n >= 521 && n <= 526)) return 0;
  if ((n >= 561 && n <= 580) || (n >= 661 && n <= 675)) return 0;
  if (n >= 5001 && n <= 5006) return 1;
  return -1;
}
