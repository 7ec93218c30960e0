#pragma once
// FluidSynth (MIDI music): the functions called, in a table filled when the library is first opened.
// Callers open it before their first call and go through the table.
#include <string>

#include <fluidsynth.h>

#define VK_FLUIDSYNTH_FUNCTIONS(X) \
  X(fluidsynth, delete_fluid_player) \
  X(fluidsynth, delete_fluid_settings) \
  X(fluidsynth, delete_fluid_synth) \
  X(fluidsynth, fluid_is_midifile) \
  X(fluidsynth, fluid_player_add) \
  X(fluidsynth, fluid_player_add_mem) \
  X(fluidsynth, fluid_player_play) \
  X(fluidsynth, fluid_player_stop) \
  X(fluidsynth, fluid_set_log_function) \
  X(fluidsynth, fluid_settings_setint) \
  X(fluidsynth, fluid_settings_setnum) \
  X(fluidsynth, fluid_synth_sfcount) \
  X(fluidsynth, fluid_synth_sfload) \
  X(fluidsynth, fluid_synth_system_reset) \
  X(fluidsynth, fluid_synth_write_s16) \
  X(fluidsynth, new_fluid_player) \
  X(fluidsynth, new_fluid_settings) \
  X(fluidsynth, new_fluid_synth)

struct FluidSynthApi {
#define VK_SLOT(lib, name) decltype(&::name) name = nullptr;
  VK_FLUIDSYNTH_FUNCTIONS(VK_SLOT)
#undef VK_SLOT
};
extern FluidSynthApi g_fluid;

// Opens the library once per process; false, with the reason in *why, when it
// cannot be loaded or lacks a function. Safe from any thread.
bool OpenFluidSynth(std::string* why = nullptr);
