#pragma once
#include <cstdint>
#include <span>

// The operands of each command as its handler reads them, one letter per operand word in
// order: 'l' 'f' 's' a cell of that type, 'a' a code position, 'd' a DATA position, 'n' a
// word the handler does not read, '*' a count of words that only the command itself knows.
// An empty string is a command without operands. The handlers' own lists and the keyword
// list are both checked against this table.
struct CommandSignature {
  int32_t number;
  const char* operands;
};

std::span<const CommandSignature> CommandSignatures();
// The signature of one command (nullptr when the table has none).
const char* CommandSignatureOf(int32_t number);
// Commands the compiler emits by number, without a keyword: the user-function call and
// guard, and the two numeric conversions.
bool IsCompilerEmittedCommand(int32_t number);
