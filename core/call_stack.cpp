#include "core/call_stack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/arrays.h"
#include "core/language.h"
#include "core/loader.h"

CallStack g_callStack;
std::vector<int32_t> g_checkedEntries;
std::vector<uint8_t> g_entryFlags;
CallLevel* g_callLevels = nullptr;

namespace {

// One saved cell of a caller: its value, or for a string cell the text it owned.
struct SavedCell {
  VarCell* cell;
  uint64_t raw;
};

// The saved cells of every open call, in call order (calls nest, so this is a stack).
SavedCell* g_saved = nullptr;
uint32_t g_savedCount = 0, g_savedCapacity = 0;

// Per function number: the numeric and the string variable cells it owns.
constexpr int kMaxFunctions = 1024;
struct OwnedCells {
  std::vector<VarCell*> numbers, texts;
};
std::vector<OwnedCells> g_owned;
// Per temporary type and window (function n uses window min(n, 19)): how many of its 50
// cells the code uses.
constexpr int kWindows = 20, kWindowCells = 50;
uint8_t g_windowUsed[3][kWindows];
bool g_programScanned = false;
// Owner function of each variable cell (cells 3000-8999), from the scope tables.
int16_t g_cellOwner[6000];

// The numeric cells saved by open calls, one block of raw values per call.
std::vector<uint64_t> g_blocks;  // VarCell-sized words
uint32_t g_blockCount = 0;

bool IsStringCell(const VarCell* c) {
  return CellInRange(c, kCellStringTemp, kCellIntVar) || CellInRange(c, kCellStringVar, kCellIntLiteral);
}

// Learns, once per run, the owned variables of each function and which temporaries the code uses.
void ScanProgram() {
  g_owned.assign(kMaxFunctions, {});
  std::fill(g_cellOwner, g_cellOwner + 6000, int16_t(-1));
  const int bases[3] = {kCellIntVar, kCellFloatVar, kCellStringVar};
  for (int t = 0; t < 3; ++t) {
    const std::vector<int32_t>& table = g_program.scopeTables[t];
    for (size_t k = 0; k < table.size() && k < 2000; ++k) {
      int owner = int16_t(table[k]);
      g_cellOwner[bases[t] - kCellIntVar + int(k)] = int16_t(owner);
      if (owner < 0 || owner >= kMaxFunctions) continue;
      VarCell* cell = &g_cells[bases[t] + int(k)];
      (t == 2 ? g_owned[size_t(owner)].texts : g_owned[size_t(owner)].numbers).push_back(cell);
    }
  }
  std::fill(&g_windowUsed[0][0], &g_windowUsed[0][0] + sizeof g_windowUsed, 0);
  const uintptr_t first = reinterpret_cast<uintptr_t>(g_cells);
  const uintptr_t last = reinterpret_cast<uintptr_t>(g_cells + kCellIntVar);
  for (int64_t k = 0; k < g_codeWordCount; ++k) {
    uintptr_t w = uintptr_t(CommandStream[k]);
    if (w < first || w >= last || (w - first) % sizeof(VarCell) != 0) continue;
    int cell = int((w - first) / sizeof(VarCell));
    int type = cell / 1000, offset = cell % 1000;
    int window = std::min(offset / kWindowCells, kWindows - 1);
    int used = offset - window * kWindowCells + 1;
    if (used > g_windowUsed[type][window]) g_windowUsed[type][window] = uint8_t(used);
  }
  g_programScanned = true;
}

void Grow() {
  uint32_t capacity = g_savedCapacity ? g_savedCapacity * 2 : 1024;
  void* fresh = std::realloc(g_saved, size_t(capacity) * sizeof(SavedCell));
  if (!fresh) throw std::bad_alloc();
  g_saved = static_cast<SavedCell*>(fresh);
  g_savedCapacity = capacity;
}

inline void Push(VarCell* cell, uint64_t raw) {
  if (g_savedCount == g_savedCapacity) Grow();
  g_saved[g_savedCount++] = SavedCell{cell, raw};
}

// A string variable keeps its text during the call: the saved value is a copy.
inline void SaveText(VarCell* cell) {
  if (cell->s) Push(cell, reinterpret_cast<uintptr_t>(NewString(cell->s, strnlen(cell->s, kMaxText))));
}

void PutBack(const SavedCell& s) {
  const bool text = IsStringCell(s.cell);
  if (CellHasArray(s.cell)) {  // the variable became an array meanwhile: its cell is the array's
    if (text) std::free(reinterpret_cast<char*>(s.raw));
    return;
  }
  if (text) std::free(s.cell->s);
  s.cell->raw = s.raw;
}

void DropSaved() {
  for (uint32_t k = 0; k < g_savedCount; ++k)
    if (IsStringCell(g_saved[k].cell)) std::free(reinterpret_cast<char*>(g_saved[k].raw));
  g_savedCount = 0;
  g_blockCount = 0;
}

}  // namespace

