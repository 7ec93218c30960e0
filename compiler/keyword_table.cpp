#include "compiler/keyword_table.h"

#include <cctype>
#include <cstdlib>

void KeywordTable::Clear() {
  main.clear();
  bracket.clear();
  firstAt = -1;
  maxWords = 1;
  spacedBracketNames.clear();
  mainFirst.clear();
  bracketFirst.clear();
  mainLast.clear();
  firstWords.clear();
  byNumber.clear();
}

int KeywordTable::MaxWordsStartingWith(std::string_view word) const {
  auto it = firstWords.find(word);
  return it == firstWords.end() ? 0 : it->second >> 16;
}

int KeywordTable::LookUpFirstWord(std::string_view word, int* singleIndex) const {
  auto it = firstWords.find(word);
  if (it == firstWords.end()) {
    *singleIndex = -1;
    return 0;
  }
  *singleIndex = (it->second & 0xffff) - 1;
  return it->second >> 16;
}

int KeywordTable::FindMain(std::string_view name) const {
  auto it = mainFirst.find(name);
  return it == mainFirst.end() ? -1 : it->second;
}

int KeywordTable::FindBracket(std::string_view name) const {
  auto it = bracketFirst.find(name);
  return it == bracketFirst.end() ? -1 : it->second;
}

int KeywordTable::NumberOfName(const std::string& name) const {
  auto it = mainLast.find(name);
  return it == mainLast.end() ? 0 : main[size_t(it->second)].number;
}

std::string KeywordTable::GetKeywordName(int32_t number, int* index) const {
  auto it = byNumber.find(number);
  if (it == byNumber.end()) {
    if (index) *index = 0;
    return "";
  }
  if (index) *index = it->second;
  return main[size_t(it->second)].name;
}

char KeywordTable::GetKeywordParamChar(int index, int position) const {
  if (index < 0 || size_t(index) >= main.size()) return 0;
  const std::string& p = main[size_t(index)].params;
  return position >= 0 && size_t(position) < p.size() ? p[size_t(position)] : 0;
}

bool ParseKeywordLine(const std::string& line, KeywordLine* out) {
  size_t a = line.find('%');
  if (a == std::string::npos) return false;
  size_t b = line.find('%', a + 1);
  if (b == std::string::npos) return false;
  std::string name = line.substr(0, a), number, params;
  for (char c : line.substr(a + 1, b - a - 1))
    if (c != ' ') number += c;
  for (char c : line.substr(b + 1)) {
    if (static_cast<unsigned char>(c) < 33) continue;
    params += char(std::tolower(static_cast<unsigned char>(c)));
  }
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (name.empty() || name.size() > 255 || params.size() > 32 || number.empty() || number.size() > 9) return false;
  for (char c : number)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  out->name = name;
  out->params = params;
  out->number = int32_t(std::atol(number.c_str()));
  return out->number > 0;
}

namespace {

// Each entry learns where the run of entries of its name ends.
void MarkNameGroups(std::vector<KeywordEntry>& part) {
  for (size_t i = part.size(); i-- > 0;)
    part[i].last = i + 1 < part.size() && part[i + 1].name == part[i].name ? part[i + 1].last : int(i);
}

}  // namespace

void FillKeywordTable(KeywordTable& table, const std::string& text, std::vector<std::string>* warnings) {
  table.Clear();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t lead = 0;
    while (lead < line.size() && static_cast<unsigned char>(line[lead]) < 32) ++lead;
    line.erase(0, lead);
    if (line.empty() || line[0] == ';') continue;
    KeywordLine k;
    if (!ParseKeywordLine(line, &k)) {
      if (warnings) warnings->push_back(line);
      continue;
    }
    KeywordEntry e{k.name, k.params, k.number, -1};
    if (e.name.back() == '[') {
      if (table.bracket.size() >= kMaxBracketKeywords) continue;
      e.name.pop_back();
      int index = int(table.bracket.size());
      if (!e.name.empty() && e.name[0] == '@' && table.firstAt < 0) table.firstAt = index;
      if (e.name.find(' ') != std::string::npos && table.bracketFirst.find(e.name) == table.bracketFirst.end())
        table.spacedBracketNames.push_back(e.name);
      table.bracketFirst.emplace(e.name, index);
      table.bracket.push_back(std::move(e));
    } else {
      if (table.main.size() >= kMaxMainKeywords) continue;
      int index = int(table.main.size());
      int words = 1;
      for (char c : e.name) words += c == ' ';
      if (words > table.maxWords) table.maxWords = words;
      int& first = table.firstWords[e.name.substr(0, e.name.find(' '))];
      if (words > (first >> 16)) first = (words << 16) | (first & 0xffff);
      if (words == 1 && (first & 0xffff) == 0) first |= index + 1;
      table.mainFirst.emplace(e.name, index);
      table.mainLast[e.name] = index;
      table.byNumber.emplace(e.number, index);
      table.main.push_back(std::move(e));
    }
  }
  MarkNameGroups(table.main);
  MarkNameGroups(table.bracket);
}
