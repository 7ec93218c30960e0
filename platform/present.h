#pragma once
#include <cstdint>

// Shows finished frames in the main window (nothing when headless or without a window).
// In a window the picture is unscaled and centred in the client area (cut equally on all
// sides when the area is smaller), the strips around it filled black when borderFill is
// set. Full screen scales the picture to the desktop with letterboxing. *pictureX and
// *pictureY receive where the picture's top-left corner went in the client area.
bool PresentToWindow(const uint32_t* xrgb, int32_t width, int32_t height, bool fullScreen, bool borderFill,
                     int32_t* pictureX, int32_t* pictureY);
// Client area of the main window (0 x 0 without one).
void WindowClientSize(int32_t* width, int32_t* height);
// True when the main window has the input focus (always true without a window).
bool WindowHasFocus();
// Switches the main window between the desktop's full screen and a window.
void WindowSetFullScreen(bool on);
