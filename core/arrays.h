#pragma once
#include <cstdint>

// Dimensioned arrays: 4000 numeric (0-3999) and 2000 string arrays (4000-5999), each a heap
// block owned by the array table.
inline constexpr int kArrayCount = 6000;
// Frees every array block (and the strings of string arrays) and clears the table.
void FreeAllArrays();
// Forgets every array without freeing (run start).
void ClearArrayTable();
