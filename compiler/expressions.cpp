// Expressions: grouping parentheses, operators by a fixed precedence, operands, calls of
// keyword functions, array elements and user functions, and the emission of code words.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "compiler/compiler.h"
#include "compiler/text_util.h"

namespace {

// "?" followed by the decimal operand number: a reduced part of an expression.
struct Marker {
  char text[16];
  size_t size;
  explicit Marker(int32_t number) {
    text[0] = '?';
    size = size_t(std::to_chars(text + 1, text + sizeof text, number).ptr - text);
  }
  std::string_view view() const { return std::string_view(text, size); }
};

struct OperatorChars {
  bool is[256] = {};
  OperatorChars() {
    for (const char* p = "^/*+-><=!&|"; *p; ++p) is[uint8_t(*p)] = true;
  }
};
const OperatorChars kOperatorChars;

bool IsOperatorChar(char c) { return kOperatorChars.is[uint8_t(c)]; }

// For each character, the operator levels it can take part in (bit n: level n).
struct LevelsOfChar {
  uint32_t bits[256] = {};
  LevelsOfChar() {
    bits[uint8_t('^')] = 1u << 0;
    bits[uint8_t('/')] = 1u << 1;
    bits[uint8_t('*')] = 1u << 2;
    bits[uint8_t('+')] = 1u << 3;
    bits[uint8_t('-')] = 1u << 4;
    bits[uint8_t('>')] = 1u << 5 | 1u << 7;
    bits[uint8_t('<')] = 1u << 6 | 1u << 8;
    bits[uint8_t('=')] = 1u << 5 | 1u << 6 | 1u << 9;
    bits[uint8_t('!')] = 1u << 10;
    bits[uint8_t('&')] = 1u << 11;
    bits[uint8_t('|')] = 1u << 12;
  }
};
const LevelsOfChar kLevelsOfChar;
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// For an operator chain: the level of a lone operator character, or a character that ends
// the chain road (a quote or a bracket), or none of these.
constexpr uint8_t kPlain = 0xff, kStop = 0xfe;
struct ChainKinds {
  uint8_t of[256];
  constexpr ChainKinds() : of() {
    for (int c = 0; c < 256; ++c) of[c] = kPlain;
    of[uint8_t('"')] = of[uint8_t('(')] = of[uint8_t(')')] = kStop;
    const char* ops = "^/*+-";
    for (int k = 0; k < 5; ++k) of[uint8_t(ops[k])] = uint8_t(k);
    of[uint8_t('>')] = 7;
    of[uint8_t('<')] = 8;
    of[uint8_t('=')] = 9;
    of[uint8_t('!')] = 10;
    of[uint8_t('&')] = 11;
    of[uint8_t('|')] = 12;
  }
};
constexpr ChainKinds kChainKinds;

// Marks the characters that lie outside double quotes and outside any parentheses.
void TopLevelMask(const std::string& text, std::vector<uint8_t>& mask) {
  mask.assign(text.size(), 0);
  bool quoted = false;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (c == '(') {
      ++depth;
      continue;
    }
    if (c == ')') {
      --depth;
      continue;
    }
    mask[i] = depth == 0;
  }
}

// Previous non-blank character before i (0 when none).
char PreviousNonBlank(const std::string& text, size_t i) {
  while (i > 0) {
    --i;
    if (text[i] != ' ') return text[i];
  }
  return 0;
}

struct Level {
  const char* keyword;
  char a, b;  // the operator's characters (b: a second spelling's first char for two-char forms)
};

// Operator at level L starting at i, or 0; *width gets its length.
bool OperatorAt(const std::string& t, size_t i, int level, size_t* width) {
  char c = t[i];
  char n = i + 1 < t.size() ? t[i + 1] : 0;
  *width = 1;
  switch (level) {
    case 0: return c == '^';
    case 1: return c == '/';
    case 2: return c == '*';
    case 3: return c == '+';
    case 4: {
      if (c != '-') return false;
      char p = PreviousNonBlank(t, i);
      return p != 0 && !IsOperatorChar(p);
    }
    case 5:
      *width = 2;
      return (c == '>' && n == '=') || (c == '=' && n == '>');
    case 6:
      *width = 2;
      return (c == '<' && n == '=') || (c == '=' && n == '<');
    case 7: return c == '>';
    case 8: return c == '<';
    case 9: return c == '=';
    case 10: return c == '!';
    case 11: return c == '&';
    case 12: return c == '|';
  }
  return false;
}

}  // namespace

