// Command families of the runtime core are gathered here as their handlers are built.
#include "core/command_table.h"

std::span<const CommandDef> CoreCommands() { return {}; }
