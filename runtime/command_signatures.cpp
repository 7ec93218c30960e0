#include "runtime/command_signatures.h"

#include <vector>

#include "core/command_table.h"
#include "runtime/command_families.h"

// The command table is the one list of signatures: each handler family declares the operand
// kinds of its commands next to their handlers, and the loader and the keyword list are both
// checked against what the families declare.
std::span<const CommandSignature> CommandSignatures() {
  static std::vector<CommandSignature> list;
  EnsureCommandTable();
  list.clear();
  for (int32_t n = 1; n < kCommandSlots; ++n)
    if (IsCommandBuilt(n) && g_commandOperands[n]) list.push_back({n, g_commandOperands[n]});
  return list;
}

const char* CommandSignatureOf(int32_t number) {
  if (number <= 0 || number >= kCommandSlots) return nullptr;
  EnsureCommandTable();
  return IsCommandBuilt(number) ? g_commandOperands[number] : nullptr;
}

bool IsCompilerEmittedCommand(int32_t number) {
  return number == 21 || number == 26 || number == 154 || number == 155;
}
