#include "platform/libs/fluidsynth_api.h"

#include <cstdlib>
#include <string>

#include "platform/libs/shared_library.h"

FluidSynthApi g_fluid;

namespace {

SharedLibrary g_fluidsynthLibrary(VK_SONAME_FLUIDSYNTH);

#define VK_BIND_TABLE g_fluid
VK_DEFINE_BINDER(VK_FLUIDSYNTH_FUNCTIONS)

}  // namespace

bool OpenFluidSynth(std::string* why) {
  // The library loads a song's samples on OpenMP threads, and a thread it cannot make (memory
  // short) aborts the process: it gets one, the caller's. The thread runtime reads the setting
  // as it loads with the library; the process's own setting is given back after.
  const char* given = std::getenv("OMP_NUM_THREADS");
  const std::string kept = given ? given : "";
  setenv("OMP_NUM_THREADS", "1", 1);
  const bool open = g_fluidsynthLibrary.Open([](void* h) { return Bind("fluidsynth", h); }, why);
  if (given) setenv("OMP_NUM_THREADS", kept.c_str(), 1);
  else unsetenv("OMP_NUM_THREADS");
  return open;
}
