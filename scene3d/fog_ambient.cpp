// Fog and ambient light. Fog is linear from the eye (its start is never set) to the fog end.
#include <cstring>

#include "display/display.h"
#include "scene3d/lighting.h"
#include "scene3d/render_states.h"
#include "scene3d/scene_state.h"

namespace {

void Send(uint32_t state, uint32_t value) {
  if (Device3D* d = g_display.device.get()) d->SetRenderState(state, value);
}

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

}  // namespace

void ApplyFogOn() {
  Send(g_display.caps.fogTable ? kRsFogTableMode : kRsFogVertexMode, kFogLinear);
  Send(kRsFogEnd, Bits(g_lighting.fogEnd));
  Send(kRsFogEnable, 1);
  Send(kRsFogColour, g_lighting.fogColour);
  // The render's cache follows what was sent, so frames switch fog per object from here.
  g_scene.render.switches.fogOn = 1;
  g_scene.render.cache.fog = 1;
}

void ApplyFogOff() {
  Send(kRsFogEnable, 0);
  g_scene.render.switches.fogOn = 0;
  g_scene.render.cache.fog = 0;
}

void ApplyFogEnd(int32_t distance) {
  g_lighting.fogEnd = float(distance);
  Send(kRsFogEnd, Bits(g_lighting.fogEnd));
}

void ApplyFogColour(uint32_t colour) {
  g_lighting.fogColour = colour;
  Send(kRsFogColour, colour);
}

int ApplyAmbientPercent(int32_t percent) {
  const double a = percent / 100.0;
  g_display.ambientLevel = a;
  // Only the colours: the alpha stays as the display start set it, so blending does not
  // depend on whether the share was ever changed.
  Material& m = g_display.materials[0];
  for (int i = 0; i < 3; ++i) {
    m.diffuse[i] = float(1.0 - a);
    m.ambient[i] = float(a);
  }
  Device3D* d = g_display.device.get();
  const int sent = d && d->SetMaterial(m) ? 1 : 0;
  // The device keeps the material the render's cache selected.
  if (sent && g_scene.render.cache.material != 1) ApplyMaterial();
  return sent;
}

void ApplyAmbientColour(uint32_t colour) {
  g_display.ambientColour = colour;
  Send(kRsAmbient, colour);
}
