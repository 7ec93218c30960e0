#include "platform/present.h"

#include "platform/libs/sdl_api.h"

#include <algorithm>

#include "platform/window.h"

bool PresentToWindow(const uint32_t* xrgb, int32_t width, int32_t height, bool fullScreen, int32_t* pictureX,
                     int32_t* pictureY) {
  SDL_Window* w = WindowHandle();
  if (!w || !xrgb || width < 1 || height < 1) return false;
  SDL_Surface* target = g_sdl.SDL_GetWindowSurface(w);
  if (!target) return false;
  SDL_Surface* frame = g_sdl.SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(xrgb), width, height, 32, width * 4,
                                                          SDL_PIXELFORMAT_XRGB8888);
  if (!frame) return false;
  SDL_Rect dst;
  if (fullScreen) {
    // Scale to fit, keeping the picture's shape.
    double sx = double(target->w) / width, sy = double(target->h) / height, s = std::min(sx, sy);
    dst.w = int(width * s);
    dst.h = int(height * s);
    dst.x = (target->w - dst.w) / 2;
    dst.y = (target->h - dst.h) / 2;
  } else {
    dst = {(target->w - width) / 2, (target->h - height) / 2, width, height};
  }
  {
    // The whole client area outside the picture is black.
    const Uint32 black = g_sdl.SDL_MapRGB(target->format, 0, 0, 0);
    SDL_Rect strips[4] = {{0, 0, target->w, dst.y},
                          {0, dst.y + dst.h, target->w, target->h - (dst.y + dst.h)},
                          {0, 0, dst.x, target->h},
                          {dst.x + dst.w, 0, target->w - (dst.x + dst.w), target->h}};
    for (const SDL_Rect& r : strips)
      if (r.w > 0 && r.h > 0) g_sdl.SDL_FillRect(target, &r, black);
  }
  if (pictureX) *pictureX = dst.x;
  if (pictureY) *pictureY = dst.y;
  int rc = fullScreen ? g_sdl.SDL_BlitScaled(frame, nullptr, target, &dst) : g_sdl.SDL_BlitSurface(frame, nullptr, target, &dst);
  g_sdl.SDL_FreeSurface(frame);
  return rc == 0 && g_sdl.SDL_UpdateWindowSurface(w) == 0;
}

void WindowClientSize(int32_t* width, int32_t* height) {
  int w = 0, h = 0;
  if (SDL_Window* win = WindowHandle()) g_sdl.SDL_GetWindowSize(win, &w, &h);
  *width = w;
  *height = h;
}

bool WindowHasFocus() {
  SDL_Window* w = WindowHandle();
  return !w || (g_sdl.SDL_GetWindowFlags(w) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void WindowSetFullScreen(bool on) {
  if (SDL_Window* w = WindowHandle()) g_sdl.SDL_SetWindowFullscreen(w, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void WindowPlaceClient(int32_t x, int32_t y, int32_t width, int32_t height) {
  SDL_Window* w = WindowHandle();
  if (!w) return;
  g_sdl.SDL_SetWindowFullscreen(w, 0);
  if (width > 0 && height > 0) g_sdl.SDL_SetWindowSize(w, width, height);
  g_sdl.SDL_SetWindowPosition(w, x, y);
}

void WindowSetFramed(bool framed) {
  if (SDL_Window* w = WindowHandle()) g_sdl.SDL_SetWindowBordered(w, framed ? SDL_TRUE : SDL_FALSE);
}

void WindowApplyShowState(int32_t show) {
  SDL_Window* w = WindowHandle();
  if (!w) return;
  switch (show) {
    case 0: g_sdl.SDL_HideWindow(w); break;
    case 2:
    case 6:
    case 7: g_sdl.SDL_MinimizeWindow(w); break;
    case 3: g_sdl.SDL_MaximizeWindow(w); break;
    default:
      g_sdl.SDL_ShowWindow(w);
      g_sdl.SDL_RestoreWindow(w);
      break;
  }
}

void WindowShowCursor(bool on) {
  if (WindowHandle()) g_sdl.SDL_ShowCursor(on ? SDL_ENABLE : SDL_DISABLE);
}
