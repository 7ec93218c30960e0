#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compiler/keyword_table.h"
#include "core/command_numbers.h"

// Message numbers of the language file's section "COMPILER" that the compiler reports.
inline constexpr int kCompilerMessageCount = 67;

// An operand number of a variable (integer, float or string), not a literal nor a temporary.
inline constexpr bool IsVariableOperand(int32_t n) { return n >= 13000 && n < 19000; }

// The compiler object: turns BASIC source text (with its included files) into a program
// image. Usage: ResetCompiler, LoadKeywordTable, CompileToImageFile, FreeCompilerBuffers.
// Every failing step copies a numbered message into the error text and returns false.
class Compiler {
 public:
  Compiler();

  void ResetCompiler();
  // Fills the keyword table from the embedded list, or from the override file when one is
  // given (malformed lines of an override are skipped and reported in warnings).
  bool LoadKeywordTable();
  bool LoadKeywordTableFromText(const std::string& text, std::vector<std::string>* warnings = nullptr);
  // The source and the image are host paths, taken as they are (included files are named as
  // a program names files).
  bool CompileToImageFile(const std::string& source, const std::string& image);
  // Writes the image of the last successful compile to a host path, as CompileToImageFile
  // does; false, with the message of a failed compile, when it cannot be written.
  bool WriteImageFile(const std::string& image);
  bool CompileToDefaultImage(const std::string& source);
  bool CompileSourceFile(const std::string& source);
  // Compiles a text held in memory (no file); with an image name the image is written too.
  bool CompileText(const std::string& text, const std::string& image = "");
  bool CompileFromMemory(const std::string& text, int16_t startFunction);
  void FreeCompilerBuffers();

  // The message texts (index = message number); missing ones are empty.
  void SetMessageTexts(const std::vector<std::string>& texts);
  // Called with a percentage 0..100, at most ten times per pass.
  void SetProgressCallback(std::function<void(int)> progress) { progress_ = std::move(progress); }
  // Keeps the working text, included files in place, for the debug listing (the RUNTIMETEST
  // setting); the caller writes it once it knows the files read.
  void SetDebugListing(bool on) { debugListing_ = on; }
  const std::string& DebugListingText() const { return listing_; }
  // The code page of the program's texts, which the image carries (0: none, as images made
  // before it was carried).
  void SetCodePage(int32_t codePage) { codePage_ = codePage; }

  const std::string& ResultText() const { return resultText_; }
  // The message of a failed compile without the line suffix.
  const std::string& ErrorMessage() const { return errorMessage_; }
  int32_t ErrorLine() const { return errorLine_; }
  const std::vector<int32_t>& Code() const { return code_; }
  const std::vector<int32_t>& CodeLines() const { return lines_; }
  const KeywordTable& Keywords() const { return keywords_; }
  // The files of the last compile's text, by the line of it where each begins: the source at
  // line 1 (name ""), then every included file under the name its include line gave.
  struct SourceFile {
    int32_t firstLine;
    std::string name;
  };
  const std::vector<SourceFile>& SourceFiles() const { return sourceFiles_; }
  // Include lines whose file could not be read (the compile goes on without it): the line of
  // the include statement in the compiled text and the file's name.
  struct MissingInclude {
    int32_t line;
    std::string name;
  };
  const std::vector<MissingInclude>& MissingIncludes() const { return missingIncludes_; }
  // Warnings of the last compile, each at a line of the compiled text: the first statement
  // outside the functions of each included file, which is left out.
  struct Warning {
    int32_t line;
    std::string text;
  };
  const std::vector<Warning>& Warnings() const { return warnings_; }
  // The image bytes of the last successful compile (as the writer would write them).
  std::vector<uint8_t> BuildImage() const;
  // Appends the numbered list of code words to an existing text file.
  bool DumpCode(const std::string& file) const;

