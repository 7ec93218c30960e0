#pragma once
#include "platform/surfaces.h"

// The pointer sheet: the pictures of the runtime's pointer sprites, drawn into the default
// bitmap (keyed: its key colour, black, is see-through). Each picture has its own place.
inline constexpr SurfRect kPointerArrowRect{0, 0, 20, 22};
inline constexpr SurfRect kPointerCaretRect{24, 0, 26, 22};
inline constexpr SurfRect kPointerDotRect{28, 0, 29, 1};
inline constexpr SurfRect kPointerHandRect{32, 0, 43, 17};
inline constexpr int32_t kPointerSheetSize = 64;

// Draws the arrow (white with a dark outline, its tip at the top-left corner), the caret (a
// white bar), the dot (a white pixel) and the hand shown over help links (white with a dark
// outline, its finger's tip at the top-left corner) onto the sheet.
void DrawPointerPicture(Surface& sheet);
