#pragma once
#include <span>

#include "core/command_table.h"

// The models subsystem's command family (model/commands_<family>.cpp).
std::span<const CommandDef> ModelFileCommands();
