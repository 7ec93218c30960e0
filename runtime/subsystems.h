#pragma once

// Where things live (folders include only their own layer and those below it):
//   platform <- core <- {compiler, display, system, collision, model, scene3d, sound} <- runtime
//   <- app, devenv.
// core/ holds the interpreter, the command table mechanics (core/command_table.h), the
// language families, errors, the run state (core/run_state.h, core/run_timing.h), the
// checklist's state and the record pool template. Each subsystem owns its record pools
// (display/record_pools.h, scene3d/record_pools.h, model/mesh_data.h). runtime/ holds start-up
// and shutdown, the run loop and the window messages, and the one list of command families
// (runtime/command_families.cpp); app/ holds main and the tool's command line.

// The resets of run-time state that start-up performs around the display.
void ResetRuntimeState();
void ResetRenderDefaults();
// Creates and frees the record pools of every subsystem.
void CreateRecordPools();
void FreeRecordPools();
