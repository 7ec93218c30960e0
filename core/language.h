#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "core/cells.h"
#include "core/handler.h"

// Helpers shared by the language command families (control flow, DATA, operators, arrays,
// strings, maths).


// Float to integer: truncation toward zero; NaN and values outside int32 give INT32_MIN.
inline int32_t FloatToInt(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
  return int32_t(v);
}

// 32-bit two's complement arithmetic without undefined behaviour.
inline int32_t WrapAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t WrapSub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t WrapMul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

// The C library's decimal conversions, independent of the process locale: leading blanks,
// a sign and digits (and for floats a point and an exponent); 0 when no number starts the text.
// Integers are read as 64 bits and clamped to int32.
int32_t TextToInt(const char* text);
double TextToDouble(const char* text);
// "%g" of a double in the C locale; returns the length written into out (at least 32 bytes).
size_t FormatG(double value, char* out);

// Cell ranges of the cell map.
inline bool CellInRange(const VarCell* c, int lo, int hi) {
  ptrdiff_t i = c - g_cells;
  return i >= lo && i < hi;
}
inline bool IsIntVariableCell(const VarCell* c) { return CellInRange(c, kCellIntVar, kCellFloatVar); }
inline bool IsFloatVariableCell(const VarCell* c) { return CellInRange(c, kCellFloatVar, kCellStringVar); }
inline bool IsStringVariableCell(const VarCell* c) { return CellInRange(c, kCellStringVar, kCellIntLiteral); }



// The language commands of short, bounded work also have a form that takes its operand words
// in a register and returns where the program goes on (CommandDef::fast); the interpreter's
// fast path calls it directly (keeping ProgramCounter on the operands while it runs) and tests
// the slice's time only every so many of them. The table's ordinary handler is the same code
// through ProgramCounter. A fast form is used only while the table holds its ordinary handler.
template <FastHandler F>
void SlowForm() {
  ProgramCounter = F(ProgramCounter);
}
// The fast form of a handler written through ProgramCounter (commands of short, bounded work).
template <CommandHandler H>
CodeWord* AsFast(CodeWord* pc) {
  ProgramCounter = pc;
  H();
  return ProgramCounter;
}
inline VarCell* Cell(const CodeWord* pc, int k) { return reinterpret_cast<VarCell*>(pc[k]); }

// The shape of an operator command, from its operand letters: a result and the two operands
// it reads (three letters), or a destination and its source (two: assignments and
// conversions). kNone for a command that is not an operator.
enum class OperatorShape : uint8_t { kNone, kResultOfTwo, kDestinationOfSource };
OperatorShape OperatorShapeOf(CodeWord n);

// The turns a NEXT may run on into its loop's body start afresh (run start).
void ResetLoopChains();

// The DATA read position: index of the next DATA item (0 ... item count).
extern int32_t g_dataReadPosition;
// State of the random generator (1 at program start).
extern uint32_t g_randomState;
