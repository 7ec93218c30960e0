#pragma once

// Empties the call stack of subroutines and user functions (run start).
void ResetCallStack();
// Unwinds every open user-function call (restoring the callers' locals).
void UnwindFunctionCalls();
