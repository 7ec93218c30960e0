// The passes: the pre-pass that declares the user functions, the line loop of the main pass,
// the end-of-pass checks and the composition of the result text.
#include <cerrno>
#include <climits>

#include "compiler/compiler.h"
#include "compiler/text_util.h"
#include "core/errors.h"
#include "platform/host_files.h"

namespace {
constexpr size_t kTextLimit = 255;

void Cut(std::string& s) {
  if (s.size() > kTextLimit) s.resize(kTextLimit);
}
}  // namespace

bool Compiler::RunCompile() {
  memoryBase_.reset();
  InitCompilePass();
  bool ok = MainPass(1, 0);
  // Memory compiles append to this code: they cut the code back to its end each time.
  fileCodeSize_ = code_.size();
  haveSnapshot_ = ok;
  return ok;
}

bool Compiler::CompileFromMemory(const std::string& text, int16_t startFunction) {
  if (!haveSnapshot_) {
    Fail(58);
    resultText_ = errorMessage_ = errorText_;
    return false;
  }
  // Each memory compile starts from the state of the last successful compile; what a
  // failed one added (names, references, open blocks) is gone.
  if (!memoryBase_) {
    memoryBase_ = std::make_unique<SymbolState>();
    SaveSymbolState(*memoryBase_);
    fileRefCounts_.clear();
    for (const JumpTarget& t : targets_) fileRefCounts_.push_back(t.refs.size());
  } else {
    RestoreSymbolState(*memoryBase_);
  }
  // Its code goes after the code of the last file compile (replacing that end word and the
  // previous memory compile's code), so only the file compile's references stay.
  for (size_t i = 0; i < targets_.size(); ++i) targets_[i].refs.resize(i < fileRefCounts_.size() ? fileRefCounts_[i] : 0);
  const size_t keep = fileCodeSize_ > 0 ? fileCodeSize_ - 1 : 0;
  code_.resize(keep);
  lines_.resize(keep);
  SetSourceFromString(text);
  std::string keepOutput;
  keepOutput.swap(outputName_);
  bool ok = MainPass(2, startFunction);
  outputName_.swap(keepOutput);
  if (ok) SaveSymbolState(*memoryBase_);
  return ok;
}

void Compiler::SaveSymbolState(SymbolState& s) const {
  s.intLiterals = intLiterals_;
  s.floatLiterals = floatLiterals_;
  s.stringLiterals = stringLiterals_;
  s.intIndex = intIndex_;
  s.floatIndex = floatIndex_;
  s.dataTypes = dataTypes_;
  s.dataValues = dataValues_;
  s.dataTexts = dataTexts_;
  for (int t = 0; t < 3; ++t) {
    s.vars[t] = vars_[t];
    s.varIndex[t] = varIndex_[t];
  }
  s.targets = targets_;
  s.targetIndex = targetIndex_;
  s.declared = declared_;
  s.functions = functions_;
  s.functionIndex = functionIndex_;
  s.dims = dims_;
  s.blocks = blocks_;
  s.selectOpen = selectOpen_;
  s.defaultSeen = defaultSeen_;
  s.commentBlock = commentBlock_;
  s.selectExpression = selectExpression_;
  s.instructionCount = instructionCount_;
}

void Compiler::RestoreSymbolState(const SymbolState& s) {
  intLiterals_ = s.intLiterals;
  floatLiterals_ = s.floatLiterals;
  stringLiterals_ = s.stringLiterals;
  intIndex_ = s.intIndex;
  floatIndex_ = s.floatIndex;
  dataTypes_ = s.dataTypes;
  dataValues_ = s.dataValues;
  dataTexts_ = s.dataTexts;
  for (int t = 0; t < 3; ++t) {
    vars_[t] = s.vars[t];
    varIndex_[t] = s.varIndex[t];
  }
  targets_ = s.targets;
  targetIndex_ = s.targetIndex;
  declared_ = s.declared;
  functions_ = s.functions;
  functionIndex_ = s.functionIndex;
  dims_ = s.dims;
  blocks_ = s.blocks;
  selectOpen_ = s.selectOpen;
  defaultSeen_ = s.defaultSeen;
  commentBlock_ = s.commentBlock;
  selectExpression_ = s.selectExpression;
  instructionCount_ = s.instructionCount;
}