 private:
  // ---- passes (passes.cpp)
  bool RunCompile();
  void InitCompilePass();
  bool MainPass(int mode, int16_t startFunction);
  bool LineLoop(int mode, int32_t firstIncluded);
  void ShowProgress(int32_t line);
  size_t LineEnd(size_t pos, size_t index) const;
  int32_t NextProgressLine() const;
  bool IncludedLine(int32_t line, int32_t firstIncluded, int32_t* includeLine, std::string* text) const;
  // ---- source (source.cpp)
  bool LoadSourceFile(const std::string& file);
  void SetSourceFromString(const std::string& text);
  int32_t ExpandIncludes();
  bool AppendFile(const std::string& file, int root, int32_t includeLine);
  int FindIncludeOfOffset(int64_t offset) const;
  // ---- symbols (symbols.cpp)
  int32_t DeclareVariable(int type, std::string_view name, bool array);
  int32_t DeclareJumpTarget(const std::string& name, int kind, bool reference, bool global);
  int AddUserFunction(const std::string& name, const std::string& letters);
  int32_t AllocTempOperand(char type);
  void ResetTemporaries();
  bool DeclareVariableByName(std::string_view text, char* type, int32_t* number);
  // A variable of a known type (its name already checked).
  int32_t DeclareVariableOfType(char type, std::string_view name, bool array);
  bool DeclareFunctions(int mode, int32_t firstIncluded, int32_t* lineCount);
  int FindUserFunction(std::string_view name) const;
  // ---- statements (statements.cpp, rewrites.cpp, blocks.cpp)
  bool CompileStatement(const std::string& text);
  // Keyword recognition; the first word's place may be known already.
  bool CompileKeywordText(const std::string& text, size_t knownAt = std::string::npos, size_t knownSize = 0);
  bool CompileKeywordStatement(int keyword, const std::string& args, int32_t statementStart);
  bool CompileKeywordItems(int keyword, int32_t statementStart);
  bool CompileGeneratedStatement(std::string_view name, std::initializer_list<std::string_view> items);
  bool CompileRest();
  bool CompileLabel(const std::string& text, bool* isLabel);
  bool CompileFunctionHeader(const std::string& text, bool* handled);
  bool CompileSingleLineIf(const std::vector<std::string_view>& words);
  bool CompileFor(const std::string& text);
  bool CompileDim(const std::string& text);
  bool CompileSelect(const std::vector<std::string_view>& words, const std::vector<size_t>& starts, const std::string& text);
  // separators: those the text may hold (SeparatorsOf of the text or of one containing it).
  bool CompileAssignment(std::string_view text, bool* isAssignment, uint8_t separators);
  bool CompileAssignmentArgs(int keyword, const char* name, const std::string& args);
  bool CompileData(const std::string& args);
  bool HandleBlock(int block, int32_t jumpPosition, bool* emitJump, int32_t* jumpValue, int32_t statementStart,
                   bool* emit);
  // ---- expressions (expressions.cpp)
  bool CompileFullExpression(std::string_view text, int32_t* number, char* type);
  bool CompileExpression(std::string_view text, int32_t* number, char* type);
  bool SplitOperatorChain(std::string_view text);
  bool ReduceOperatorChain(int32_t* number, char* type);
  bool CompileOperand(std::string_view text, int32_t* number, char* type);
  bool EmitOperator(int level, int32_t a, char ta, int32_t b, char tb, int32_t* temp, char* type);
  bool CompileCall(const std::string& name, const std::string& args, int32_t* number, char* type);
  bool CompileUserCall(int function, const std::string& args, int32_t* number, char* type);
  size_t SpacedCallNameAt(std::string_view text, size_t i) const;
  int32_t Convert(int command, int32_t operand);
  // The forms a keyword takes and the argument letters it was given, within room characters.
  std::string OverloadText(const std::string& name, bool bracket, const std::string& given = "", size_t room = 255);
  std::string DescribeLetters(std::string_view letters) const;
  void EmitCodeDword(int32_t word);
  void EmitInstruction(int32_t command, const std::vector<int32_t>& operands);
  void EmitInstruction(int32_t command, std::initializer_list<int32_t> operands);
  void EmitInstruction(int32_t command, const int32_t* operands, size_t count);
  // ---- writer and checks (image_writer.cpp)
  bool ResolveFunctionCalls();
  // The message of the first array used without DIM (0: none): one only ever fetched reads as
  // the call of a function that does not exist.
  int CheckArrayUse();
  bool WriteProgramImage();

