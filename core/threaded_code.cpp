#include "core/threaded_code.h"

#include <algorithm>
#include <vector>

#include "core/command_table.h"
#include "core/loader.h"
#include "core/run_timing.h"

uintptr_t g_threadedBegin = 0;
uintptr_t g_threadedBytes = 0;
intptr_t g_threadedDelta = 0;

namespace {

// Two sets of handlers: with chains, for timed slices, and without, for program-controlled
// slices, which count the commands they run (a chain would run several as one).
std::vector<ThreadedHandler> g_handlers, g_plainHandlers;
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

PlacedForm FormAt(int64_t k, int64_t count, bool mayChain) {
  const CodeWord* at = &CommandStream[k];
  PlacedForm form = ControlFormAt(at, count - k, mayChain);
  if (!form.handler) form = OperatorFormAt(at, count - k, mayChain);
  if (!form.handler) form = ArrayFormAt(at, count - k, mayChain);
  if (form.chainsTo < 0 || k + form.chainsTo >= count || form.orChainsTo < 0 || k + form.orChainsTo >= count ||
      (form.orChainsTo && !form.chainsTo))
    return mayChain ? FormAt(k, count, false) : PlacedForm{};
  return form;
}

void Build() {
  const int64_t count = g_codeWordCount + 1;  // the guard word too
  g_handlers.assign(size_t(count), RunOtherCommand);
  g_plainHandlers.assign(size_t(count), RunOtherCommand);
  g_used.clear();
  std::vector<uint8_t> seen(kCommandSlots, 0);
  // From the end, so that the chain after each word is known: the commands a dispatch at
  // word k runs through chains.
  std::vector<uint8_t> chain(size_t(count), 0);
  for (int64_t k = count; k-- > 0;) {
    const CodeWord n = CommandStream[k];
    if (n < 0 || n >= kCommandSlots) continue;
    if (!seen[size_t(n)]) {
      seen[size_t(n)] = 1;
      g_used.push_back(UsedNumber{int32_t(n), g_commandTable[n]});
    }
    if (!HasFastForm(n)) continue;
    PlacedForm form = FormAt(k, count, true);
    auto after = [&](const PlacedForm& f) {
      return std::max(chain[size_t(k + f.chainsTo)], f.orChainsTo ? chain[size_t(k + f.orChainsTo)] : uint8_t(0));
    };
    if (form.chainsTo && after(form) >= kMaxChain) form = FormAt(k, count, false);
    if (form.chainsTo) chain[size_t(k)] = uint8_t(after(form) + 1);
    g_handlers[size_t(k)] = form.handler ? form.handler : g_fastEntries[n].fast;
    const PlacedForm plain = FormAt(k, count, false);
    g_plainHandlers[size_t(k)] = plain.handler ? plain.handler : g_fastEntries[n].fast;
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
  SelectThreadedHandlers();
  return true;
}

void SelectThreadedHandlers() {
  const std::vector<ThreadedHandler>& handlers = g_timing.timeSliceMode ? g_handlers : g_plainHandlers;
  if (handlers.size() * sizeof(CodeWord) == g_threadedBytes)
    g_threadedDelta = intptr_t(reinterpret_cast<uintptr_t>(handlers.data()) - g_threadedBegin);
}
