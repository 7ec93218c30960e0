#include "core/call_stack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "core/arrays.h"
#include "core/call_liveness.h"
#include "core/language.h"
#include "core/loader.h"
#include "platform/zeroed_pages.h"

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
// The memory the saved texts take (text, terminator and the allocator's own share).
uint64_t g_savedTextBytes = 0;
constexpr uint64_t kTextOverhead = 16;
inline uint64_t TextCost(const char* s) { return strnlen(s, kMaxText) + 1 + kTextOverhead; }

// Per call site (code index of a call's first operand): its save plan, or -1.
std::vector<int32_t> g_sites;

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
uint64_t* g_blockData = nullptr;  // g_blocks.data(), and its size
uint32_t g_blockCapacity = 0;
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
  if (!cell->s) return;
  Push(cell, reinterpret_cast<uintptr_t>(NewString(cell->s, strnlen(cell->s, kMaxText))));
  g_savedTextBytes += TextCost(cell->s);
}

void PutBack(const SavedCell& s) {
  const bool text = IsStringCell(s.cell);
  if (text && s.raw) g_savedTextBytes -= std::min(g_savedTextBytes, TextCost(reinterpret_cast<const char*>(s.raw)));
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
  g_savedTextBytes = 0;
}

}  // namespace

// The levels are kept as zeroed pages: an empty level is all zero bytes, and most runs touch
// only the first few of them.
static_assert(std::is_trivially_copyable_v<CallLevel> && std::is_trivially_destructible_v<CallLevel>);

void ResetCallStack() {
  constexpr size_t kBytes = sizeof(CallLevel) * kCallStackLevels;
  if (!g_callLevels) g_callLevels = static_cast<CallLevel*>(ZeroedPagesAllocate(kBytes));
  else ZeroedPagesClear(g_callLevels, kBytes);
  DropSaved();
  g_callStack = CallStack{};
  g_blockCount = 0;
  g_programScanned = false;
  g_sites.clear();
  g_checkedEntries.clear();
  g_entryFlags.clear();
}

namespace {

// What a call made inside function c saves of c: its numeric variables and the integer and
// float temporaries of its window (none for the main program) as one block of raw values,
// its string variables one by one, and the texts of its string temporaries. Numeric cells own
// nothing, so a variable that holds an array just gets its own block address back.
struct SavePlan {
  // A site plan the quick call may use: the entry a call from this site was found valid for,
  // with only numeric parameters, and whether the function owns them (nullptr: not yet).
  const CodeWord* quickEntry = nullptr;
  uint8_t quickOwnsParameters = 0;
  uint8_t quickNumberResult = 0;  // the site's result cell takes a number
  uint8_t quickDirect = 0;        // no argument is a parameter written before it is read
  int16_t quickCallee = 0;        // the called function's number
  uint32_t quickCount = 0;        // numbers.size()
  bool built = false;
  bool hasText = false;            // string variables or string temporaries to save
  std::vector<VarCell*> numbers;  // the numeric cells, saved as one block
  int16_t caller = -1;            // a call site's plan: the caller and argument count it is for
  int32_t argCount = -1;
  const std::vector<VarCell*>* texts = nullptr;
  VarCell* textTemps = nullptr;
  int textTempCount = 0;
};
std::vector<SavePlan> g_plans;

void AddCell(SavePlan& plan, VarCell* cell) { plan.numbers.push_back(cell); }

// The main program's temporaries past its first 50 lie in the windows of functions.
void AddMainTemporaries(SavePlan& plan) {
  const int32_t* used = g_program.mainTemporaries;
  for (int t = 0; t < 2; ++t)
    for (int k = kWindowCells; k < used[t]; ++k) AddCell(plan, &g_cells[t * 1000 + k]);
  plan.textTemps = &g_cells[kCellStringTemp + kWindowCells];
  plan.textTempCount = std::max(used[2] - kWindowCells, 0);
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
  } else if (caller == 0) {
    AddMainTemporaries(plan);
  }
  plan.hasText = !plan.texts->empty() || plan.textTempCount > 0;
  plan.built = true;
  return plan;
}

