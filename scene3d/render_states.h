#pragma once
#include <cstdint>

// The scene's way of sending device states while it draws. The render keeps what was last sent
// behind these, so a state is sent only when it changes; everything the scene draws sends its
// states through them. Each does nothing without a device.
void SendRenderState(uint32_t state, uint32_t value);
void SendStageState(uint32_t state, uint32_t value);
// Material 1 (lit: g_display.materials[0]), 2 (full ambient) or 3 (diffuse only).
void SendMaterial(int32_t which);
// Stage 0 shows the texture record's picture; 0 none.
void SetStageTexture(int32_t texture);
