// Operators, comparisons, assignment and conversions. Operands: result, a, b (assignment and
// conversion: destination, source). Integer arithmetic wraps at 32 bits; mixed integer-float
// forms convert the integer exactly and compute in double precision.
#include <cmath>
#include <cstring>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/language.h"

namespace {

inline void Done3() { ProgramCounter += 3; }

// Numeric results are nearly always assigned to a variable by the next command, and
// comparisons tested by a conditional jump: when dispatch allows, those follow-ups run here.
inline void DoneValue() {
  CodeWord* next = ProgramCounter + 3;
  if (g_fastDispatch && (next[0] == 151 || next[0] == 152) && next[2] == ProgramCounter[0]) {
    reinterpret_cast<VarCell*>(next[1])->i = OpInt(0);
    ProgramCounter = next + 3;
  } else {
    ProgramCounter = next;
  }
}

inline void DoneCondition() {
  CodeWord* next = ProgramCounter + 3;
  if (g_fastDispatch && (next[0] == 1 || next[0] == 9 || next[0] == 12) && next[1] == ProgramCounter[0]) {
    ProgramCounter = OpInt(0) == 0 ? reinterpret_cast<CodeWord*>(next[2]) : next + 3;
  } else {
    ProgramCounter = next;
  }
}
inline double D(int k) { return double(OpFloat(k)); }
inline double I(int k) { return double(OpInt(k)); }
inline void SetInt(int32_t v) { OpCell(0)->i = v; }
inline void SetFloat(double v) { OpCell(0)->f = float(v); }

// Power: the C library's pow on the operands widened to double.
void CmdPowerIntInt() { SetInt(FloatToInt(std::pow(I(1), I(2)))); DoneValue(); }
void CmdPowerFloatFloat() { SetFloat(std::pow(D(1), D(2))); DoneValue(); }
void CmdPowerIntFloat() { SetFloat(std::pow(I(1), D(2))); DoneValue(); }
void CmdPowerFloatInt() { SetFloat(std::pow(D(1), I(2))); DoneValue(); }

// Division by zero gives 0 and warning 111 (a built game goes on with the 0). The 32-bit
// quotient of -2147483648 by -1 wraps to -2147483648.
void DivideByZero() {
  OpCell(0)->i = 0;
  RunWarning(111);
}

void CmdDivideInt() {
  const int32_t a = OpInt(1), b = OpInt(2);
  if (b == 0) DivideByZero();
  else SetInt(b == -1 ? WrapSub(0, a) : a / b);
  Done3();
}

void CmdDivideIntFloat() {
  const double b = D(2);
  if (!(b < 0 || b > 0)) DivideByZero();
  else SetFloat(I(1) / b);
  Done3();
}

void CmdDivideFloatInt() {
  const double b = double(float(OpInt(2)));
  if (!(b < 0 || b > 0)) DivideByZero();
  else SetFloat(D(1) / I(2));
  Done3();
}

void CmdDivideFloat() {
  const double b = D(2);
  if (!(b < 0 || b > 0)) DivideByZero();
  else SetFloat(D(1) / b);
  Done3();
}

void CmdMultiplyInt() { SetInt(WrapMul(OpInt(1), OpInt(2))); DoneValue(); }
void CmdMultiplyIntFloat() { SetFloat(I(1) * D(2)); DoneValue(); }
void CmdMultiplyFloatInt() { SetFloat(D(1) * I(2)); DoneValue(); }
void CmdMultiplyFloat() { SetFloat(D(1) * D(2)); DoneValue(); }
void CmdAddInt() { SetInt(WrapAdd(OpInt(1), OpInt(2))); DoneValue(); }
void CmdAddIntFloat() { SetFloat(I(1) + D(2)); DoneValue(); }
void CmdAddFloatInt() { SetFloat(D(1) + I(2)); DoneValue(); }
void CmdAddFloat() { SetFloat(D(1) + D(2)); DoneValue(); }
void CmdSubtractInt() { SetInt(WrapSub(OpInt(1), OpInt(2))); DoneValue(); }
void CmdSubtractIntFloat() { SetFloat(I(1) - D(2)); DoneValue(); }
void CmdSubtractFloatInt() { SetFloat(D(1) - I(2)); DoneValue(); }
void CmdSubtractFloat() { SetFloat(D(1) - D(2)); DoneValue(); }
void CmdBitAnd() { SetInt(OpInt(1) & OpInt(2)); DoneValue(); }
void CmdBitOr() { SetInt(OpInt(1) | OpInt(2)); DoneValue(); }

// Concatenation: error 107 when the text would reach 256 characters; the result stays as it was.
void CmdConcatStrings() {
  const char* a = OpString(1);
  const char* b = OpString(2);
  const size_t la = strnlen(a, 256), lb = strnlen(b, 256);
  if (la + lb < 256) {
    char work[256];
    std::memcpy(work, a, la);
    std::memcpy(work + la, b, lb);
    SetCellString(OpCell(0), work, la + lb);
  } else {
    RunError(107);
  }
  Done3();
}

// a with the first occurrence of b taken out (an empty b removes nothing).
void CmdStringMinus() {
  char work[256];
  const char* a = OpString(1);
  const char* b = OpString(2);
  size_t la = strnlen(a, kMaxText);
  const size_t lb = strnlen(b, kMaxText);
  std::memcpy(work, a, la);
  if (lb <= la) {
    for (size_t i = 0; i + lb <= la; ++i) {
      if (std::memcmp(work + i, b, lb) == 0) {
        std::memmove(work + i, work + i + lb, la - i - lb);
        la -= lb;
        break;
      }
    }
  }
  SetCellString(OpCell(0), work, la);
  Done3();
}

// Comparisons: the result is 1 when the relation holds, else 0. Mixed forms compare exact values.
#define VK_COMPARE(name, left, op, right) \
  void name() { SetInt((left(1) op right(2)) ? 1 : 0); DoneCondition(); }
inline int32_t L(int k) { return OpInt(k); }
inline float F(int k) { return OpFloat(k); }
VK_COMPARE(CmdEqualsInt, L, ==, L)
VK_COMPARE(CmdEqualsFloat, F, ==, F)
VK_COMPARE(CmdEqualsIntFloat, I, ==, D)
VK_COMPARE(CmdEqualsFloatInt, D, ==, I)
VK_COMPARE(CmdGreaterInt, L, >, L)
VK_COMPARE(CmdGreaterFloat, F, >, F)
VK_COMPARE(CmdGreaterIntFloat, I, >, D)
VK_COMPARE(CmdGreaterFloatInt, D, >, I)
VK_COMPARE(CmdGreaterEqualInt, L, >=, L)
VK_COMPARE(CmdGreaterEqualFloat, F, >=, F)
VK_COMPARE(CmdGreaterEqualIntFloat, I, >=, D)
VK_COMPARE(CmdGreaterEqualFloatInt, D, >=, I)
VK_COMPARE(CmdLessInt, L, <, L)
VK_COMPARE(CmdLessFloat, F, <, F)
VK_COMPARE(CmdLessIntFloat, I, <, D)
VK_COMPARE(CmdLessFloatInt, D, <, I)
VK_COMPARE(CmdLessEqualInt, L, <=, L)
VK_COMPARE(CmdLessEqualFloat, F, <=, F)
VK_COMPARE(CmdLessEqualIntFloat, I, <=, D)
VK_COMPARE(CmdLessEqualFloatInt, D, <=, I)
VK_COMPARE(CmdNotEqualInt, L, !=, L)
VK_COMPARE(CmdNotEqualFloat, F, !=, F)
VK_COMPARE(CmdNotEqualIntFloat, I, !=, D)
VK_COMPARE(CmdNotEqualFloatInt, D, !=, I)
#undef VK_COMPARE

// Texts compare byte by byte as unsigned values.
inline int CompareTexts() { return std::strcmp(OpString(1), OpString(2)); }
void CmdEqualsString() { SetInt(CompareTexts() == 0); DoneCondition(); }
void CmdNotEqualString() { SetInt(CompareTexts() != 0); DoneCondition(); }
void CmdGreaterString() { SetInt(CompareTexts() > 0); DoneCondition(); }
void CmdLessString() { SetInt(CompareTexts() < 0); DoneCondition(); }

void CmdAssignValue() {
  OpCell(0)->i = OpInt(1);
  ProgramCounter += 2;
}

void CmdAssignString() {
  StoreText(OpCell(0), OpString(1));
  ProgramCounter += 2;
}

void CmdFloatToInt() {
  OpCell(0)->i = FloatToInt(OpFloat(1));
  ProgramCounter += 2;
}

void CmdIntToFloat() {
  OpCell(0)->f = float(OpInt(1));
  ProgramCounter += 2;
}

const CommandDef kOperators[] = {
    {51, CmdPowerIntInt, "lll"},       {52, CmdPowerFloatFloat, "fff"},   {53, CmdPowerIntFloat, "flf"},
    {54, CmdPowerFloatInt, "ffl"},     {61, CmdDivideInt, "lll"},         {64, CmdDivideIntFloat, "flf"},
    {65, CmdDivideFloatInt, "ffl"},    {66, CmdDivideFloat, "fff"},       {71, CmdMultiplyInt, "lll"},
    {74, CmdMultiplyIntFloat, "flf"},  {75, CmdMultiplyFloatInt, "ffl"},  {76, CmdMultiplyFloat, "fff"},
    {81, CmdAddInt, "lll"},            {84, CmdAddIntFloat, "flf"},       {85, CmdAddFloatInt, "ffl"},
    {86, CmdAddFloat, "fff"},          {87, CmdConcatStrings, "sss"},     {91, CmdSubtractInt, "lll"},
    {94, CmdSubtractIntFloat, "flf"},  {95, CmdSubtractFloatInt, "ffl"},  {96, CmdSubtractFloat, "fff"},
    {97, CmdStringMinus, "sss"},       {123, CmdBitAnd, "lll"},           {124, CmdBitOr, "lll"},
    {101, CmdEqualsInt, "lll"},        {102, CmdEqualsFloat, "lff"},      {131, CmdEqualsIntFloat, "llf"},
    {132, CmdEqualsFloatInt, "lfl"},   {103, CmdEqualsString, "lss"},     {111, CmdGreaterInt, "lll"},
    {112, CmdGreaterFloat, "lff"},     {133, CmdGreaterIntFloat, "llf"},  {134, CmdGreaterFloatInt, "lfl"},
    {143, CmdGreaterString, "lss"},    {113, CmdGreaterEqualInt, "lll"},  {114, CmdGreaterEqualFloat, "lff"},
    {135, CmdGreaterEqualIntFloat, "llf"}, {136, CmdGreaterEqualFloatInt, "lfl"},
    {115, CmdLessInt, "lll"},          {116, CmdLessFloat, "lff"},        {137, CmdLessIntFloat, "llf"},
    {138, CmdLessFloatInt, "lfl"},     {144, CmdLessString, "lss"},       {117, CmdLessEqualInt, "lll"},
    {118, CmdLessEqualFloat, "lff"},   {139, CmdLessEqualIntFloat, "llf"}, {140, CmdLessEqualFloatInt, "lfl"},
    {119, CmdNotEqualInt, "lll"},      {120, CmdNotEqualFloat, "lff"},    {141, CmdNotEqualIntFloat, "llf"},
    {142, CmdNotEqualFloatInt, "lfl"}, {121, CmdNotEqualString, "lss"},
    {151, CmdAssignValue, "ll"},       {152, CmdAssignValue, "ff"},       {153, CmdAssignString, "ss"},
    {154, CmdFloatToInt, "lf"},        {155, CmdIntToFloat, "fl"},
};

}  // namespace

std::span<const CommandDef> OperatorCommands() { return kOperators; }
