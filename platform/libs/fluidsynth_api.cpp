#include "platform/libs/fluidsynth_api.h"

#include "platform/libs/shared_library.h"

FluidSynthApi g_fluid;

namespace {

SharedLibrary g_fluidsynthLibrary(VK_SONAME_FLUIDSYNTH);

#define VK_BIND_TABLE g_fluid
VK_DEFINE_BINDER(VK_FLUIDSYNTH_FUNCTIONS)

}  // namespace

bool OpenFluidSynth(std::string* why) {
  return g_fluidsynthLibrary.Open([](void* h) { return Bind("fluidsynth", h); }, why);
}
