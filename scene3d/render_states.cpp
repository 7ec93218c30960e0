// The render-state cache and the small state routines: stage 0's texture and filters, the
// materials, the mip filter.
#include "scene3d/render_states.h"

#include "display/display.h"
#include "display/textures.h"
#include "scene3d/scene_state.h"

namespace {

// Stage 0 filter values: point, linear, anisotropic (minification and magnification number
// the last differently); mip filter none, point, linear.
enum : uint32_t { kFilterPoint = 1, kFilterLinear = 2, kMinAnisotropic = 3, kMagAnisotropic = 5 };
// Stage 0's colour taken from the texture, modulated by the lit colour.
enum : uint32_t { kArgTexture = 2, kOpModulate = 4 };

RenderStateCache& C() { return g_scene.render.cache; }
const RenderSwitches& S() { return g_scene.render.switches; }

// Sends a render state when the cache entry differs, and keeps it.
template <class T>
void Send(T& entry, T value, uint32_t state, uint32_t deviceValue) {
  if (entry == value) return;
  entry = value;
  if (Device3D* d = g_display.device.get()) d->SetRenderState(state, deviceValue);
}

void SendDepth(uint8_t test, uint8_t write) {
  Send(C().depthTest, test, kRsZEnable, test);
  Send(C().depthWrite, write, kRsZWriteEnable, write);
}

void SendFill(uint8_t wireframe) {
  Send(C().wireframe, wireframe, kRsFillMode, wireframe ? kFillWireframe : kFillSolid);
}

void SendFiltering(uint8_t filtering) {
  if (C().filtering == filtering) return;
  C().filtering = filtering;
  filtering ? ApplyBestTextureFilter() : ApplyPointFilter();
}

void SendMaterial(uint8_t material) {
  if (C().material == material) return;
  C().material = material;
  ApplyMaterial();
}

void SendAddressMode(uint32_t mode) {
  if (C().addressMode == mode) return;
  C().addressMode = mode;
  if (Device3D* d = g_display.device.get()) d->SetTextureStageState(0, kTssAddress, mode);
}

// Alpha blending (kind bit 0) and colour keying (bit 1), with the factor pair of the mode.
// Colour keying alone switches blending off, so what shows never depends on what was drawn
// before.
void SendBlend(uint8_t kind, uint8_t mode) {
  if (C().blendKind == kind && C().blendMode == mode) return;
  C().blendKind = kind, C().blendMode = mode;
  Device3D* d = g_display.device.get();
  if (!d) return;
  d->SetRenderState(kRsAlphaBlendEnable, kind & 1);
  d->SetRenderState(kRsColourKeyEnable, (kind >> 1) & 1);
  if (kind & 1) {
    // Without an alternative pair the default one serves.
    const bool alternative = mode == 1 && g_display.multiplySrc != 0 && g_display.multiplyDest != 0;
    d->SetRenderState(kRsSrcBlend, alternative ? g_display.multiplySrc : g_display.blendSrc);
    d->SetRenderState(kRsDestBlend, alternative ? g_display.multiplyDest : g_display.blendDest);
  } else {
    d->SetRenderState(kRsSrcBlend, g_display.blendSrc == kBlendOne ? kBlendOne : kBlendSrcAlpha);
    d->SetRenderState(kRsDestBlend, kBlendInvSrcAlpha);
  }
}

}  // namespace

void ResetRenderStateCache() { C() = RenderStateCache{}; }

void ApplyFrameRenderStates(const FrameRecord& f) {
  if (f.noDepth)
    SendDepth(0, 0);
  else
    SendDepth(f.depthTest ? 1 : 0, f.depthWrite && !f.blend ? 1 : 0);
  // The device's colour key is always available.
  const uint8_t kind = uint8_t((g_display.blendLevel > 0 && f.blend ? 1 : 0) + (f.colourKeyed ? 2 : 0));
  SendBlend(kind, f.blendMode == 1 ? 1 : 0);
  SendFill(f.wireframe ? 1 : 0);
  Send(C().culling, uint8_t(f.cull ? 1 : 0), kRsCullMode, f.cull ? kCullCounterClockwise : kCullNone);
  SendFiltering(f.filter ? 1 : 0);
  SendMaterial(f.altMaterial ? 2 : f.defaultMaterial ? 1 : 3);
  if (S().fogOn) Send(C().fog, uint8_t(f.fog ? 1 : 0), kRsFogEnable, f.fog ? 1u : 0u);
  Send(C().normalise, S().normaliseOn, kRsNormalizeNormals, S().normaliseOn);
  SendAddressMode(f.addressMode);
}

void ApplyDefaultRenderStates() {
  SendDepth(1, 1);
  SendBlend(0, 0);
  SendFill(S().staticWireframe == 1 ? 1 : 0);
  Send(C().culling, uint8_t(1), kRsCullMode, kCullCounterClockwise);
  SendFiltering(1);
  SendMaterial(1);
  if (S().fogOn) Send(C().fog, uint8_t(1), kRsFogEnable, 1);
  if (S().normaliseOn) Send(C().normalise, uint8_t(1), kRsNormalizeNormals, 1);
  SendAddressMode(S().staticAddressMode);
}

void SetStageTexture(int32_t texture) {
  Device3D* d = g_display.device.get();
  if (!d) return;
  TextureContainer* c = texture > 0 ? TextureAt(uint32_t(texture)) : nullptr;
  d->SetTexture(0, c ? c->Handle() : 0);
}

void ApplyPointFilter() {
  Device3D* d = g_display.device.get();
  if (!d) return;
  d->SetTextureStageState(0, kTssColourArg1, kArgTexture);
  d->SetTextureStageState(0, kTssColourOp, kOpModulate);
  d->SetTextureStageState(0, kTssMinFilter, kFilterPoint);
  d->SetTextureStageState(0, kTssMagFilter, kFilterPoint);
}

void ApplyBestTextureFilter() {
  Device3D* d = g_display.device.get();
  if (!d) return;
  if (g_display.filterLevel == 1) {
    d->SetTextureStageState(0, kTssMinFilter, kFilterLinear);
    d->SetTextureStageState(0, kTssMagFilter, kFilterLinear);
  } else if (g_display.filterLevel == 2) {
    d->SetTextureStageState(0, kTssMinFilter, kMinAnisotropic);
    d->SetTextureStageState(0, kTssMagFilter, kMagAnisotropic);
  } else {
    ApplyPointFilter();
  }
}

void ApplyMaterial() {
  Device3D* d = g_display.device.get();
  if (!d) return;
  const uint8_t m = C().material;
  d->SetMaterial(g_display.materials[m == 2 || m == 3 ? m - 1 : 0]);
}

int32_t SetMipFilter(int32_t mode) {
  if (mode < 0 || mode > 2 || mode == C().mipFilter || !g_display.caps.mipFilter) return 1;
  C().mipFilter = mode;
  if (Device3D* d = g_display.device.get()) d->SetTextureStageState(0, kTssMipFilter, uint32_t(mode) + 1);
  return 1;
}
