#pragma once
#include <span>

#include "core/command_table.h"

// Every family of command handlers, in install order.
std::span<const CommandFamily> CommandFamilies();
// Fills the command table from every family (the placeholder first, for the commands whose
// subsystem is not built yet).
void InitCommandTable();
// Fills the table unless it was filled already.
void EnsureCommandTable();