const char* const kLevelKeyword[13] = {"^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|"};

namespace {

std::string ArgLetters(const std::string& params, bool bracket) {
  std::string s = bracket ? (params.empty() ? "" : params.substr(1)) : params;
  if (!s.empty() && (s[0] == '0' || s[0] == 'e')) return "";
  return s;
}

// ArgLetters(params, true) == letters, without building the text.
bool ArgLettersAre(const std::string& params, std::string_view letters) {
  std::string_view s = params.empty() ? std::string_view() : std::string_view(params).substr(1);
  if (!s.empty() && (s[0] == '0' || s[0] == 'e')) s = std::string_view();
  return s == letters;
}

}  // namespace

void Compiler::EmitCodeDword(int32_t word) {
  code_.push_back(word);
  lines_.push_back(currentLine_);
}

void Compiler::EmitInstruction(int32_t command, const std::vector<int32_t>& operands) {
  EmitInstruction(command, operands.data(), operands.size());
}

void Compiler::EmitInstruction(int32_t command, std::initializer_list<int32_t> operands) {
  EmitInstruction(command, operands.begin(), operands.size());
}

void Compiler::EmitInstruction(int32_t command, const int32_t* operands, size_t count) {
  EmitCodeDword(command);
  for (size_t i = 0; i < count; ++i) {
    const int32_t w = operands[i];
    if (w >= 35000 && w < 37000) {
      JumpTarget& t = targets_[size_t(w - 35000)];
      t.refs.push_back({int32_t(code_.size()), t.kind});
    }
    EmitCodeDword(w);
  }
  ++instructionCount_;
}

int32_t Compiler::Convert(int command, int32_t operand) {
  int32_t temp = AllocTempOperand(command == kCmdIntToFloat ? 'f' : 'l');
  if (!temp) return 0;
  if (!prePass_) EmitInstruction(command, {temp, operand});
  return temp;
}

// Chooses the overload of an operator level for the operand types, takes a temporary of its
// result type and emits the instruction. Fails with message 22 when no overload fits.
bool Compiler::EmitOperator(int level, int32_t a, char ta, int32_t b, char tb, int32_t* temp, char* type) {
  int chosen = -1;
  const int first = operatorFirst_[level];
  for (int e = first; e >= 0 && e <= keywords_.bracket[size_t(first)].last; ++e) {
    const std::string& p = keywords_.bracket[size_t(e)].params;
    if (p.size() == 3 && p[1] == ta && p[2] == tb) {
      chosen = e;
      break;
    }
  }
  if (chosen < 0) {
    Fail(22);
    return false;
  }
  const KeywordEntry& entry = keywords_.bracket[size_t(chosen)];
  *temp = AllocTempOperand(entry.params[0]);
  if (!*temp) return false;
  *type = entry.params[0];
  if (!prePass_) EmitInstruction(entry.number, {*temp, a, b});
  return true;
}