// What a call made at depth 0 saves: only those temporaries of the main program.
int32_t g_mainPlan = -1;
int32_t MainTemporariesPlan() {
  if (g_mainPlan >= 0) return g_mainPlan;
  static const std::vector<VarCell*> kNone;
  SavePlan plan;
  plan.texts = &kNone;
  AddMainTemporaries(plan);
  plan.hasText = plan.textTempCount > 0;
  plan.built = true;
  g_plans.push_back(std::move(plan));
  g_mainPlan = int32_t(g_plans.size() - 1);
  return g_mainPlan;
}

inline const SavePlan& PlanOf(int caller) {
  SavePlan& plan = g_plans[size_t(caller)];
  return plan.built ? plan : BuildPlan(caller);
}

// A call site's own plan: the caller's plan without the temporaries the caller writes before
// it reads them after the call. Appended to g_plans after the per-function plans.

int32_t BuildSitePlan(const CodeWord* call, int32_t argCount, int caller) {
  const SavePlan base = PlanOf(caller);
  SavePlan plan;
  plan.texts = base.texts;
  plan.textTemps = base.textTemps;
  plan.textTempCount = base.textTempCount;
  plan.hasText = base.hasText;
  plan.built = true;
  plan.caller = int16_t(caller);
  plan.argCount = argCount;
  TemporaryWindow window{};
  const int w = std::min(caller, kWindows - 1);
  for (int t = 0; t < 2; ++t) {
    window.first[t] = &g_cells[t * 1000 + w * kWindowCells];
    window.count[t] = caller > 0 ? g_windowUsed[t][w] : 0;
  }
  FindLiveTemporaries(call, argCount, window);
  for (VarCell* cell : base.numbers) {
    bool keep = true;
    for (int t = 0; t < 2; ++t)
      if (cell >= window.first[t] && cell < window.first[t] + window.count[t]) keep = window.live[t][cell - window.first[t]];
    if (keep) AddCell(plan, cell);
  }
  g_plans.push_back(std::move(plan));
  return int32_t(g_plans.size() - 1);
}

// The plan for the call whose operands start at `call`.
inline int32_t PlanIndexFor(const CodeWord* call, int32_t argCount, int caller) {
  const int64_t site = call - CommandStream;
  if (site < 0 || size_t(site) >= g_sites.size()) return caller;
  int32_t& index = g_sites[size_t(site)];
  if (index < 0) {
    index = BuildSitePlan(call, argCount, caller);
    return index;
  }
  const SavePlan& s = g_plans[size_t(index)];
  return s.caller == caller && s.argCount == argCount ? index : caller;
}

// A numeric cell's value is its low 32 bits (an integer or the bits of a float): only those
// are saved and put back, as 32-bit accesses like the handlers' own, so a value stored just
// before goes straight from the store to the load.
inline uint64_t ReadCell(const VarCell* cell) { return uint32_t(cell->i); }
inline void WriteCell(VarCell* cell, uint64_t value) { cell->i = int32_t(uint32_t(value)); }

[[gnu::noinline]] void GrowBlocks(uint32_t count) {
  g_blocks.resize(g_blocks.size() * 2 + count + 256);
  g_blockData = g_blocks.data();
  g_blockCapacity = uint32_t(std::min<size_t>(g_blocks.size(), UINT32_MAX));
}

inline void EnsureProgramScanned() {
  if (!g_programScanned) {
    ScanProgram();
    g_plans.assign(kMaxFunctions, {});
    g_mainPlan = -1;
    g_sites.assign(size_t(std::max<int64_t>(g_codeWordCount, 0)), -1);
  }
}

}  // namespace

