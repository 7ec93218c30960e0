#include "platform/display_modes.h"

#include "platform/libs/sdl_api.h"

#include <algorithm>

#include "platform/window.h"

int32_t g_displayModeReadFailures = 0;

namespace {

struct Size {
  int32_t width, height;
  bool operator<(const Size& o) const { return width != o.width ? width < o.width : height < o.height; }
  bool operator==(const Size& o) const = default;
};

const Size kClassicSizes[] = {{320, 200},  {320, 240},  {400, 300},   {512, 384},   {640, 400},  {640, 480},
                              {800, 600},  {1024, 768}, {1152, 864},  {1280, 960},  {1280, 1024}, {1600, 1200}};
const int32_t kDepths[] = {16, 24, 32};

// Sizes of the screen SDL reports, the desktop's own included (some drivers list only empty
// modes); false when SDL cannot say.
bool ScreenSizes(std::vector<Size>* sizes) {
  SDL_DisplayMode mode;
  if (g_sdl.SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) sizes->push_back({mode.w, mode.h});
  int count = g_sdl.SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i)
    if (g_sdl.SDL_GetDisplayMode(0, i, &mode) == 0 && mode.w > 0 && mode.h > 0) sizes->push_back({mode.w, mode.h});
  return !sizes->empty();
}

}  // namespace

bool PlatformDisplayModes(std::vector<DisplayModeInfo>* modes) {
  modes->clear();
  if (g_displayModeReadFailures > 0) {
    --g_displayModeReadFailures;
    return false;
  }
  std::vector<Size> sizes;
  if (PlatformIsHeadless() || !SdlOpened() || !g_sdl.SDL_WasInit(SDL_INIT_VIDEO)) {
    sizes.assign(std::begin(kClassicSizes), std::end(kClassicSizes));
  } else {
    if (!ScreenSizes(&sizes)) return false;
    Size largest{0, 0};
    for (const Size& s : sizes) largest = {std::max(largest.width, s.width), std::max(largest.height, s.height)};
    for (const Size& s : kClassicSizes)
      if ((s.width <= largest.width && s.height <= largest.height) || s == Size{640, 480}) sizes.push_back(s);
  }
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  for (const Size& s : sizes)
    for (int32_t depth : kDepths) modes->push_back({s.width, s.height, depth});
  return true;
}
