#include "platform/window.h"

#include "platform/libs/sdl_api.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"
#include "platform/events.h"
#include "platform/message_name.h"

namespace {
bool g_headless = false;
bool g_displayRequired = false;
bool g_videoStarted = false;
SDL_Window* g_window = nullptr;
}  // namespace

void PlatformSetHeadless(bool on) { g_headless = on; }
void PlatformRequireDisplay(bool on) { g_displayRequired = on; }
bool PlatformIsHeadless() { return g_headless; }

namespace {
bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// No display can be opened (why: SDL's reason, or ""): headless from here on, unless a display
// is required.
bool NoDisplay(const char* why) {
  const std::string reason = why && *why ? std::string(" (") + why + ")" : "";
  if (g_displayRequired) {
    std::fprintf(stderr, "%s: no display available%s\n", MessageName(), reason.c_str());
    return false;
  }
  std::fprintf(stderr, "%s: no display available%s; running headless\n", MessageName(), reason.c_str());
  g_headless = true;
  return true;
}
}  // namespace

bool PlatformVideoInit() {
  if (!g_headless && !g_videoStarted) {
    const bool asked = EnvSet("SDL_VIDEODRIVER");
    if (!asked && !EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY")) {
      // No desktop to reach: say so without letting SDL probe the desktop drivers, which print
      // their own complaints before falling back to a driver that shows nothing.
      if (!NoDisplay(nullptr)) return false;
    } else if (std::string why; !OpenSdl(&why)) {
      if (!NoDisplay(why.c_str())) return false;
    } else if (g_sdl.SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0) {
      g_videoStarted = true;
      const char* got = g_sdl.SDL_GetCurrentVideoDriver();
      // The picture is composed on the CPU and copied to the window once a frame: where the
      // driver has a framebuffer of its own, that copy needs no GL context, which would take
      // longer to start than the rest of a run (a hint in the environment still decides).
      if (got && (std::strcmp(got, "x11") == 0 || std::strcmp(got, "offscreen") == 0))
        g_sdl.SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
      // A driver that shows nothing, unless it was asked for, means there is no display.
      if (!asked && got && (std::strcmp(got, "offscreen") == 0 || std::strcmp(got, "dummy") == 0)) {
        g_sdl.SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        g_videoStarted = false;
        if (!NoDisplay(nullptr)) return false;
      }
    } else if (!NoDisplay(g_sdl.SDL_GetError())) {
      return false;
    }
  }
  EventsInit(g_headless);
  return true;
}

void PlatformVideoQuit() {
  WindowDestroy();
  if (g_videoStarted) g_sdl.SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
  g_videoStarted = false;
  EventsInit(true);
}

bool WindowCreate(const std::string& title, int width, int height, bool fullScreen) {
  if (g_headless) return true;
  if (g_window) return true;
  if (!OpenSdl()) return false;
  Uint32 flags = SDL_WINDOW_SHOWN | (fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  g_window = g_sdl.SDL_CreateWindow(CodePageToUtf8(TextCodePage(), title).c_str(), SDL_WINDOWPOS_CENTERED,
                              SDL_WINDOWPOS_CENTERED, width, height, flags);
  if (g_window) g_sdl.SDL_StartTextInput();
  return g_window != nullptr;
}

void WindowDestroy() {
  if (g_window) g_sdl.SDL_DestroyWindow(g_window);
  g_window = nullptr;
}

void WindowSetTitle(const std::string& title) {
  if (g_window) g_sdl.SDL_SetWindowTitle(g_window, CodePageToUtf8(TextCodePage(), title).c_str());
}

SDL_Window* WindowHandle() { return g_window; }

bool ShowMessageBox(const std::string& text, const std::string& title, bool isError) {
  if (g_headless || !g_videoStarted) return false;
  return g_sdl.SDL_ShowSimpleMessageBox(isError ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION,
                                  CodePageToUtf8(TextCodePage(), title).c_str(),
                                  CodePageToUtf8(TextCodePage(), text).c_str(), g_window) == 0;
}
