#include "compiler/text_util.h"

void LowerOutsideQuotes(std::string& text) {
  bool quoted = false;
  for (char& c : text) {
    if (c == '"') quoted = !quoted;
    else if (!quoted && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
}

std::string Trim(const std::string& text) {
  size_t a = 0, b = text.size();
  while (a < b && static_cast<unsigned char>(text[a]) <= 32) ++a;
  while (b > a && static_cast<unsigned char>(text[b - 1]) <= 32) --b;
  return text.substr(a, b - a);
}

std::string_view TrimView(std::string_view text) {
  size_t a = 0, b = text.size();
  while (a < b && static_cast<unsigned char>(text[a]) <= 32) ++a;
  while (b > a && static_cast<unsigned char>(text[b - 1]) <= 32) --b;
  return text.substr(a, b - a);
}

bool IsVariableName(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '#' || c == '$')) return false;
  return true;
}

bool IsPlainName(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

std::vector<std::string> SplitTopLevel(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  bool quoted = false;
  int depth = 0;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    else if (!quoted && c == '(') ++depth;
    else if (!quoted && c == ')') --depth;
    else if (!quoted && depth == 0 && c == ',') {
      items.push_back(item);
      item.clear();
      continue;
    }
    item += c;
  }
  items.push_back(item);
  return items;
}

void SplitTopLevelViews(std::string_view text, std::vector<std::string_view>& items) {
  items.clear();
  bool quoted = false;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') quoted = !quoted;
    else if (quoted) continue;
    else if (c == '(') ++depth;
    else if (c == ')') --depth;
    else if (depth == 0 && c == ',') {
      items.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  items.push_back(text.substr(start));
}

void SplitFunctionHeader(const std::string& text, std::string* name, std::string* params) {
  size_t open = text.find('(');
  if (open == std::string::npos) {
    *name = Trim(text);
    params->clear();
    return;
  }
  *name = Trim(text.substr(0, open));
  size_t close = text.rfind(')');
  *params = close != std::string::npos && close > open ? text.substr(open + 1, close - open - 1) : text.substr(open + 1);
}

size_t MatchingBracket(std::string_view text, size_t open) {
  bool quoted = false;
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') quoted = !quoted;
    else if (quoted) continue;
    else if (c == '(') ++depth;
    else if (c == ')' && --depth == 0) return i;
  }
  return std::string::npos;
}