// The first line at which percent / 10 reaches the step after the last one shown.
int32_t Compiler::NextProgressLine() const {
  if (lastProgressStep_ >= 10) return INT32_MAX;
  const int64_t total = progressTotal_ > 0 ? progressTotal_ : 1;
  return int32_t((int64_t(lastProgressStep_ + 1) * total + 9) / 10);
}

void Compiler::ShowProgress(int32_t line) {
  if (line < nextProgressLine_) return;
  int64_t percent = int64_t(100) * line / (progressTotal_ > 0 ? progressTotal_ : 1);
  if (percent > 100) percent = 100;
  if (percent / 10 > lastProgressStep_) {
    ++lastProgressStep_;
    if (progress_) progress_(int(percent));
  }
  nextProgressLine_ = NextProgressLine();
}

bool Compiler::MainPass(int mode, int16_t startFunction) {
  errorText_.clear();
  resultText_.clear();
  errorMessage_.clear();
  errorLine_ = 0;
  failedWithoutLine_ = false;
  std::string suffix;
  if (mode == 1) suffix.append(" ").append(Msg(47)).append(" ");
  auto finishWithLine = [&](int32_t line) {
    errorLine_ = line;
    Cut(errorText_);
    errorMessage_ = errorText_;
    resultText_ = errorText_ + (mode == 1 ? suffix + std::to_string(line) : "");
    Cut(resultText_);
    return false;
  };
  int32_t firstIncluded = INT32_MAX;
  // A failure on a line of an included text is reported at the main file's include line,
  // with the line's own text.
  auto fromInclude = [&](int32_t line, std::string& text) {
    int32_t includeLine = 0;
    std::string lineText;
    if (mode != 1 || !IncludedLine(line, firstIncluded, &includeLine, &lineText)) return line;
    text.append(" ").append(Msg(45)).append(" ").append(lineText);
    return includeLine;
  };
  if (mode == 1) {
    firstIncluded = ExpandIncludes();
    if (firstIncluded == -2) {
      Fail(41);
      return finishWithLine(errorLine_);
    }
    if (firstIncluded == -1) {
      Fail(42);
      return finishWithLine(errorLine_);
    }
  } else {
    working_ = input_;
    includes_.clear();
    segments_.clear();
    lineEndsValid_ = false;
  }
  prePass_ = true;
  int32_t total = 1;
  currentFunction_ = 0;
  bool ok = DeclareFunctions(mode, firstIncluded, &total);
  prePass_ = false;
  if (!ok) return finishWithLine(fromInclude(errorLine_, errorText_));
  progressTotal_ = total > 0 ? total : 1;
  lastProgressStep_ = 0;
  nextProgressLine_ = NextProgressLine();
  if (debugListing_) listing_.assign(working_.data(), working_.size());
  inFunction_ = false;
  currentFunction_ = startFunction;
  errorText_.clear();
  currentLine_ = 1;
  // About one code word for every three bytes of source: grown once instead of doubling.
  code_.reserve(code_.size() + working_.size() / 3);
  lines_.reserve(code_.capacity());
  if (!LineLoop(mode, firstIncluded)) {
    Cut(errorText_);
    errorMessage_ = errorText_;
    resultText_ = errorText_;
    if (mode == 1) resultText_.append(suffix).append(std::to_string(errorLine_));
    Cut(resultText_);
    EmitCodeDword(0);
    lines_.back() = 0;
    return false;
  }
  if (!errorText_.empty()) {
    // A parameter that is not a variable name: the pass fails with that text and no line.
    Cut(errorText_);
    resultText_ = errorMessage_ = errorText_;
    errorLine_ = 0;
  } else {
    auto check = [&](int message, const std::string& what, int32_t line) {
      errorText_.clear();
      Fail(message, what);
      line = fromInclude(line, errorText_);
      Cut(errorText_);
      errorMessage_ = errorText_;
      errorLine_ = line;
      resultText_ = errorText_ + (mode == 1 ? suffix + std::to_string(line) : "");
      Cut(resultText_);
    };
    if (ResolveFunctionCalls()) check(48, targetName_, errorLine_);
    if (const int message = CheckArrayUse()) check(message, arrayName_, errorLine_);
    // A function without ENDFUNCTION would run on to the end of the program when called: it
    // is an open block too, named at its FUNCTION line unless a block inside it is open.
    if (inFunction_) check(50, "(FUNCTION)", functionLine_);
    // The innermost open block is named at the line that opened it.
    if (!blocks_.empty()) check(50, std::string("(") + blocks_.back().word + ")", blocks_.back().line);
    errorText_.clear();
  }
  EmitCodeDword(0);
  lines_.back() = 0;
  working_.clear();
  if (!resultText_.empty()) return false;
  return outputName_.empty() || WriteImageFile(outputName_);
}

