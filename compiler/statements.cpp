// Statements: classification of a statement, keyword recognition with the PRINT, READ and
// INPUT lists and several statements on a line, and keyword statements with their typed
// overload choice.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "compiler/compiler.h"
#include "compiler/text_util.h"

namespace {

// True when a block keyword's condition holds "<>", " and " or " or ", which it rewrites.
bool HoldsConditionWord(std::string_view item) {
  for (size_t i = 0; i + 1 < item.size(); ++i) {
    if (item[i] == '<' && item[i + 1] == '>') return true;
    if (item[i] != ' ') continue;
    const std::string_view after = item.substr(i + 1);
    if (after.starts_with("and ") || after.starts_with("or ")) return true;
  }
  return false;
}

}  // namespace

bool Compiler::CompileStatement(const std::string& input) {
  // Most statements arrive trimmed already: copy only when blanks or a ":" must go.
  std::string trimmed;
  const std::string* source = &input;
  if (input.empty()) return true;
  if (static_cast<unsigned char>(input.front()) <= 32 || static_cast<unsigned char>(input.back()) <= 32 ||
      input.front() == ':') {
    trimmed = Trim(input);
    while (!trimmed.empty() && trimmed[0] == ':') trimmed = Trim(trimmed.substr(1));
    source = &trimmed;
  }
  const std::string& text = *source;
  if (text.empty()) return true;
  if (commentBlock_) {
    std::vector<std::string_view> words;
    std::vector<size_t> starts;
    Tokenize(text, words, starts);
    for (int n = std::min<int>(int(words.size()), keywords_.MaxWordsStartingWith(words[0])); n >= 1; --n) {
      int k = keywords_.FindMain(Join(words, 0, size_t(n)));
      if (k < 0) continue;
      if (keywords_.main[size_t(k)].number == kCmdCommentEnd) commentBlock_ = false;
      break;
    }
    return true;
  }
  ResetTemporaries();
  size_t at = 0;
  const std::string_view w = FirstWord(text, &at);
  const size_t wordEnd = at + w.size();
  bool done = false;
  // A label is a name directly followed by ":", so its first word ends at the ":".
  if (wordEnd < text.size() && text[wordEnd] == ':') {
    if (!CompileLabel(text, &done)) return false;
    if (done) return true;
  }
  if (WordIs(w, "function") && wordEnd < text.size() && text[wordEnd] == ' ') {
    if (!CompileFunctionHeader(text, &done)) return false;
    if (done) return true;
  }
  {
    if (w[0] == '`' || WordIs(w, "rem")) return true;
    // Only the rewritten forms need all the words; an "if" without a "then" or a "for"
    // without a "to" anywhere is a plain keyword statement.
    bool rewritten = false;
    switch (w.empty() ? 0 : w[0]) {
      case 'i': rewritten = WordIs(w, "if") && text.find("then") != std::string::npos && HasWordFrom(text, 2, "then"); break;
      case 'f':
        if (WordIs(w, "for") && text.find("to") != std::string::npos && HasWordFrom(text, 2, "to"))
          return CompileFor(Trim(text.substr(3)));
        break;
      case 'd': rewritten = WordIs(w, "dim"); break;
      case 'u': rewritten = WordIs(w, "undim"); break;
      case 's': rewritten = WordIs(w, "select"); break;
      case 'c': rewritten = WordIs(w, "case"); break;
      case 'e': rewritten = WordIs(w, "endcase") || WordIs(w, "endselect"); break;
      default: break;
    }
    if (!rewritten) return CompileKeywordText(text, at, w.size());
  }
  std::vector<std::string_view> words;
  std::vector<size_t> starts;
  Tokenize(text, words, starts);
  const std::string_view first = words[0];
  auto hasWord = [&](const char* w) {
    for (size_t i = 2; i < words.size(); ++i)
      if (words[i] == w) return true;
    return false;
  };
  if (first == "if" && hasWord("then")) {
    if (CompileSingleLineIf(words)) return true;
    Fail(30);
    return false;
  }
  if (first == "for" && hasWord("to")) return CompileFor(Trim(text.substr(3)));
  if (first == "dim") {
    size_t open = text.find('(');
    if (open != std::string::npos && open > 4 && IsVariableName(Trim(text.substr(4, open - 4)))) return CompileDim(text);
  }
  if (first == "undim" && words.size() >= 2) {
    std::string name(words[1]);
    size_t cut = 0;
    while (cut < name.size() && IsCallNameChar(name[cut])) ++cut;
    arrayFlag_ = true;
    // A name, bare or with its brackets; anything else goes on as written, to be named in
    // the message that refuses it.
    if (cut > 0 && (cut == name.size() || name[cut] == '(')) return CompileKeywordText("undim " + name.substr(0, cut));
    return CompileKeywordText("undim " + text.substr(starts[1]));
  }
  if (first == "select" || first == "case" || first == "endcase" || first == "endselect")
    return CompileSelect(words, starts, text);
  return CompileKeywordText(text);
}

