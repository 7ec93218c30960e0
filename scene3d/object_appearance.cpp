// The look of 3D objects: render flags and the textures of all limbs.
#include "scene3d/object_appearance.h"

#include "display/display.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/model_handle.h"
#include "scene3d/record_pools.h"

namespace {

// Mip-map rebuilds reload a texture with the flags 49: the character '1', DXT1 with its levels.
constexpr int kMipRebuildDigit = 49 - '0';

ObjectRecord& O(uint32_t r) { return g_objectPool[r]; }
FrameRecord& FrameOf(uint32_t r) { return g_framePool[O(r).frameIndex]; }

// Calls f(limb) for limbs 0, 1, 2, ... while the limb exists. The record is looked up again
// for each limb, as f may allocate.
template <class F>
void EachLimb(uint32_t record, F&& f) {
  for (size_t k = 0; k < O(record).limbs.size() && O(record).limbs[k].exists == 1; ++k) f(k);
}

// Calls f(limb, texture) for every existing limb of the whole limb array whose meshes have a
// texture.
template <class F>
void EachLimbTexture(uint32_t record, F&& f) {
  for (size_t k = 0; k < O(record).limbs.size(); ++k) {
    if (O(record).limbs[k].exists != 1 || !O(record).model) continue;
    int32_t texture = 0;
    ModelHandleQueryLimbTexture(*O(record).model, uint32_t(k), &texture);
    if (texture > 0) f(k, texture);
  }
}

void SetLimbTexture(uint32_t record, size_t limb, int32_t texture) {
  if (O(record).model) ModelHandleSetLimbTexture(*O(record).model, uint32_t(limb), texture);
}

}  // namespace

void SetObjectRenderFlags(uint32_t record, const int32_t* flags, int count) {
  FrameRecord& f = FrameOf(record);
  // The first operands read as "solid", "opaque", "culled", "filtered", "lit": 1 means yes.
  f.wireframe = flags[0] == 1 ? 0 : 1;
  f.colourKeyed = flags[1] == 1 ? 0 : 1;
  f.cull = flags[2] == 1 ? 1 : 0;
  if (count > 3) f.filter = flags[3] == 1 ? 1 : 0;
  if (count > 4) f.altMaterial = flags[4] == 1 ? 0 : 1;
  if (count > 5) f.fog = flags[5] != 0 ? 1 : 0;
  if (count > 6) f.defaultMaterial = flags[6] != 0 ? 1 : 0;
  // Keying is taken when a texture is made: the limbs' textures are made again with it.
  if (f.colourKeyed == 1)
    EachLimbTexture(record, [](size_t, int32_t texture) { CreateTextureSlotDefault(uint32_t(texture)); });
}

void SetObjectTextureMode(uint32_t record, int32_t mode, int32_t mip) {
  const DeviceCaps& caps = g_display.caps;
  FrameRecord& f = FrameOf(record);
  if (mode == 0 && caps.addressWrap) f.addressMode = 1;
  else if (mode == 1 && caps.addressMirror) f.addressMode = 2;
  else if (mode == 2 && caps.addressClamp) f.addressMode = 3;
  if (mip == 1 && f.colourKeyed == 0 && caps.mipFilter)
    EachLimbTexture(record, [](size_t, int32_t texture) { ReloadTextureSlot(uint32_t(texture), kMipRebuildDigit); });
}

void TextureObject(uint32_t record, int32_t image, uint32_t imageRecord) {
  EachLimb(record, [&](size_t k) {
    const int32_t texture = image >= 1 ? AcquireImageTexture(imageRecord, 1) : 0;
    SetLimbTexture(record, k, texture);
    LimbRecord& limb = O(record).limbs[k];
    limb.textureImage = int32_t(imageRecord);
    limb.imageNumber = image;
  });
}

void ColourObject(uint32_t record, uint32_t colour) {
  EachLimb(record, [&](size_t k) {
    LimbRecord& limb = O(record).limbs[k];
    if (limb.ownTexture != 0) ReleaseTexture(limb.ownTexture, false);
    limb.ownTexture = 0;
  });
  EachLimb(record, [&](size_t k) {
    const int32_t texture = LoadColorTexture(colour);
    SetLimbTexture(record, k, texture);
    LimbRecord& limb = O(record).limbs[k];
    limb.ownTexture = texture;
    limb.textureImage = 0;
    limb.imageNumber = 0;
  });
}

void ScrollObjectTexture(uint32_t record, float u, float v) {
  EachLimb(record, [&](size_t k) {
    if (O(record).model) ModelHandleScrollLimbTexture(*O(record).model, uint32_t(k), u, v);
  });
}

void ScaleObjectTexture(uint32_t record, float u, float v) {
  EachLimb(record, [&](size_t k) {
    if (O(record).model) ModelHandleScaleLimbTexture(*O(record).model, uint32_t(k), u, v);
  });
}
