#pragma once
#include <cstdint>

// One variable cell: an integer, the bits of a float, a text pointer or a block pointer.
// Cells are 8 bytes so that a pointer fits; the cell map is the one the program image
// addresses (operand number - 10000 = cell index).
union VarCell {
  int32_t i;
  float f;
  char* s;
  void* p;
  uint64_t raw;
};
static_assert(sizeof(VarCell) == 8);

inline constexpr int kCellCount = 29000;
// First cell of each region of the cell map.
inline constexpr int kCellIntTemp = 0;
inline constexpr int kCellFloatTemp = 1000;
inline constexpr int kCellStringTemp = 2000;
inline constexpr int kCellIntVar = 3000;
inline constexpr int kCellFloatVar = 5000;
inline constexpr int kCellStringVar = 7000;
inline constexpr int kCellIntLiteral = 9000;
inline constexpr int kCellFloatLiteral = 11000;
inline constexpr int kCellStringLiteral = 13000;
inline constexpr int kCellData = 15000;
inline constexpr int kDataCellCount = kCellCount - kCellData;

// The variable area of the loaded program (nullptr when none is loaded).
extern VarCell* g_cells;

inline int CellIndexOf(const VarCell* c) { return int(c - g_cells); }
inline bool IsCellAddress(const void* p) {
  return g_cells && p >= static_cast<const void*>(g_cells) && p < static_cast<const void*>(g_cells + kCellCount);
}
