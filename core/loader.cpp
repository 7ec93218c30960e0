#include "core/loader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "core/arrays.h"
#include "core/call_stack.h"
#include "core/command_numbers.h"
#include "core/command_table.h"
#include "core/interp.h"
#include "core/language.h"
#include "core/strings.h"
#include "platform/codepage_tables.h"
#include "platform/fs.h"
#include "platform/host_files.h"

LoadedProgram g_program;
VarCell* g_cells = nullptr;
CodeWord* CommandStream = nullptr;
int64_t g_codeWordCount = 0;
int32_t g_dataReadPosition = 0;
const CodeWord* g_loadedCode = nullptr;
uint64_t g_codeGeneration = 0;

namespace {

constexpr int64_t kHeaderWords = 1024;

uint32_t Word(const uint8_t* bytes, int64_t index) {
  const uint8_t* p = bytes + index * 4;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The largest program image file the loader takes (1 GiB).
constexpr uint64_t kMaxImageBytes = 0x40000000u;

bool Fail(std::string* error, const char* why) {
  if (error) *error = why;
  FreeProgramStrings();
  return false;
}

// Copies a zero-terminated text that must end before limit (a byte offset) into a string block,
// cut to the 255 characters every string command keeps; length is the stored length.
bool TakeText(const uint8_t* bytes, int64_t& pos, int64_t limit, char*& out, int64_t& length) {
  int64_t start = pos;
  while (pos < limit && bytes[pos] != 0) ++pos;
  length = pos - start;
  out = NewString(reinterpret_cast<const char*>(bytes + start), std::min(size_t(length), kMaxText));
  return true;
}

bool InRange(int32_t cell, int lo, int hi) { return cell >= lo && cell < hi; }

// How many cells of each kind the image holds: integer, float and string variables, then
// integer, float and string literals (the cell ranges from 3000 on, 2000 cells each).
using CellCounts = std::array<int64_t, 6>;

// Null when the cell is a temporary or one the image holds, else what the code uses wrongly.
const char* CellPastCounts(int32_t cell, const CellCounts& counts) {
  if (cell < 3000 || cell >= 15000) return nullptr;
  const int kind = (cell - 3000) / 2000;
  if ((cell - 3000) % 2000 < counts[size_t(kind)]) return nullptr;
  return kind < 3 ? "the code uses a variable past the image's counts"
                  : "the code uses a literal past the image's counts";
}

bool CellOfKind(int32_t cell, char kind) {
  switch (kind) {
    case 'l': return InRange(cell, 0, 1000) || InRange(cell, 3000, 5000) || InRange(cell, 9000, 11000);
    case 'f': return InRange(cell, 1000, 2000) || InRange(cell, 5000, 7000) || InRange(cell, 11000, 13000);
    case 's': return InRange(cell, 2000, 3000) || InRange(cell, 7000, 9000) || InRange(cell, 13000, 15000);
    case 'v': return InRange(cell, 0, 15000);
    default: return false;
  }
}

// Checks each instruction's operands against the kinds its command declares, from the raw
// (not yet relocated) words, and each cell operand against the image's counts. A command whose
// operands are not declared (its subsystem is not built, so it stops the program when reached)
// counts as a one-word instruction: the walk goes on through its operand words, so every word
// that could run as a command is checked and every jump must land on the start of an
// instruction. lastStop is the position of the last command 0 before the last word that the
// walk met before any undeclared command (whose operand words it cannot tell from
// instructions), else -1.
bool CheckOperandKinds(const uint8_t* bytes, int64_t codeStart, int64_t count, int32_t dataCount,
                       const CellCounts& counts, int64_t& lastStop, std::string* error) {
  std::vector<uint8_t> starts(size_t(count) + 1, 0);
  std::vector<int64_t> targets;
  starts[size_t(count)] = 1;  // the guard word
  int64_t i = 0;
  bool complete = true;
  bool inFunction = false;  // between a function definition and its end
  bool blind = false;       // an undeclared command was walked word by word
  lastStop = -1;
  while (i < count) {
    int32_t cmd = int32_t(Word(bytes, codeStart + i));
    starts[size_t(i)] = 1;
    if (cmd == 0 && !blind && i < count - 1) lastStop = i;
    if (cmd == kCmdFunctionGuard) inFunction = true;
    const char* kinds = cmd > 0 && cmd < kCommandSlots ? g_commandOperands[cmd] : nullptr;
    if (!kinds) {  // no handler, or none declared: the program stops here if it gets here
      blind = blind || cmd != 0;
      ++i;
      continue;
    }
    if (std::strchr(kinds, '*')) {
      complete = false;
      break;
    }
    // Two kinds stand for runs of words: 'c' is an integer literal holding the count of the
    // cells that follow it (a function call's arguments), 'p' a function definition's
    // parameter variables followed by its function number.
    std::string expanded;
    if (const char* special = std::strpbrk(kinds, "cp")) {
      int64_t at = i + 1 + (special - kinds);
      if (at >= count) {
        if (error) *error = "an instruction runs past the end of the code";
        return false;
      }
      expanded.assign(kinds, size_t(special - kinds));
      if (*special == 'c') {
        int32_t w = int32_t(Word(bytes, codeStart + at));
        int64_t args = w >= 19000 && w < 21000 ? g_cells[w - 10000].i : -1;
        if (args < 0 || args > count) {
          if (error) *error = "a call has no valid argument count";
          return false;
        }
        expanded += 'l';
        expanded.append(size_t(args), 'v');
      } else {
        starts[size_t(at)] = 1;  // calls enter at the parameter list
        while (at < count && Word(bytes, codeStart + at) >= 13000 && Word(bytes, codeStart + at) < 19000) {
          expanded += 'v';
          ++at;
        }
        uint32_t number = at < count ? Word(bytes, codeStart + at) : 0;
        if (number == 0 || number > 32767) {
          if (error) *error = "a function definition has no valid function number";
          return false;
        }
        expanded += 'n';
      }
      kinds = expanded.c_str();
    }
    int64_t n = int64_t(std::strlen(kinds));
    if (i + n >= count) {
      if (error) *error = "an instruction runs past the end of the code";
      return false;
    }
    for (int64_t k = 0; k < n; ++k) {
      int32_t w = int32_t(Word(bytes, codeStart + i + 1 + k));
      char kind = kinds[k];
      bool ok;
      if (kind == 'a') {
        ok = w >= 37000 && int64_t(w) - 37000 <= count;
        if (ok) targets.push_back(int64_t(w) - 37000);
      } else if (kind == 'd') {
        ok = w >= 25000 && w < 35000 && w - 25000 <= dataCount;
      } else if (kind == 'n') {
        ok = true;
      } else {
        ok = w >= 10000 && w < 25000 && CellOfKind(w - 10000, kind);
        if (const char* past = ok ? CellPastCounts(w - 10000, counts) : nullptr) {
          if (error) *error = past;
          return false;
        }
        if (ok && !inFunction && w < 13000) {
          int32_t& used = g_program.mainTemporaries[(w - 10000) / 1000];
          used = std::max(used, (w - 10000) % 1000 + 1);
        }
      }
      if (!ok) {
        if (error) *error = "an operand does not fit its command";
        return false;
      }
    }
    if (cmd >= kCmdEndFunction && cmd <= kCmdEndFunctionText) inFunction = false;
    i += 1 + n;
  }
  if (!complete) std::fill(std::begin(g_program.mainTemporaries), std::end(g_program.mainTemporaries), 1000);
  if (complete) {
    for (int64_t t : targets) {
      if (!starts[size_t(t)]) {
        if (error) *error = "a jump lands inside an instruction";
        return false;
      }
    }
  }
  g_program.checkedWholeCode = complete;
  return true;
}

}  // namespace

bool LoadProgram(const std::string& file, std::string* error) {
  std::string bytes;
  // The size is checked before anything is read: an image is never larger than this.
  switch (FsReadHostRegularFile(file, bytes, kMaxImageBytes, false)) {
    case FsRead::kOk: break;
    case FsRead::kTooLarge: return Fail(error, "the program image is too large");
    case FsRead::kNotRegular: return Fail(error, "the program image is not a regular file");
    default:
      return Fail(error, errno == ENOMEM ? "not enough memory to load the program image" : "cannot open the program image");
  }
  return LoadProgramFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), error);
}

