#pragma once
#include <span>

#include "core/command_table.h"

// The command families of numbered sounds (with the listener and recording) and of music.
std::span<const CommandDef> SoundCommands();
std::span<const CommandDef> MusicCommands();
