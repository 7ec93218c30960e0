#pragma once
// SDL2 (window, events, sound device, joysticks): the functions called, in a table filled when
// the library is first opened. A start that shows no window and plays no sound (headless runs,
// compile, build) never loads it or the fifty libraries it brings. Callers open it before their
// first call and go through the table.
#include <string>

#include <SDL.h>

#define VK_SDL_FUNCTIONS(X) \
  X(SDL2, SDL_CloseAudioDevice) \
  X(SDL2, SDL_CreateRGBSurfaceWithFormatFrom) \
  X(SDL2, SDL_CreateWindow) \
  X(SDL2, SDL_DestroyWindow) \
  X(SDL2, SDL_FillRect) \
  X(SDL2, SDL_FreeSurface) \
  X(SDL2, SDL_GetAudioDeviceName) \
  X(SDL2, SDL_GetClipboardText) \
  X(SDL2, SDL_GetCurrentVideoDriver) \
  X(SDL2, SDL_GetDesktopDisplayMode) \
  X(SDL2, SDL_GetDisplayMode) \
  X(SDL2, SDL_GetError) \
  X(SDL2, SDL_GetNumAudioDevices) \
  X(SDL2, SDL_GetNumDisplayModes) \
  X(SDL2, SDL_GetScancodeFromName) \
  X(SDL2, SDL_GetWindowDisplayIndex) \
  X(SDL2, SDL_GetWindowFlags) \
  X(SDL2, SDL_GetWindowSize) \
  X(SDL2, SDL_GetWindowSurface) \
  X(SDL2, SDL_HapticClose) \
  X(SDL2, SDL_HapticDestroyEffect) \
  X(SDL2, SDL_HapticNewEffect) \
  X(SDL2, SDL_HapticOpenFromJoystick) \
  X(SDL2, SDL_HapticQuery) \
  X(SDL2, SDL_HapticRunEffect) \
  X(SDL2, SDL_HapticSetAutocenter) \
  X(SDL2, SDL_HapticStopEffect) \
  X(SDL2, SDL_HapticUpdateEffect) \
  X(SDL2, SDL_HideWindow) \
  X(SDL2, SDL_InitSubSystem) \
  X(SDL2, SDL_JoystickClose) \
  X(SDL2, SDL_JoystickEventState) \
  X(SDL2, SDL_JoystickGetAttached) \
  X(SDL2, SDL_JoystickGetAxis) \
  X(SDL2, SDL_JoystickGetButton) \
  X(SDL2, SDL_JoystickGetHat) \
  X(SDL2, SDL_JoystickIsHaptic) \
  X(SDL2, SDL_JoystickNameForIndex) \
  X(SDL2, SDL_JoystickNumAxes) \
  X(SDL2, SDL_JoystickNumButtons) \
  X(SDL2, SDL_JoystickNumHats) \
  X(SDL2, SDL_JoystickOpen) \
  X(SDL2, SDL_JoystickUpdate) \
  X(SDL2, SDL_MapRGB) \
  X(SDL2, SDL_MaximizeWindow) \
  X(SDL2, SDL_MinimizeWindow) \
  X(SDL2, SDL_NumJoysticks) \
  X(SDL2, SDL_OpenAudioDevice) \
  X(SDL2, SDL_PauseAudioDevice) \
  X(SDL2, SDL_PollEvent) \
  X(SDL2, SDL_QuitSubSystem) \
  X(SDL2, SDL_RestoreWindow) \
  X(SDL2, SDL_SetClipboardText) \
  X(SDL2, SDL_SetHint) \
  X(SDL2, SDL_SetWindowBordered) \
  X(SDL2, SDL_SetWindowFullscreen) \
  X(SDL2, SDL_SetWindowKeyboardGrab) \
  X(SDL2, SDL_SetWindowPosition) \
  X(SDL2, SDL_SetWindowSize) \
  X(SDL2, SDL_SetWindowTitle) \
  X(SDL2, SDL_ShowCursor) \
  X(SDL2, SDL_ShowSimpleMessageBox) \
  X(SDL2, SDL_ShowWindow) \
  X(SDL2, SDL_StartTextInput) \
  X(SDL2, SDL_UpdateWindowSurface) \
  X(SDL2, SDL_UpperBlit) \
  X(SDL2, SDL_UpperBlitScaled) \
  X(SDL2, SDL_WarpMouseInWindow) \
  X(SDL2, SDL_WasInit) \
  X(SDL2, SDL_free)

struct SdlApi {
#define VK_SLOT(lib, name) decltype(&::name) name = nullptr;
  VK_SDL_FUNCTIONS(VK_SLOT)
#undef VK_SLOT
};
extern SdlApi g_sdl;

// Opens the library once per process; false, with the reason in *why, when it cannot be loaded
// or lacks a function. Safe from any thread.
bool OpenSdl(std::string* why = nullptr);
// True once OpenSdl has succeeded: what asks whether a part of SDL runs needs not load it to hear no.
bool SdlOpened();
// Sets a hint now if the library is open, else as soon as it opens.
void SdlHint(const char* name, const char* value);
