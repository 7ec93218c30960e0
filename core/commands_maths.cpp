// Maths functions, the random generator, increment and decrement. Angles are in degrees,
// converted with the language's own factors (0.01745 and its reciprocal).
#include <cmath>

#include "core/commands.h"
#include "core/handler.h"
#include "core/language.h"

uint32_t g_randomState = 1;

namespace {

inline double DegreesToRadians(double d) { return d * 0.01745; }
inline double RadiansToDegrees(double r) { return r * 57.306590257879655; }

inline double F(int k) { return double(OpFloat(k)); }
inline double L(int k) { return double(OpInt(k)); }
inline void SetFloat(double v) { OpCell(0)->f = float(v); }

void CmdAbsFloatToInt() {
  const int32_t v = FloatToInt(F(1));
  OpCell(0)->i = v < 0 ? WrapSub(0, v) : v;
  ProgramCounter += 2;
}

void CmdAbsFloat() { SetFloat(std::fabs(F(1))); ProgramCounter += 2; }
void CmdIntOfFloat() { OpCell(0)->i = FloatToInt(F(1)); ProgramCounter += 2; }
void CmdExpInt() { OpCell(0)->i = FloatToInt(std::exp(L(1))); ProgramCounter += 2; }

// One-argument functions of a float or an integer operand, result float.
#define VK_UNARY(name, arg, expr)     \
  void name() {                       \
    const double x = arg(1);          \
    SetFloat(expr);                   \
    ProgramCounter += 2;              \
  }
VK_UNARY(CmdSqrtFloat, F, std::sqrt(x))
VK_UNARY(CmdSqrtInt, L, std::sqrt(x))
VK_UNARY(CmdCosFloat, F, std::cos(DegreesToRadians(x)))
VK_UNARY(CmdCosInt, L, std::cos(DegreesToRadians(x)))
VK_UNARY(CmdSinFloat, F, std::sin(DegreesToRadians(x)))
VK_UNARY(CmdSinInt, L, std::sin(DegreesToRadians(x)))
VK_UNARY(CmdTanFloat, F, std::tan(DegreesToRadians(x)))
VK_UNARY(CmdTanInt, L, std::tan(DegreesToRadians(x)))
VK_UNARY(CmdHcosFloat, F, std::cosh(DegreesToRadians(x)))
VK_UNARY(CmdHcosInt, L, std::cosh(DegreesToRadians(x)))
VK_UNARY(CmdHsinFloat, F, std::sinh(DegreesToRadians(x)))
VK_UNARY(CmdHsinInt, L, std::sinh(DegreesToRadians(x)))
VK_UNARY(CmdHtanFloat, F, std::tanh(DegreesToRadians(x)))
VK_UNARY(CmdHtanInt, L, std::tanh(DegreesToRadians(x)))
VK_UNARY(CmdAcosFloat, F, RadiansToDegrees(std::acos(x)))
VK_UNARY(CmdAcosInt, L, RadiansToDegrees(std::acos(x)))
VK_UNARY(CmdAsinFloat, F, RadiansToDegrees(std::asin(x)))
VK_UNARY(CmdAsinInt, L, RadiansToDegrees(std::asin(x)))
VK_UNARY(CmdAtanFloat, F, RadiansToDegrees(std::atan(x)))
VK_UNARY(CmdAtanInt, L, RadiansToDegrees(std::atan(x)))
#undef VK_UNARY

// The arc tangent of a over b (a the sine side), in degrees.
template <double (*A)(int), double (*B)(int)>
void CmdAtanFull() {
  SetFloat(RadiansToDegrees(std::atan2(A(1), B(2))));
  ProgramCounter += 3;
}

void CmdRandomize() {
  g_randomState = uint32_t(OpInt(0));
  ProgramCounter += 1;
}

// The C library's generator: a draw is 0 ... 32767.
int32_t Draw() {
  g_randomState = g_randomState * 214013u + 2531011u;
  return int32_t((g_randomState >> 16) & 32767);
}

// A draw modulo n + 1, the range taken in 64 bits; error 113 when n + 1 < 1.
bool RandomBelow(int32_t* out) {
  const int64_t m = int64_t(OpInt(1)) + 1;
  if (m < 1) {
    RunError(kErrRandomRangeBelowOne);
    return false;
  }
  *out = int32_t(Draw() % m);
  return true;
}

void CmdRndInt() {
  int32_t v;
  if (RandomBelow(&v)) OpCell(0)->i = v;
  ProgramCounter += 2;
}

void CmdRndFloat() {
  int32_t v;
  if (RandomBelow(&v)) OpCell(0)->f = float(v);
  ProgramCounter += 2;
}

// Increments and decrements work on plain variables of their type only (errors 114 and 115).
template <bool Increase, bool FloatVar, int Operands>
void CmdStep() {
  VarCell* v = OpCell(0);
  const bool fits = FloatVar ? IsFloatVariableCell(v) : IsIntVariableCell(v);
  if (!fits) {
    RunError(Increase ? kErrIncNeedsVariable : kErrDecNeedsVariable);
  } else if constexpr (FloatVar) {
    const double amount = Operands == 2 ? F(1) : 1.0;
    v->f = float(Increase ? double(v->f) + amount : double(v->f) - amount);
  } else {
    const int32_t amount = Operands == 2 ? FloatToInt(F(1)) : 1;
    v->i = Increase ? WrapAdd(v->i, amount) : WrapSub(v->i, amount);
  }
  ProgramCounter += Operands;
}

const CommandDef kMaths[] = {
    {201, CmdAbsFloatToInt, "lf", AsFast<CmdAbsFloatToInt>},
    {368, CmdAbsFloat, "ff", AsFast<CmdAbsFloat>},
    {232, CmdIntOfFloat, "lf", AsFast<CmdIntOfFloat>},
    {257, CmdSqrtFloat, "ff", AsFast<CmdSqrtFloat>},
    {258, CmdSqrtInt, "fl", AsFast<CmdSqrtInt>},
    {218, CmdExpInt, "ll", AsFast<CmdExpInt>},
    {331, CmdCosFloat, "ff", AsFast<CmdCosFloat>},
    {332, CmdCosInt, "fl", AsFast<CmdCosInt>},
    {341, CmdSinFloat, "ff", AsFast<CmdSinFloat>},
    {342, CmdSinInt, "fl", AsFast<CmdSinInt>},
    {381, CmdTanFloat, "ff", AsFast<CmdTanFloat>},
    {382, CmdTanInt, "fl", AsFast<CmdTanInt>},
    {222, CmdHcosFloat, "ff", AsFast<CmdHcosFloat>},
    {371, CmdHcosInt, "fl", AsFast<CmdHcosInt>},
    {225, CmdHsinFloat, "ff", AsFast<CmdHsinFloat>},
    {372, CmdHsinInt, "fl", AsFast<CmdHsinInt>},
    {226, CmdHtanFloat, "ff", AsFast<CmdHtanFloat>},
    {373, CmdHtanInt, "fl", AsFast<CmdHtanInt>},
    {202, CmdAcosFloat, "ff", AsFast<CmdAcosFloat>},
    {361, CmdAcosInt, "fl", AsFast<CmdAcosInt>},
    {204, CmdAsinFloat, "ff", AsFast<CmdAsinFloat>},
    {362, CmdAsinInt, "fl", AsFast<CmdAsinInt>},
    {205, CmdAtanFloat, "ff", AsFast<CmdAtanFloat>},
    {363, CmdAtanInt, "fl", AsFast<CmdAtanInt>},
    {364, CmdAtanFull<F, F>, "fff", AsFast<CmdAtanFull<F, F>>},
    {365, CmdAtanFull<L, F>, "flf", AsFast<CmdAtanFull<L, F>>},
    {366, CmdAtanFull<F, L>, "ffl", AsFast<CmdAtanFull<F, L>>},
    {367, CmdAtanFull<L, L>, "fll", AsFast<CmdAtanFull<L, L>>},
    {245, CmdRandomize, "l", AsFast<CmdRandomize>},
    {249, CmdRndInt, "ll", AsFast<CmdRndInt>},
    {390, CmdRndFloat, "fl", AsFast<CmdRndFloat>},
    {411, CmdStep<true, true, 1>, "f", AsFast<CmdStep<true, true, 1>>},
    {412, CmdStep<true, false, 1>, "l", AsFast<CmdStep<true, false, 1>>},
    {413, CmdStep<true, true, 2>, "ff", AsFast<CmdStep<true, true, 2>>},
    {414, CmdStep<true, false, 2>, "lf", AsFast<CmdStep<true, false, 2>>},
    {421, CmdStep<false, true, 1>, "f", AsFast<CmdStep<false, true, 1>>},
    {422, CmdStep<false, false, 1>, "l", AsFast<CmdStep<false, false, 1>>},
    {423, CmdStep<false, true, 2>, "ff", AsFast<CmdStep<false, true, 2>>},
    {424, CmdStep<false, false, 2>, "lf", AsFast<CmdStep<false, false, 2>>},
};

}  // namespace

std::span<const CommandDef> MathsCommands() { return kMaths; }
