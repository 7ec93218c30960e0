#pragma once
#include <cstdint>

#include "core/interp.h"

// Which temporaries of a function a call made inside it must keep. After the call returns,
// the function goes on at the command after the call; a temporary it writes before reading
// (or never reads again before it returns) holds nothing the function still needs, so the
// call need not save it. The result cell of the call counts as written first, since the
// return writes it after putting the saved cells back.
struct TemporaryWindow {
  VarCell* first[2];  // the function's integer and float temporaries
  int count[2];
  bool live[2][64];   // out: may be read before being written
};

// Follows the code from the call (first operand `call`, `argCount` arguments) in a straight
// line through commands whose reads and writes are known (operators, assignments,
// conversions, other calls, returns); at any other command every temporary not decided yet
// counts as live.
void FindLiveTemporaries(const CodeWord* call, int32_t argCount, TemporaryWindow& window);