bool Compiler::CompileFullExpression(std::string_view input, int32_t* number, char* type) {
  {
    // A plain operator chain (or a single operand) has no group to take out.
    const std::string_view trimmed = TrimView(input);
    size_t plain = 0;
    while (plain < trimmed.size() && kChainKinds.of[uint8_t(trimmed[plain])] == kPlain) ++plain;
    if (plain == trimmed.size()) return CompileOperand(trimmed, number, type);
    if (SplitOperatorChain(trimmed)) {
      if (chains_[chainDepth_].operators.empty()) return CompileOperand(trimmed, number, type);
      return ReduceOperatorChain(number, type);
    }
  }
  // Without brackets there is no group to take out.
  bool brackets = false;
  for (char c : input) brackets = brackets || c == '(' || c == ')';
  if (!brackets) return CompileExpression(input, number, type);
  std::string text(input);
  for (;;) {
    bool quoted = false;
    std::vector<size_t>& open = openBrackets_;
    open.clear();
    size_t bestOpen = std::string::npos, bestClose = 0, bestDepth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '"') quoted = !quoted;
      if (quoted || c == '"') continue;
      if (c == '(') {
        if (i > 0 && IsCallNameChar(text[i - 1])) {
          size_t close = MatchingBracket(text, i);
          if (close == std::string::npos) {
            Fail(23);
            return false;
          }
          i = close;
          continue;
        }
        open.push_back(i);
      } else if (c == ')') {
        if (open.empty()) {
          Fail(23);
          return false;
        }
        size_t depth = open.size();
        if (depth > bestDepth) {
          bestDepth = depth;
          bestOpen = open.back();
          bestClose = i;
        }
        open.pop_back();
      }
    }
    if (!open.empty() || quoted) {
      if (!open.empty()) {
        Fail(23);
        return false;
      }
    }
    if (bestOpen == std::string::npos) return CompileExpression(text, number, type);
    int32_t inner = 0;
    char innerType = 0;
    if (!CompileExpression(std::string_view(text).substr(bestOpen + 1, bestClose - bestOpen - 1), &inner, &innerType))
      return false;
    const Marker marker(inner);
    text.replace(bestOpen, bestClose - bestOpen + 1, marker.text, marker.size);
  }
}

// The operators of a text without quotes and groups in brackets (calls are part of their
// operand), when it is a plain chain "operand operator operand ..." with one operator
// between each two operands. Returns false for any other shape (a sign, doubled operators,
// an empty operand), which the text reduction handles.
bool Compiler::SplitOperatorChain(std::string_view text) {
  if (chainDepth_ >= kChainDepths) return false;
  std::vector<ChainOperand>& parts = chains_[chainDepth_].operands;
  std::vector<ChainOperator>& links = chains_[chainDepth_].operators;
  parts.clear();
  links.clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t kind = kChainKinds.of[uint8_t(text[i])];
    if (kind == kPlain) continue;
    if (kind == kStop) {
      // A call's brackets belong to its operand; any other bracket or quote ends the road.
      if (text[i] != '(' || i == 0 || !IsCallNameChar(text[i - 1])) return false;
      const size_t close = MatchingBracket(text, i);
      if (close == std::string_view::npos) return false;
      i = close;
      continue;
    }
    size_t width = 1;
    int level = kind;
    const char n = i + 1 < text.size() ? text[i + 1] : 0;
    if (IsOperatorChar(n)) {
      const char c = text[i];
      if ((c == '>' && n == '=') || (c == '=' && n == '>')) level = 5;
      else if ((c == '<' && n == '=') || (c == '=' && n == '<')) level = 6;
      else return false;
      width = 2;
    }
    const std::string_view operand = TrimView(text.substr(start, i - start));
    if (operand.empty()) return false;
    parts.emplace_back(operand, i - start);
    links.push_back({uint8_t(level), uint8_t(width)});
    i += width - 1;
    start = i + 1;
  }
  const std::string_view operand = TrimView(text.substr(start));
  if (operand.empty()) return false;
  parts.emplace_back(operand, text.size() - start);
  return true;
}

