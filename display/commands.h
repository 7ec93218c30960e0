#pragma once
#include <span>
#include <string>

#include "core/command_table.h"

// The display's command families (display/commands_<family>.cpp).
std::span<const CommandDef> BitmapCommands();
std::span<const CommandDef> DrawCommands();
std::span<const CommandDef> TextCommands();
std::span<const CommandDef> PrintCommands();
std::span<const CommandDef> ModeCommands();

// Saves the screen to the file after the next refresh is shown.
void RequestScreenGrab(const std::string& file);
// No grab asked for, no line input under way (run start).
void ResetScreenGrab();
void ResetLineInput();
