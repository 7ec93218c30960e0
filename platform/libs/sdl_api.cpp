#include "platform/libs/sdl_api.h"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/libs/shared_library.h"

SdlApi g_sdl;

namespace {

SharedLibrary g_sdlLibrary(VK_SONAME_SDL2);
std::atomic<bool> g_opened{false};
std::mutex g_hintsMu;
std::vector<std::pair<std::string, std::string>> g_hints;  // set before the library opened

#define VK_BIND_TABLE g_sdl
VK_DEFINE_BINDER(VK_SDL_FUNCTIONS)

}  // namespace

bool OpenSdl(std::string* why) {
  if (!g_sdlLibrary.Open([](void* h) { return Bind("SDL2", h); }, why)) return false;
  std::lock_guard<std::mutex> lock(g_hintsMu);
  if (!g_opened.load()) {
    for (const auto& [name, value] : g_hints) g_sdl.SDL_SetHint(name.c_str(), value.c_str());
    g_hints.clear();
    g_opened.store(true);
  }
  return true;
}

bool SdlOpened() { return g_opened.load(); }

void SdlHint(const char* name, const char* value) {
  std::lock_guard<std::mutex> lock(g_hintsMu);
  if (g_opened.load()) {
    g_sdl.SDL_SetHint(name, value);
    return;
  }
  for (auto& hint : g_hints)
    if (hint.first == name) {
      hint.second = value;
      return;
    }
  g_hints.emplace_back(name, value);
}
