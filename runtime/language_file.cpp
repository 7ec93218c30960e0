#include "runtime/language_file.h"

#include <cctype>
#include <cstdlib>

#include "compiler/compiler.h"
#include "platform/embedded_data.h"
#include "platform/fs.h"
#include "platform/ini.h"

LanguageTables g_language;

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimBlanks(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return s.substr(a, b - a);
}

}  // namespace

void ReadLanguageText(const std::string& text, LanguageTables& out) {
  struct Section {
    const char* name;
    std::vector<std::string>* table;
    size_t size;
  } sections[] = {{"GENERAL", &out.general, 30}, {"MENU", &out.menu, 100},     {"TITLE", &out.title, 20},
                  {"DESC", &out.desc, 80},       {"COMPILER", &out.compiler, size_t(kCompilerMessageCount)}, {"ERRORS", &out.errors, 200}};
  for (Section& s : sections) s.table->assign(s.size, std::string());
  std::vector<std::string>* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      std::string name = Upper(TrimBlanks(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      current = nullptr;
      for (Section& s : sections)
        if (name == s.name) current = s.table;
      continue;
    }
    size_t eq = line.find('=');
    if (!current || eq == std::string::npos) continue;
    std::string key = TrimBlanks(line.substr(0, eq));
    if (key.empty() || key.find_first_not_of("0123456789") != std::string::npos || key.size() > 4) continue;
    size_t index = size_t(std::atoi(key.c_str()));
    if (index >= current->size()) continue;
    std::string value = TrimBlanks(line.substr(eq + 1));
    if (value.size() > 255) value.resize(255);
    (*current)[index] = value;
  }
}

std::string LanguageFileOf(const std::string& programFolder) {
  std::string language = IniGetString(programFolder + "SETUP.INI", "SETTINGS", "TEXTLANGUAGE", "English");
  return programFolder + "LANG/" + Upper(language) + "/WORDS.TXT";
}

bool LoadLanguageTables(const std::string& programFolder) {
  const std::string file = LanguageFileOf(programFolder);
  std::string text;
  if (FsFileExists(file) && FsReadFile(file, text)) {
    ReadLanguageText(text, g_language);
    return true;
  }
  const EmbeddedFile* f = FindEmbeddedFile("words.txt");
  if (!f) return false;
  ReadLanguageText(std::string(reinterpret_cast<const char*>(f->data), f->size), g_language);
  return true;
}
