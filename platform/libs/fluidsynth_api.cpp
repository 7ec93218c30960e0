#include "platform/libs/fluidsynth_api.h"

#include <cstring>

#include "platform/libs/shared_library.h"

FluidSynthApi g_fluid;

namespace {

SharedLibrary g_fluidsynthLibrary(VK_SONAME_FLUIDSYNTH);

// Resolves the functions of one library of the table; answers the first one missing.
const char* Bind(const char* lib, void* handle) {
#define VK_BIND(part, name) \
  if (std::strcmp(lib, #part) == 0 && !BindFunction(handle, #name, &g_fluid.name)) return #name;
  VK_FLUIDSYNTH_FUNCTIONS(VK_BIND)
#undef VK_BIND
  return nullptr;
}

}  // namespace

bool OpenFluidSynth(std::string* why) {
  return g_fluidsynthLibrary.Open([](void* h) { return Bind("fluidsynth", h); }, why);
}
