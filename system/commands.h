#pragma once
#include <span>

#include "core/command_table.h"

// The command families of input, force feedback, the mouse and the checklist.
std::span<const CommandDef> InputCommands();
std::span<const CommandDef> ForceCommands();
std::span<const CommandDef> MouseCommands();
std::span<const CommandDef> ChecklistCommands();
// Files and folders, file streams, FTP, and the display, window and system commands.
std::span<const CommandDef> FileCommands();
std::span<const CommandDef> StreamCommands();
std::span<const CommandDef> FtpCommands();
std::span<const CommandDef> WindowCommands();