  // Sets the error text to message n (with extra text) unless one is set already.
  void Fail(int n, const std::string& extra = "");
  std::string Msg(int n) const;

  struct VariableRow {
    int16_t owner;
    std::string name;
    int32_t number;
    uint8_t array;
    int32_t line;
    // How an array is used: fetched in an expression as name(...), which reads as a call, or
    // named otherwise (DIM, UNDIM, an element assigned, an array command's array).
    bool fetched = false, named = false;
  };
  struct JumpRef {
    int32_t position;
    uint8_t kind;
  };
  struct JumpTarget {
    int16_t owner;
    std::string name;
    int32_t number;
    uint8_t kind;
    int32_t line;
    int32_t dataSlot;
    std::vector<JumpRef> refs;
  };
  struct DeclaredName {
    std::string name;
    int32_t owner;
    int32_t position;
  };
  struct UserFunction {
    std::string name, params;
    int32_t number, line;
    char returnType;
  };
  struct BlockRecord {
    int kind;
    int32_t jump = -1, start = 0, elseJump = -1, afterElse = 0;
    int32_t line = 0;          // the line that opened the block
    const char* word = "";     // its keyword as the source wrote it
    std::vector<int32_t> exits;
  };
  struct DimRow {
    std::string name;
    int16_t owner;
  };
  struct Segment {  // a range of the working text brought in by first-pass include k
    int64_t start, end;
    int root;
  };

  KeywordTable keywords_;
  int32_t blockNumbers_[12] = {};
  std::deque<std::vector<uint8_t>> maskPool_;  // one mask per nesting depth (a deque keeps them in place)
  std::deque<std::string> textPool_;           // one expression text per nesting depth
  size_t maskDepth_ = 0;
  std::vector<std::string_view> statementItems_;
  std::vector<int32_t> statementOperands_;
  std::string assignmentArgs_;
  // The operands and operators of a plain operator chain being reduced, one chain per
  // nesting depth (an operand may call a function whose arguments are chains too).
  struct ChainOperand {
    ChainOperand(std::string_view t, size_t s) : text(t), span(uint16_t(s)) {}
    std::string_view text;  // the operand's text
    uint16_t span;          // its length in the text (blanks around it included, or the marker's)
    bool dead = false;      // merged into the operand on its left
    bool reduced = false;   // a reduced part, standing for its temporary
    int32_t number = 0;     // that temporary
  };
  struct ChainOperator {
    uint8_t level, width;
  };
  struct Chain {
    std::vector<ChainOperand> operands;
    std::vector<ChainOperator> operators;
  };
  static constexpr size_t kChainDepths = 128;  // deeper calls take the text reduction
  std::array<Chain, kChainDepths> chains_;
  size_t chainDepth_ = 0;
  std::vector<size_t> openBrackets_;  // the open brackets of a full expression's scan
  int operatorFirst_[13] = {};  // first bracket entry of each operator level
  int assignKeyword_ = -1, elementAssignKeyword_ = -1;  // the keywords "=" and "@="
  int printKeyword_ = -1, printcKeyword_ = -1, readKeyword_ = -1, inputKeyword_ = -1;
  std::vector<std::string> messages_;
  std::function<void(int)> progress_;
  bool debugListing_ = false;
  std::string listing_;
  int32_t codePage_ = 0;

