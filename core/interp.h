#pragma once
#include <cstdint>

#include "core/cells.h"

// A loaded code word: a command number, the address of a variable cell, the address of a
// code word or a plain number (a DATA index).
using CodeWord = intptr_t;
using CommandHandler = void (*)();
// The fast form of a hot command: takes the operand words, returns the next code word.
using FastHandler = CodeWord* (*)(CodeWord* operands);

// The loaded code and its length in words (a guard word 0 follows the last one).
extern CodeWord* CommandStream;
extern int64_t g_codeWordCount;
// While a handler runs: its first operand word.
extern CodeWord* ProgramCounter;
// Set by a handler to end the slice at the next command boundary.
extern uint8_t LeaveSlice;
// Set every 200 commands in program-controlled mode: input queries poll the devices again.
extern uint8_t InputStale;

// True while commands run without trace or virtual clock: a handler may then run the
// command it jumps to itself (the loop step after NEXT), saving a dispatch.
extern bool g_fastDispatch;

// Operand accessors for handlers (operand k = ProgramCounter[k]).
inline VarCell* OpCell(int k) { return reinterpret_cast<VarCell*>(ProgramCounter[k]); }
inline int32_t OpInt(int k) { return OpCell(k)->i; }
inline float OpFloat(int k) { return OpCell(k)->f; }
inline const char* OpString(int k) {
  const char* s = OpCell(k)->s;
  return s ? s : "";
}
inline CodeWord* OpTarget(int k) { return reinterpret_cast<CodeWord*>(ProgramCounter[k]); }
inline intptr_t OpNumber(int k) { return ProgramCounter[k]; }
// A DATA position operand holds this base plus the index of the DATA item.
inline constexpr intptr_t kDataPositionBase = 25000;
inline void SkipOperands(int n) { ProgramCounter += n; }
// A waiting handler runs again in the next slice: back to its own command word.
inline void WaitAndRetry() {
  ProgramCounter -= 1;
  LeaveSlice = 1;
}

// What the runtime hands the interpreter: the probe run every 200 commands in
// program-controlled mode (it sets LeaveSlice for the stop keys or a full draw queue), and
// the handling of the waiting window messages that long-running handlers ask for.
struct InterpreterHooks {
  void (*periodicProbe)() = nullptr;
  void (*dispatchMessages)() = nullptr;
};
extern InterpreterHooks g_interpreterHooks;

// The interpreter's registers, timing and pre-decoded code back to a new process's state
// (the hooks stay).
void ResetInterpreterState();

// Runs commands until the slice ends (time, a handler, the periodic probe).
void InterpretSlice();
// Index of a code word in the loaded code.
inline int64_t CodeIndexOf(const CodeWord* p) { return p - CommandStream; }
// A loaded code word as the image held it: an operand the loader turned into an address
// becomes its operand number again (messages never show an address).
int64_t ImageWordOf(CodeWord word);
