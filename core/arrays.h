#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/cells.h"

// Dimensioned arrays, one table entry per array variable: integer variables (cells 3000-4999)
// use entries 0-1999, float variables 2000-3999, string variables 4000-5999. Integer and float
// elements are 4 bytes, string elements text pointers (nullptr: no text yet). Elements are
// reached through the entry; a numeric array variable's cell also holds the block's address,
// a string array variable's cell keeps the empty text.
inline constexpr int kArrayCount = 6000;

struct ArrayEntry {
  void* data = nullptr;       // the element block, nullptr when the variable has no array
  int32_t size[5] = {};       // sizes of the dimensions (highest index + 1)
  int64_t total = 0;          // number of elements
  uint32_t generation = 0;    // changes whenever the array is created or released
};
extern ArrayEntry g_arrays[kArrayCount];
// Set when a block is put into an entry: until then the table is as a clear left it, and freeing
// or clearing it again skips the walk over its pages (most runs make few arrays or none).
extern bool g_arraysUsed;

// Frees every array block (and the strings of string arrays) and clears the table.
void FreeAllArrays();
// Forgets every array without freeing (run start).
void ClearArrayTable();

// The entry of an array variable's cell, or nullptr for a cell outside the array variables.
inline ArrayEntry* ArrayEntryOfCell(const VarCell* cell) {
  ptrdiff_t i = cell - g_cells - kCellIntVar;
  return i >= 0 && i < kArrayCount ? &g_arrays[i] : nullptr;
}
// True when the variable of this cell has an array.
inline bool CellHasArray(const VarCell* cell) {
  const ArrayEntry* e = ArrayEntryOfCell(cell);
  return e && e->data;
}

// Fills an existing array from the bytes of an array file: 4-byte little-endian values for
// integer and float arrays (missing values 0), lines for string arrays (CR LF, or in a file
// without one LF or CR alone; a UTF-8 byte-order mark skipped). A UTF-16 text is refused,
// the array left as it was: false, with why saying the file's form.
bool FillArrayFromFile(ArrayEntry& e, const std::string& bytes, std::string* why = nullptr);
// Releases an entry's element block (and the texts of a string array).
void ReleaseArrayBlock(ArrayEntry& e);

// Element references: the element that the last successful element fetch into a temporary
// cell (0-2999) came from. Checked at use, so a reference never outlives its array. READ and
// the file reads store into array elements through them. Each returns nullptr when the
// temporary has no valid reference (or the cell is no temporary of that type).
struct ElementRef {
  int32_t entry = -1;         // the array's entry
  uint32_t generation = 0;    // the entry's generation at the fetch
  int64_t flat = 0;           // the element's flat index
};
inline constexpr int kElementRefCount = 3000;
extern ElementRef g_elementRefs[kElementRefCount];
int32_t* ElementRefInt(const VarCell* temp);
float* ElementRefFloat(const VarCell* temp);
char** ElementRefString(const VarCell* temp);
// Stores a copy of (at most 255 characters of) text into a string element.
void StoreElementText(char** element, const char* text);
