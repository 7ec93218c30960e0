#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Small text helpers of the compiler. Texts are lower case outside double quotes.

// Lowers A-Z outside double quotes.
void LowerOutsideQuotes(std::string& text);
// Removes leading and trailing blanks (and control characters).
std::string Trim(const std::string& text);
inline std::string_view TrimView(std::string_view text) {
  size_t a = 0, b = text.size();
  while (a < b && static_cast<unsigned char>(text[a]) <= 32) ++a;
  while (b > a && static_cast<unsigned char>(text[b - 1]) <= 32) --b;
  return text.substr(a, b - a);
}
// Letters a-z, digits, "_", "#" and "$" only (not empty).
bool IsVariableName(std::string_view text);
// Letters a-z, digits and "_" only (not empty): a label or function name.
bool IsPlainName(const std::string& text);
// Splits at commas outside double quotes and brackets.
std::vector<std::string> SplitTopLevel(const std::string& text);
void SplitTopLevelViews(std::string_view text, std::vector<std::string_view>& items);
// "name(params)": the name before the first "(", the params up to the last ")".
void SplitFunctionHeader(const std::string& text, std::string* name, std::string* params);
// Index of the ")" matching the "(" at open, outside quotes (npos when none).
size_t MatchingBracket(std::string_view text, size_t open);
// True when c may stand directly before a call bracket.
inline bool IsCallNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '$' || c == '#' || c == '_';
}
// Statements are short: searched and compared in place rather than through library calls.
inline size_t FindChar(std::string_view text, char c, size_t from = 0) {
  for (size_t i = from; i < text.size(); ++i)
    if (text[i] == c) return i;
  return std::string_view::npos;
}
template <size_t N>
inline bool WordIs(std::string_view word, const char (&literal)[N]) {
  if (word.size() != N - 1) return false;
  for (size_t i = 0; i + 1 < N; ++i)
    if (word[i] != literal[i]) return false;
  return true;
}
// Character classes of operands: each character has exactly one of these bits.
enum : uint8_t {
  kClassName = 1,     // a-z and "_"
  kClassDigit = 2,    // 0-9
  kClassHash = 4,     // "#"
  kClassDollar = 8,   // "$"
  kClassSign = 16,    // "+" and "-"
  kClassDot = 32,     // "."
  kClassBracket = 64, // "("
  kClassOther = 128,
};
struct CharClasses {
  uint8_t of[256];
  constexpr CharClasses() : of() {
    for (int c = 0; c < 256; ++c) {
      uint8_t k = kClassOther;
      if ((c >= 'a' && c <= 'z') || c == '_') k = kClassName;
      else if (c >= '0' && c <= '9') k = kClassDigit;
      else if (c == '#') k = kClassHash;
      else if (c == '$') k = kClassDollar;
      else if (c == '+' || c == '-') k = kClassSign;
      else if (c == '.') k = kClassDot;
      else if (c == '(') k = kClassBracket;
      of[c] = k;
    }
  }
};
inline constexpr CharClasses kCharClasses;
// The classes present in a text.
inline uint8_t ClassesOf(std::string_view text) {
  uint8_t any = 0;
  for (char c : text) any |= kCharClasses.of[uint8_t(c)];
  return any;
}
// The separators a text holds, one bit each, found in one pass.
enum : uint8_t {
  kHoldsQuote = 1,
  kHoldsColon = 2,
  kHoldsSemicolon = 4,
  kHoldsComma = 8,
  kHoldsBracket = 16,  // "(" or ")"
};
struct SeparatorBits {
  uint8_t of[256];
  constexpr SeparatorBits() : of() {
    of[uint8_t('"')] = kHoldsQuote;
    of[uint8_t(':')] = kHoldsColon;
    of[uint8_t(';')] = kHoldsSemicolon;
    of[uint8_t(',')] = kHoldsComma;
    of[uint8_t('(')] = of[uint8_t(')')] = kHoldsBracket;
  }
};
inline constexpr SeparatorBits kSeparatorBits;
inline uint8_t SeparatorsOf(std::string_view text) {
  uint8_t any = 0;
  for (char c : text) any |= kSeparatorBits.of[uint8_t(c)];
  return any;
}
// The statement's words: split at blanks outside quotes; a ":" outside quotes is a word of
// its own. starts[i] is the offset of word i in the text. At most maxWords words.
void Tokenize(std::string_view text, std::vector<std::string_view>& words, std::vector<size_t>& starts,
              size_t maxWords = SIZE_MAX);
// The first word of a statement, as Tokenize would give it, and its offset.
std::string_view FirstWord(const std::string& text, size_t* start);
// True when one of the words from the index-th on (as Tokenize splits them) is the word.
bool HasWordFrom(std::string_view text, size_t index, std::string_view word);
// Words from..to-1 joined by single blanks.
std::string Join(const std::vector<std::string_view>& words, size_t from, size_t to);
// Replaces every occurrence of a pattern outside double quotes.
std::string ReplaceOutsideQuotes(const std::string& text, const char* from, const char* to);
