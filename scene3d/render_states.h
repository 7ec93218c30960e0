#pragma once
#include <cstdint>

#include "display/records.h"

// The render-state cache: what was last sent to the 3D device for each state the scene sets,
// so that a state goes to the device only when it changes. The render, the backdrop and the
// static world send these states only through here. The cache is seeded with what the display
// start leaves on the device (depth on, solid, counter-clockwise culling, best filter, wrap,
// material 1, normalising on) and put back with the scene, and after a display change.
struct RenderStateCache {
  uint8_t depthTest = 1, depthWrite = 1;
  uint8_t blendKind = 0;  // 1 alpha blending, 2 colour key, 3 both
  uint8_t blendMode = 0;  // 1: the alternative factor pair
  uint8_t wireframe = 0, culling = 1, filtering = 1;
  uint8_t material = 1;  // 1 lit, 2 full ambient, 3 diffuse only
  uint8_t fog = 0, normalise = 1;
  uint32_t addressMode = 1;
  int32_t mipFilter = 2;  // 0 none, 1 point, 2 linear
};

// Switches that feed the cache: fog (on while the program has fog on), normalising of normals
// (initially on), and the static world's fill and texture address mode.
struct RenderSwitches {
  uint8_t fogOn = 0;
  uint8_t normaliseOn = 1;
  uint8_t staticWireframe = 0;
  uint32_t staticAddressMode = 1;
};

// The cache back to what the display start leaves on the device.
void ResetRenderStateCache();
// Brings the device states in line with one frame record's render flags.
void ApplyFrameRenderStates(const FrameRecord& frame);
// The device states for the static world: depth on, no blending, culling, best filter,
// material 1; fog and normalising are switched on when wanted, never off.
void ApplyDefaultRenderStates();
// Stage 0's texture: the texture record's picture, none for 0.
void SetStageTexture(int32_t texture);
void ApplyPointFilter();
// Linear or anisotropic by the display's filter level (point at level 0).
void ApplyBestTextureFilter();
// The material the cache selects (2 or 3; any other value 1).
void ApplyMaterial();
// Stage 0's mip filter, 0 none, 1 point, 2 linear; nothing when it is the current one or the
// device has no mip filtering. Returns 1.
int32_t SetMipFilter(int32_t mode);
