#include "core/call_stack.h"

// The control-flow commands are not built yet: there is no call stack to empty.
void ResetCallStack() {}
void UnwindFunctionCalls() {}
