#pragma once
#include <span>
#include <string>

#include "core/command_table.h"

// The families of display handlers that DisplayCommands joins.
std::span<const CommandDef> BitmapCommands();
std::span<const CommandDef> DrawCommands();
std::span<const CommandDef> TextCommands();
std::span<const CommandDef> PrintCommands();
std::span<const CommandDef> ModeCommands();
