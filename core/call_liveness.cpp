#include "core/call_liveness.h"

#include "core/cells.h"
#include "core/command_numbers.h"
#include "core/language.h"

namespace {

enum : uint8_t { kUndecided, kLive, kDead };

struct Scan {
  TemporaryWindow& w;
  uint8_t state[2][64] = {};

  uint8_t* StateOf(CodeWord word) {
    const uintptr_t at = uintptr_t(word);
    for (int t = 0; t < 2; ++t) {
      const uintptr_t first = reinterpret_cast<uintptr_t>(w.first[t]);
      if (at >= first && at < first + uintptr_t(w.count[t]) * sizeof(VarCell) && (at - first) % sizeof(VarCell) == 0)
        return &state[t][(at - first) / sizeof(VarCell)];
    }
    return nullptr;
  }
  void Read(CodeWord word) {
    if (uint8_t* s = StateOf(word); s && *s == kUndecided) *s = kLive;
  }
  void Write(CodeWord word) {
    if (uint8_t* s = StateOf(word); s && *s == kUndecided) *s = kDead;
  }
  void Finish(uint8_t rest) {
    for (int t = 0; t < 2; ++t)
      for (int k = 0; k < w.count[t]; ++k) w.live[t][k] = (state[t][k] == kUndecided ? rest : state[t][k]) == kLive;
  }
};

bool InCode(const CodeWord* p, int64_t words) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(p), begin = reinterpret_cast<uintptr_t>(CommandStream);
  return at >= begin && (at - begin) % sizeof(CodeWord) == 0 &&
         int64_t((at - begin) / sizeof(CodeWord)) + words <= g_codeWordCount;
}

// The argument count of a call whose command word is at p, or -1.
int32_t ArgumentCount(const CodeWord* p) {
  if (!InCode(p, 4) || !IsCellAddress(reinterpret_cast<const void*>(p[3]))) return -1;
  const int32_t n = reinterpret_cast<const VarCell*>(p[3])->i;
  return n < 0 ? 0 : (n > 64 ? -1 : n);
}

}  // namespace

void FindLiveTemporaries(const CodeWord* call, int32_t argCount, TemporaryWindow& window) {
  Scan scan{window};
  scan.Write(call[1]);
  const CodeWord* p = call + 3 + argCount;
  for (int steps = 0; steps < 256; ++steps) {
    if (!InCode(p, 1)) break;
    const CodeWord n = p[0];
    const OperatorShape shape = OperatorShapeOf(n);
    if (shape == OperatorShape::kResultOfTwo) {  // operators and comparisons: result, a, b
      if (!InCode(p, 4)) break;
      scan.Read(p[2]);
      scan.Read(p[3]);
      scan.Write(p[1]);
      p += 4;
    } else if (shape == OperatorShape::kDestinationOfSource) {  // assignments and conversions
      if (!InCode(p, 3)) break;
      scan.Read(p[2]);
      scan.Write(p[1]);
      p += 3;
    } else if (n == kCmdCallFunction) {  // another call: reads its arguments, its result is written on return
      const int32_t count = ArgumentCount(p);
      if (count < 0 || !InCode(p, 4 + count)) break;
      for (int32_t i = 0; i < count; ++i) scan.Read(p[4 + i]);
      scan.Write(p[2]);
      p += 4 + count;
    } else if (n == kCmdEndFunction || n == kCmdExitFunction) {  // return without a value: nothing more is read here
      scan.Finish(kDead);
      return;
    } else if ((n >= kCmdEndFunctionInt && n <= kCmdEndFunctionText) ||
               (n >= kCmdExitFunctionInt && n <= kCmdExitFunctionText)) {  // return of a value
      if (!InCode(p, 2)) break;
      scan.Read(p[1]);
      scan.Finish(kDead);
      return;
    } else {
      break;
    }
  }
  scan.Finish(kLive);
}