bool Compiler::CompileRest() {
  std::string rest;
  rest.swap(rest_);
  if (TrimView(rest).empty()) return true;
  return CompileStatement(rest);
}

bool Compiler::CompileKeywordText(const std::string& text, size_t knownAt, size_t knownSize) {
  size_t firstAt = knownAt, argStart = 0;
  const std::string_view first =
      knownAt != std::string::npos ? std::string_view(text).substr(knownAt, knownSize) : FirstWord(text, &firstAt);
  int keyword = -1;
  int single = -1;
  const int most = first.empty() ? 0 : keywords_.LookUpFirstWord(first, &single);
  if (most == 1) {
    keyword = single;
    argStart = firstAt + first.size();
  } else if (most > 1) {
    std::vector<std::string_view> words;
    std::vector<size_t> starts;
    Tokenize(text, words, starts, size_t(most));
    for (int n = std::min<int>(int(words.size()), most); n >= 1 && keyword < 0; --n) {
      keyword = n == 1 ? keywords_.FindMain(words[0]) : keywords_.FindMain(Join(words, 0, size_t(n)));
      argStart = starts[size_t(n) - 1] + words[size_t(n) - 1].size();
    }
  }
  int32_t statementStart = int32_t(code_.size());
  const uint8_t separators = SeparatorsOf(text);
  if (keyword < 0) {
    // Not a keyword: a user-function call or an assignment, after splitting off the rest.
    std::string_view body = text;
    std::string rest;
    bool quoted = false;
    for (size_t i = 0; i < (separators & kHoldsColon ? text.size() : 0); ++i) {
      if (text[i] == '"') quoted = !quoted;
      if (!quoted && text[i] == ':') {
        body = body.substr(0, i);
        rest = text.substr(i + 1);
        break;
      }
    }
    body = TrimView(body);
    size_t open = separators & kHoldsBracket ? FindChar(body, '(') : std::string_view::npos;
    if (open != std::string::npos && body.back() == ')' &&
        FindUserFunction(TrimView(body.substr(0, open))) >= 0 && MatchingBracket(body, open) == body.size() - 1) {
      int32_t n = 0;
      char t = 0;
      if (!CompileCall(std::string(TrimView(body.substr(0, open))), std::string(body.substr(open + 1, body.size() - open - 2)),
                       &n, &t))
        return false;
      rest_ = rest;
      return CompileRest();
    }
    bool isAssignment = false;
    if (!CompileAssignment(body, &isAssignment, separators)) return false;
    if (!isAssignment) {
      Fail(29);
      return false;
    }
    rest_ = rest;
    return CompileRest();
  }
  const KeywordEntry* entry = &keywords_.main[size_t(keyword)];
  if (!(separators & (kHoldsQuote | kHoldsColon | kHoldsSemicolon | kHoldsComma)) && entry->number != 0 &&
      (entry->params.empty() || entry->params[0] != 'e')) {
    // Nothing ends the statement early or splits its arguments: the argument text is the
    // one item, and the statement compiles in place.
    const std::string_view args = TrimView(std::string_view(text).substr(argStart));
    statementItems_.clear();
    if (!args.empty()) statementItems_.push_back(args);
    std::string rest;
    rest.swap(rest_);
    if (!CompileKeywordItems(keyword, statementStart)) return false;
    rest_.swap(rest);
    return CompileRest();
  }
  // The argument text: everything after the keyword's last word.
  std::string args(TrimView(std::string_view(text).substr(argStart)));
  const bool isPrint = keyword == printKeyword_, isRead = keyword == readKeyword_, isInput = keyword == inputKeyword_;
  if (isPrint || isRead) {
    bool quoted = false;
    int depth = 0;
    for (char& c : args) {
      if (c == '"') quoted = !quoted;
      if (quoted) continue;
      if (c == ':') break;
      if (c == '(') ++depth;
      else if (c == ')') --depth;
      else if (c == ',' && depth == 0) c = ';';
    }
  }
  const bool compilesToNothing = !entry->params.empty() && entry->params[0] == 'e';
  char separator = 0;
  {
    bool quoted = false;
    int depth = 0;  // an input's prompt comma stands outside brackets: input g(1,2) reads one element
    for (size_t i = 0; i < args.size(); ++i) {
      char c = args[i];
      if (c == '"') quoted = !quoted;
      if (quoted) continue;
      if (c == '(') ++depth;
      else if (c == ')') --depth;
      if (c == ':' || (c == ';' && !compilesToNothing) || (c == ',' && isInput && depth == 0)) {
        separator = c;
        rest_ = args.substr(i + 1);
        args.resize(i);
        break;
      }
    }
  }
  if (isPrint && separator == ';') {
    keyword = printcKeyword_;
    std::string rest = Trim(rest_);
    rest_ = !rest.empty() && rest[0] != ':' ? "print " + rest : rest;
  } else if (isInput && (separator == ';' || separator == ',')) {
    keyword = printcKeyword_;
    rest_ = "input " + rest_;
  } else if (isRead && separator == ';') {
    rest_ = "read " + rest_;
  }
  if (keyword < 0) {
    Fail(58);
    return false;
  }
  std::string rest = rest_;
  rest_.clear();
  if (!CompileKeywordStatement(keyword, args, statementStart)) return false;
  rest_ = rest;
  return CompileRest();
}