// Reduces a plain operator chain as the text reduction does: level by level in the fixed
// order, left to right within a level, each operand compiled when its operator is reduced.
bool Compiler::ReduceOperatorChain(int32_t* number, char* type) {
  std::vector<ChainOperand>& parts = chains_[chainDepth_].operands;
  const std::vector<ChainOperator>& links = chains_[chainDepth_].operators;
  struct DepthGuard {
    size_t& depth;
    explicit DepthGuard(size_t& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
  } guard(chainDepth_);
  const size_t count = links.size();
  size_t length = count;  // the text's length: the operands' spans and the operators
  for (const ChainOperand& o : parts) length += o.span;
  for (const ChainOperator& o : links) length += o.width - 1u;
  uint32_t levels = 0;
  for (const ChainOperator& o : links) levels |= 1u << o.level;
  int32_t last = 0;
  char lastType = 0;
  for (int level = 0; level < 13; ++level) {
    if (!(levels & (1u << level))) continue;
    for (size_t j = 0; j < count; ++j) {
      if (links[j].level != level) continue;
      // The left operand is the live one at or before j (merged ones are dead); the right
      // one is j + 1, which only its own operator could have merged away.
      size_t l = j;
      while (parts[l].dead) --l;
      ChainOperand& left = parts[l];
      ChainOperand& right = parts[j + 1];
      // A reduced part is its temporary (what compiling its marker gives).
      auto operand = [&](const ChainOperand& o, int32_t* n, char* t) {
        if (o.reduced) {
          *n = o.number;
          *t = OperandTypeFromIndex(o.number);
          return true;
        }
        return CompileOperand(o.text, n, t);
      };
      int32_t a = 0, b = 0;
      char ta = 0, tb = 0;
      if (!operand(left, &a, &ta) || !operand(right, &b, &tb)) {
        Fail(22);
        return false;
      }
      int32_t temp = 0;
      char resultType = 0;
      if (!EmitOperator(level, a, ta, b, tb, &temp, &resultType)) return false;
      if (count == 1) {
        *number = temp;
        *type = resultType;
        return true;
      }
      // The reduced part becomes the marker of the temporary.
      const Marker marker(temp);
      length = length - left.span - right.span - links[j].width + marker.size;
      left.reduced = true;
      left.number = temp;
      left.span = uint16_t(marker.size);
      right.dead = true;
      if (length >= 255) {
        Fail(43);
        return false;
      }
      last = temp;
      lastType = resultType;
    }
  }
  *number = last;
  *type = lastType;
  return true;
}

bool Compiler::CompileExpression(std::string_view input, int32_t* number, char* type) {
  {
    const std::string_view trimmed = TrimView(input);
    if (SplitOperatorChain(trimmed)) {
      if (chains_[chainDepth_].operators.empty()) return CompileOperand(trimmed, number, type);
      return ReduceOperatorChain(number, type);
    }
  }
  // Text and mask buffers of this nesting depth (calls inside operands compile expressions
  // too); the input is never one of them.
  if (maskPool_.size() <= maskDepth_) {
    maskPool_.resize(maskDepth_ + 1);
    textPool_.resize(maskDepth_ + 1);
  }
  std::vector<uint8_t>& mask = maskPool_[maskDepth_];
  std::string& text = textPool_[maskDepth_];
  text.assign(TrimView(input));
  bool reduced = false;
  int32_t last = 0;
  char lastType = 0;
  struct DepthGuard {
    size_t& depth;
    explicit DepthGuard(size_t& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
  } guard(maskDepth_);
  // Quick test: which operator characters occur at the top level at all.
  TopLevelMask(text, mask);
  // The levels whose operator characters occur (">=" and "=>" can only be at levels 5 and
  // 6 when a ">" or "<" and a "=" occur).
  uint32_t levels = 0;
  size_t operators = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!mask[i]) continue;
    const uint32_t bits = kLevelsOfChar.bits[uint8_t(text[i])];
    levels |= bits;
    operators += bits != 0;
  }
  if (!levels) return CompileOperand(text, number, type);
  for (int level = 0; level < 13; ++level) {
    if (!(levels & (1u << level))) continue;
    size_t from = 1;
    for (;;) {
      size_t op = std::string::npos, width = 1;
      for (size_t i = from; i < text.size(); ++i) {
        if (mask[i] && OperatorAt(text, i, level, &width)) {
          op = i;
          break;
        }
      }
      if (op == std::string::npos) break;
      // Left operand: back to the previous operator; a sign before a digit belongs to it.
      size_t k = op;
      while (k > 0 && !(mask[k - 1] && IsOperatorChar(text[k - 1]))) --k;
      size_t leftStart = k;
      if (k > 0 && text[k - 1] == '-') {
        size_t d = k;
        while (d < op && text[d] == ' ') ++d;
        char before = PreviousNonBlank(text, k - 1);
        if (d < op && IsDigit(text[d]) && (before == 0 || IsOperatorChar(before))) leftStart = k - 1;
      }
      // Right operand: up to the next operator, a leading "-" included.
      size_t r = op + width;
      while (r < text.size() && text[r] == ' ') ++r;
      if (r < text.size() && text[r] == '-') ++r;
      while (r < text.size() && !(mask[r] && IsOperatorChar(text[r]))) ++r;
      std::string_view left = TrimView(std::string_view(text).substr(leftStart, op - leftStart));
      std::string_view right = TrimView(std::string_view(text).substr(op + width, r - op - width));
      if (left.empty() || right.empty()) {
        Fail(22);
        return false;
      }
      int32_t a = 0, b = 0;
      char ta = 0, tb = 0;
      if (!CompileOperand(left, &a, &ta) || !CompileOperand(right, &b, &tb)) {
        Fail(22);
        return false;
      }
      int32_t temp = 0;
      char resultType = 0;
      if (!EmitOperator(level, a, ta, b, tb, &temp, &resultType)) return false;
      if (operators == 1) {
        // The only operator: its operands were the whole text, which is now the temporary.
        *number = temp;
        *type = resultType;
        return true;
      }
      const Marker marker(temp);
      text.replace(leftStart, r - leftStart, marker.text, marker.size);
      // The reduced part lay outside quotes and brackets, so the rest of the mask holds.
      mask.erase(mask.begin() + long(leftStart), mask.begin() + long(r));
      mask.insert(mask.begin() + long(leftStart), marker.size, 1);
      if (text.size() >= 255) {
        Fail(43);
        return false;
      }
      reduced = true;
      last = temp;
      lastType = resultType;
      from = leftStart + marker.size;
    }
  }
  if (!reduced) return CompileOperand(text, number, type);
  if (TrimView(text) != Marker(last).view()) {
    Fail(22);
    return false;
  }
  *number = last;
  *type = lastType;
  return true;
}

