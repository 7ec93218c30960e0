#include "core/call_stack.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/arrays.h"
#include "core/language.h"
#include "core/loader.h"

CallStack g_callStack;
CallLevel* g_callLevels = nullptr;

namespace {

// One saved cell of a caller: its value, or for a string cell the text it owned.
struct SavedCell {
  VarCell* cell;
  VarCell value;
  bool isString;
};

// The saved cells of every open call, in call order (calls nest, so this is a stack).
std::vector<SavedCell> g_saved;

// Per function number: the variable cells it owns, integers, floats, then strings.
constexpr int kMaxFunctions = 1024;
std::vector<std::vector<VarCell*>> g_owned;
// Per temporary type and window (function n uses window min(n, 19)): how many of its 50
// cells the code uses.
constexpr int kWindows = 20, kWindowCells = 50;
uint8_t g_windowUsed[3][kWindows];
bool g_programScanned = false;

bool IsStringCell(const VarCell* c) {
  return CellInRange(c, kCellStringTemp, kCellIntVar) || CellInRange(c, kCellStringVar, kCellIntLiteral);
}

// Learns, once per run, the owned variables of each function and which temporaries the code uses.
void ScanProgram() {
  g_owned.assign(kMaxFunctions, {});
  const int bases[3] = {kCellIntVar, kCellFloatVar, kCellStringVar};
  for (int t = 0; t < 3; ++t) {
    const std::vector<int32_t>& table = g_program.scopeTables[t];
    for (size_t k = 0; k < table.size() && k < 2000; ++k) {
      int owner = int16_t(table[k]);
      if (owner >= 0 && owner < kMaxFunctions) g_owned[size_t(owner)].push_back(&g_cells[bases[t] + int(k)]);
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

void Save(VarCell* cell, bool moveText) {
  SavedCell s{cell, *cell, IsStringCell(cell)};
  if (s.isString) {
    if (!cell->s) return;  // a string without a text is not saved
    if (moveText) cell->s = nullptr;
    else s.value.s = NewString(cell->s, strnlen(cell->s, kMaxText));
  }
  g_saved.push_back(s);
}

void PutBack(SavedCell& s) {
  if (CellHasArray(s.cell)) {  // the variable became an array meanwhile: its cell is the array's
    if (s.isString) std::free(s.value.s);
    return;
  }
  if (s.isString) std::free(s.cell->s);
  *s.cell = s.value;
}

void DropSaved() {
  for (SavedCell& s : g_saved)
    if (s.isString) std::free(s.value.s);
  g_saved.clear();
}

}  // namespace

void ResetCallStack() {
  if (!g_callLevels) g_callLevels = new CallLevel[kCallStackLevels];
  std::fill(g_callLevels, g_callLevels + kCallStackLevels, CallLevel{});
  DropSaved();
  g_saved.reserve(1024);
  g_callStack = CallStack{};
  g_programScanned = false;
}

void SaveFunctionLocals(int32_t d) {
  if (!g_programScanned) ScanProgram();
  CallLevel& level = g_callLevels[d];
  level.savedBegin = uint32_t(g_saved.size());
  // The parameters of the caller, as the call that entered it recorded them.
  const CallLevel& below = g_callLevels[d - 1];
  if (below.isFunction)
    for (int32_t i = 0; i < below.argCount; ++i) Save(reinterpret_cast<VarCell*>(below.entry[i]), false);
  // The variables the caller owns, but those that hold arrays.
  const int caller = g_callStack.currentFunction;
  if (caller >= 0 && caller < kMaxFunctions)
    for (VarCell* cell : g_owned[size_t(caller)])
      if (!CellHasArray(cell)) Save(cell, false);
  // The caller's temporaries: a recursive call (or a function sharing the last window)
  // computes in the same cells.
  if (caller > 0) {
    int window = std::min(int(caller), kWindows - 1);
    for (int t = 0; t < 3; ++t) {
      VarCell* base = &g_cells[t * 1000 + window * kWindowCells];
      for (int k = 0; k < g_windowUsed[t][window]; ++k) Save(base + k, true);
    }
  }
  level.savedEnd = uint32_t(g_saved.size());
}

void RestoreFunctionLocals(int32_t d) {
  CallLevel& level = g_callLevels[d];
  if (level.savedEnd > level.savedBegin) {
    for (uint32_t i = level.savedEnd; i-- > level.savedBegin;) PutBack(g_saved[i]);
    g_saved.resize(level.savedBegin);
  }
  level.savedBegin = level.savedEnd = 0;
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
}
