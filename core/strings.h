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
