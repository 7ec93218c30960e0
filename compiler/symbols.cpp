// Symbols: variables of the three types, jump-target names, declared names, user functions
// and the temporaries of a statement.
#include <cctype>

#include "compiler/compiler.h"
#include "compiler/text_util.h"

namespace {

constexpr int32_t kVarBase[3] = {13000, 15000, 17000};
constexpr int32_t kTempBase[3] = {10000, 11000, 12000};
constexpr int kTempWindow = 50;

int TypeIndex(char t) { return t == 'l' ? 0 : t == 'f' ? 1 : t == 's' ? 2 : -1; }

}  // namespace

char OperandTypeFromIndex(int32_t n) {
  if ((n >= 10000 && n < 11000) || (n >= 13000 && n < 15000) || (n >= 19000 && n < 21000)) return 'l';
  if ((n >= 11000 && n < 12000) || (n >= 15000 && n < 17000) || (n >= 21000 && n < 23000)) return 'f';
  if ((n >= 12000 && n < 13000) || (n >= 17000 && n < 19000) || (n >= 23000 && n < 35000)) return 's';
  return 0;
}

int32_t Compiler::DeclareVariable(int type, std::string_view name, bool array) {
  auto& tables = varIndex_[type];
  auto table = [&](int16_t owner) -> TextMap& {
    size_t slot = size_t(owner) * 2 + (array ? 1 : 0);
    if (tables.size() <= slot) tables.resize(slot + 1);
    return tables[slot];
  };
  TextMap& own = table(currentFunction_);
  auto it = own.find(name);
  if (it != own.end()) return it->second;
  if (array && currentFunction_ != 0) {
    TextMap& main = table(0);
    it = main.find(name);
    if (it != main.end()) return it->second;
  }
  int32_t number = kVarBase[type] + int32_t(vars_[type].size());
  if (number >= kVarBase[type] + 1999) {
    Fail(1 + type);
    return -1;
  }
  vars_[type].push_back({currentFunction_, std::string(name), number, uint8_t(array), currentLine_});
  table(currentFunction_).emplace(std::string(name), number);
  return number;
}

bool Compiler::DeclareVariableByName(std::string_view text, char* type, int32_t* number) {
  bool array = arrayFlag_;
  arrayFlag_ = false;
  // Letters, digits, "_", "#" and "$" only: a "#" makes a float, else a "$" a string.
  if (text.empty()) return false;
  bool hash = false, dollar = false;
  for (char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') continue;
    if (c == '#') hash = true;
    else if (c == '$') dollar = true;
    else return false;
  }
  char t = hash ? 'f' : dollar ? 's' : 'l';
  *type = t;
  *number = DeclareVariableOfType(t, text, array);
  return *number >= 0;
}

int32_t Compiler::DeclareVariableOfType(char type, std::string_view name, bool array) {
  const bool fetched = fetchFlag_;
  fetchFlag_ = false;
  if (prePass_) return kVarBase[TypeIndex(type)];
  const int index = TypeIndex(type);
  const int32_t number = DeclareVariable(index, name, array);
  if (array && number >= 0) {
    VariableRow& row = vars_[index][size_t(number - kVarBase[index])];
    (fetched ? row.fetched : row.named) = true;
  }
  return number;
}

int32_t Compiler::DeclareJumpTarget(const std::string& name, int kind, bool reference, bool global) {
  auto it = targetIndex_.find(name);
  if (it != targetIndex_.end()) {
    for (int row : it->second) {
      JumpTarget& t = targets_[size_t(row)];
      // A function's name is global; a label of the same name is another row.
      if (t.owner != (global ? -1 : currentFunction_)) continue;
      if (reference) {
        t.kind = uint8_t(kind);
        return t.number;
      }
      if (t.dataSlot != -1) return -2;
      t.dataSlot = int32_t(dataTypes_.size());
      return t.number;
    }
  }
  int32_t number = 35000 + int32_t(targets_.size());
  if (number >= 36999) {
    Fail(4);
    return -1;
  }
  JumpTarget t{int16_t(global ? -1 : currentFunction_), name, number, uint8_t(kind), currentLine_, -1, {}};
  if (!reference) t.dataSlot = int32_t(dataTypes_.size());
  targetIndex_[name].push_back(int(targets_.size()));
  targets_.push_back(std::move(t));
  return number;
}

int Compiler::FindUserFunction(std::string_view name) const {
  auto it = functionIndex_.find(name);
  return it == functionIndex_.end() ? -1 : it->second;
}

int Compiler::AddUserFunction(const std::string& name, const std::string& letters) {
  int existing = FindUserFunction(name);
  if (existing >= 0) return existing;
  if (functions_.size() >= 1023) {
    Fail(5);
    return -1;
  }
  int number = int(functions_.size());
  functions_.push_back({name, letters, number, currentLine_, 'l'});
  functionIndex_.emplace(name, number);
  return number;
}