void ResetCallStack() {
  if (!g_callLevels) g_callLevels = new CallLevel[kCallStackLevels];
  std::fill(g_callLevels, g_callLevels + kCallStackLevels, CallLevel{});
  DropSaved();
  g_callStack = CallStack{};
  g_blockCount = 0;
  g_programScanned = false;
  g_checkedEntries.clear();
  g_entryFlags.clear();
}

// What a call made inside function c saves of c: its numeric variables and the integer and
// float temporaries of its window (none for the main program) as one block of raw values,
// its string variables one by one, and the texts of its string temporaries. Numeric cells own
// nothing, so a variable that holds an array just gets its own block address back.
struct CellRun {
  VarCell* first;
  uint32_t count;
};
struct SavePlan {
  bool built = false;
  bool hasText = false;          // string variables or string temporaries to save
  std::vector<CellRun> numbers;  // runs of neighbouring cells
  uint32_t numberCount = 0;
  const std::vector<VarCell*>* texts = nullptr;
  VarCell* textTemps = nullptr;
  int textTempCount = 0;
};
std::vector<SavePlan> g_plans;

void AddCell(SavePlan& plan, VarCell* cell) {
  if (!plan.numbers.empty() && plan.numbers.back().first + plan.numbers.back().count == cell)
    ++plan.numbers.back().count;
  else
    plan.numbers.push_back(CellRun{cell, 1});
  ++plan.numberCount;
}

SavePlan& BuildPlan(int caller) {
  SavePlan& plan = g_plans[size_t(caller)];
  for (VarCell* cell : g_owned[size_t(caller)].numbers) AddCell(plan, cell);
  plan.texts = &g_owned[size_t(caller)].texts;
  if (caller > 0) {
    const int window = std::min(caller, kWindows - 1);
    for (int t = 0; t < 2; ++t)
      for (int k = 0; k < g_windowUsed[t][window]; ++k) AddCell(plan, &g_cells[t * 1000 + window * kWindowCells + k]);
    plan.textTemps = &g_cells[kCellStringTemp + window * kWindowCells];
    plan.textTempCount = g_windowUsed[2][window];
  }
  plan.hasText = !plan.texts->empty() || plan.textTempCount > 0;
  plan.built = true;
  return plan;
}

inline const SavePlan& PlanOf(int caller) {
  SavePlan& plan = g_plans[size_t(caller)];
  return plan.built ? plan : BuildPlan(caller);
}

// Copies cells as 32-bit halves: the handlers have just written most of these cells through
// their 32-bit members, and a wider load of a freshly stored narrower value waits for the
// store to reach the cache instead of taking the value from it.
inline void CopyCells(VarCell* to, const VarCell* from, uint32_t count) {
  uint32_t* out = reinterpret_cast<uint32_t*>(to);
  const uint32_t* in = reinterpret_cast<const uint32_t*>(from);
  for (uint32_t k = 0; k < 2 * count; k += 2) {
    const uint32_t low = in[k], high = in[k + 1];
    out[k] = low;
    out[k + 1] = high;
    asm("" ::: "memory");  // keeps the 32-bit accesses
  }
}

