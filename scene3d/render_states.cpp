#include "scene3d/render_states.h"

#include "display/display.h"
#include "display/textures.h"

void SendRenderState(uint32_t state, uint32_t value) {
  if (Device3D* d = g_display.device.get()) d->SetRenderState(state, value);
}

void SendStageState(uint32_t state, uint32_t value) {
  if (Device3D* d = g_display.device.get()) d->SetTextureStageState(0, state, value);
}

void SendMaterial(int32_t which) {
  Device3D* d = g_display.device.get();
  if (!d) return;
  d->SetMaterial(g_display.materials[which == 2 || which == 3 ? which - 1 : 0]);
}

void SetStageTexture(int32_t texture) {
  Device3D* d = g_display.device.get();
  if (!d) return;
  TextureContainer* t = texture > 0 ? TextureAt(uint32_t(texture)) : nullptr;
  d->SetTexture(0, t ? t->Handle() : 0);
}
