#pragma once
#include <cstdint>
#include <span>

// The operands of each built command as its handler reads them (the operand kinds of
// core/command_table.h). An empty string is a command without operands. The keyword list is
// checked against these.
struct CommandSignature {
  int32_t number;
  const char* operands;
};

std::span<const CommandSignature> CommandSignatures();
// The signature of one command (nullptr when it is not built).
const char* CommandSignatureOf(int32_t number);
// Commands the compiler emits by number, without a keyword: the user-function call and
// guard, and the two numeric conversions.
bool IsCompilerEmittedCommand(int32_t number);