bool Compiler::CompileOperand(std::string_view input, int32_t* number, char* type) {
  const std::string_view text = TrimView(input);
  *type = 'x';
  if (text.empty()) return false;
  // A reduced part.
  if (text[0] == '?' && text.size() > 1) {
    // Only cell operands: a DATA position or a code position written this way in a
    // source would reach a command as a cell it is not.
    int32_t n = 0;
    auto [end, ec] = std::from_chars(text.data() + 1, text.data() + text.size(), n);
    if (ec == std::errc() && end == text.data() + text.size() && n >= 10000 && n < 25000) {
      *number = n;
      *type = OperandTypeFromIndex(n);
      return true;
    }
    Fail(22);
    return false;
  }
  const uint8_t classes = ClassesOf(text);
  // A call form.
  bool quoted = false;
  const size_t scanCall = classes & kClassBracket ? text.size() : 0;
  for (size_t i = 0; i < scanCall; ++i) {
    char c = text[i];
    if (c == '"') quoted = !quoted;
    if (quoted || c != '(') continue;
    if (i == 0 || !IsCallNameChar(text[i - 1])) break;
    size_t close = MatchingBracket(text, i);
    if (close == std::string::npos) {
      Fail(23);
      return false;
    }
    if (!TrimView(text.substr(close + 1)).empty()) {
      Fail(22);
      return false;
    }
    return CompileCall(std::string(TrimView(text.substr(0, i))), std::string(text.substr(i + 1, close - i - 1)), number,
                       type);
  }
  // Numbers (only digits, signs and a point).
  const char first = text[0];
  const bool numberStart = IsDigit(first) || first == '-' || first == '+' || first == '.';
  const bool digit = numberStart && (classes & kClassDigit);
  const bool dot = numberStart && (classes & kClassDot);
  const bool intChars = numberStart && !(classes & ~(kClassDigit | kClassSign));
  const bool floatChars = numberStart && !(classes & ~(kClassDigit | kClassSign | kClassDot));
  if (digit && intChars) {
    std::string_view digits = text[0] == '+' ? text.substr(1) : text;
    int64_t v = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    (void)end;
    if (ec == std::errc::result_out_of_range) v = digits[0] == '-' ? INT64_MIN : INT64_MAX;
    else if (ec != std::errc()) v = 0;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *type = 'l';
    if (prePass_) {
      *number = 19000;
      return true;
    }
    const int32_t known = intIndex_.Find(uint32_t(int32_t(v)));
    if (known >= 0) {
      *number = known;
      return true;
    }
    if (intLiterals_.size() >= 1999) {
      Fail(18);
      *type = 'x';
      return false;
    }
    *number = 19000 + int32_t(intLiterals_.size());
    intLiterals_.push_back(int32_t(v));
    intIndex_.Insert(uint32_t(int32_t(v)), *number);
    return true;
  }
  if (digit && dot && floatChars) {
    std::string digits(text[0] == '+' ? text.substr(1) : text);
    float f = float(std::strtod(digits.c_str(), nullptr));
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    *type = 'f';
    if (prePass_) {
      *number = 21000;
      return true;
    }
    const int32_t known = floatIndex_.Find(bits);
    if (known >= 0) {
      *number = known;
      return true;
    }
    if (floatLiterals_.size() >= 1999) {
      Fail(19);
      *type = 'x';
      return false;
    }
    *number = 21000 + int32_t(floatLiterals_.size());
    floatLiterals_.push_back(bits);
    floatIndex_.Insert(bits, *number);
    return true;
  }
  // A string literal.
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    if (text.size() > 255) {
      Fail(20);
      return false;
    }
    *type = 's';
    if (prePass_) {
      *number = 23000;
      return true;
    }
    if (stringLiterals_.size() >= 1999) {
      Fail(21);
      *type = 'x';
      return false;
    }
    *number = 23000 + int32_t(stringLiterals_.size());
    stringLiterals_.emplace_back(text.substr(1, text.size() - 2));
    return true;
  }
  // A variable: letters, digits, "_", "#" and "$" only.
  const bool array = arrayFlag_;
  arrayFlag_ = false;
  if (!(classes & ~(kClassName | kClassDigit | kClassHash | kClassDollar))) {
    const char t = classes & kClassHash ? 'f' : classes & kClassDollar ? 's' : 'l';
    const int32_t n = DeclareVariableOfType(t, text, array);
    if (n >= 0) {
      *number = n;
      *type = t;
      return true;
    }
    *number = n;
  }
  Fail(22);
  return false;
}