bool Compiler::CompileKeywordStatement(int k, const std::string& argText, int32_t statementStart) {
  const auto& part = keywords_.main;
  const KeywordEntry& head = part[size_t(k)];
  if (head.number == 0) {
    Fail(58, head.name);
    return false;
  }
  const std::string& name = head.name;
  if (!head.params.empty() && head.params[0] == 'e') {
    if (name == "data") return CompileData(argText);
    if (head.number == kCmdCommentStart) commentBlock_ = true;
    return true;
  }
  // A keyword statement never compiles another one while it gathers its operands, so the
  // two lists are kept from statement to statement.
  statementItems_.clear();
  if (!TrimView(argText).empty()) SplitTopLevelViews(argText, statementItems_);
  return CompileKeywordItems(k, statementStart);
}

// The keyword statement k with its argument texts in statementItems_.
bool Compiler::CompileKeywordItems(int k, int32_t statementStart) {
  const auto& part = keywords_.main;
  const KeywordEntry& head = part[size_t(k)];
  const std::string& name = head.name;
  const int groupLast = head.last;
  auto sameName = [&](int e) { return e >= k && e <= groupLast; };
  std::vector<std::string_view>& items = statementItems_;
  int candidate = k;
  std::string letters;
  std::vector<int32_t>& operands = statementOperands_;
  operands.clear();
  std::string given;  // the argument letters as written, before any conversion
  std::string condition;
  const size_t arrayAt = size_t(ArrayOperandOf(head.number));
  for (size_t i = 0; i < items.size(); ++i) {
    std::string_view item = items[i];
    if (head.block >= 0 && HoldsConditionWord(item)) {
      condition = ReplaceOutsideQuotes(std::string(item), "<>", "!");
      condition = ReplaceOutsideQuotes(condition, " and ", "&");
      condition = ReplaceOutsideQuotes(condition, " or ", "|");
      item = condition;
    }
    const std::string& p = part[size_t(candidate)].params;
    char letter = i < p.size() ? p[i] : 0;
    int32_t n = 0;
    char t = 'x';
    if (letter == 'a') {
      std::string label(TrimView(item));
      if (!IsPlainName(label)) {
        Fail(24, Msg(33));
        return false;
      }
      n = DeclareJumpTarget(label, name == "restore" ? 0 : 1, true, false);
      if (n < 0) return false;
      t = 'a';
    } else {
      expectedType_ = letter == 'l' || letter == 'f' || letter == 's' ? letter : 0;
      arrayOperand_ = i == arrayAt;
      bool ok = CompileFullExpression(item, &n, &t);
      expectedType_ = 0;
      arrayOperand_ = false;
      if (!ok) return false;
      // Only a variable can hold an array: a literal or a value computed there has none. The
      // array files take theirs as an element with one index, fetched right before them.
      const bool arrayFile = head.number >= kCmdLoadIntArray && head.number <= kCmdSaveTextArray;
      if (i == arrayAt && (arrayFile ? n != elementFetchTemp_ || code_.size() != elementFetchEnd_ : !IsVariableOperand(n))) {
        Fail(49, std::string(TrimView(item)));
        return false;
      }
    }
    given += t;
    // An entry whose letters begin with the letters so far and then the new one.
    auto search = [&](char next) {
      auto fits = [&](int e) {
        const std::string& q = part[size_t(e)].params;
        if (q.size() <= letters.size() || q[letters.size()] != next) return false;
        for (size_t j = 0; j < letters.size(); ++j)
          if (q[j] != letters[j]) return false;
        return true;
      };
      for (int e = candidate; sameName(e); ++e)
        if (fits(e)) return e;
      for (int e = k; e < candidate; ++e)
        if (fits(e)) return e;
      return -1;
    };
    // An early return hands back the function's own type: a number of the other kind is
    // converted, a text for a number (or the reverse) cannot be returned.
    if (i == 0 && inFunction_ && currentFunction_ > 0 && name == "exitfunction" && !prePass_) {
      const char want = functions_[size_t(currentFunction_ - 1)].returnType;
      if ((want == 's') != (t == 's')) {
        Fail(39);
        return false;
      }
      if (t != want && (t == 'l' || t == 'f')) {
        n = Convert(t == 'l' ? kCmdIntToFloat : kCmdFloatToInt, n);
        if (!n) return false;
        t = want;
      }
    }
    int found = search(t);
    if (found < 0 && (t == 'l' || t == 'f')) {
      n = Convert(t == 'l' ? kCmdIntToFloat : kCmdFloatToInt, n);
      if (!n) return false;
      t = t == 'l' ? 'f' : 'l';
      found = search(t);
    }
    if (found >= 0) candidate = found;
    letters += t;
    operands.push_back(n);
  }
  int chosen = -1;
  for (int e = k; sameName(e) && chosen < 0; ++e) {
    const std::string& p = part[size_t(e)].params;
    if ((p.size() == letters.size() && std::equal(p.begin(), p.end(), letters.begin())) ||
        (letters.empty() && !p.empty() && p[0] == '0'))
      chosen = e;
  }
  if (chosen < 0) {
    Fail(37, OverloadText(name, false, given, 254 - Msg(37).size()));
    return false;
  }
  const KeywordEntry& entry = part[size_t(chosen)];
  bool emit = true;
  if (entry.block >= 0) {
    bool addJump = false;
    int32_t jumpValue = 0;
    int32_t jumpPosition = int32_t(code_.size()) + 1 + int32_t(operands.size());
    if (!HandleBlock(entry.block, jumpPosition, &addJump, &jumpValue, statementStart, &emit)) {
      Fail(34);
      return false;
    }
    if (addJump) operands.push_back(jumpValue);
  }
  if (emit && !prePass_) EmitInstruction(entry.number, operands);
  if (entry.number >= 22 && entry.number <= 25) {
    inFunction_ = false;
    currentFunction_ = 0;
  }
  return true;
}
