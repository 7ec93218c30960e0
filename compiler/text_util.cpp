#include "compiler/text_util.h"

#include <cstring>
#include <span>

void LowerOutsideQuotes(std::string& text) {
  // Most lines hold neither capitals nor quotes: eight characters are tested at a time.
  size_t i = 0;
  const size_t n = text.size();
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, text.data() + i, 8);
    // A byte b below 0x80 is in A..Z when b + (128 - 'A') has the high bit and b + (127 - 'Z')
    // has not (no sum carries into the next byte); a quote is a zero byte of w ^ '"'.
    const uint64_t low = w & ~kHigh;
    const uint64_t capital = (low + kOnes * (128 - 'A')) & ~(low + kOnes * (127 - 'Z')) & ~w & kHigh;
    const uint64_t q = w ^ (kOnes * '"');
    const uint64_t quote = (q - kOnes) & ~q & kHigh;
    if (capital | quote) break;
  }
  bool quoted = false;
  for (char& c : std::span<char>(text.data() + i, n - i)) {
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

// The statement's words: split at blanks outside quotes; a ":" outside quotes is a word of
// its own. starts[i] is the offset of word i in the text.
void Tokenize(std::string_view text, std::vector<std::string_view>& words, std::vector<size_t>& starts,
              size_t maxWords) {
  words.clear();
  starts.clear();
  words.reserve(16);
  starts.reserve(16);
  bool quoted = false;
  size_t i = 0;
  while (i < text.size() && words.size() < maxWords) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    if (text[i] == ':') {
      words.push_back(text.substr(i, 1));
      starts.push_back(i++);
      continue;
    }
    size_t start = i;
    while (i < text.size()) {
      char c = text[i];
      if (c == '"') quoted = !quoted;
      else if (!quoted && (c == ' ' || c == ':')) break;
      ++i;
    }
    words.push_back(text.substr(start, i - start));
    starts.push_back(start);
  }
}

// The first word of a statement, as Tokenize would give it.
std::string_view FirstWord(const std::string& text, size_t* start) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  *start = i;
  if (i < text.size() && text[i] == ':') return std::string_view(text).substr(i, 1);
  bool quoted = false;
  size_t j = i;
  for (; j < text.size(); ++j) {
    char c = text[j];
    if (c == '"') quoted = !quoted;
    else if (!quoted && (c == ' ' || c == ':')) break;
  }
  return std::string_view(text).substr(i, j - i);
}

bool HasWordFrom(std::string_view text, size_t index, std::string_view word) {
  size_t i = 0, n = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    size_t start = i;
    if (text[i] == ':') {
      ++i;
    } else {
      bool quoted = false;
      for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;
        else if (!quoted && (c == ' ' || c == ':')) break;
      }
    }
    if (n++ >= index && text.substr(start, i - start) == word) return true;
  }
  return false;
}

std::string Join(const std::vector<std::string_view>& words, size_t from, size_t to) {
  std::string s;
  for (size_t i = from; i < to && i < words.size(); ++i) {
    if (!s.empty()) s += ' ';
    s.append(words[i]);
  }
  return s;
}

// Replaces a pattern outside double quotes.
std::string ReplaceOutsideQuotes(const std::string& text, const char* from, const char* to) {
  std::string out;
  size_t n = std::strlen(from);
  bool quoted = false;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '"') quoted = !quoted;
    if (!quoted && text[i] == from[0] && text.compare(i, n, from) == 0) {
      out += to;
      i += n;
      continue;
    }
    out += text[i++];
  }
  return out;
}
