#include "display/textures.h"

int32_t AcquireImageTexture(uint32_t image, int32_t colourKey) { return AcquireImageTextureEx(image, colourKey, 0); }
int32_t AcquireImageTextureEx(uint32_t, int32_t, int32_t) { return 0; }
void RefreshImageTexture(uint32_t, int32_t, int32_t) {}
void ReleaseTexture(int32_t, bool) {}
void DetachImageTexture(uint32_t) {}
void RebuildLimbTexturesNow() {}
