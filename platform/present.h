#pragma once
#include <cstdint>

// Shows finished frames in the main window (nothing when headless or without a window).
// In a window the picture is unscaled and centred in the client area (cut equally on all
// sides when the area is smaller), the rest of the client area black. Full screen scales the picture to the desktop with letterboxing. *pictureX and
// *pictureY receive where the picture's top-left corner went in the client area.
bool PresentToWindow(const uint32_t* xrgb, int32_t width, int32_t height, bool fullScreen, int32_t* pictureX,
                     int32_t* pictureY);
// Client area of the main window (0 x 0 without one).
void WindowClientSize(int32_t* width, int32_t* height);
// True when the main window has the input focus (always true without a window).
bool WindowHasFocus();
// Switches the main window between the desktop's full screen and a window.
void WindowSetFullScreen(bool on);
// Window placement for the window commands: the client area's position and size, a frame
// and caption or none, the show state (a classic show code: 0 hide, 2/6/7 minimise,
// 3 maximise, anything else show normally) and the system cursor.
void WindowPlaceClient(int32_t x, int32_t y, int32_t width, int32_t height);
void WindowSetFramed(bool framed);
void WindowApplyShowState(int32_t show);
void WindowShowCursor(bool on);