// A statement of the main program has the 1000 temporaries of each type; one inside user
// function n has the 50 of its window from 50 x n (the last window, 950, serves functions 19
// and above), so that its temporaries stay clear of those of the functions it calls.
void Compiler::ResetTemporaries() {
  int offset = currentFunction_ > 0 ? kTempWindow * currentFunction_ : 0;
  if (offset > 950) offset = 950;
  for (int t = 0; t < 3; ++t) {
    tempNext_[t] = kTempBase[t] + offset;
    tempEnd_[t] = currentFunction_ > 0 ? tempNext_[t] + kTempWindow : kTempBase[t] + 1000;
  }
}

int32_t Compiler::AllocTempOperand(char type) {
  int t = TypeIndex(type);
  if (t < 0) return 0;
  if (tempNext_[t] >= tempEnd_[t]) {
    Fail(56);
    return 0;
  }
  return tempNext_[t]++;
}

namespace {

// The first word of a line, lowered (at most 9 characters: longer words are never compared).
std::string FirstWordLowered(const std::string& text, size_t start, size_t end) {
  std::string word;
  for (size_t i = start; i < end && word.size() < 9 && static_cast<unsigned char>(text[i]) > 32; ++i)
    word += char(std::tolower(static_cast<unsigned char>(text[i])));
  return word;
}

}  // namespace

bool Compiler::DeclareFunctions(int mode, int32_t firstIncluded, int32_t* lineCount) {
  size_t pos = 0;
  int32_t line = 1;
  bool inside = false;
  int current = -1;
  std::string text;
  // The included file of the line, whether its left-out statements were warned about, and
  // whether the line lies in a REMSTART block of the file's top level.
  size_t file = 0;
  bool warned = false, remark = false;
  while (pos < working_.size()) {
    const size_t cr = LineEnd(pos, size_t(line - 1));
    size_t start = pos;
    while (start < cr && static_cast<unsigned char>(working_[start]) <= 32) ++start;
    // Only the lines that open or close a function are needed as text.
    auto startsWith = [&](const char* word, size_t n) {
      if (cr - start < n || (working_[start] | 0x20) != word[0]) return false;
      for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(working_[start + i])) != word[i]) return false;
      return true;
    };
    const bool opens = startsWith("function ", 9), closes = !opens && startsWith("endfunction", 11);
    if (opens || closes) {
      text.assign(working_, start, cr - start);
      LowerOutsideQuotes(text);
    }
    currentLine_ = line;
    if (opens) {
      std::string rest = Trim(text.substr(9));
      if (rest.empty()) {
        Fail(38);
        errorLine_ = line;
        return false;
      }
      std::string name, params;
      SplitFunctionHeader(rest, &name, &params);
      if (!name.empty()) {
        std::string letters;
        for (const std::string& p : SplitTopLevel(params)) {
          std::string v = Trim(p);
          if (v.empty() && params.find_first_not_of(' ') == std::string::npos) break;
          char type = 0;
          int32_t number = 0;
          if (!DeclareVariableByName(v, &type, &number)) {
            Fail(38);
            errorLine_ = line;
            return false;
          }
          letters += type;
        }
        current = AddUserFunction(name, letters);
        if (current < 0) {
          errorLine_ = line;
          return false;
        }
      }
      inside = true;
    } else if (closes) {
      if (!inside) {
        Fail(40);
        errorLine_ = line;
        return false;
      }
      inside = false;
      std::string expr = Trim(text.substr(11));
      if (current >= 0) {
        char type = 'l';
        if (!expr.empty()) {
          int32_t number = 0;
          ResetTemporaries();
          if (!CompileFullExpression(expr, &number, &type) || type == 'x') {
            errorText_.clear();
            Fail(39);
            errorLine_ = line;
            return false;
          }
        }
        functions_[size_t(current)].returnType = type;
      }
      current = -1;
    } else if (mode == 1 && !inside && line >= firstIncluded && start < cr) {
      while (file + 1 < sourceFiles_.size() && sourceFiles_[file + 1].firstLine <= line) {
        ++file;
        warned = remark = false;
      }
      // Comments and include lines are no statements: only a statement is warned about.
      const std::string word = FirstWordLowered(working_, start, cr);
      const bool comment = working_[start] == '`' || word == "rem" || word == "#include" || remark;
      if (word == "remstart") remark = true;
      else if (word == "remend") remark = false;
      else if (!comment && !warned) {
        warnings_.push_back({line, Msg(63)});
        warned = true;
      }
      working_[start] = '`';
    }
    pos = cr + 1;
    ++line;
  }
  *lineCount = line - 1;
  return true;
}
