// Frame steps of the image bank and sprites, which are not built yet: with no images or
// sprites there is nothing to age or draw.
#include "display/display.h"

void UpdatePointerSprites() {}
void RestoreSpriteBackgrounds() {}
void TickRecordLifetimes() {}
void DrawAllSprites() {}
