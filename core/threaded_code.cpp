#include "core/threaded_code.h"

#include <vector>

#include "core/command_table.h"
#include "core/loader.h"

uintptr_t g_threadedBegin = 0;
uintptr_t g_threadedBytes = 0;
intptr_t g_threadedDelta = 0;

namespace {

std::vector<ThreadedHandler> g_handlers;
uint64_t g_builtGeneration = 0;
// The command numbers met in the code, with the table's handler when the handlers were built:
// if any of them changed, the handlers are built again.
struct UsedNumber {
  int32_t number;
  CommandHandler handler;
};
std::vector<UsedNumber> g_used;

bool TableUnchanged() {
  for (const UsedNumber& u : g_used)
    if (g_commandTable[u.number] != u.handler) return false;
  return true;
}

void Build() {
  const int64_t count = g_codeWordCount + 1;  // the guard word too
  g_handlers.assign(size_t(count), RunOtherCommand);
  g_used.clear();
  std::vector<uint8_t> seen(kCommandSlots, 0);
  for (int64_t k = 0; k < count; ++k) {
    const CodeWord n = CommandStream[k];
    if (n < 0 || n >= kCommandSlots) continue;
    if (!seen[size_t(n)]) {
      seen[size_t(n)] = 1;
      g_used.push_back(UsedNumber{int32_t(n), g_commandTable[n]});
    }
    if (!HasFastForm(n)) continue;
    ThreadedHandler form = ControlFormAt(&CommandStream[k], count - k);
    if (!form) form = OperatorFormAt(&CommandStream[k], count - k);
    g_handlers[size_t(k)] = form ? form : g_fastEntries[n].fast;
  }
  g_builtGeneration = g_codeGeneration;
}

}  // namespace

bool HasFastForm(CodeWord n) {
  return n >= 0 && n < kCommandSlots && g_commandTable[n] && g_fastEntries[n].slow == g_commandTable[n];
}

void DropThreadedCode() {
  g_threadedBegin = 0;
  g_threadedBytes = 0;
  g_threadedDelta = 0;
  g_builtGeneration = 0;
}

bool PrepareThreadedCode() {
  if (!CommandStream || CommandStream != g_loadedCode || g_codeGeneration == 0) {
    DropThreadedCode();
    return false;
  }
  if (g_builtGeneration != g_codeGeneration || !TableUnchanged()) Build();
  g_threadedBegin = reinterpret_cast<uintptr_t>(CommandStream);
  g_threadedBytes = uintptr_t(g_codeWordCount + 1) * sizeof(CodeWord);
  g_threadedDelta = intptr_t(reinterpret_cast<uintptr_t>(g_handlers.data()) - g_threadedBegin);
  return true;
}
