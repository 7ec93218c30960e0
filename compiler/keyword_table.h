#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compiler/text_map.h"

// One keyword: its name, command number and parameter letters. For a bracket keyword (a
// function or operator, written with a trailing "[" in the list) the first letter is the
// result type and the rest the argument types; "0" marks a statement without arguments and
// "e" one that compiles to no instruction.
struct KeywordEntry {
  std::string name;
  std::string params;
  int32_t number = 0;
  int8_t block = -1;  // index in the block keyword table, -1 when none
  int last = 0;       // index of the last consecutive entry of the same name
};

inline constexpr size_t kMaxMainKeywords = 768;
inline constexpr size_t kMaxBracketKeywords = 512;

struct KeywordTable {
  std::vector<KeywordEntry> main, bracket;
  int firstAt = -1;  // first bracket entry whose name begins with "@"
  int maxWords = 1;  // most words in one main keyword name
  std::vector<std::string> spacedBracketNames;  // bracket names of more than one word
  TextMap mainFirst, bracketFirst, mainLast;
  // For each first word of a main keyword: the most words of a keyword beginning with it
  // (high 16 bits) and the index + 1 of the keyword that is that word alone (low bits).
  TextMap firstWords;
  std::unordered_map<int32_t, int> byNumber;

  void Clear();
  // First main entry of a name (-1 when none); last main entry of a name.
  int FindMain(std::string_view name) const;
  int FindBracket(std::string_view name) const;
  // Most words of a keyword beginning with this word (0 when none begins with it).
  int MaxWordsStartingWith(std::string_view word) const;
  // Both at once: the most words (0: no keyword begins with the word) and the index of the
  // one-word keyword (-1: none).
  int LookUpFirstWord(std::string_view word, int* singleIndex) const;
  int NumberOfName(const std::string& name) const;
  // Name of the first main entry with that number ("" when none).
  std::string GetKeywordName(int32_t number, int* index = nullptr) const;
  char GetKeywordParamChar(int index, int position) const;
};

// One parsed line of the keyword list. Returns false for a malformed line (a missing "%",
// a name of more than 255 characters, more than 32 parameter letters, a bad number).
struct KeywordLine {
  std::string name, params;
  int32_t number = 0;
};
bool ParseKeywordLine(const std::string& line, KeywordLine* out);
// Fills the table from a list text; malformed lines are skipped (their text goes to warnings
// when given). Entries beyond a part's size are ignored.
void FillKeywordTable(KeywordTable& table, const std::string& text, std::vector<std::string>* warnings);