// "(integer, string)": the words of argument letters; "(no parameters)" for none.
std::string Compiler::DescribeLetters(std::string_view letters) const {
  std::string desc;
  for (char c : letters) {
    const int m = c == 'l' ? 6 : c == 'f' ? 7 : c == 's' ? 8 : c == 'a' ? 62 : 0;
    if (!m) continue;
    if (!desc.empty()) desc += ", ";
    desc += Msg(m);
  }
  return "(" + (desc.empty() ? Msg(13) : desc) + ")";
}

// Every form of the keyword, then the letters it was given; forms that do not fit the room
// end in "or ...". When no form takes as many operands as were given, the counts are named
// first: "expects 2 operands (integer, float), given 1 (integer)".
std::string Compiler::OverloadText(const std::string& name, bool bracket, const std::string& given, size_t room) {
  const std::vector<KeywordEntry>& part = bracket ? keywords_.bracket : keywords_.main;
  int first = bracket ? keywords_.FindBracket(name) : keywords_.FindMain(name);
  if (first < 0) return Msg(9) + " " + name + " " + Msg(10);
  std::vector<size_t> counts;
  for (size_t e = size_t(first); e < part.size() && part[e].name == name; ++e) {
    const size_t n = ArgLetters(part[e].params, bracket).size();
    if (std::find(counts.begin(), counts.end(), n) == counts.end()) counts.push_back(n);
  }
  std::sort(counts.begin(), counts.end());
  const bool countDiffers = std::find(counts.begin(), counts.end(), given.size()) == counts.end();
  std::string text = Msg(countDiffers ? 64 : 11) + " ";
  if (name == "=") text += Msg(14);
  else if (name == "@=") text += Msg(15);
  else if (name == "@") text += Msg(16);
  else text += name + " " + Msg(12);
  if (countDiffers) {
    for (size_t i = 0; i < counts.size(); ++i)
      text += (i == 0 ? " " : i + 1 < counts.size() ? ", " : " " + Msg(60) + " ") + std::to_string(counts[i]);
    text += " " + Msg(counts.size() == 1 && counts[0] == 1 ? 65 : 66);
  }
  const std::string tail =
      ", " + Msg(61) + " " + (countDiffers ? std::to_string(given.size()) + " " : "") + DescribeLetters(given);
  const std::string more = " " + Msg(60) + " ...";
  std::vector<std::string> forms;
  for (size_t e = size_t(first); e < part.size() && part[e].name == name; ++e) {
    std::string form = DescribeLetters(ArgLetters(part[e].params, bracket));
    if (std::find(forms.begin(), forms.end(), form) != forms.end()) continue;
    const std::string joined = (forms.empty() ? " " : " " + Msg(60) + " ") + form;
    if (text.size() + joined.size() + more.size() + tail.size() > room) {
      text += more;
      break;
    }
    text += joined;
    forms.push_back(std::move(form));
  }
  return text + tail;
}

