#pragma once
#include <string>

// Sets or clears the immutable flag of a file or folder (nothing in it or of it can change, root
// or not); false where the file system or the user cannot.
bool SetImmutable(const std::string& path, bool on);
bool IsImmutable(const std::string& path);
