#include "core/arrays.h"

// The array commands are not built yet; the table stays empty.
void FreeAllArrays() {}
void ClearArrayTable() {}
