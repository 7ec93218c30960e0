// Operators, comparisons, assignment and conversions. Operands: result, a, b (assignment and
// conversion: destination, source). Integer arithmetic wraps at 32 bits; mixed integer-float
// forms convert the integer exactly and compute in double precision.
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "core/call_stack.h"
#include "core/command_numbers.h"
#include "core/commands.h"
#include "core/handler.h"
#include "core/language.h"
#include "core/operator_bits.h"
#include "core/threaded_code.h"

namespace {

inline int32_t L(const CodeWord* pc, int k) { return Cell(pc, k)->i; }
inline float F(const CodeWord* pc, int k) { return Cell(pc, k)->f; }
inline double D(const CodeWord* pc, int k) { return double(Cell(pc, k)->f); }
inline double I(const CodeWord* pc, int k) { return double(Cell(pc, k)->i); }
inline const char* S(const CodeWord* pc, int k) { return CellText(Cell(pc, k)); }
inline void SetInt(CodeWord* pc, int32_t v) { Cell(pc, 0)->i = v; }
inline void SetFloat(CodeWord* pc, double v) { Cell(pc, 0)->f = float(v); }
// The bits of a result as its cell holds them.
using operator_bits::FloatBits;
using operator_bits::IntBits;
inline void Put(VarCell* cell, uint32_t bits) { cell->i = int32_t(bits); }

// Numeric results are nearly always assigned to a variable by the next command, and
// comparisons tested by a conditional jump: on the fast path those follow-ups run here.
inline CodeWord* DoneValue(CodeWord* pc) {
  CodeWord* next = pc + 3;
  if (g_fastDispatch && IsNumberAssignment(next[0]) && next[2] == pc[0]) {
    Cell(next, 1)->i = Cell(pc, 0)->i;
    return next + 3;
  }
  return next;
}

inline CodeWord* DoneCondition(CodeWord* pc) {
  CodeWord* next = pc + 3;
  if (g_fastDispatch && IsConditionalJump(next[0]) && next[1] == pc[0])
    return Cell(pc, 0)->i == 0 ? reinterpret_cast<CodeWord*>(next[2]) : next + 3;
  return next;
}

// Each value operator is written once as its computation; it gets the ordinary fast form and
// the forms of the threaded code (alone, or with the assignment of its result after it).
// A computation returns the bits of its result; the forms store them (into the result cell,
// and for a pair also into the assigned variable, without reading the result back).
using Compute = uint32_t (*)(const CodeWord* pc);
template <Compute C>
CodeWord* ValueForm(CodeWord* pc) {
  Put(Cell(pc, 0), C(pc));
  return DoneValue(pc);
}
template <Compute C>
CodeWord* ValueAlone(CodeWord* pc) {
  Put(Cell(pc, 0), C(pc));
  return pc + 3;
}
template <Compute C>
CodeWord* ValueThenAssign(CodeWord* pc) {
  const uint32_t bits = C(pc);
  Put(Cell(pc, 0), bits);
  Put(Cell(pc, 4), bits);
  return pc + 6;
}
template <Compute C>
CodeWord* ConditionThenTestThenNext(CodeWord* pc) {
  const uint32_t holds = C(pc);
  Put(Cell(pc, 0), holds);
  return RunThreadedNext(holds == 0 ? reinterpret_cast<CodeWord*>(pc[5]) : pc + 6);
}
template <Compute C>
CodeWord* ValueThenAssignThenNext(CodeWord* pc) {
  const uint32_t bits = C(pc);
  Put(Cell(pc, 0), bits);
  Put(Cell(pc, 4), bits);
  return RunThreadedNext(pc + 6);
}
template <Compute C>
CodeWord* ValueThenNext(CodeWord* pc) {
  Put(Cell(pc, 0), C(pc));
  return RunThreadedNext(pc + 3);
}
template <Compute C>
CodeWord* ValueThenCall(CodeWord* pc) {
  Put(Cell(pc, 0), C(pc));
  ProgramCounter = pc + 4;
  return CallUserFunction(pc + 4);
}
template <Compute C>
CodeWord* ValueThenReturn(CodeWord* pc) {
  Put(Cell(pc, 0), C(pc));
  ProgramCounter = pc + 4;
  return ReturnNumber(pc + 4);
}
template <Compute C>
CodeWord* ConditionForm(CodeWord* pc) {
  Put(Cell(pc, 0), C(pc));
  return DoneCondition(pc);
}
template <Compute C>
CodeWord* ConditionThenTest(CodeWord* pc) {
  const uint32_t holds = C(pc);
  Put(Cell(pc, 0), holds);
  return holds == 0 ? reinterpret_cast<CodeWord*>(pc[5]) : pc + 6;
}

#define VK_VALUE(name, expr) \
  inline uint32_t name##Value(const CodeWord* pc) { return expr; } \
  constexpr FastHandler name = ValueForm<name##Value>;
// Power: the C library's pow on the operands widened to double.
VK_VALUE(PowerIntInt, IntBits(FloatToInt(std::pow(I(pc, 1), I(pc, 2)))))
VK_VALUE(PowerFloatFloat, FloatBits(std::pow(D(pc, 1), D(pc, 2))))
VK_VALUE(PowerIntFloat, FloatBits(std::pow(I(pc, 1), D(pc, 2))))
VK_VALUE(PowerFloatInt, FloatBits(std::pow(D(pc, 1), I(pc, 2))))
#undef VK_VALUE

inline uint32_t Bits(const CodeWord* pc, int k) { return uint32_t(Cell(pc, k)->i); }
using operator_bits::Binary;
#define VK_BINARY(name)                                                                          \
  inline uint32_t name##Value(const CodeWord* pc) { return operator_bits::name(Bits(pc, 1), Bits(pc, 2)); } \
  constexpr FastHandler name = ValueForm<name##Value>;
VK_BINARY(MultiplyInt)
VK_BINARY(MultiplyIntFloat)
VK_BINARY(MultiplyFloatInt)
VK_BINARY(MultiplyFloat)
VK_BINARY(AddInt)
VK_BINARY(AddIntFloat)
VK_BINARY(AddFloatInt)
VK_BINARY(AddFloat)
VK_BINARY(SubtractInt)
VK_BINARY(SubtractIntFloat)
VK_BINARY(SubtractFloatInt)
VK_BINARY(SubtractFloat)
VK_BINARY(BitAnd)
VK_BINARY(BitOr)
#undef VK_BINARY

// An operator whose result is an operand (Use: 1 or 2) of the operator right after it: the
// second one takes that operand from the register rather than reading back the cell just
// written, which would make the two wait on the store. Both results are stored. Then the
// assignment of the second result and the command after it, or the command after the second.
template <Binary A, Binary B, int Use>
inline uint32_t FusedValue(CodeWord* pc) {
  const uint32_t first = A(Bits(pc, 1), Bits(pc, 2));
  Put(Cell(pc, 0), first);
  const CodeWord* second = pc + 4;
  const uint32_t bits = Use == 1 ? B(first, Bits(second, 2)) : B(Bits(second, 1), first);
  Put(Cell(second, 0), bits);
  return bits;
}
template <Binary A, Binary B, int Use>
CodeWord* FusedThenAssignThenNext(CodeWord* pc) {
  Put(Cell(pc, 8), FusedValue<A, B, Use>(pc));
  return RunThreadedNext(pc + 10);
}
template <Binary A, Binary B, int Use>
CodeWord* FusedThenNext(CodeWord* pc) {
  FusedValue<A, B, Use>(pc);
  return RunThreadedNext(pc + 7);
}

// Division by zero gives 0 and warning 111 (a built game goes on with the 0).
CodeWord* DivideByZero(CodeWord* pc) {
  Cell(pc, 0)->i = 0;
  RunWarning(kErrDivisionByZero);
  return pc + 3;
}

// -2147483648 / -1 has no 32-bit quotient: system error 10010, which stops the program, as
// any fault inside a command does. The result cell keeps its value.
[[gnu::noinline]] CodeWord* DivideOverflow(CodeWord* pc) {
  RunError(kErrExceptionInCommand);
  return pc + 3;
}

CodeWord* DivideInt(CodeWord* pc) {
  const int32_t a = L(pc, 1), b = L(pc, 2);
  if (b == 0) return DivideByZero(pc);
  if (b == -1 && a == INT32_MIN) [[unlikely]] return DivideOverflow(pc);
  SetInt(pc, a / b);
  return DoneValue(pc);
}

CodeWord* DivideIntFloat(CodeWord* pc) {
  const double b = D(pc, 2);
  if (!(b < 0 || b > 0)) return DivideByZero(pc);
  SetFloat(pc, I(pc, 1) / b);
  return DoneValue(pc);
}

// The integer divisor is tested after its conversion to float.
CodeWord* DivideFloatInt(CodeWord* pc) {
  const double b = double(float(L(pc, 2)));
  if (!(b < 0 || b > 0)) return DivideByZero(pc);
  SetFloat(pc, D(pc, 1) / I(pc, 2));
  return DoneValue(pc);
}

CodeWord* DivideFloat(CodeWord* pc) {
  const double b = D(pc, 2);
  if (!(b < 0 || b > 0)) return DivideByZero(pc);
  SetFloat(pc, D(pc, 1) / b);
  return DoneValue(pc);
}

// Concatenation: error 107 when the text would reach 256 characters; the result stays as it was.
CodeWord* ConcatStrings(CodeWord* pc) {
  const char* a = S(pc, 1);
  const char* b = S(pc, 2);
  const size_t la = strnlen(a, 256), lb = strnlen(b, 256);
  if (la + lb < 256) {
    if (JoinIntoCellString(Cell(pc, 0), a, la, b, lb)) return pc + 3;
    char work[256];
    std::memcpy(work, a, la);
    std::memcpy(work + la, b, lb);
    SetCellString(Cell(pc, 0), work, la + lb);
  } else {
    RunError(kErrTextTooLong);
  }
  return pc + 3;
}

// a with the first occurrence of b taken out (an empty b removes nothing).
CodeWord* StringMinus(CodeWord* pc) {
  char work[256];
  const char* a = S(pc, 1);
  const char* b = S(pc, 2);
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
  SetCellString(Cell(pc, 0), work, la);
  return pc + 3;
}

// Comparisons: the result is 1 when the relation holds, else 0. Mixed forms compare exact
// values; texts compare byte by byte as unsigned values.
#define VK_COMPARE(name, left, op, right)                                             \
  inline uint32_t name##Value(const CodeWord* pc) { return (left(pc, 1) op right(pc, 2)) ? 1 : 0; } \
  constexpr FastHandler name = ConditionForm<name##Value>;
// For texts, "T(1) op T(2)" is "strcmp(a, b) op 0".
inline int T(const CodeWord* pc, int k) { return k == 1 ? std::strcmp(S(pc, 1), S(pc, 2)) : 0; }
VK_COMPARE(EqualsInt, L, ==, L)
VK_COMPARE(EqualsFloat, F, ==, F)
VK_COMPARE(EqualsIntFloat, I, ==, D)
VK_COMPARE(EqualsFloatInt, D, ==, I)
VK_COMPARE(EqualsString, T, ==, T)
VK_COMPARE(GreaterInt, L, >, L)
VK_COMPARE(GreaterFloat, F, >, F)
VK_COMPARE(GreaterIntFloat, I, >, D)
VK_COMPARE(GreaterFloatInt, D, >, I)
VK_COMPARE(GreaterString, T, >, T)
VK_COMPARE(GreaterEqualInt, L, >=, L)
VK_COMPARE(GreaterEqualFloat, F, >=, F)
VK_COMPARE(GreaterEqualIntFloat, I, >=, D)
VK_COMPARE(GreaterEqualFloatInt, D, >=, I)
VK_COMPARE(LessInt, L, <, L)
VK_COMPARE(LessFloat, F, <, F)
VK_COMPARE(LessIntFloat, I, <, D)
VK_COMPARE(LessFloatInt, D, <, I)
VK_COMPARE(LessString, T, <, T)
VK_COMPARE(LessEqualInt, L, <=, L)
VK_COMPARE(LessEqualFloat, F, <=, F)
VK_COMPARE(LessEqualIntFloat, I, <=, D)
VK_COMPARE(LessEqualFloatInt, D, <=, I)
VK_COMPARE(NotEqualInt, L, !=, L)
VK_COMPARE(NotEqualFloat, F, !=, F)
VK_COMPARE(NotEqualIntFloat, I, !=, D)
VK_COMPARE(NotEqualFloatInt, D, !=, I)
VK_COMPARE(NotEqualString, T, !=, T)
#undef VK_COMPARE

CodeWord* AssignValue(CodeWord* pc) {
  Cell(pc, 0)->i = Cell(pc, 1)->i;
  return pc + 2;
}

CodeWord* AssignString(CodeWord* pc) {
  StoreText(Cell(pc, 0), S(pc, 1));
  return pc + 2;
}

CodeWord* FloatToIntCmd(CodeWord* pc) {
  Cell(pc, 0)->i = FloatToInt(F(pc, 1));
  return pc + 2;
}

CodeWord* IntToFloat(CodeWord* pc) {
  Cell(pc, 0)->f = float(L(pc, 1));
  return pc + 2;
}

#define VK_OP(number, fn, kinds) {number, SlowForm<fn>, kinds, fn}
const CommandDef kOperators[] = {
    VK_OP(51, PowerIntInt, "lll"),        VK_OP(52, PowerFloatFloat, "fff"),    VK_OP(53, PowerIntFloat, "flf"),
    VK_OP(54, PowerFloatInt, "ffl"),      VK_OP(61, DivideInt, "lll"),          VK_OP(64, DivideIntFloat, "flf"),
    VK_OP(65, DivideFloatInt, "ffl"),     VK_OP(66, DivideFloat, "fff"),        VK_OP(71, MultiplyInt, "lll"),
    VK_OP(74, MultiplyIntFloat, "flf"),   VK_OP(75, MultiplyFloatInt, "ffl"),   VK_OP(76, MultiplyFloat, "fff"),
    VK_OP(81, AddInt, "lll"),             VK_OP(84, AddIntFloat, "flf"),        VK_OP(85, AddFloatInt, "ffl"),
    VK_OP(86, AddFloat, "fff"),           VK_OP(87, ConcatStrings, "sss"),      VK_OP(91, SubtractInt, "lll"),
    VK_OP(94, SubtractIntFloat, "flf"),   VK_OP(95, SubtractFloatInt, "ffl"),   VK_OP(96, SubtractFloat, "fff"),
    VK_OP(97, StringMinus, "sss"),        VK_OP(123, BitAnd, "lll"),            VK_OP(124, BitOr, "lll"),
    VK_OP(101, EqualsInt, "lll"),         VK_OP(102, EqualsFloat, "lff"),       VK_OP(131, EqualsIntFloat, "llf"),
    VK_OP(132, EqualsFloatInt, "lfl"),    VK_OP(103, EqualsString, "lss"),      VK_OP(111, GreaterInt, "lll"),
    VK_OP(112, GreaterFloat, "lff"),      VK_OP(133, GreaterIntFloat, "llf"),   VK_OP(134, GreaterFloatInt, "lfl"),
    VK_OP(143, GreaterString, "lss"),     VK_OP(113, GreaterEqualInt, "lll"),   VK_OP(114, GreaterEqualFloat, "lff"),
    VK_OP(135, GreaterEqualIntFloat, "llf"), VK_OP(136, GreaterEqualFloatInt, "lfl"),
    VK_OP(115, LessInt, "lll"),           VK_OP(116, LessFloat, "lff"),         VK_OP(137, LessIntFloat, "llf"),
    VK_OP(138, LessFloatInt, "lfl"),      VK_OP(144, LessString, "lss"),        VK_OP(117, LessEqualInt, "lll"),
    VK_OP(118, LessEqualFloat, "lff"),    VK_OP(139, LessEqualIntFloat, "llf"), VK_OP(140, LessEqualFloatInt, "lfl"),
    VK_OP(119, NotEqualInt, "lll"),       VK_OP(120, NotEqualFloat, "lff"),     VK_OP(141, NotEqualIntFloat, "llf"),
    VK_OP(142, NotEqualFloatInt, "lfl"),  VK_OP(121, NotEqualString, "lss"),
    VK_OP(151, AssignValue, "ll"),        VK_OP(152, AssignValue, "ff"),        VK_OP(153, AssignString, "ss"),
    VK_OP(154, FloatToIntCmd, "lf"),      VK_OP(155, IntToFloat, "fl"),
};
#undef VK_OP

}  // namespace

