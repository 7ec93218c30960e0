#pragma once
#include <cstdint>

// What the scene sets up once per run, beside its pools: the default view, and the steps of the
// other parts of the scene that ResetSceneDefaults runs in order.

struct SceneDefaults {
  // The view of a camera at the origin looking along +z, read from the device when the
  // defaults are set; the backdrop and the objects drawn without depth use it.
  float defaultView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};
extern SceneDefaults g_sceneDefaults;

// Room for this many vertices is reserved in the static world at each run's start.
inline constexpr int32_t kStaticWorldDefaultVertices = 4000;

// The parts' own defaults, in the order they are set.
void ResetBackdrop();                  // no object, no texture, not shown
void ResetCameraDefaults();            // at the origin looking at (0, 0, 100), auto camera on
void ApplyCameraLookAt();              // the view from the camera's position and look-at point
void ApplyCameraView();                // the view by the camera's view mode
void CreateDefaultLight();             // light 0, the default directional light
void RestoreAllLights();               // every light sent to the device again
void ReserveStaticWorldDefault();
