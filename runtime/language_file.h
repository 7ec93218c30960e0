#pragma once
#include <string>
#include <vector>

// The texts of the language file "WORDS.TXT", one table per section; an entry is empty when
// its key is missing or its value is empty.
struct LanguageTables {
  std::vector<std::string> general, menu, title, desc, compiler, errors;
};

extern LanguageTables g_language;

// Reads the six sections from the text of a language file (INI form, sections and keys
// without regard to case, values up to 255 characters).
void ReadLanguageText(const std::string& text, LanguageTables& out);
// The language file of the system: programFolder + "LANG/" + TEXTLANGUAGE in capitals +
// "/WORDS.TXT" when it exists (TEXTLANGUAGE from "SETUP.INI", default "English"), otherwise
// the English file built into the program. Returns false when neither is there.
bool LoadLanguageTables(const std::string& programFolder);
// The path of the language file LoadLanguageTables looks for.
std::string LanguageFileOf(const std::string& programFolder);
