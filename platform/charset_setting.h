#pragma once
#include <cstdint>
#include <string>

// The code page a TEXTLANGUAGE-CHARSET setting selects. A value naming no character set the
// system serves (the double-byte Asian sets, a number no set has, a word) gives Western 1252,
// said on stderr (unless say is false) once a process for each file and value, with the file, the
// value and what is used instead.

// "" when the value is served (empty, 0, 1, or a set CodePageOfCharset maps), else what it is:
// "Japanese", "Korean", "Chinese", or "no character set".
std::string UnservedCharset(const std::string& value);
int32_t CodePageOfCharsetSetting(const std::string& value, const std::string& file, bool say = true);