bool Compiler::CompileCall(const std::string& callName, const std::string& argText, int32_t* number, char* type) {
  *type = 'x';
  int function = FindUserFunction(callName);
  if (function >= 0) return CompileUserCall(function, argText, number, type);
  std::string name = callName, args = argText;
  int k = keywords_.FindBracket(name);
  if (k < 0) {
    if (keywords_.firstAt < 0) {
      Fail(-1, OverloadText(name, true));
      return false;
    }
    k = keywords_.firstAt;
    args = name + "," + args;
    name = keywords_.bracket[size_t(k)].name;
    arrayFlag_ = true;
    // An element fetched in an expression, unless it stands for a command's array.
    fetchFlag_ = !arrayOperand_;
    arrayOperand_ = false;
  }
  const auto& part = keywords_.bracket;
  const int groupLast = part[size_t(k)].last;
  auto sameName = [&](int e) { return e >= k && e <= groupLast; };
  std::vector<std::string_view> items;
  if (!TrimView(args).empty()) {
    SplitTopLevelViews(args, items);
    for (std::string_view& item : items) item = TrimView(item);
  }
  if (items.size() > 32) {
    Fail(25);
    return false;
  }
  int candidate = k;
  if (expectedType_) {
    int e = k, lastOfName = k;
    candidate = -1;
    for (; sameName(e); ++e) {
      lastOfName = e;
      if (candidate < 0 && part[size_t(e)].params[0] == expectedType_) candidate = e;
    }
    if (candidate < 0) candidate = lastOfName;
  }
  const char saveExpected = expectedType_;
  // An element's array is a variable: "5(1)" names none.
  const size_t arrayAt = size_t(ArrayOperandOf(part[size_t(k)].number));
  std::vector<int32_t> operands(1, 0);
  std::string letters, given;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string& p = part[size_t(candidate)].params;
    expectedType_ = i + 1 < p.size() ? p[i + 1] : 0;
    int32_t n = 0;
    char t = 'x';
    bool ok = CompileFullExpression(items[i], &n, &t);
    expectedType_ = saveExpected;
    if (!ok) return false;
    if (i == arrayAt && !IsVariableOperand(n)) {
      Fail(49, std::string(items[i]));
      return false;
    }
    given += t;
    auto search = [&](const std::string& want) {
      for (int e = candidate; sameName(e); ++e) {
        const std::string& q = part[size_t(e)].params;
        if (q.size() > want.size() && q.compare(1, want.size(), want) == 0) return e;
      }
      for (int e = k; sameName(e); ++e) {
        const std::string& q = part[size_t(e)].params;
        if (q.size() > want.size() && q.compare(1, want.size(), want) == 0) return e;
      }
      return -1;
    };
    int found = search(letters + t);
    if (found < 0 && (t == 'l' || t == 'f')) {
      n = Convert(t == 'l' ? kCmdIntToFloat : kCmdFloatToInt, n);
      if (!n) return false;
      t = t == 'l' ? 'f' : 'l';
      found = search(letters + t);
    }
    if (found >= 0) candidate = found;
    letters += t;
    operands.push_back(n);
  }
  int chosen = -1;
  for (int e = k; sameName(e); ++e) {
    if (!ArgLettersAre(part[size_t(e)].params, letters)) continue;
    if (chosen < 0) chosen = e;
    if (part[size_t(e)].params[0] == part[size_t(candidate)].params[0]) {
      chosen = e;
      break;
    }
  }
  if (chosen < 0) {
    Fail(-1, OverloadText(name, true, given));
    return false;
  }
  const KeywordEntry& entry = part[size_t(chosen)];
  int32_t result = AllocTempOperand(entry.params[0]);
  if (!result) return false;
  operands[0] = result;
  if (!prePass_) EmitInstruction(entry.number, operands);
  if (IsOneIndexFetch(entry.number)) {
    elementFetchTemp_ = result;
    elementFetchEnd_ = code_.size();
  }
  *number = result;
  *type = entry.params[0];
  return true;
}

