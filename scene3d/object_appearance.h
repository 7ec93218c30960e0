#pragma once
#include <cstdint>

// The look of 3D objects: the render flags of their frames, and the textures of all their limbs.
// Each takes a record in use. "Every limb" is limbs 0, 1, 2, ... while the limb exists.

// The set-flags commands: flags[0..count) are the operands after the object number (3 to 7 of
// them; solid, not keyed, culled, filtered, first material, fogged, default material when all
// are 1), then the keyed-texture refresh.
void SetObjectRenderFlags(uint32_t record, const int32_t* flags, int count);
// Address mode 0 wrap, 1 mirror, 2 clamp where the device has it (any other leaves it as it is);
// with mip 1 an unkeyed object's limb textures are rebuilt with mip-map levels.
void SetObjectTextureMode(uint32_t record, int32_t mode, int32_t mip);
// Every limb takes a new reference to the texture of the image (record imageRecord, number
// image); image 0 removes the textures.
void TextureObject(uint32_t record, int32_t image, uint32_t imageRecord);
// Every limb takes the shared texture of the colour as its own (the ones it had are released).
void ColourObject(uint32_t record, uint32_t colour);
// Every limb's texture coordinates moved by (u, v), or multiplied by them.
void ScrollObjectTexture(uint32_t record, float u, float v);
void ScaleObjectTexture(uint32_t record, float u, float v);
