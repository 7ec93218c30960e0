// Statements: labels, function headers, the rewritten forms (single-line IF, FOR, SELECT,
// DIM, assignment, PRINT/READ/INPUT lists, several statements on a line), keyword statements
// with their overload choice, DATA, and the block keywords with their jump patches.
#include <cstring>
#include <string_view>

#include "compiler/compiler.h"
#include "compiler/text_util.h"

namespace {

const char kSelectVariable[] = "welldoneifyoufindthistempvarzub";

// The statement's words: split at blanks outside quotes; a ":" outside quotes is a word of
// its own. starts[i] is the offset of word i in the text.
void Tokenize(const std::string& text, std::vector<std::string>& words, std::vector<size_t>& starts,
              size_t maxWords = SIZE_MAX) {
  words.clear();
  starts.clear();
  bool quoted = false;
  size_t i = 0;
  while (i < text.size() && words.size() < maxWords) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    if (text[i] == ':') {
      words.emplace_back(":");
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

std::string Join(const std::vector<std::string>& words, size_t from, size_t to) {
  std::string s;
  for (size_t i = from; i < to && i < words.size(); ++i) {
    if (!s.empty()) s += ' ';
    s += words[i];
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

// Block keyword table: 0 if, 1 else, 2 endif, 3 do, 4 exit, 5 loop, 6 for, 7 next, 8 while,
// 9 endwhile, 10 repeat, 11 until.
constexpr int kOpenerOf[12] = {-1, -1, 0, -1, -1, 3, -1, 6, -1, 8, -1, 10};
constexpr bool kOpens[12] = {true, false, false, true, false, false, true, false, true, false, true, false};
constexpr bool kNoInstruction[12] = {false, false, true, true, false, false, false, false, false, false, true, false};
constexpr int kAfter[12] = {3, 2, 0, 0, 2, 2, 0, 3, 0, 2, 0, 3};

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
    std::vector<std::string> words;
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
  bool done = false;
  if (!CompileLabel(text, &done)) return false;
  if (done) return true;
  if (text.compare(0, 9, "function ") == 0) {
    if (!CompileFunctionHeader(text, &done)) return false;
    if (done) return true;
  }
  {
    size_t at = 0;
    std::string_view w = FirstWord(text, &at);
    if (w[0] == '`' || w == "rem") return true;
    // Only the rewritten forms need all the words; an "if" without a "then" or a "for"
    // without a "to" anywhere is a plain keyword statement.
    bool rewritten = false;
    switch (w.empty() ? 0 : w[0]) {
      case 'i': rewritten = w == "if" && text.find("then") != std::string::npos; break;
      case 'f': rewritten = w == "for" && text.find("to") != std::string::npos; break;
      case 'd': rewritten = w == "dim"; break;
      case 'u': rewritten = w == "undim"; break;
      case 's': rewritten = w == "select"; break;
      case 'c': rewritten = w == "case"; break;
      case 'e': rewritten = w == "endcase" || w == "endselect"; break;
      default: break;
    }
    if (!rewritten) return CompileKeywordText(text);
  }
  std::vector<std::string> words;
  std::vector<size_t> starts;
  Tokenize(text, words, starts);
  const std::string& first = words[0];
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
    std::string name = words[1];
    size_t cut = 0;
    while (cut < name.size() && IsCallNameChar(name[cut])) ++cut;
    arrayFlag_ = true;
    return CompileKeywordText("undim " + name.substr(0, cut));
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

bool Compiler::CompileKeywordText(const std::string& text) {
  size_t firstAt = 0, argStart = 0;
  const std::string_view first = FirstWord(text, &firstAt);
  int keyword = -1;
  const int most = first.empty() ? 0 : keywords_.MaxWordsStartingWith(first);
  if (most == 1) {
    keyword = keywords_.FindMain(first);
    argStart = firstAt + first.size();
  } else if (most > 1) {
    std::vector<std::string> words;
    std::vector<size_t> starts;
    Tokenize(text, words, starts, size_t(most));
    for (int n = std::min<int>(int(words.size()), most); n >= 1 && keyword < 0; --n) {
      keyword = n == 1 ? keywords_.FindMain(words[0]) : keywords_.FindMain(Join(words, 0, size_t(n)));
      argStart = starts[size_t(n) - 1] + words[size_t(n) - 1].size();
    }
  }
  int32_t statementStart = int32_t(code_.size());
  if (keyword < 0) {
    // Not a keyword: a user-function call or an assignment, after splitting off the rest.
    std::string_view body = text;
    std::string rest;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '"') quoted = !quoted;
      if (!quoted && text[i] == ':') {
        body = body.substr(0, i);
        rest = text.substr(i + 1);
        break;
      }
    }
    body = TrimView(body);
    size_t open = body.find('(');
    if (open != std::string::npos && body.back() == ')' &&
        FindUserFunction(std::string(TrimView(body.substr(0, open)))) >= 0 && MatchingBracket(body, open) == body.size() - 1) {
      int32_t n = 0;
      char t = 0;
      if (!CompileCall(std::string(TrimView(body.substr(0, open))), std::string(body.substr(open + 1, body.size() - open - 2)),
                       &n, &t))
        return false;
      rest_ = rest;
      return CompileRest();
    }
    bool isAssignment = false;
    if (!CompileAssignment(body, &isAssignment)) return false;
    if (!isAssignment) {
      Fail(29);
      return false;
    }
    rest_ = rest;
    return CompileRest();
  }
  const KeywordEntry* entry = &keywords_.main[size_t(keyword)];
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
    for (size_t i = 0; i < args.size(); ++i) {
      char c = args[i];
      if (c == '"') quoted = !quoted;
      if (quoted) continue;
      if (c == ':' || (c == ';' && !compilesToNothing) || (c == ',' && isInput)) {
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
  const int groupLast = head.last;
  auto sameName = [&](int e) { return e >= k && e <= groupLast; };
  // A keyword statement never compiles another one while it gathers its operands, so the
  // two lists are kept from statement to statement.
  std::vector<std::string_view>& items = statementItems_;
  items.clear();
  if (!TrimView(argText).empty()) SplitTopLevelViews(argText, items);
  int candidate = k;
  std::string letters;
  std::vector<int32_t>& operands = statementOperands_;
  operands.clear();
  std::string condition;
  for (size_t i = 0; i < items.size(); ++i) {
    std::string_view item = items[i];
    if (head.block >= 0 && (item.find("<>") != std::string_view::npos || item.find(" and ") != std::string_view::npos ||
                            item.find(" or ") != std::string_view::npos)) {
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
      bool ok = CompileFullExpression(item, &n, &t);
      expectedType_ = 0;
      if (!ok) return false;
    }
    // An entry whose letters begin with the letters so far and then the new one.
    auto search = [&](char next) {
      auto fits = [&](int e) {
        const std::string& q = part[size_t(e)].params;
        return q.size() > letters.size() && q.compare(0, letters.size(), letters) == 0 && q[letters.size()] == next;
      };
      for (int e = candidate; sameName(e); ++e)
        if (fits(e)) return e;
      for (int e = k; e < candidate; ++e)
        if (fits(e)) return e;
      return -1;
    };
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
    if (p == letters || (letters.empty() && !p.empty() && p[0] == '0')) chosen = e;
  }
  if (chosen < 0) {
    Fail(37, OverloadText(name, false));
    return false;
  }
  const KeywordEntry& entry = part[size_t(chosen)];
  bool emit = true;
  if (entry.block >= 0) {
    bool addJump = false;
    int32_t jumpValue = 0;
    int32_t jumpPosition = int32_t(code_.size()) + 1 + int32_t(operands.size());
    if (!HandleBlock(entry.block, jumpPosition, &addJump, &jumpValue, statementStart)) {
      Fail(34);
      return false;
    }
    emit = !kNoInstruction[entry.block];
    if (addJump) operands.push_back(jumpValue);
  }
  if (emit && !prePass_) EmitInstruction(entry.number, operands);
  if (entry.number >= 22 && entry.number <= 25) {
    inFunction_ = false;
    currentFunction_ = 0;
  }
  return true;
}

bool Compiler::HandleBlock(int b, int32_t jumpPosition, bool* addJump, int32_t* jumpValue, int32_t statementStart) {
  const int32_t after = int32_t(code_.size()) + kAfter[b];
  *addJump = b != 2;
  *jumpValue = 0;
  if (kOpens[b]) {
    if (blocks_.size() >= 1023) return false;
    BlockRecord r;
    r.kind = b;
    r.jump = kNoInstruction[b] ? -1 : jumpPosition;
    r.start = (b == 6 || b == 8) ? statementStart : after;
    blocks_.push_back(std::move(r));
    return true;
  }
  if (b == 1) {
    if (blocks_.empty() || blocks_.back().kind != 0 || blocks_.back().elseJump >= 0) return false;
    blocks_.back().elseJump = jumpPosition;
    blocks_.back().afterElse = after;
    return true;
  }
  if (b == 4) {
    for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it) {
      if (it->kind == 0) continue;
      if (it->exits.size() >= 32) {
        Fail(54);
        return false;
      }
      it->exits.push_back(jumpPosition);
      return true;
    }
    return false;
  }
  if (blocks_.empty() || blocks_.back().kind != kOpenerOf[b]) return false;
  BlockRecord r = std::move(blocks_.back());
  blocks_.pop_back();
  if (prePass_) return true;
  if (r.kind == 0) {
    if (r.elseJump >= 0) {
      code_[size_t(r.jump)] = 37000 + r.afterElse;
      code_[size_t(r.elseJump)] = 37000 + after;
    } else {
      code_[size_t(r.jump)] = 37000 + after;
    }
    return true;
  }
  if (r.jump >= 0) code_[size_t(r.jump)] = 37000 + after;
  for (int32_t e : r.exits) code_[size_t(e)] = 37000 + after;
  *jumpValue = 37000 + r.start;
  return true;
}

bool Compiler::CompileLabel(const std::string& text, bool* isLabel) {
  *isLabel = false;
  size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return true;
  if (!IsPlainName(text.substr(0, colon)) || !Trim(text.substr(colon + 1)).empty()) return true;
  *isLabel = true;
  std::string name = text.substr(0, colon);
  int32_t n = DeclareJumpTarget(name, 0, false, false);
  if (n == -2) {
    Fail(26, name);
    return false;
  }
  if (n < 0) return false;
  declared_.push_back({name, currentFunction_, int32_t(code_.size())});
  return true;
}

bool Compiler::CompileFunctionHeader(const std::string& text, bool* handled) {
  *handled = false;
  std::string name, params;
  SplitFunctionHeader(Trim(text.substr(9)), &name, &params);
  int f = FindUserFunction(name);
  if (f < 0) return true;
  *handled = true;
  int32_t n = DeclareJumpTarget(name, 1, false, true);
  if (n == -2) {
    Fail(27, name);
    return false;
  }
  if (n < 0) return false;
  inFunction_ = true;
  currentFunction_ = int16_t(f + 1);
  ResetTemporaries();
  std::vector<int32_t> operands;
  if (!Trim(params).empty()) {
    for (const std::string& p : SplitTopLevel(params)) {
      char t = 0;
      int32_t number = 0;
      if (!DeclareVariableByName(Trim(p), &t, &number)) {
        if (errorText_.empty()) {
          Fail(28, Trim(p));
          failedWithoutLine_ = true;
        }
        continue;
      }
      operands.push_back(number);
    }
  }
  operands.push_back(f + 1);
  declared_.push_back({name, -1, int32_t(code_.size()) + 1});
  EmitInstruction(kCmdFunctionGuard, operands);
  return true;
}

bool Compiler::CompileSingleLineIf(const std::vector<std::string>& words) {
  size_t then = 2;
  while (words[then] != "then") ++then;
  size_t otherwise = then + 1;
  while (otherwise < words.size() && words[otherwise] != "else") ++otherwise;
  if (!CompileStatement("if " + Join(words, 1, then))) return false;
  if (!CompileStatement(Join(words, then + 1, otherwise))) return false;
  if (otherwise < words.size()) {
    if (!CompileStatement("else")) return false;
    if (!CompileStatement(Join(words, otherwise + 1, words.size()))) return false;
  }
  return CompileStatement("endif");
}

bool Compiler::CompileFor(const std::string& text) {
  size_t eq = text.find('=');
  size_t to = text.find(" to ");
  if (eq == std::string::npos || to == std::string::npos || to < eq) {
    Fail(31);
    return false;
  }
  std::string v = Trim(text.substr(0, eq));
  std::string a = text.substr(eq + 1, to - eq - 1);
  size_t bStart = to + 4;
  size_t step = text.find(" step", bStart);
  size_t colon = std::string::npos;
  {
    bool quoted = false;
    for (size_t i = bStart; i < text.size(); ++i) {
      if (text[i] == '"') quoted = !quoted;
      if (!quoted && text[i] == ':') {
        colon = i;
        break;
      }
    }
  }
  if (step != std::string::npos && colon != std::string::npos && step > colon) step = std::string::npos;
  std::string b, s = "1", rest;
  if (step != std::string::npos) {
    b = text.substr(bStart, step - bStart);
    s = Trim(text.substr(step + 5, colon == std::string::npos ? std::string::npos : colon - step - 5));
  } else {
    b = text.substr(bStart, colon == std::string::npos ? std::string::npos : colon - bStart);
  }
  if (colon != std::string::npos) rest = text.substr(colon + 1);
  if (!IsVariableName(v) || v.find_first_of("#$") != std::string::npos) {
    Fail(57, v);
    return false;
  }
  if (Trim(a).empty() || Trim(b).empty() || s.empty()) {
    Fail(31);
    return false;
  }
  if (!CompileKeywordText("= " + v + "," + Trim(a) + "-(" + s + ")") ||
      !CompileKeywordText("for " + v + "," + Trim(b) + "," + s)) {
    Fail(31);
    return false;
  }
  rest_ = rest;
  return CompileRest();
}

bool Compiler::CompileDim(const std::string& text) {
  std::string body = text.substr(4);
  size_t open = body.find('(');
  size_t close = body.rfind(')');
  std::string name = Trim(body.substr(0, open));
  body[open] = ',';
  if (close != std::string::npos && close > open) body[close] = ' ';
  if (dims_.size() >= 2000) {
    Fail(55);
    return false;
  }
  arrayFlag_ = true;
  if (!CompileKeywordText("dim " + body)) {
    arrayFlag_ = false;
    Fail(32);
    return false;
  }
  dims_.push_back({name, currentFunction_});
  return true;
}

bool Compiler::CompileSelect(const std::vector<std::string>& words, const std::vector<size_t>& starts,
                             const std::string& text) {
  size_t colon = 1;
  while (colon < words.size() && words[colon] != ":") ++colon;
  std::string rest = colon < words.size() && colon + 1 < words.size() ? text.substr(starts[colon + 1]) : "";
  const std::string& first = words[0];
  const std::string tempVar = kSelectVariable;
  if (first == "select") {
    if (selectOpen_ || colon != 2) {
      Fail(51);
      return false;
    }
    selectExpression_ = words[1];
    selectOpen_ = true;
    defaultSeen_ = false;
    if (!CompileStatement(tempVar + "=0")) return false;
  } else if (first == "case") {
    if (!selectOpen_) {
      Fail(51);
      return false;
    }
    std::string values = Join(words, 1, colon);
    if (values == "default") {
      defaultSeen_ = true;
      if (!CompileStatement("if " + tempVar + "=0")) return false;
    } else {
      if (defaultSeen_) {
        Fail(52);
        return false;
      }
      std::string condition;
      for (const std::string& v : SplitTopLevel(values)) {
        if (!condition.empty()) condition += " or ";
        condition += selectExpression_ + "=" + Trim(v);
      }
      if (condition.size() > 240) {
        Fail(53);
        return false;
      }
      if (!CompileStatement("if " + condition) || !CompileStatement(tempVar + "=1")) return false;
    }
  } else if (first == "endcase") {
    if (!selectOpen_) {
      Fail(51);
      return false;
    }
    if (!CompileStatement("endif")) return false;
  } else {
    if (!selectOpen_) {
      Fail(51);
      return false;
    }
    selectOpen_ = false;
  }
  rest_ = rest;
  return CompileRest();
}

bool Compiler::CompileAssignment(std::string_view text, bool* isAssignment) {
  *isAssignment = false;
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return true;
  std::string_view target = text.substr(0, eq);
  while (!target.empty() && target.back() == ' ') target.remove_suffix(1);
  std::string_view value = text.substr(eq + 1);
  if (TrimView(value).empty() || TrimView(target).empty()) return true;
  {
    bool quoted = false;
    int depth = 0;
    for (char c : target) {
      if (c == '"') quoted = !quoted;
      else if (!quoted && c == '(') ++depth;
      else if (!quoted && c == ')') --depth;
      else if (!quoted && depth == 0 && c == ' ') return true;
    }
  }
  *isAssignment = true;
  target = TrimView(target);
  size_t open = target.find('(');
  // The statement's arguments; nothing compiles another assignment while they are in use.
  std::string& args = assignmentArgs_;
  args.clear();
  if (open != std::string_view::npos) {
    size_t close = MatchingBracket(target, open);
    if (close == std::string_view::npos) {
      Fail(23);
      return false;
    }
    args.append(target.substr(0, open)).append(",").append(target.substr(open + 1, close - open - 1)).append(" ");
    args.append(target.substr(close + 1)).append(",").append(value);
    arrayFlag_ = true;
    return CompileAssignmentArgs(elementAssignKeyword_, "@= ", args);
  }
  args.append(target).append(",").append(value);
  return CompileAssignmentArgs(assignKeyword_, "= ", args);
}

// The keyword statement "=" or "@=" with its arguments. A ";" in them ends the statement as
// it ends any keyword statement; that rare case takes the general road.
bool Compiler::CompileAssignmentArgs(int keyword, const char* name, const std::string& args) {
  bool quoted = false;
  for (char c : args) {
    if (c == '"') quoted = !quoted;
    else if (!quoted && c == ';') keyword = -1;
  }
  if (keyword < 0) return CompileKeywordText(name + args);
  return CompileKeywordStatement(keyword, args, int32_t(code_.size()));
}

bool Compiler::CompileData(const std::string& args) {
  if (Trim(args).empty()) return true;
  for (const std::string& raw : SplitTopLevel(args)) {
    std::string item = Trim(raw);
    if (dataTypes_.size() >= 9999) {
      Fail(35);
      return false;
    }
    bool digit = false, dot = false, intChars = true, floatChars = true;
    for (char c : item) {
      bool d = c >= '0' && c <= '9';
      digit = digit || d;
      dot = dot || c == '.';
      intChars = intChars && (d || c == '-' || c == '+');
      floatChars = floatChars && (d || c == '-' || c == '+' || c == '.');
    }
    if (digit && intChars) {
      long long v = std::strtoll(item.c_str() + (item[0] == '+'), nullptr, 10);
      if (v > INT32_MAX) v = INT32_MAX;
      if (v < INT32_MIN) v = INT32_MIN;
      dataTypes_ += 'l';
      dataValues_.push_back(int32_t(v));
      dataTexts_.emplace_back();
    } else if (digit && dot && floatChars) {
      float f = float(std::strtod(item.c_str() + (item[0] == '+'), nullptr));
      int32_t bits;
      std::memcpy(&bits, &f, 4);
      dataTypes_ += 'f';
      dataValues_.push_back(bits);
      dataTexts_.emplace_back();
    } else if (item.size() >= 2 && item.front() == '"' && item.back() == '"') {
      dataTypes_ += 's';
      dataValues_.push_back(0);
      dataTexts_.push_back(item.substr(1, item.size() - 2));
    } else {
      Fail(36, item);
      return false;
    }
  }
  return true;
}
