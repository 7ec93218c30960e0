// The statements the compiler rewrites into others: labels, function headers, single-line
// IF, FOR, DIM, SELECT/CASE, assignments, and DATA.
#include <cstring>
#include <string_view>

#include "compiler/compiler.h"
#include "compiler/text_util.h"

namespace {

const char kSelectVariable[] = "welldoneifyoufindthistempvarzub";

}  // namespace

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
  functionLine_ = currentLine_;
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

bool Compiler::CompileSingleLineIf(const std::vector<std::string_view>& words) {
  size_t then = 2;
  while (words[then] != "then") ++then;
  size_t otherwise = then + 1;
  while (otherwise < words.size() && words[otherwise] != "else") ++otherwise;
  // The condition holds no "then" and the block words are plain keyword statements, so they
  // go to keyword recognition directly; the statements in between are full statements.
  if (!CompileGeneratedStatement("if", {Join(words, 1, then)})) return false;
  if (!CompileStatement(Join(words, then + 1, otherwise))) return false;
  if (otherwise < words.size()) {
    if (!CompileGeneratedStatement("else", {})) return false;
    if (!CompileStatement(Join(words, otherwise + 1, words.size()))) return false;
  }
  return CompileGeneratedStatement("endif", {});
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
  if (v.empty()) {
    Fail(31);
    return false;
  }
  if (!IsVariableName(v) || v.find_first_of("#$") != std::string::npos) {
    Fail(57, v);
    return false;
  }
  if (Trim(a).empty() || Trim(b).empty() || s.empty()) {
    Fail(31);
    return false;
  }
  const std::string start = Trim(a) + "-(" + s + ")", end = Trim(b);
  if (!CompileGeneratedStatement("=", {v, start}) || !CompileGeneratedStatement("for", {v, end, s})) {
    Fail(31);
    return false;
  }
  rest_ = rest;
  return CompileRest();
}

// A keyword statement written as "name item,item,...": the items go to the keyword
// statement as they are when nothing in them would make the keyword text split or end them
// differently, else the text takes the general road.
bool Compiler::CompileGeneratedStatement(std::string_view name, std::initializer_list<std::string_view> items) {
  bool plain = true;
  for (std::string_view item : items)
    for (char c : item) plain = plain && c != ',' && c != ':' && c != ';' && c != '"';
  int keyword = -1;
  if (plain && keywords_.LookUpFirstWord(name, &keyword) == 1 && keyword >= 0 && keyword != printKeyword_ &&
      keyword != readKeyword_ && keyword != inputKeyword_) {
    const KeywordEntry& entry = keywords_.main[size_t(keyword)];
    if (entry.number != 0 && (entry.params.empty() || entry.params[0] != 'e')) {
      // The keyword text would trim the argument text as a whole.
      statementItems_.assign(items.begin(), items.end());
      if (!statementItems_.empty()) {
        std::string_view& first = statementItems_.front();
        while (!first.empty() && static_cast<unsigned char>(first.front()) <= 32) first.remove_prefix(1);
        std::string_view& last = statementItems_.back();
        while (!last.empty() && static_cast<unsigned char>(last.back()) <= 32) last.remove_suffix(1);
        if (statementItems_.size() == 1 && statementItems_[0].empty()) statementItems_.clear();
      }
      if (!CompileKeywordItems(keyword, int32_t(code_.size()))) return false;
      return CompileRest();
    }
  }
  std::string text(name);
  bool firstItem = true;
  for (std::string_view item : items) {
    text += firstItem ? ' ' : ',';
    text.append(item);
    firstItem = false;
  }
  return CompileKeywordText(text);
}

bool Compiler::CompileDim(const std::string& text) {
  std::string body = text.substr(4);
  size_t open = body.find('(');
  // The bracket closed is the last one before the statement ends at a ':' outside quotes.
  size_t end = body.size();
  bool quoted = false;
  for (size_t i = 0; i < body.size() && end == body.size(); ++i) {
    if (body[i] == '"') quoted = !quoted;
    else if (!quoted && body[i] == ':') end = i;
  }
  size_t close = body.rfind(')', end);
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

bool Compiler::CompileSelect(const std::vector<std::string_view>& words, const std::vector<size_t>& starts,
                             const std::string& text) {
  size_t colon = 1;
  while (colon < words.size() && words[colon] != ":") ++colon;
  std::string rest = colon < words.size() && colon + 1 < words.size() ? text.substr(starts[colon + 1]) : "";
  const std::string_view first = words[0];
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
      blocks_.back().word = "CASE";
    } else {
      if (defaultSeen_) {
        Fail(52);
        return false;
      }
      // Values are added while the text is at most 240 characters long ("if " and 237 of
      // comparisons); a value that would be left out makes the list too long.
      std::string condition = "if ";
      bool firstValue = true;
      for (const std::string& v : SplitTopLevel(values)) {
        if (!firstValue) {
          if (condition.size() > 240) {
            Fail(53);
            return false;
          }
          condition += " or ";
        }
        firstValue = false;
        condition += selectExpression_ + "=" + Trim(v);
      }
      // A value list holding THEN makes a one-line IF, which opens no block to close: the
      // statement fails, and the line loop names it.
      const size_t open = blocks_.size();
      if (!CompileStatement(condition)) return false;
      if (blocks_.size() != open + 1) return false;
      blocks_.back().word = "CASE";
      if (!CompileStatement(tempVar + "=1")) return false;
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

bool Compiler::CompileAssignment(std::string_view text, bool* isAssignment, uint8_t separators) {
  *isAssignment = false;
  size_t eq = FindChar(text, '=');
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
  size_t open = FindChar(target, '(');
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
  // Without a comma, a ";" or a quote in the statement its two texts are the arguments as
  // they are.
  bool plain = true;
  if (separators & (kHoldsComma | kHoldsSemicolon | kHoldsQuote | kHoldsBracket)) {
    for (char c : target) plain = plain && c != ',' && c != ';' && c != '"' && c != ')';
    // As the argument split and the ";" test read the value.
    bool quoted = false;
    int depth = 0;
    for (char c : value) {
      if (c == '"') quoted = !quoted;
      else if (quoted) continue;
      else if (c == '(') ++depth;
      else if (c == ')') --depth;
      else if (c == ';' || (c == ',' && depth == 0)) plain = false;
    }
  }
  if (plain && assignKeyword_ >= 0 &&
      keywords_.main[size_t(assignKeyword_)].number != 0 && !keywords_.main[size_t(assignKeyword_)].params.empty() &&
      keywords_.main[size_t(assignKeyword_)].params[0] != 'e') {
    statementItems_.clear();
    statementItems_.push_back(target);
    statementItems_.push_back(value);
    return CompileKeywordItems(assignKeyword_, int32_t(code_.size()));
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
