#include "platform/system_info.h"

#include "platform/libs/sdl_api.h"
#include <sys/sysinfo.h>

#include <cstdio>
#include <cstring>

#include "platform/window.h"

bool MemoryAvailable(uint64_t* physical, uint64_t* withSwap) {
  struct sysinfo info;
  if (sysinfo(&info) != 0) return false;
  const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
  uint64_t available = uint64_t(info.freeram + info.bufferram) * unit;
  // MemAvailable also counts the page cache the kernel would give up.
  if (FILE* f = std::fopen("/proc/meminfo", "re")) {
    char line[128];
    unsigned long long kb = 0;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) available = uint64_t(kb) * 1024;
    std::fclose(f);
  }
  *physical = available;
  *withSwap = available + uint64_t(info.freeswap) * unit;
  return true;
}

bool DesktopSize(int32_t* width, int32_t* height) {
  SDL_Window* w = WindowHandle();
  SDL_DisplayMode mode;
  if (!w || g_sdl.SDL_GetDesktopDisplayMode(g_sdl.SDL_GetWindowDisplayIndex(w) < 0 ? 0 : g_sdl.SDL_GetWindowDisplayIndex(w), &mode) != 0)
    return false;
  *width = mode.w;
  *height = mode.h;
  return true;
}

void WindowGrabSystemKeys(bool on) {
  if (SDL_Window* w = WindowHandle()) {
    g_sdl.SDL_SetHint(SDL_HINT_GRAB_KEYBOARD, on ? "1" : "0");
    g_sdl.SDL_SetWindowKeyboardGrab(w, on ? SDL_TRUE : SDL_FALSE);
  }
}
