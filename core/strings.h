#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cells.h"

// Strings of the language: zero-terminated 8-bit texts, each in its own heap block at least one
// byte longer than the text (an empty text gets at least 2 bytes). A new block is exactly that
// long; a cell given a new text keeps its block when the text fits.
char* NewString(const char* text, size_t length);
char* NewString(const char* text);
void FreeString(char*& s);
// Replaces the string in a cell, freeing the old block.
void SetCellString(VarCell* cell, const char* text, size_t length);
void SetCellString(VarCell* cell, const char* text);
// Writes the texts a and b one after the other into the cell's own block when that block is
// big enough and holds neither text; false (nothing changed) otherwise.
bool JoinIntoCellString(VarCell* cell, const char* a, size_t la, const char* b, size_t lb);
