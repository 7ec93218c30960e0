#pragma once
#include <span>

#include "core/command_table.h"

// The display's command handlers: bitmaps, drawing, text and fonts, printing and line input.
std::span<const CommandDef> DisplayCommands();
