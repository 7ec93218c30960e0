#pragma once
#include <span>

#include "core/command_table.h"

// The language's command families (core/commands_<family>.cpp).
std::span<const CommandDef> ControlCommands();
std::span<const CommandDef> DataCommands();
std::span<const CommandDef> OperatorCommands();
std::span<const CommandDef> ArrayCommands();
std::span<const CommandDef> StringCommands();
std::span<const CommandDef> MathsCommands();
std::span<const CommandDef> TimingCommands();