bool Compiler::WriteImageFile(const std::string& image) {
  outputName_ = image;
  if (WriteProgramImage()) return true;
  Fail(59, outputName_ + ": " + FsWriteCause(errno));
  resultText_ = errorMessage_ = errorText_;
  errorLine_ = 0;
  return false;
}

// For a line of an included text: the line of the main file's include statement that
// brought it in, and the line's text; false for a line of the main file.
bool Compiler::IncludedLine(int32_t line, int32_t firstIncluded, int32_t* includeLine, std::string* text) const {
  if (line < firstIncluded || line < 1 || !lineEndsValid_ || size_t(line) > lineEnds_.size()) return false;
  size_t start = line == 1 ? 0 : lineEnds_[size_t(line) - 2] + 1;
  const size_t end = lineEnds_[size_t(line) - 1];
  if (start < end && working_[start] == '\n') ++start;
  const int k = FindIncludeOfOffset(int64_t(start));
  if (k >= int(includes_.size())) return false;
  *includeLine = includes_[size_t(k)].line;
  *text = Trim(working_.substr(start, end - start));
  return true;
}

// The end (the CR, or the end of the text) of the line that starts at pos and is the
// index-th line of the working text.
size_t Compiler::LineEnd(size_t pos, size_t index) const {
  if (lineEndsValid_ && index < lineEnds_.size()) return lineEnds_[index];
  const size_t cr = working_.find('\r', pos);
  return cr == std::string::npos ? working_.size() : cr;
}

bool Compiler::LineLoop(int mode, int32_t firstIncluded) {
  size_t pos = 0, index = 0;
  std::string line;
  while (pos < working_.size()) {
    const size_t cr = LineEnd(pos, index++);
    const size_t lineStart = pos;
    if (cr - pos >= 255) {
      Fail(43);
      errorLine_ = currentLine_;
      return false;
    }
    // Blanks and control characters around the line (the LF of the break in front) are
    // dropped, as the statement would trim them anyway.
    size_t lead = pos, end = cr;
    while (lead < end && static_cast<unsigned char>(working_[lead]) <= 32) ++lead;
    while (end > lead && static_cast<unsigned char>(working_[end - 1]) <= 32) --end;
    line.assign(working_, lead, end - lead);
    pos = cr + 1;
    LowerOutsideQuotes(line);
    arrayFlag_ = fetchFlag_ = arrayOperand_ = false;
    if (!CompileStatement(line)) {
      // A statement that fails without a message still fails clearly.
      errorLine_ = currentLine_;
      if (mode == 1 && currentLine_ >= firstIncluded) {
        if (errorText_.empty()) Fail(44);
        else errorText_.append(" ").append(Msg(45)).append(" ").append(Trim(line));
        // The line's own text starts after the LF of the line break in front of it.
        int k = FindIncludeOfOffset(int64_t(lineStart) + (working_[lineStart] == '\n' ? 1 : 0));
        if (k < int(includes_.size())) errorLine_ = includes_[size_t(k)].line;
      } else {
        Fail(58, Trim(line));
      }
      return false;
    }
    ShowProgress(currentLine_);
    ++currentLine_;
  }
  return true;
}
