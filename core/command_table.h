#pragma once
#include <cstdint>
#include <span>

#include "core/interp.h"

// One command of a family: its number, its handler and the kinds of its operand words, one
// letter each, in order: 'l' integer cell, 'f' float cell, 's' string cell, 'a' code position,
// 'd' DATA position, 'v' any cell of a temporary, variable or literal, 'n' a plain word,
// 'c' an integer literal followed by that many 'v' words, 'p' variable cells followed by a
// function number (a function definition's parameter list), '*' any number of words whose
// count the command's own first operand does not tell (the walk of the loader stops checking
// kinds at such a command). Hot language commands also give a fast form.
struct CommandDef {
  int32_t number;
  CommandHandler handler;
  const char* operands;
  FastHandler fast = nullptr;
};

// A family of handlers, offered by its folder's commands.h and listed once, in
// runtime/command_families.cpp.
struct CommandFamily {
  const char* name;
  std::span<const CommandDef> (*commands)();
};

inline constexpr int kCommandSlots = 10000;

extern CommandHandler g_commandTable[kCommandSlots];

// Register-passing forms of hot commands (the language commands): the interpreter calls
// entry n's fast form, with the operand words as argument and the next code word as result,
// while g_commandTable[n] still holds the entry's ordinary handler.
struct FastEntry {
  CommandHandler slow;
  FastHandler fast;
};
extern FastEntry g_fastEntries[kCommandSlots];
extern const char* g_commandOperands[kCommandSlots];

// Empties the table: every listed command number gets the placeholder for handlers that are
// not built yet (the families then put their own in place with InstallFamily).
void ClearCommandTable();
// Puts a family's handlers, operand kinds and fast forms in place. A function without a fast
// form (its keyword's name ends in "[") is entered as a handler that clears the result cell
// (operand 0) to 0 or the empty text and then runs the family's handler.
void InstallFamily(const CommandFamily& family);
// The handler a family installed for the number (behind the clearing of a function's result).
CommandHandler FamilyHandler(int number);
// True when the command has its own handler (not the placeholder of an unbuilt subsystem).
bool IsCommandBuilt(int number);
// True for the 879 command numbers that have a handler in the finished system.
bool IsListedCommand(int number);
int ListedCommandCount();
// Number of the command being run by the placeholder when it stopped the program (0: none).
extern int32_t g_unavailableCommand;
