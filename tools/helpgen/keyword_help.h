#pragma once
// What the help pages are made from: the keyword lists (one file per family) and the help
// lines that describe their names.
#include <map>
#include <string>
#include <vector>

// One name of a keyword list with the operand letters of each of its lines.
struct KeywordName {
  std::string name;                  // as the list spells it, "[" or "$[" ending a function
  std::vector<std::string> letters;  // one entry per line of that name, in order
  std::string section;               // the heading of the list it stands under ("" none)
};

struct Family {
  std::string stem;                // file name without ".txt"
  std::vector<KeywordName> names;  // in order of first appearance
};

struct HelpLine {
  std::string forms;  // "; " between forms
  std::string text;
};

// Reads every "*.txt" of folder, in name order. False with a message on failure.
bool ReadFamilies(const std::string& folder, std::vector<Family>* families, std::string* error);
// Adds the words the compiler reads itself (compiler/language_words.h) as the family
// "language", so that they have pages like the keywords.
void AddLanguageWords(std::vector<Family>* families);
// Reads every "*.txt" of folder (a missing folder gives none). Each line must name a keyword
// of families once; anything else is an error naming the file and line.
bool ReadHelpLines(const std::string& folder, const std::vector<Family>& families,
                   std::map<std::string, HelpLine>* lines, std::string* error);
