#include "platform/clipboard.h"

#include "platform/libs/sdl_api.h"

#include "platform/codepage.h"
#include "platform/window.h"

namespace {
std::string g_private;
}

bool ClipboardSetText(const std::string& text) {
  g_private = text;
  if (PlatformIsHeadless() || !SdlOpened() || !g_sdl.SDL_WasInit(SDL_INIT_VIDEO)) return true;
  return g_sdl.SDL_SetClipboardText(CodePageToUtf8(TextCodePage(), text).c_str()) == 0;
}

std::string ClipboardGetText() {
  if (PlatformIsHeadless() || !SdlOpened() || !g_sdl.SDL_WasInit(SDL_INIT_VIDEO)) return g_private;
  char* t = g_sdl.SDL_GetClipboardText();
  std::string out = t ? Utf8ToCodePage(TextCodePage(), t) : std::string();
  g_sdl.SDL_free(t);
  return out;
}
