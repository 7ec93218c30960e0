#pragma once
#include <cstdint>
#include <string>

// Texts of the language are bytes of a Windows code page; these convert at the platform boundary.
// Bytes the code page leaves undefined stand for the code points of the same number, both ways.
std::string CodePageToUtf8(int32_t codePage, const std::string& text);
// Characters without a form in the code page become '?'.
std::string Utf8ToCodePage(int32_t codePage, const std::string& text);
// Windows-1252, the code page of file names, titles and the transcript.
std::string Cp1252ToUtf8(const std::string& text);
// Characters without a Windows-1252 form become '?'; U+0081, U+008D, U+008F, U+0090 and
// U+009D (what the five bytes the code page leaves undefined convert to) become those bytes.
std::string Utf8ToCp1252(const std::string& text);
// The text with every letter of the code page in its lower-case form (a letter whose lower
// case the code page lacks stays as it is): for matching names ignoring case.
std::string CodePageLower(int32_t codePage, std::string text);
// The text's key for ordering names ignoring case: folded as CodePageLower folds it, each letter
// weighed where its alphabet has it (Cyrillic ё after е, Greek ά after α), not where its byte is.
std::string CodePageSortKey(int32_t codePage, std::string text);
// The code page of typed, pasted and copied text: the text character set's (1252 until set).
void SetTextCodePage(int32_t codePage);
int32_t TextCodePage();
// True when the text is well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(const std::string& text);
