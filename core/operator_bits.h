#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "core/language.h"

// The arithmetic operators computed on the bits of their operands as the cells hold them, so
// that a command can hand its result straight to the operator after it (the fused forms of
// the threaded code). Integer arithmetic wraps at 32 bits; float and mixed forms compute in
// double precision and round to float.
namespace operator_bits {

inline uint32_t IntBits(int32_t v) { return uint32_t(v); }
inline uint32_t FloatBits(double v) { return std::bit_cast<uint32_t>(float(v)); }
inline int32_t BL(uint32_t x) { return int32_t(x); }
inline double BD(uint32_t x) { return double(std::bit_cast<float>(x)); }
inline double BI(uint32_t x) { return double(int32_t(x)); }

using Binary = uint32_t (*)(uint32_t x, uint32_t y);

inline uint32_t MultiplyInt(uint32_t x, uint32_t y) { return IntBits(WrapMul(BL(x), BL(y))); }
inline uint32_t MultiplyIntFloat(uint32_t x, uint32_t y) { return FloatBits(BI(x) * BD(y)); }
inline uint32_t MultiplyFloatInt(uint32_t x, uint32_t y) { return FloatBits(BD(x) * BI(y)); }
inline uint32_t MultiplyFloat(uint32_t x, uint32_t y) { return FloatBits(BD(x) * BD(y)); }
inline uint32_t AddInt(uint32_t x, uint32_t y) { return IntBits(WrapAdd(BL(x), BL(y))); }
inline uint32_t AddIntFloat(uint32_t x, uint32_t y) { return FloatBits(BI(x) + BD(y)); }
inline uint32_t AddFloatInt(uint32_t x, uint32_t y) { return FloatBits(BD(x) + BI(y)); }
inline uint32_t AddFloat(uint32_t x, uint32_t y) { return FloatBits(BD(x) + BD(y)); }
inline uint32_t SubtractInt(uint32_t x, uint32_t y) { return IntBits(WrapSub(BL(x), BL(y))); }
inline uint32_t SubtractIntFloat(uint32_t x, uint32_t y) { return FloatBits(BI(x) - BD(y)); }
inline uint32_t SubtractFloatInt(uint32_t x, uint32_t y) { return FloatBits(BD(x) - BI(y)); }
inline uint32_t SubtractFloat(uint32_t x, uint32_t y) { return FloatBits(BD(x) - BD(y)); }
inline uint32_t BitAnd(uint32_t x, uint32_t y) { return IntBits(BL(x) & BL(y)); }
inline uint32_t BitOr(uint32_t x, uint32_t y) { return IntBits(BL(x) | BL(y)); }

// The command numbers of these operators and their computations, in the same order.
inline constexpr int32_t kNumbers[] = {71, 74, 75, 76, 81, 84, 85, 86, 91, 94, 95, 96, 123, 124};
inline constexpr Binary kBinaries[] = {MultiplyInt, MultiplyIntFloat, MultiplyFloatInt, MultiplyFloat,
                                       AddInt,      AddIntFloat,      AddFloatInt,      AddFloat,
                                       SubtractInt, SubtractIntFloat, SubtractFloatInt, SubtractFloat,
                                       BitAnd,      BitOr};
inline constexpr size_t kCount = std::size(kNumbers);
static_assert(std::size(kBinaries) == kCount);

// The place of command number n in kNumbers, or -1.
inline int IndexOf(CodeWord n) {
  for (size_t k = 0; k < kCount; ++k)
    if (kNumbers[k] == n) return int(k);
  return -1;
}

// Which operand (1 or 2) of the operator at `op` (its command word) is the cell `result`;
// 0 for neither.
inline int OperandUsing(const CodeWord* op, CodeWord result) {
  return op[2] == result ? 1 : op[3] == result ? 2 : 0;
}

}  // namespace operator_bits
