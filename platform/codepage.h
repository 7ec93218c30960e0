#pragma once
#include <string>

// Texts of the language are Windows-1252 bytes; these convert at the platform boundary.
std::string Cp1252ToUtf8(const std::string& text);
// Characters without a Windows-1252 form become '?'; U+0081, U+008D, U+008F, U+0090 and
// U+009D (what the five bytes the code page leaves undefined convert to) become those bytes.
std::string Utf8ToCp1252(const std::string& text);
// True when the text is well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(const std::string& text);
