// Frame steps of the image bank, sprites and video animations, which are not built yet:
// with no images, sprites or animations there is nothing to age, draw or advance.
#include "display/display.h"

void UpdatePointerSprites() {}
void RestoreSpriteBackgrounds() {}
void TickRecordLifetimes() {}
void UpdateAnimations() {}
void ReleaseAllAnimations() {}
void DrawAllSprites() {}
