#include "platform/input.h"

#include "platform/libs/sdl_api.h"

#include "platform/events.h"
#include "platform/window.h"

namespace {

bool g_keys[kKeyCodeCount] = {};
bool g_buttons[4] = {};
int32_t g_moveX = 0, g_moveY = 0, g_moveZ = 0;
bool g_cursorShown = false;
// A warp makes SDL report a motion to the new place; that one is not the user's movement.
bool g_warpPending = false;
int32_t g_warpX = 0, g_warpY = 0;

int ButtonOfSdl(uint8_t sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    default: return -1;
  }
}

}  // namespace

void InputLayerStart() {
  InputReleaseAll();
  g_moveX = g_moveY = g_moveZ = 0;
  g_warpPending = false;
  g_cursorShown = false;
  EventsSetRawHook(InputHandleEvent);
}

void InputLayerStop() {
  EventsSetRawHook(nullptr);
  InputReleaseAll();
}

void InputHandleEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (!e.key.repeat) InputSetKey(KeyCodeOfScancode(e.key.keysym.scancode), e.type == SDL_KEYDOWN);
      break;
    case SDL_WINDOWEVENT:
      // Keys released while the window cannot see them must not stay down.
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) InputReleaseAll();
      break;
    case SDL_MOUSEMOTION:
      if (g_warpPending && e.motion.x == g_warpX && e.motion.y == g_warpY) {
        g_warpPending = false;
        break;
      }
      InputAddMouseMotion(e.motion.xrel, e.motion.yrel);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      InputSetMouseButton(ButtonOfSdl(e.button.button), e.type == SDL_MOUSEBUTTONDOWN);
      break;
    case SDL_MOUSEWHEEL: {
      int32_t notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      InputAddMouseWheel(notches * 120);
      break;
    }
    default:
      break;
  }
}

void InputSetKey(int keyCode, bool down) {
  if (keyCode > 0 && keyCode < kKeyCodeCount) g_keys[keyCode] = down;
}

void InputReleaseAll() {
  for (bool& k : g_keys) k = false;
  for (bool& b : g_buttons) b = false;
}

void InputReadKeyboard(uint8_t state[kKeyCodeCount]) {
  for (int k = 0; k < kKeyCodeCount; ++k) state[k] = g_keys[k] ? 0x80 : 0;
}

// Movement sums saturate instead of wrapping: no amount of input may overflow them.
static int32_t AddSaturated(int32_t a, int32_t b) {
  int64_t s = int64_t(a) + b;
  if (s > INT32_MAX) return INT32_MAX;
  if (s < INT32_MIN) return INT32_MIN;
  return int32_t(s);
}

void InputAddMouseMotion(int32_t dx, int32_t dy) {
  g_moveX = AddSaturated(g_moveX, dx);
  g_moveY = AddSaturated(g_moveY, dy);
}

void InputAddMouseWheel(int32_t dz) { g_moveZ = AddSaturated(g_moveZ, dz); }

void InputSetMouseButton(int button, bool down) {
  if (button >= 0 && button < 4) g_buttons[button] = down;
}

MouseReading InputReadMouse() {
  MouseReading r;
  r.dx = g_moveX;
  r.dy = g_moveY;
  r.dz = g_moveZ;
  for (int b = 0; b < 4; ++b) r.buttons[b] = g_buttons[b] ? 0x80 : 0;
  g_moveX = g_moveY = g_moveZ = 0;
  return r;
}

void InputWarpMouse(int32_t x, int32_t y) {
  SDL_Window* window = WindowHandle();
  if (!window) return;
  g_warpPending = true;
  g_warpX = x;
  g_warpY = y;
  g_sdl.SDL_WarpMouseInWindow(window, x, y);
}

void InputShowSystemCursor(bool shown) {
  g_cursorShown = shown;
  if (WindowHandle()) g_sdl.SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

bool InputSystemCursorShown() { return g_cursorShown; }