bool LoadProgramFromBytes(const uint8_t* bytes, size_t size, std::string* error) {
  FreeProgramStrings();
  if (size % 4 != 0 || size < size_t(kHeaderWords) * 4 || size > kMaxImageBytes)
    return Fail(error, "the program image has a wrong size");
  const int64_t total = int64_t(size / 4);
  if (Word(bytes, 0) != 1) return Fail(error, "the program image has an unknown format version");
  const int64_t intStart = Word(bytes, 1), floatStart = Word(bytes, 2), textStart = Word(bytes, 3);
  const int64_t textCount = Word(bytes, 4), typeStart = Word(bytes, 5), dataCount = Word(bytes, 6);
  const int64_t codeStart = Word(bytes, 7), stringVars = Word(bytes, 10), scopeWords = Word(bytes, 11);
  if (intStart != kHeaderWords || floatStart < intStart || textStart < floatStart || typeStart < textStart ||
      codeStart < typeStart || codeStart > total)
    return Fail(error, "the program image has inconsistent block starts");
  if (floatStart - intStart > 2000 || textStart - floatStart > 2000 || textCount > 2000 || stringVars > 2000 ||
      dataCount > kDataCellCount)
    return Fail(error, "the program image holds more items than there are cells");
  const int64_t valueStart = typeStart + dataCount / 4 + 1;
  const int64_t scopeStart = codeStart - scopeWords;
  if (valueStart > codeStart || scopeWords < 3 || scopeStart < valueStart)
    return Fail(error, "the program image has inconsistent DATA or scope blocks");
  const int32_t codePage = int32_t(Word(bytes, 12));
  if (codePage != 0 && !IsKnownCodePage(codePage)) return Fail(error, "the program image names an unknown code page");

  try {
    g_cells = static_cast<VarCell*>(std::calloc(kCellCount, sizeof(VarCell)));
    if (!g_cells) throw std::bad_alloc();
    for (int64_t w = intStart; w < floatStart; ++w) g_cells[kCellIntLiteral + (w - intStart)].i = int32_t(Word(bytes, w));
    for (int64_t w = floatStart; w < textStart; ++w) g_cells[kCellFloatLiteral + (w - floatStart)].raw = Word(bytes, w);

    int64_t pos = textStart * 4, limit = typeStart * 4, len;
    for (int64_t k = 0; k < textCount; ++k) {
      if (pos >= limit) throw std::runtime_error("string literals run past their block");
      TakeText(bytes, pos, limit, g_cells[kCellStringLiteral + k].s, len);
      if (pos++ >= limit) throw std::runtime_error("string literals run past their block");
    }
    g_program.stringLiteralCount = int32_t(textCount);
    // Each block is as long as its count makes it, zero bytes after its last item: one that
    // holds more is an image whose count was damaged.
    const auto nonZero = [](uint8_t c) { return c != 0; };
    if ((pos - textStart * 4) / 4 + 1 != typeStart - textStart || std::any_of(bytes + pos, bytes + limit, nonZero))
      throw std::runtime_error("the program image holds more string literals than its count gives");

    g_program.dataTypes.assign(reinterpret_cast<const char*>(bytes + typeStart * 4), size_t(dataCount));
    if (std::any_of(bytes + typeStart * 4 + dataCount, bytes + valueStart * 4, nonZero))
      throw std::runtime_error("the program image holds more DATA items than its count gives");
    int64_t word = valueStart;
    for (int64_t k = 0; k < dataCount; ++k) {
      char type = g_program.dataTypes[size_t(k)];
      VarCell& cell = g_cells[kCellData + k];
      if (word >= scopeStart) throw std::runtime_error("DATA values run past their block");
      if (type == 'l' || type == 'f') {
        cell.raw = 0;
        cell.i = int32_t(Word(bytes, word));
        ++word;
      } else if (type == 's') {
        int64_t p = word * 4;
        TakeText(bytes, p, scopeStart * 4, cell.s, len);
        if (p >= scopeStart * 4) throw std::runtime_error("a DATA text runs past its block");
        word += (len + 1) / 4 + 1;
      } else {
        throw std::runtime_error("a DATA item has an unknown type");
      }
    }
    if (word != scopeStart)
      throw std::runtime_error("the program image holds more DATA values than its count gives");

    for (int64_t k = 0; k < stringVars; ++k) g_cells[kCellStringVar + k].s = NewString("", 0);
    g_program.stringVariableCount = int32_t(stringVars);

    int64_t at = scopeStart;
    for (int t = 0; t < 3; ++t) {
      auto& table = g_program.scopeTables[t];
      if (at >= codeStart) throw std::runtime_error("the scope tables run past their block");
      int64_t count = Word(bytes, at++);
      if (count > 2000 || at + count > codeStart) throw std::runtime_error("a scope table runs past its block");
      // The header declares each variable count again.
      if (count != int64_t(Word(bytes, 8 + t)))
        throw std::runtime_error("a scope table does not match its variable count");
      for (int64_t k = 0; k < count; ++k) table.push_back(int32_t(Word(bytes, at++)));
    }
    if (at != codeStart) throw std::runtime_error("the scope tables do not end where the code starts");

    // The code runs to the end of the file and its last word is always 0: an image cut short
    // (at a word boundary) ends in some other word, and is refused rather than run in part. So
    // is one with bytes appended, told apart by the stop (0) the walk met before them: the
    // compiler writes none but the last word.
    const int64_t count = total - codeStart;
    const CellCounts counts = {int64_t(g_program.scopeTables[0].size()), int64_t(g_program.scopeTables[1].size()),
                               stringVars, floatStart - intStart, textStart - floatStart, textCount};
    int64_t lastStop = -1;
    std::string walk;
    const bool walked =
        count >= 1 && CheckOperandKinds(bytes, codeStart, count, int32_t(dataCount), counts, lastStop, &walk);
    if (count < 1 || Word(bytes, total - 1) != 0) {
      if (lastStop < 0)
        throw std::runtime_error("the program image is cut short: its code does not end as written");
      throw std::runtime_error("the program image holds more data than its counts give: " +
                               std::to_string((count - 1 - lastStop) * 4) + " bytes follow the end of its code");
    }
    if (!walked) throw std::runtime_error(walk);
    CommandStream = static_cast<CodeWord*>(std::calloc(size_t(count) + 1, sizeof(CodeWord)));
    if (!CommandStream) throw std::bad_alloc();
    g_codeWordCount = count;
    for (int64_t k = 0; k < count; ++k) {
      int32_t w = int32_t(Word(bytes, codeStart + k));
      CodeWord& out = CommandStream[k];
      if (w >= 10000 && w < 25000) {
        out = reinterpret_cast<CodeWord>(&g_cells[w - 10000]);
      } else if (w >= 25000 && w < 35000) {
        // DATA positions keep their operand number, which no command number can equal, so a
        // stray one is never run as a command; the commands that take one subtract the base.
        if (w - 25000 > dataCount) throw std::runtime_error("a DATA position lies past the DATA items");
        out = w;
      } else if (w >= 35000 && w < 37000) {
        throw std::runtime_error("the program image holds an unresolved name");
      } else if (w >= 37000) {
        if (int64_t(w) - 37000 > count) throw std::runtime_error("a jump lands outside the code");
        out = reinterpret_cast<CodeWord>(&CommandStream[w - 37000]);
      } else {
        out = w;
      }
    }
    CommandStream[count] = 0;  // guard: running off the end stops the program
    g_loadedCode = CommandStream;
    ++g_codeGeneration;
  } catch (const std::bad_alloc&) {
    return Fail(error, "not enough memory to load the program image");
  } catch (const std::exception& e) {
    return Fail(error, e.what());
  }
  g_program.codePage = codePage;
  g_dataReadPosition = 0;
  return true;
}

void FreeProgramStrings() {
  UnwindFunctionCalls();
  if (g_cells) {
    for (int c = kCellStringTemp; c < kCellStringTemp + 1000; ++c) FreeString(g_cells[c].s);
    for (int c = kCellStringLiteral; c < kCellStringLiteral + 2000; ++c) FreeString(g_cells[c].s);
    for (size_t k = 0; k < g_program.dataTypes.size(); ++k)
      if (g_program.dataTypes[k] == 's') FreeString(g_cells[kCellData + k].s);
  }
  FreeAllArrays();
  if (g_cells)
    for (int c = kCellStringVar; c < kCellStringVar + 2000; ++c) FreeString(g_cells[c].s);
  g_program = LoadedProgram{};
  std::free(g_cells);
  g_cells = nullptr;
  std::free(CommandStream);
  CommandStream = nullptr;
  ProgramCounter = nullptr;  // nothing runs on in freed code
  g_loadedCode = nullptr;
  ++g_codeGeneration;
  g_codeWordCount = 0;
}
