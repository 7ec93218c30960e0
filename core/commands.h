#pragma once
#include <span>

#include "core/command_table.h"

// The command families of the language: control flow, DATA, operators, arrays, strings,
// maths, and timing.
std::span<const CommandDef> CoreCommands();
std::span<const CommandDef> TimingCommands();
