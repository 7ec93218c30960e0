// The compiler object: life cycle, keyword table, message texts.
#include "compiler/compiler.h"

#include "platform/embedded_data.h"

namespace {
constexpr size_t kTextLimit = 255;
}

Compiler::Compiler() { ResetCompiler(); }

void Compiler::ResetCompiler() {
  listing_.clear();
  InitCompilePass();
  resultText_.clear();
  errorMessage_.clear();
  outputName_.clear();
  errorLine_ = 0;
  input_.clear();
  working_.clear();
  haveSnapshot_ = false;
  memoryBase_.reset();
}

void Compiler::InitCompilePass() {
  code_.clear();
  lines_.clear();
  code_.reserve(65536);
  lines_.reserve(65536);
  instructionCount_ = 0;
  intLiterals_.clear();
  floatLiterals_.clear();
  stringLiterals_.clear();
  intIndex_.clear();
  floatIndex_.clear();
  dataTypes_.clear();
  dataValues_.clear();
  dataTexts_.clear();
  for (int t = 0; t < 3; ++t) {
    vars_[t].clear();
    varIndex_[t].clear();
  }
  targets_.clear();
  targetIndex_.clear();
  declared_.clear();
  functions_.clear();
  functionIndex_.clear();
  dims_.clear();
  blocks_.clear();
  selectOpen_ = defaultSeen_ = false;
  selectExpression_.clear();
  currentLine_ = 1;
  commentBlock_ = inFunction_ = prePass_ = arrayFlag_ = false;
  elementFetchTemp_ = 0;
  elementFetchEnd_ = 0;
  currentFunction_ = 0;
  expectedType_ = 0;
  rest_.clear();
  errorText_.clear();
  failedWithoutLine_ = false;
  lastProgressStep_ = 0;
  ResetTemporaries();
  // Block keywords take their command numbers from the keyword table by name.
  static const char* const kBlockNames[12] = {"if", "else", "endif", "do", "exit", "loop",
                                              "for", "next", "while", "endwhile", "repeat", "until"};
  for (int b = 0; b < 12; ++b) blockNumbers_[b] = keywords_.NumberOfName(kBlockNames[b]);
  assignKeyword_ = keywords_.FindMain("=");
  elementAssignKeyword_ = keywords_.FindMain("@=");
  printKeyword_ = keywords_.FindMain("print");
  printcKeyword_ = keywords_.FindMain("printc");
  readKeyword_ = keywords_.FindMain("read");
  inputKeyword_ = keywords_.FindMain("input");
  for (int level = 0; level < 13; ++level) operatorFirst_[level] = keywords_.FindBracket(kLevelKeyword[level]);
  for (KeywordEntry& e : keywords_.main) {
    e.block = -1;
    for (int b = 0; b < 12; ++b)
      if (blockNumbers_[b] != 0 && e.number == blockNumbers_[b]) e.block = int8_t(b);
  }
}

bool Compiler::LoadKeywordTable() {
  const EmbeddedFile* f = FindEmbeddedFile("keywords.txt");
  std::string text = f ? std::string(reinterpret_cast<const char*>(f->data), f->size) : std::string();
  return LoadKeywordTableFromText(text);
}

bool Compiler::LoadKeywordTableFromText(const std::string& text, std::vector<std::string>* warnings) {
  FillKeywordTable(keywords_, text, warnings);
  InitCompilePass();
  return true;
}

void Compiler::SetMessageTexts(const std::vector<std::string>& texts) {
  messages_ = texts;
  for (std::string& m : messages_)
    if (m.size() > kTextLimit) m.resize(kTextLimit);
}

std::string Compiler::Msg(int n) const {
  return n >= 0 && size_t(n) < messages_.size() ? messages_[size_t(n)] : std::string();
}

void Compiler::Fail(int n, const std::string& extra) {
  if (!errorText_.empty()) return;
  std::string text = Msg(n);
  // A failure always has a text: a missing message is named by its number.
  if (text.empty() && n >= 0) text.append("Error ").append(std::to_string(n));
  if (!extra.empty()) text = text.empty() ? extra : text + " " + extra;
  if (text.size() > kTextLimit) text.resize(kTextLimit);
  errorText_ = text;
}

bool Compiler::CompileToImageFile(const std::string& source, const std::string& image) {
  outputName_ = image;
  return CompileSourceFile(source);
}

bool Compiler::CompileToDefaultImage(const std::string& source) {
  outputName_.clear();
  return CompileSourceFile(source);
}

bool Compiler::CompileSourceFile(const std::string& source) {
  if (!LoadSourceFile(source)) {
    InitCompilePass();
    Fail(46, source);
    errorMessage_ = resultText_ = errorText_;
    errorLine_ = 0;
    haveSnapshot_ = false;
    return false;
  }
  return RunCompile();
}

bool Compiler::CompileText(const std::string& text, const std::string& image) {
  outputName_ = image;
  SetSourceFromString(text);
  return RunCompile();
}

void Compiler::FreeCompilerBuffers() {
  std::vector<int32_t>().swap(code_);
  std::vector<int32_t>().swap(lines_);
  std::vector<std::string>().swap(stringLiterals_);
  std::vector<std::string>().swap(dataTexts_);
  std::string().swap(input_);
  std::string().swap(fileBytes_);
  std::string().swap(working_);
  for (JumpTarget& t : targets_) std::vector<JumpRef>().swap(t.refs);
  // Nothing is left for a memory compile to append to.
  haveSnapshot_ = false;
  memoryBase_.reset();
}
