#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The Windows code pages text is drawn in, chosen by a Windows character set number.

// 238 -> 1250, 204 -> 1251, 161 -> 1253, 162 -> 1254, 177 -> 1255, 178 -> 1256, 186 -> 1257,
// 163 -> 1258, 222 -> 874; any other number (0 and 1 among them) -> 1252.
int32_t CodePageOfCharset(int32_t charset);
// The character set number a setting's text starts with (blanks before it skipped); 0 when none.
int32_t CharsetOfSetting(const std::string& value);
// The code points of bytes 0x80-0xFF in the code page (1252 for one without a table); 0 where
// the code page leaves the byte undefined.
const uint16_t* CodePageHighHalf(int32_t codePage);
// The code point of a byte in the code page (0 when undefined).
uint32_t CodePageChar(int32_t codePage, uint8_t c);
// True for a code page with a table: every one CodePageOfCharset gives.
bool IsKnownCodePage(int32_t codePage);
// Every code page with a table, in a fixed order.
std::vector<int32_t> CodePagesDrawn();