[[gnu::noinline]] static void GrowBlocks(uint32_t count) { g_blocks.resize(g_blocks.size() * 2 + count + 256); }

inline void EnsureProgramScanned() {
  if (!g_programScanned) {
    ScanProgram();
    g_plans.assign(kMaxFunctions, {});
  }
}

bool ParametersOwnedByFunction(const CodeWord* entry, int32_t n) {
  EnsureProgramScanned();
  for (int32_t i = 0; i < n; ++i) {
    const VarCell* cell = reinterpret_cast<const VarCell*>(entry[i]);
    if (g_cellOwner[cell - g_cells - kCellIntVar] != int16_t(entry[n])) return false;
  }
  return true;
}

void SaveFunctionLocals(int32_t d) {
  EnsureProgramScanned();
  CallLevel& level = g_callLevels[d];
  level.savedBegin = g_savedCount;
  const int caller = g_callStack.currentFunction;
  // The parameters of the caller, as the call that entered it recorded them (those it owns
  // are saved with its variables below).
  const CallLevel& below = g_callLevels[d - 1];
  if (below.isFunction && !below.ownsParameters) {
    for (int32_t i = 0; i < below.argCount; ++i) {
      VarCell* cell = reinterpret_cast<VarCell*>(below.entry[i]);
      if (g_cellOwner[cell - g_cells - kCellIntVar] == caller) continue;
      if (IsStringCell(cell)) SaveText(cell);
      else Push(cell, cell->raw);
    }
  }
  if (caller < 0 || caller >= kMaxFunctions) {
    level.savedEnd = g_savedCount;
    level.blockBegin = level.blockEnd = g_blockCount;
    return;
  }
  const SavePlan& plan = PlanOf(caller);
  if (plan.hasText) {
    for (VarCell* cell : *plan.texts)
      if (!CellHasArray(cell)) SaveText(cell);
    for (int k = 0; k < plan.textTempCount; ++k) {
      VarCell* cell = plan.textTemps + k;
      if (!cell->s) continue;
      Push(cell, reinterpret_cast<uintptr_t>(cell->s));
      cell->s = nullptr;
    }
  }
  level.savedEnd = g_savedCount;
  const uint32_t begin = g_blockCount, count = plan.numberCount;
  if (begin + count > g_blocks.size()) GrowBlocks(count);
  VarCell* out = reinterpret_cast<VarCell*>(g_blocks.data() + begin);
  for (const CellRun& run : plan.numbers) {
    CopyCells(out, run.first, run.count);
    out += run.count;
  }
  g_blockCount = begin + count;
  level.blockBegin = begin;
  level.blockEnd = begin + count;
}

void RestoreFunctionLocals(int32_t d) {
  CallLevel& level = g_callLevels[d];
  if (level.savedEnd > level.savedBegin) {
    for (uint32_t i = level.savedEnd; i-- > level.savedBegin;) PutBack(g_saved[i]);
    g_savedCount = level.savedBegin;
  }
  if (level.blockEnd > level.blockBegin) {
    const VarCell* in = reinterpret_cast<const VarCell*>(g_blocks.data() + level.blockBegin);
    for (const CellRun& run : g_plans[size_t(level.callerFunction)].numbers) {
      CopyCells(run.first, in, run.count);
      in += run.count;
    }
    g_blockCount = level.blockBegin;
  }
  level.savedBegin = level.savedEnd = level.blockBegin = level.blockEnd = 0;
}

void UnwindFunctionCalls() {
  if (!g_callLevels) return;
  if (!g_cells) {
    DropSaved();
  } else {
    for (int32_t d = g_callStack.depth; d-- > 0;)
      if (g_callLevels[d].isFunction) RestoreFunctionLocals(d);
    DropSaved();
  }
  g_callStack = CallStack{};
  g_checkedEntries.clear();
  g_entryFlags.clear();
}
