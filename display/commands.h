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
std::span<const CommandDef> AnimationCommands();
std::span<const CommandDef> ImageCommands();
std::span<const CommandDef> SpriteCommands();

// No line input under way (run start).
void ResetLineInput();