bool MainProgramKeepsTemporaries() {
  const int32_t* used = g_program.mainTemporaries;
  return used[0] > kWindowCells || used[1] > kWindowCells || used[2] > kWindowCells;
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
  const CallLevel& below = g_callLevels[d > 0 ? d - 1 : 0];
  if (d > 0 && below.isFunction && !below.ownsParameters) {
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
  level.plan = d == 0 ? MainTemporariesPlan() : PlanIndexFor(level.returnPoint, level.argCount, caller);
  const SavePlan& plan = g_plans[size_t(level.plan)];
  if (plan.hasText) {
    for (VarCell* cell : *plan.texts)
      if (!CellHasArray(cell)) SaveText(cell);
    for (int k = 0; k < plan.textTempCount; ++k) {
      VarCell* cell = plan.textTemps + k;
      if (!cell->s) continue;
      Push(cell, reinterpret_cast<uintptr_t>(cell->s));
      g_savedTextBytes += TextCost(cell->s);
      cell->s = nullptr;
    }
  }
  level.savedEnd = g_savedCount;
  const uint32_t begin = g_blockCount, count = uint32_t(plan.numbers.size());
  if (uint64_t(begin) + count > g_blockCapacity) GrowBlocks(count);
  uint64_t* out = g_blockData + begin;
  VarCell* const* cells = plan.numbers.data();
  for (uint32_t k = 0; k < count; ++k) out[k] = ReadCell(cells[k]);
  g_blockCount = begin + count;
  level.blockBegin = begin;
  level.blockEnd = begin + count;
  level.blockCells = cells;
}

void RestoreFunctionLocals(int32_t d) {
  CallLevel& level = g_callLevels[d];
  if (level.savedEnd > level.savedBegin) {
    for (uint32_t i = level.savedEnd; i-- > level.savedBegin;) PutBack(g_saved[i]);
    g_savedCount = level.savedBegin;
  }
  if (level.blockEnd > level.blockBegin) {
    const uint64_t* in = g_blockData + level.blockBegin;
    VarCell* const* cells = level.blockCells;
    const uint32_t count = level.blockEnd - level.blockBegin;
    for (uint32_t k = 0; k < count; ++k) WriteCell(cells[k], in[k]);
    g_blockCount = level.blockBegin;
  }
  level.savedBegin = level.savedEnd = level.blockBegin = level.blockEnd = 0;
}

// The save of a call whose caller has only numeric cells to save and whose site plan is
// made: false when the general save must run.
inline bool SaveNumbersQuickly(CallLevel& level, int32_t d, int caller) {
  if (!g_programScanned || caller < 0 || caller >= kMaxFunctions) return false;
  const CallLevel& below = g_callLevels[d - 1];
  if (below.isFunction && !below.ownsParameters) return false;
  const uintptr_t site = (reinterpret_cast<uintptr_t>(level.returnPoint) - reinterpret_cast<uintptr_t>(CommandStream)) /
                         sizeof(CodeWord);
  if (site >= g_sites.size()) return false;
  const int32_t index = g_sites[site];
  if (index < 0) return false;
  const SavePlan& plan = g_plans[size_t(index)];
  if (plan.caller != caller || plan.argCount != level.argCount || plan.hasText) return false;
  const uint32_t begin = g_blockCount, count = uint32_t(plan.numbers.size());
  if (uint64_t(begin) + count > g_blockCapacity) return false;
  uint64_t* out = g_blockData + begin;
  VarCell* const* cells = plan.numbers.data();
  for (uint32_t k = 0; k < count; ++k) out[k] = ReadCell(cells[k]);
  g_blockCount = begin + count;
  level.plan = index;
  level.blockCells = cells;
  level.savedBegin = level.savedEnd = g_savedCount;
  level.blockBegin = begin;
  level.blockEnd = begin + count;
  return true;
}

bool CallStackMemoryFull() {
  return uint64_t(g_savedCount) * sizeof(SavedCell) + uint64_t(g_blockCount) * sizeof(uint64_t) + g_savedTextBytes >
         kCallStackBytes;
}

namespace {

constexpr int32_t kMaxArguments = 8;

inline bool IsNumberResult(const VarCell* result) {
  return !CellInRange(result, kCellStringTemp, kCellIntVar) && !CellInRange(result, kCellStringVar, kCellIntLiteral) &&
         !CellInRange(result, kCellStringLiteral, kCellData);
}

// Readies a site's plan for the quick way of a call to the entry with n numeric arguments.
void MarkQuick(SavePlan& plan, const CodeWord* call, const CodeWord* entry, int32_t n, bool ownsParameters) {
  plan.quickOwnsParameters = ownsParameters;
  plan.quickNumberResult = IsNumberResult(reinterpret_cast<const VarCell*>(call[1]));
  plan.quickDirect = 1;
  for (int32_t j = 1; j < n; ++j)
    for (int32_t i = 0; i < j; ++i)
      if (call[3 + j] == entry[i]) plan.quickDirect = 0;
  plan.quickCallee = int16_t(entry[n]);
  plan.quickCount = uint32_t(plan.numbers.size());
  plan.quickEntry = entry;
}

// A site of the main program called at depth 0, where nothing is saved, gets an empty plan
// for the quick way (unless the site has a plan already).
constexpr int16_t kMainAtDepthZero = -2;
int32_t MarkMainSite(const CodeWord* call, const CodeWord* entry, int32_t n, bool ownsParameters) {
  const uintptr_t site = uintptr_t(call - CommandStream);
  if (!g_programScanned || site >= g_sites.size()) return 0;
  if (const int32_t index = g_sites[site]; index >= 0) {  // readied again after the calls were unwound
    SavePlan& plan = g_plans[size_t(index)];
    if (plan.caller == kMainAtDepthZero && plan.argCount == n) MarkQuick(plan, call, entry, n, ownsParameters);
    return index;
  }
  SavePlan plan;
  plan.built = true;
  plan.caller = kMainAtDepthZero;
  plan.argCount = n;
  MarkQuick(plan, call, entry, n, ownsParameters);
  g_plans.push_back(std::move(plan));
  g_sites[site] = int32_t(g_plans.size() - 1);
  return g_sites[site];
}

[[gnu::noinline]] CodeWord* CallUserFunctionSlowly(CodeWord* call) {
  const int32_t d = g_callStack.depth;
  const int32_t n = reinterpret_cast<const VarCell*>(call[2])->i;
  const uintptr_t at = (uintptr_t(call[0]) - reinterpret_cast<uintptr_t>(CommandStream)) / sizeof(CodeWord);
  if (d + 1 >= kCallStackLevels || CallStackMemoryFull() || n < 0 || n > kMaxArguments || at >= g_checkedEntries.size() ||
      g_checkedEntries[at] != n || (g_entryFlags[at] & kEntryHasText) ||
      uintptr_t(call[0]) != reinterpret_cast<uintptr_t>(CommandStream + at))
    return CallFunctionInGeneral(call);
  CodeWord* entry = CommandStream + at;
  const bool ownsParameters = (g_entryFlags[at] & kEntryOwnsParameters) != 0;
  CallLevel& level = g_callLevels[d];
  level.returnPoint = call;
  level.entry = entry;
  level.argCount = n;
  level.isFunction = 1;
  level.ownsParameters = ownsParameters;
  // Every argument is taken before any parameter changes: an argument may be a parameter or
  // a temporary of the caller (a recursive call).
  int32_t values[kMaxArguments];
  for (int32_t i = 0; i < n; ++i) values[i] = reinterpret_cast<VarCell*>(call[3 + i])->i;
  const int16_t caller = g_callStack.currentFunction;
  if (d == 0 && !MainProgramKeepsTemporaries()) {
    level.savedBegin = level.savedEnd = level.blockBegin = level.blockEnd = 0;
    level.plan = MarkMainSite(call, entry, n, ownsParameters);
  } else if (d == 0 || !SaveNumbersQuickly(level, d, caller)) {
    level.savedBegin = level.savedEnd = level.blockBegin = level.blockEnd = 0;
    SaveFunctionLocals(d);
  } else {
    // The next call from this site may take the quick way.
    MarkQuick(g_plans[size_t(level.plan)], call, entry, n, ownsParameters);
  }
  level.numberResult = IsNumberResult(reinterpret_cast<VarCell*>(call[1])) ? reinterpret_cast<VarCell*>(call[1]) : nullptr;
  for (int32_t i = 0; i < n; ++i) reinterpret_cast<VarCell*>(entry[i])->i = values[i];
  level.callerFunction = caller;
  g_callStack.currentFunction = int16_t(entry[n]);
  g_callStack.depth = d + 1;
  return entry + n + 1;
}

}  // namespace

// The quick way of a call from a site called before in the same way (the same entry and
// argument count, from the same function or from the main program at depth 0): the site's
// plan says which numeric cells to save. Everything else is done by the way above.
CodeWord* CallUserFunction(CodeWord* call) {
  const int32_t d = g_callStack.depth;
  const uintptr_t site = (reinterpret_cast<uintptr_t>(call) - reinterpret_cast<uintptr_t>(CommandStream)) / sizeof(CodeWord);
  if (site >= g_sites.size()) [[unlikely]]
    return CallUserFunctionSlowly(call);
  const int32_t index = g_sites[site];
  if (index < 0) [[unlikely]]
    return CallUserFunctionSlowly(call);
  const SavePlan& plan = g_plans[size_t(index)];
  const int16_t caller = g_callStack.currentFunction;
  // The next code word comes from the call's own operands, not through the plan: the
  // plan's fields are only tested, so the next command need not wait for them.
  const int32_t n = reinterpret_cast<const VarCell*>(call[2])->i;
  const uint32_t begin = g_blockCount, count = plan.quickCount;
  if (plan.quickEntry != reinterpret_cast<const CodeWord*>(call[0]) ||
      plan.caller != (d == 0 ? kMainAtDepthZero : caller) || plan.argCount != n ||
      d + 1 >= kCallStackLevels || (d > 0 && g_callLevels[d - 1].isFunction && !g_callLevels[d - 1].ownsParameters) ||
      uint64_t(begin) + count > g_blockCapacity || CallStackMemoryFull()) [[unlikely]]
    return CallUserFunctionSlowly(call);
  CodeWord* entry = reinterpret_cast<CodeWord*>(call[0]);
  CallLevel& level = g_callLevels[d];
  level.returnPoint = call;
  level.entry = entry;
  level.argCount = n;
  level.isFunction = 1;
  level.ownsParameters = plan.quickOwnsParameters;
  level.callerFunction = caller;
  level.numberResult = plan.quickNumberResult ? reinterpret_cast<VarCell*>(call[1]) : nullptr;
  level.savedBegin = level.savedEnd = 0;  // nothing in the save stack
  level.blockBegin = begin;
  level.blockEnd = begin + count;
  VarCell* const* cells = plan.numbers.data();
  level.blockCells = cells;
  // Saving only reads cells, so the arguments may be read after it.
  if (count) {
    uint64_t* out = g_blockData + begin;
    if (count <= 2) {  // without a loop: the same two stores whether one cell or two
      out[0] = ReadCell(cells[0]);
      out[count - 1] = ReadCell(cells[count - 1]);
    } else {
      for (uint32_t k = 0; k < count; ++k) out[k] = ReadCell(cells[k]);
    }
    g_blockCount = begin + count;
  }
  auto arg = [call](int32_t i) { return reinterpret_cast<const VarCell*>(call[3 + i])->i; };
  auto param = [entry](int32_t i) { return reinterpret_cast<VarCell*>(entry[i]); };
  if (n <= 2 && plan.quickDirect) {  // the common cases without a loop
    if (n > 0) param(0)->i = arg(0);
    if (n > 1) param(1)->i = arg(1);
  } else if (plan.quickDirect) {
    for (int32_t i = 0; i < n; ++i) param(i)->i = arg(i);
  } else {
    int32_t values[kMaxArguments];
    for (int32_t i = 0; i < n; ++i) values[i] = arg(i);
    for (int32_t i = 0; i < n; ++i) param(i)->i = values[i];
  }
  g_callStack.currentFunction = plan.quickCallee;
  g_callStack.depth = d + 1;
  return entry + n + 1;
}

CodeWord* ReturnNumber(CodeWord* pc) {
  const int32_t k = g_callStack.depth - 1;
  if (k < 0) return ReturnNumberInGeneral(pc);
  CallLevel& level = g_callLevels[k];
  VarCell* result = level.numberResult;
  // Saved texts, a result cell of another kind: the general way.
  if (!level.isFunction || !result || level.savedEnd != level.savedBegin) return ReturnNumberInGeneral(pc);
  const int32_t value = reinterpret_cast<const VarCell*>(pc[0])->i;
  g_callStack.depth = k;
  g_callStack.currentFunction = level.callerFunction;
  const uint64_t* in = g_blockData + level.blockBegin;
  VarCell* const* cells = level.blockCells;
  const uint32_t count = level.blockEnd - level.blockBegin;
  if (count - 1 < 2) {  // one cell or two: without a loop
    WriteCell(cells[0], in[0]);
    WriteCell(cells[count - 1], in[count - 1]);
  } else {
    for (uint32_t i = 0; i < count; ++i) WriteCell(cells[i], in[i]);
  }
  if (count) g_blockCount = level.blockBegin;
  level.savedBegin = level.savedEnd = level.blockBegin = level.blockEnd = 0;
  level.isFunction = 0;
  result->i = value;
  return level.returnPoint + 3 + level.argCount;
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
  for (SavePlan& plan : g_plans) plan.quickEntry = nullptr;
}