namespace {

// The forms of the threaded code: alone, or with the command after it (the assignment of a
// value, the conditional jump on a comparison) when that one uses the result; a value also
// with a user-function call or a return of a number after it (an argument, a result). Before
// any other command of a fast form, the operator runs that command's threaded handler itself.
struct PlacedForms {
  int32_t number;
  FastHandler alone, thenNext, paired, pairedThenNext, thenCall, thenReturn;
};
const PlacedForms kPlaced[] = {
    {51, ValueAlone<PowerIntIntValue>, ValueThenNext<PowerIntIntValue>, ValueThenAssign<PowerIntIntValue>, ValueThenAssignThenNext<PowerIntIntValue>, ValueThenCall<PowerIntIntValue>, ValueThenReturn<PowerIntIntValue>},
    {52, ValueAlone<PowerFloatFloatValue>, ValueThenNext<PowerFloatFloatValue>, ValueThenAssign<PowerFloatFloatValue>, ValueThenAssignThenNext<PowerFloatFloatValue>, ValueThenCall<PowerFloatFloatValue>, ValueThenReturn<PowerFloatFloatValue>},
    {53, ValueAlone<PowerIntFloatValue>, ValueThenNext<PowerIntFloatValue>, ValueThenAssign<PowerIntFloatValue>, ValueThenAssignThenNext<PowerIntFloatValue>, ValueThenCall<PowerIntFloatValue>, ValueThenReturn<PowerIntFloatValue>},
    {54, ValueAlone<PowerFloatIntValue>, ValueThenNext<PowerFloatIntValue>, ValueThenAssign<PowerFloatIntValue>, ValueThenAssignThenNext<PowerFloatIntValue>, ValueThenCall<PowerFloatIntValue>, ValueThenReturn<PowerFloatIntValue>},
    {71, ValueAlone<MultiplyIntValue>, ValueThenNext<MultiplyIntValue>, ValueThenAssign<MultiplyIntValue>, ValueThenAssignThenNext<MultiplyIntValue>, ValueThenCall<MultiplyIntValue>, ValueThenReturn<MultiplyIntValue>},
    {74, ValueAlone<MultiplyIntFloatValue>, ValueThenNext<MultiplyIntFloatValue>, ValueThenAssign<MultiplyIntFloatValue>, ValueThenAssignThenNext<MultiplyIntFloatValue>, ValueThenCall<MultiplyIntFloatValue>, ValueThenReturn<MultiplyIntFloatValue>},
    {75, ValueAlone<MultiplyFloatIntValue>, ValueThenNext<MultiplyFloatIntValue>, ValueThenAssign<MultiplyFloatIntValue>, ValueThenAssignThenNext<MultiplyFloatIntValue>, ValueThenCall<MultiplyFloatIntValue>, ValueThenReturn<MultiplyFloatIntValue>},
    {76, ValueAlone<MultiplyFloatValue>, ValueThenNext<MultiplyFloatValue>, ValueThenAssign<MultiplyFloatValue>, ValueThenAssignThenNext<MultiplyFloatValue>, ValueThenCall<MultiplyFloatValue>, ValueThenReturn<MultiplyFloatValue>},
    {81, ValueAlone<AddIntValue>, ValueThenNext<AddIntValue>, ValueThenAssign<AddIntValue>, ValueThenAssignThenNext<AddIntValue>, ValueThenCall<AddIntValue>, ValueThenReturn<AddIntValue>},
    {84, ValueAlone<AddIntFloatValue>, ValueThenNext<AddIntFloatValue>, ValueThenAssign<AddIntFloatValue>, ValueThenAssignThenNext<AddIntFloatValue>, ValueThenCall<AddIntFloatValue>, ValueThenReturn<AddIntFloatValue>},
    {85, ValueAlone<AddFloatIntValue>, ValueThenNext<AddFloatIntValue>, ValueThenAssign<AddFloatIntValue>, ValueThenAssignThenNext<AddFloatIntValue>, ValueThenCall<AddFloatIntValue>, ValueThenReturn<AddFloatIntValue>},
    {86, ValueAlone<AddFloatValue>, ValueThenNext<AddFloatValue>, ValueThenAssign<AddFloatValue>, ValueThenAssignThenNext<AddFloatValue>, ValueThenCall<AddFloatValue>, ValueThenReturn<AddFloatValue>},
    {91, ValueAlone<SubtractIntValue>, ValueThenNext<SubtractIntValue>, ValueThenAssign<SubtractIntValue>, ValueThenAssignThenNext<SubtractIntValue>, ValueThenCall<SubtractIntValue>, ValueThenReturn<SubtractIntValue>},
    {94, ValueAlone<SubtractIntFloatValue>, ValueThenNext<SubtractIntFloatValue>, ValueThenAssign<SubtractIntFloatValue>, ValueThenAssignThenNext<SubtractIntFloatValue>, ValueThenCall<SubtractIntFloatValue>, ValueThenReturn<SubtractIntFloatValue>},
    {95, ValueAlone<SubtractFloatIntValue>, ValueThenNext<SubtractFloatIntValue>, ValueThenAssign<SubtractFloatIntValue>, ValueThenAssignThenNext<SubtractFloatIntValue>, ValueThenCall<SubtractFloatIntValue>, ValueThenReturn<SubtractFloatIntValue>},
    {96, ValueAlone<SubtractFloatValue>, ValueThenNext<SubtractFloatValue>, ValueThenAssign<SubtractFloatValue>, ValueThenAssignThenNext<SubtractFloatValue>, ValueThenCall<SubtractFloatValue>, ValueThenReturn<SubtractFloatValue>},
    {123, ValueAlone<BitAndValue>, ValueThenNext<BitAndValue>, ValueThenAssign<BitAndValue>, ValueThenAssignThenNext<BitAndValue>, ValueThenCall<BitAndValue>, ValueThenReturn<BitAndValue>},
    {124, ValueAlone<BitOrValue>, ValueThenNext<BitOrValue>, ValueThenAssign<BitOrValue>, ValueThenAssignThenNext<BitOrValue>, ValueThenCall<BitOrValue>, ValueThenReturn<BitOrValue>},
    {101, ValueAlone<EqualsIntValue>, ValueThenNext<EqualsIntValue>, ConditionThenTest<EqualsIntValue>, ConditionThenTestThenNext<EqualsIntValue>, nullptr, nullptr},
    {102, ValueAlone<EqualsFloatValue>, ValueThenNext<EqualsFloatValue>, ConditionThenTest<EqualsFloatValue>, ConditionThenTestThenNext<EqualsFloatValue>, nullptr, nullptr},
    {131, ValueAlone<EqualsIntFloatValue>, ValueThenNext<EqualsIntFloatValue>, ConditionThenTest<EqualsIntFloatValue>, ConditionThenTestThenNext<EqualsIntFloatValue>, nullptr, nullptr},
    {132, ValueAlone<EqualsFloatIntValue>, ValueThenNext<EqualsFloatIntValue>, ConditionThenTest<EqualsFloatIntValue>, ConditionThenTestThenNext<EqualsFloatIntValue>, nullptr, nullptr},
    {103, ValueAlone<EqualsStringValue>, ValueThenNext<EqualsStringValue>, ConditionThenTest<EqualsStringValue>, ConditionThenTestThenNext<EqualsStringValue>, nullptr, nullptr},
    {111, ValueAlone<GreaterIntValue>, ValueThenNext<GreaterIntValue>, ConditionThenTest<GreaterIntValue>, ConditionThenTestThenNext<GreaterIntValue>, nullptr, nullptr},
    {112, ValueAlone<GreaterFloatValue>, ValueThenNext<GreaterFloatValue>, ConditionThenTest<GreaterFloatValue>, ConditionThenTestThenNext<GreaterFloatValue>, nullptr, nullptr},
    {133, ValueAlone<GreaterIntFloatValue>, ValueThenNext<GreaterIntFloatValue>, ConditionThenTest<GreaterIntFloatValue>, ConditionThenTestThenNext<GreaterIntFloatValue>, nullptr, nullptr},
    {134, ValueAlone<GreaterFloatIntValue>, ValueThenNext<GreaterFloatIntValue>, ConditionThenTest<GreaterFloatIntValue>, ConditionThenTestThenNext<GreaterFloatIntValue>, nullptr, nullptr},
    {143, ValueAlone<GreaterStringValue>, ValueThenNext<GreaterStringValue>, ConditionThenTest<GreaterStringValue>, ConditionThenTestThenNext<GreaterStringValue>, nullptr, nullptr},
    {113, ValueAlone<GreaterEqualIntValue>, ValueThenNext<GreaterEqualIntValue>, ConditionThenTest<GreaterEqualIntValue>, ConditionThenTestThenNext<GreaterEqualIntValue>, nullptr, nullptr},
    {114, ValueAlone<GreaterEqualFloatValue>, ValueThenNext<GreaterEqualFloatValue>, ConditionThenTest<GreaterEqualFloatValue>, ConditionThenTestThenNext<GreaterEqualFloatValue>, nullptr, nullptr},
    {135, ValueAlone<GreaterEqualIntFloatValue>, ValueThenNext<GreaterEqualIntFloatValue>, ConditionThenTest<GreaterEqualIntFloatValue>, ConditionThenTestThenNext<GreaterEqualIntFloatValue>, nullptr, nullptr},
    {136, ValueAlone<GreaterEqualFloatIntValue>, ValueThenNext<GreaterEqualFloatIntValue>, ConditionThenTest<GreaterEqualFloatIntValue>, ConditionThenTestThenNext<GreaterEqualFloatIntValue>, nullptr, nullptr},
    {115, ValueAlone<LessIntValue>, ValueThenNext<LessIntValue>, ConditionThenTest<LessIntValue>, ConditionThenTestThenNext<LessIntValue>, nullptr, nullptr},
    {116, ValueAlone<LessFloatValue>, ValueThenNext<LessFloatValue>, ConditionThenTest<LessFloatValue>, ConditionThenTestThenNext<LessFloatValue>, nullptr, nullptr},
    {137, ValueAlone<LessIntFloatValue>, ValueThenNext<LessIntFloatValue>, ConditionThenTest<LessIntFloatValue>, ConditionThenTestThenNext<LessIntFloatValue>, nullptr, nullptr},
    {138, ValueAlone<LessFloatIntValue>, ValueThenNext<LessFloatIntValue>, ConditionThenTest<LessFloatIntValue>, ConditionThenTestThenNext<LessFloatIntValue>, nullptr, nullptr},
    {144, ValueAlone<LessStringValue>, ValueThenNext<LessStringValue>, ConditionThenTest<LessStringValue>, ConditionThenTestThenNext<LessStringValue>, nullptr, nullptr},
    {117, ValueAlone<LessEqualIntValue>, ValueThenNext<LessEqualIntValue>, ConditionThenTest<LessEqualIntValue>, ConditionThenTestThenNext<LessEqualIntValue>, nullptr, nullptr},
    {118, ValueAlone<LessEqualFloatValue>, ValueThenNext<LessEqualFloatValue>, ConditionThenTest<LessEqualFloatValue>, ConditionThenTestThenNext<LessEqualFloatValue>, nullptr, nullptr},
    {139, ValueAlone<LessEqualIntFloatValue>, ValueThenNext<LessEqualIntFloatValue>, ConditionThenTest<LessEqualIntFloatValue>, ConditionThenTestThenNext<LessEqualIntFloatValue>, nullptr, nullptr},
    {140, ValueAlone<LessEqualFloatIntValue>, ValueThenNext<LessEqualFloatIntValue>, ConditionThenTest<LessEqualFloatIntValue>, ConditionThenTestThenNext<LessEqualFloatIntValue>, nullptr, nullptr},
    {119, ValueAlone<NotEqualIntValue>, ValueThenNext<NotEqualIntValue>, ConditionThenTest<NotEqualIntValue>, ConditionThenTestThenNext<NotEqualIntValue>, nullptr, nullptr},
    {120, ValueAlone<NotEqualFloatValue>, ValueThenNext<NotEqualFloatValue>, ConditionThenTest<NotEqualFloatValue>, ConditionThenTestThenNext<NotEqualFloatValue>, nullptr, nullptr},
    {141, ValueAlone<NotEqualIntFloatValue>, ValueThenNext<NotEqualIntFloatValue>, ConditionThenTest<NotEqualIntFloatValue>, ConditionThenTestThenNext<NotEqualIntFloatValue>, nullptr, nullptr},
    {142, ValueAlone<NotEqualFloatIntValue>, ValueThenNext<NotEqualFloatIntValue>, ConditionThenTest<NotEqualFloatIntValue>, ConditionThenTestThenNext<NotEqualFloatIntValue>, nullptr, nullptr},
    {121, ValueAlone<NotEqualStringValue>, ValueThenNext<NotEqualStringValue>, ConditionThenTest<NotEqualStringValue>, ConditionThenTestThenNext<NotEqualStringValue>, nullptr, nullptr},
};

// The fused forms, per pair of operators (by their place in operator_bits) and operand used.
constexpr size_t kFusibleCount = operator_bits::kCount;
struct FusedForms {
  ThreadedHandler thenAssignThenNext, thenNext;
};
template <size_t Pair, int Use>
constexpr FusedForms MakeFused() {
  constexpr Binary a = operator_bits::kBinaries[Pair / kFusibleCount], b = operator_bits::kBinaries[Pair % kFusibleCount];
  return {FusedThenAssignThenNext<a, b, Use>, FusedThenNext<a, b, Use>};
}
template <size_t... Pairs>
constexpr std::array<FusedForms, 2 * sizeof...(Pairs)> MakeFusedTable(std::index_sequence<Pairs...>) {
  return {MakeFused<Pairs, 1>()..., MakeFused<Pairs, 2>()...};
}
constexpr auto kFused = MakeFusedTable(std::make_index_sequence<kFusibleCount * kFusibleCount>());

// The fused form for an arithmetic operator at `at` whose result the next operator uses.
PlacedForm FusedFormAt(const CodeWord* at, int64_t room) {
  if (room < 9) return {};
  const int a = operator_bits::IndexOf(at[0]), b = operator_bits::IndexOf(at[4]);
  if (a < 0 || b < 0 || !HasFastForm(at[4])) return {};
  const int use = operator_bits::OperandUsing(at + 4, at[1]);
  if (!use) return {};
  const FusedForms& forms = kFused[size_t(use - 1) * kFusibleCount * kFusibleCount + size_t(a) * kFusibleCount + size_t(b)];
  if (room >= 12 && IsNumberAssignment(at[8]) && at[10] == at[5] && HasFastForm(at[8]) && HasFastForm(at[11]))
    return {forms.thenAssignThenNext, 11};
  if (HasFastForm(at[8])) return {forms.thenNext, 8};
  return {};
}

}  // namespace