  // Code and the line of each code word.
  std::vector<int32_t> code_, lines_;
  int32_t instructionCount_ = 0;
  // Literals and DATA.
  std::vector<int32_t> intLiterals_;
  std::vector<uint32_t> floatLiterals_;
  std::vector<std::string> stringLiterals_;
  ValueMap intIndex_, floatIndex_;  // literal value (float bits) -> operand number
  std::string dataTypes_;
  std::vector<int32_t> dataValues_;
  std::vector<std::string> dataTexts_;
  // Symbols.
  std::vector<VariableRow> vars_[3];
  std::vector<TextMap> varIndex_[3];  // per type, by owner x 2 + array flag: name -> number
  std::vector<JumpTarget> targets_;
  std::unordered_map<std::string, std::vector<int>> targetIndex_;
  std::vector<DeclaredName> declared_;
  std::vector<UserFunction> functions_;
  TextMap functionIndex_;
  std::vector<DimRow> dims_;
  int32_t tempNext_[3] = {}, tempEnd_[3] = {};
  // Blocks and select.
  std::vector<BlockRecord> blocks_;
  bool selectOpen_ = false, defaultSeen_ = false;
  std::string selectExpression_;
  // Pass state.
  int32_t currentLine_ = 1;
  bool commentBlock_ = false, inFunction_ = false, prePass_ = false, arrayFlag_ = false;
  // The array the next name declares is fetched in an expression; the operand being compiled
  // is a command's array.
  bool fetchFlag_ = false, arrayOperand_ = false;
  int32_t functionLine_ = 0;  // the FUNCTION line of the function being compiled
  // The last one-index element fetch: its destination and the code size after it. The array
  // files take their array as such a fetch placed right before them.
  int32_t elementFetchTemp_ = 0;
  size_t elementFetchEnd_ = 0;
  int16_t currentFunction_ = 0;
  char expectedType_ = 0;
  std::string rest_;
  // Source.
  std::string input_, fileBytes_;
  std::string working_;
  struct IncludeEntry {
    int32_t line;
    int64_t start;
  };
  std::vector<IncludeEntry> includes_;
  std::vector<size_t> lineEnds_;  // line ends of the working text, noted by the include scan
  bool lineEndsValid_ = false;
  std::vector<Segment> segments_;
  std::vector<SourceFile> sourceFiles_;
  std::vector<MissingInclude> missingIncludes_;
  std::vector<Warning> warnings_;
  // Texts.
  std::string errorText_, resultText_, errorMessage_, outputName_;
  int32_t errorLine_ = 0;
  std::string targetName_, arrayName_;  // the name an end-of-pass check failed on
  bool failedWithoutLine_ = false;
  // The code words of the last file compile, which memory compiles append to.
  size_t fileCodeSize_ = 0;
  bool haveSnapshot_ = false;
  // What a memory compile starts from: the literals, DATA, symbols and open blocks after the
  // last successful compile, and each name's references as the file compile left them (the
  // code of a memory compile replaces the previous one's).
  struct SymbolState {
    std::vector<int32_t> intLiterals;
    std::vector<uint32_t> floatLiterals;
    std::vector<std::string> stringLiterals;
    ValueMap intIndex, floatIndex;
    std::string dataTypes;
    std::vector<int32_t> dataValues;
    std::vector<std::string> dataTexts;
    std::vector<VariableRow> vars[3];
    std::vector<TextMap> varIndex[3];
    std::vector<JumpTarget> targets;
    std::unordered_map<std::string, std::vector<int>> targetIndex;
    std::vector<DeclaredName> declared;
    std::vector<UserFunction> functions;
    TextMap functionIndex;
    std::vector<DimRow> dims;
    std::vector<BlockRecord> blocks;
    bool selectOpen = false, defaultSeen = false, commentBlock = false;
    std::string selectExpression;
    int32_t instructionCount = 0;
  };
  void SaveSymbolState(SymbolState& s) const;
  void RestoreSymbolState(const SymbolState& s);
  std::unique_ptr<SymbolState> memoryBase_;
  std::vector<size_t> fileRefCounts_;
  int lastProgressStep_ = 0;
  int32_t progressTotal_ = 1, nextProgressLine_ = 0;
};

// Keyword names of the operator levels, in the order they are reduced.
extern const char* const kLevelKeyword[13];

// Type letter of an operand number by its range ('l', 'f', 's' or 0).
char OperandTypeFromIndex(int32_t number);
