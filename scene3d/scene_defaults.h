#pragma once
#include <cstdint>

// The steps of the scene's parts that its start-up, reset and restore run in order.

// Room for this many vertices is reserved in the static world at each run's start.
inline constexpr int32_t kStaticWorldDefaultVertices = 4000;

void ResetBackdrop();       // no object, no texture, not shown
void CreateDefaultLight();  // light 0, the default directional light
void RestoreAllLights();    // every light in use sent to the device again
void ReserveStaticWorldDefault();