PlacedForm OperatorFormAt(const CodeWord* at, int64_t room, bool mayChain) {
  static const std::vector<const PlacedForms*> byNumber = [] {
    std::vector<const PlacedForms*> v(200, nullptr);
    for (const PlacedForms& f : kPlaced) v[size_t(f.number)] = &f;
    return v;
  }();
  if (IsNumberAssignment(at[0]) || at[0] == kCmdFloatToInt || at[0] == kCmdIntToFloat) {
    if (!mayChain || room < 4 || !HasFastForm(at[3])) return {};
    if (at[0] == kCmdFloatToInt) return {ThenNext<FloatToIntCmd>, 3};
    if (at[0] == kCmdIntToFloat) return {ThenNext<IntToFloat>, 3};
    return {ThenNext<AssignValue>, 3};
  }
  if (at[0] < 0 || at[0] >= CodeWord(byNumber.size()) || !byNumber[size_t(at[0])] || room < 4) return {};
  const PlacedForms& f = *byNumber[size_t(at[0])];
  const CodeWord* next = at + 4;
  if (room < 5 || !HasFastForm(next[0])) return {f.alone, 0};
  // A comparison's result is only tested: it has no forms that hand it to a call or a return.
  const bool comparison = f.thenCall == nullptr;
  if (mayChain && !comparison)
    if (const PlacedForm fused = FusedFormAt(at, room); fused.handler) return fused;
  if (room >= 7) {
    if (!comparison && IsNumberAssignment(next[0]) && next[2] == at[1]) {
      if (mayChain && room >= 8 && HasFastForm(at[7])) return {f.pairedThenNext, 7};
      return {f.paired, 0};
    }
    if (!comparison && next[0] == kCmdCallFunction) return {f.thenCall, 0};
    if (!comparison && IsNumberReturn(next[0])) return {f.thenReturn, 0};
    if (comparison && IsConditionalJump(next[0]) && next[1] == at[1]) {
      // Both ways on must lie ahead, so that a chain never runs a loop.
      const uintptr_t target = uintptr_t(next[2]), here = reinterpret_cast<uintptr_t>(at);
      const int64_t jump = int64_t(target - here) / int64_t(sizeof(CodeWord));
      if (mayChain && room >= 8 && target > here && (target - here) % sizeof(CodeWord) == 0 && jump < room &&
          HasFastForm(at[7]) && HasFastForm(at[jump]))
        return {f.pairedThenNext, 7, int32_t(jump)};
      return {f.paired, 0};
    }
  }
  return mayChain ? PlacedForm{f.thenNext, 4} : PlacedForm{f.alone, 0};
}

OperatorShape OperatorShapeOf(CodeWord n) {
  static const std::array<OperatorShape, 256> shapes = [] {
    std::array<OperatorShape, 256> s{};
    for (const CommandDef& d : kOperators) {
      const size_t letters = std::strlen(d.operands);
      s[size_t(d.number)] = letters == 3   ? OperatorShape::kResultOfTwo
                            : letters == 2 ? OperatorShape::kDestinationOfSource
                                           : OperatorShape::kNone;
    }
    return s;
  }();
  return n >= 0 && n < CodeWord(shapes.size()) ? shapes[size_t(n)] : OperatorShape::kNone;
}

std::span<const CommandDef> OperatorCommands() { return kOperators; }
