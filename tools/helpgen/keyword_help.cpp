#include "keyword_help.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "compiler/language_words.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> TextFilesIn(const std::string& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file() && entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> LinesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

bool IsKeywordLine(const std::string& line) {
  const size_t p = line.find('%');
  return !line.empty() && line[0] != ';' && p != std::string::npos && p > 0;
}

// A comment directly above a keyword line heads the names under it ("; ---- " optional).
std::string HeadingOf(const std::string& comment) {
  std::string h = Trim(comment.substr(1));
  while (!h.empty() && h[0] == '-') h.erase(0, 1);
  h = Trim(h);
  if (!h.empty()) h[0] = char(std::toupper(static_cast<unsigned char>(h[0])));
  return h;
}

}  // namespace

bool ReadFamilies(const std::string& folder, std::vector<Family>* families, std::string* error) {
  for (const fs::path& file : TextFilesIn(folder)) {
    Family family{file.stem().string(), {}};
    const std::vector<std::string> lines = LinesOf(file);
    std::string section;
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.empty()) continue;
      if (line[0] == ';') {
        if (i + 1 < lines.size() && IsKeywordLine(lines[i + 1])) section = HeadingOf(line);
        continue;
      }
      const size_t p1 = line.find('%');
      if (p1 == std::string::npos || p1 == 0) continue;
      const size_t p2 = line.find('%', p1 + 1);
      const std::string name = line.substr(0, p1);
      const std::string letters = p2 == std::string::npos ? "" : line.substr(p2 + 1);
      auto it = std::find_if(family.names.begin(), family.names.end(),
                             [&](const KeywordName& k) { return k.name == name; });
      if (it == family.names.end()) family.names.push_back({name, {letters}, section});
      else it->letters.push_back(letters);
    }
    families->push_back(std::move(family));
  }
  if (families->empty()) {
    *error = "no keyword lists in " + folder;
    return false;
  }
  return true;
}

void AddLanguageWords(std::vector<Family>* families) {
  Family family{"language", {}};
  for (std::string_view word : kLanguageWords) family.names.push_back({std::string(word), {""}, ""});
  families->push_back(std::move(family));
}

bool ReadHelpLines(const std::string& folder, const std::vector<Family>& families,
                   std::map<std::string, HelpLine>* out, std::string* error) {
  std::set<std::string> known;
  for (const Family& f : families)
    for (const KeywordName& k : f.names) known.insert(k.name);
  for (const fs::path& file : TextFilesIn(folder)) {
    const std::vector<std::string> lines = LinesOf(file);
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (Trim(line).empty() || line[0] == ';') continue;
      const std::string where = file.string() + ":" + std::to_string(i + 1) + ": ";
      // The name ends at the first '|' after its first character (so the bitwise or, "|[", can
      // be named) and the text begins after the last one; the forms lie between.
      const size_t b1 = line.find('|', 1);
      const size_t b2 = line.rfind('|');
      if (b1 == std::string::npos || b2 == b1) {
        *error = where + "a help line has three fields: keyword|forms|what it does";
        return false;
      }
      const std::string name = line.substr(0, b1);
      HelpLine help{Trim(line.substr(b1 + 1, b2 - b1 - 1)), Trim(line.substr(b2 + 1))};
      if (!known.count(name)) {
        *error = where + "\"" + name + "\" is not a keyword of any list in the keyword folder";
        return false;
      }
      if (help.forms.empty() || help.text.empty()) {
        *error = where + "\"" + name + "\" has an empty field";
        return false;
      }
      if (!out->emplace(name, help).second) {
        *error = where + "\"" + name + "\" is described twice";
        return false;
      }
    }
  }
  return true;
}