// The length of the name of a function of several words that starts at i and is directly
// followed by its bracket, or 0.
size_t Compiler::SpacedCallNameAt(std::string_view text, size_t i) const {
  for (const std::string& name : keywords_.spacedBracketNames) {
    const size_t end = i + name.size();
    if (end < text.size() && text[end] == '(' && text.compare(i, name.size(), name) == 0) return name.size();
  }
  return 0;
}

bool Compiler::CompileUserCall(int function, const std::string& argText, int32_t* number, char* type) {
  const UserFunction& f = functions_[size_t(function)];
  // Blanks and control characters go, but not inside string literals nor inside the name of
  // a function of several words ("rgb red(5)"), which would become another name.
  std::string args;
  args.reserve(argText.size());
  bool quoted = false;
  for (size_t i = 0; i < argText.size(); ++i) {
    const char c = argText[i];
    if (c == '"') quoted = !quoted;
    if (!quoted && IsCallNameChar(c) && (i == 0 || !IsCallNameChar(argText[i - 1]))) {
      if (const size_t n = SpacedCallNameAt(argText, i)) {
        args.append(argText, i, n);
        i += n - 1;
        continue;
      }
    }
    if (!quoted && static_cast<unsigned char>(c) <= 32) continue;
    args += c;
  }
  std::vector<std::string_view> items;
  if (!args.empty()) SplitTopLevelViews(args, items);
  std::vector<int32_t> operands;
  int32_t target = prePass_ ? 35000 : DeclareJumpTarget(f.name, 1, true, true);
  if (target < 0) return false;
  int32_t count = 0;
  char countType = 0;
  char digits[24];
  const size_t digitCount = size_t(std::to_chars(digits, digits + sizeof digits, f.params.size()).ptr - digits);
  if (!CompileOperand(std::string_view(digits, digitCount), &count, &countType)) return false;
  operands.reserve(3 + items.size());
  operands = {target, 0, count};
  std::string letters;
  for (std::string_view item : items) {
    int32_t n = 0;
    char t = 'x';
    if (!CompileFullExpression(item, &n, &t)) return false;
    letters += t;
    operands.push_back(n);
  }
  if (letters != f.params) {
    Fail(17);
    return false;
  }
  int32_t result = AllocTempOperand(f.returnType);
  if (!result) return false;
  operands[1] = result;
  if (!prePass_) EmitInstruction(kCmdCallFunction, operands);
  *number = result;
  *type = f.returnType;
  return true;
}
