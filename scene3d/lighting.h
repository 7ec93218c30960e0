#pragma once
#include <cstdint>

#include "platform/device3d.h"
#include "platform/zeroed_pages.h"

// Lights, fog, ambient light and the backdrop of the scene.
//
// Lights: numbers 0..65535, each a record of the light pool; light 0 is the default white
// directional light, made by the scene defaults, and always exists. A light's record index is
// its device light: the device has kMaxLights of them, so the first kMaxLights shown lights by
// record index reach it (a shown light above the device's count takes the device light of a
// lower record that is hidden or free). Every change sends the whole light again.
//
// Material 1 (the lit material) and the ambient colour are the display's (g_display.materials[0],
// ambientLevel, ambientColour). The backdrop is a 3 x 2 tile grid standing one unit in front of
// the default view, drawn before the scene with the default view and a fixed projection.

inline constexpr int32_t kMaxLightNumber = 65535;
inline constexpr float kDefaultLightRange = 3000.0f;

struct BackdropState {
  uint32_t object = 0;          // its object record (no program number), 0 until made
  uint8_t shown = 0, showNextFrame = 0;
  int32_t texture = 0;          // the texture it shows, 0 none
  uint8_t colourTexture = 0;    // that texture is a plain colour made for it
  uint32_t mesh = 0;            // its grid's mesh data record
};

struct LightingState {
  NumberTable lightNumbers{kMaxLightNumber + 1};  // light number -> record index; 0 none (light 0 too)
  // The record whose light each device light holds, -1 none.
  int32_t slotOwner[kMaxLights] = {-1, -1, -1, -1, -1, -1, -1, -1};
  uint8_t slotOn[kMaxLights] = {};
  float fogEnd = 1000.0f;
  uint32_t fogColour = 0;
  BackdropState backdrop;
};
extern LightingState g_lighting;

// Back to a new run's state (the records themselves go with the light pool).
void ResetLightingState();

// ---- Lights.
// Light 0 in the first record of the pool; 0 when the device refused it (the engine log says so).
int CreateLight();
// The record of light n (0..65535; light 0 is record 0), kNoRecord when there is none.
uint32_t LightRecordOf(int32_t n);
// Sends the light of record r to the device with its on state; 0 on a device failure.
int UpdateLight(uint32_t r);
// The device light a record holds, -1 none.
int32_t LightSlotOf(uint32_t r);
// Returns the record to the pool after switching its device light off.
void FreeLight(uint32_t r);
// After the device was made anew: every light in use sent again, keeping its on state.
void RestoreAllLights();
// (x, y, z) - from, divided by the sum of its absolute values; a zero vector keeps *out.
void NormaliseDirectionL1(const float from[3], float x, float y, float z, float out[3]);
// The device light of a record.
Light DeviceLightOf(uint32_t r);

// ---- Fog and ambient light: sent to the device directly (not through the render's cache).
void ApplyFogOn();
void ApplyFogOff();
void ApplyFogEnd(int32_t distance);
void ApplyFogColour(uint32_t colour);
// Material 1 from the ambient share percent / 100; 0 when the device refused it.
int ApplyAmbientPercent(int32_t percent);
void ApplyAmbientColour(uint32_t colour);

// ---- Backdrop.
// Makes the backdrop when needed and shows it from the next frame (also called by the first
// object made while the automatic backdrop is on).
void BackdropOn();
void BackdropOff();
// The backdrop shows a plain colour (a shared colour texture) or an image's texture; the
// texture it showed before is released.
void SetBackdropColourTexture(uint32_t colour);
void SetBackdropImageTexture(uint32_t imageRecord);
// Every tile shows the texture from (u, v) to (u + 1, v + 1).
void ScrollBackdropTexture(float u, float v);
// (DrawBackdrop, in scene.h, draws it each frame before the scene.)
