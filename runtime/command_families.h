#pragma once

// Fills the command table from every family of handlers (the placeholder first, for the
// commands whose subsystem is not built yet).
void InitCommandTable();
// Fills the table unless it was filled already.
void EnsureCommandTable();
