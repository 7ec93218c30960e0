#pragma once
#include <string>

// Texts of the language are Windows-1252 bytes; these convert at the platform boundary.
std::string Cp1252ToUtf8(const std::string& text);
// Characters without a Windows-1252 form become '?'.
std::string Utf8ToCp1252(const std::string& text);
