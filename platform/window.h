#pragma once
#include <string>

struct SDL_Window;

// The main window over SDL. Headless runs have no window: every call then succeeds and does
// nothing, and no message box can be shown.
void PlatformSetHeadless(bool on);
bool PlatformIsHeadless();
// Starts SDL video unless headless; when no display can be opened the platform switches to
// headless by itself and says so on stderr. Returns false only on an unexpected failure, or
// when no display can be opened and one is required (said on stderr too).
bool PlatformVideoInit();
// Whether a start without a display fails instead of going headless (not by default).
void PlatformRequireDisplay(bool on);
void PlatformVideoQuit();

// Titles and the texts of message boxes are text of the text code page.
bool WindowCreate(const std::string& title, int width, int height, bool fullScreen);
void WindowDestroy();
void WindowSetTitle(const std::string& title);
SDL_Window* WindowHandle();

// A modal message box; false when none can be shown (headless, or no display).
bool ShowMessageBox(const std::string& text, const std::string& title, bool isError);
