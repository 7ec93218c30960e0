#pragma once
#include <cstdint>

// Textures made from images, image files, surfaces and colours, shared by name with
// reference counts.

int32_t AcquireImageTexture(uint32_t image, int32_t colourKey);
// A new reference to the image's texture, made on first use; with transparency 1 always a
// new texture converted to DXT1 (keyed texels transparent).
int32_t AcquireImageTextureEx(uint32_t image, int32_t colourKey, int32_t transparency);
// After a grab: the texture takes the image's new picture (made again when the size or the
// transparency changed).
void RefreshImageTexture(uint32_t image, int32_t colourKey, int32_t transparency);
// Drops one reference; the last one (or force) frees the texture.
void ReleaseTexture(int32_t texture, bool force);
// The image's record is going: its texture stays for those that use it, without the image.
void DetachImageTexture(uint32_t image);
// Limbs with textures of their own get them made again (after a display change).
void RebuildLimbTexturesNow();
