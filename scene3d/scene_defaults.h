#pragma once

// The steps of the scene's parts that its start-up, reset and restore run in order.

void ResetBackdrop();              // no object, no texture, not shown
void CreateDefaultLight();         // light 0, the default directional light
void RestoreAllLights();           // every light in use sent to the device again
void ReserveStaticWorldDefault();  // room for 4000 vertices in the static world
