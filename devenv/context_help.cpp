// Context help: the words at the cursor looked up in the help index.
#include <algorithm>
#include <cctype>
#include <vector>

#include "devenv/editor.h"
#include "devenv/editor_selection.h"
#include "platform/fs.h"

namespace {

constexpr size_t kMaxWords = 255;

bool IsDelimiter(unsigned char c) { return c <= 32 || c == '(' || c == ')' || c == '='; }

bool SameNoCase(const std::string& text, size_t at, const std::string& key) {
  if (at + key.size() > text.size()) return false;
  for (size_t i = 0; i < key.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[at + i])) != std::toupper(static_cast<unsigned char>(key[i])))
      return false;
  return true;
}

bool LookupIn(const std::string& index, const std::string& phrase, std::string* page) {
  std::string key = ">" + phrase + "</A>";
  for (size_t at = index.find('>'); at != std::string::npos; at = index.find('>', at + 1)) {
    if (!SameNoCase(index, at, key)) continue;
    for (size_t h = at; h-- > 0;) {
      if (!SameNoCase(index, h, "HREF=")) continue;
      const size_t from = h + 6;  // after "HREF=" and the opening quote
      if (at < 1 || from > at - 1) return false;
      *page = index.substr(from, at - 1 - from);
      return true;
    }
    return false;
  }
  return false;
}

bool ReadIndex(std::string* index) { return FsReadFile(g_ide.settings.helpFolder + "index.htm", *index); }

}  // namespace

bool ContextHelpLookup(const std::string& phrase, std::string* page) {
  std::string index;
  return ReadIndex(&index) && LookupIn(index, phrase, page);
}

void IdeContextHelp() {
  const EditorBuffer& e = g_ide.editor;
  const std::string& line = e.lines[size_t(e.cursorRow)];
  const size_t cursor = std::min(size_t(e.cursorCol), line.size());
  // Back to the start of the statement: a ':' outside a string ends the walk.
  bool inString = std::count(line.begin(), line.begin() + std::ptrdiff_t(cursor), '"') % 2 == 1;
  size_t start = cursor;
  while (start > 0) {
    const unsigned char c = static_cast<unsigned char>(line[start - 1]);
    if (c == '"') inString = !inString;
    else if ((c == ':' && !inString) || (c < 32 && c != '\t')) break;
    --start;
  }
  while (start < cursor && (line[start] == ' ' || line[start] == '\t')) ++start;
  // The cursor's word: the delimiters outside strings between the statement's start and it.
  size_t w = 0;
  inString = false;
  for (size_t i = start; i < cursor; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == '"') inString = !inString;
    else if (!inString && IsDelimiter(c)) ++w;
  }
  std::vector<std::string> words(1);
  for (size_t i = start; i < line.size() && words.size() <= kMaxWords; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (IsDelimiter(c)) words.emplace_back();
    else words.back() += char(c);
  }
  if (words.size() > kMaxWords) words.resize(kMaxWords);

  std::string index, page;
  bool found = false;
  if (ReadIndex(&index)) {
    const size_t n = words.size();
    w = std::min(w, n - 1);
    auto look = [&](size_t s, size_t end) {
      std::string phrase = words[s];
      for (size_t k = s + 1; k < end; ++k) phrase += " " + words[k];
      found = !phrase.empty() && LookupIn(index, phrase, &page);
    };
    // First the phrases holding the cursor's word, longest first, so that a word of a longer
    // command ("to" in "set camera to follow") opens that command's page rather than its own.
    for (size_t length = n; length > 0 && !found; --length)
      for (size_t s = w + 1; s-- > 0 && !found;)
        if (s + length > w && s + length <= n) look(s, s + length);
    // Then the phrases left of it, longest and then nearest first: the command whose operand
    // the cursor is on.
    for (size_t length = w; length > 0 && !found; --length)
      for (size_t s = w - length + 1; s-- > 0 && !found;) look(s, s + length);
  }
  g_ide.helpPage = found ? page : "nocontex.htm";
  g_ide.helpRequested = true;
}
