#pragma once
#include <span>

#include "core/command_table.h"

// The command families of input, force feedback, the mouse and the checklist.
std::span<const CommandDef> InputCommands();
std::span<const CommandDef> ForceCommands();
std::span<const CommandDef> MouseCommands();
std::span<const CommandDef> ChecklistCommands();
