#pragma once
// The part of the runtime executable a game needs: what the system's loader maps.
#include <string>

// Cuts an ELF64 little-endian executable down to the end of the last file range a program
// header names (every loaded segment lies there) and clears the section-header fields, so
// debug information and symbol tables are left behind. False, with the bytes untouched, when
// the file is not such an executable (every offset is checked) or nothing lies past that end.
bool CutToLoadedImage(std::string& exe);
