#pragma once
#include <cstdint>

// The 3D scene as the runtime core sees it.
// The scene's state back to a new process's (its record pools released).
void ResetSceneState();
// The scene's start of a run: its pools, object record 0 reserved, the collision library's
// default response (the scene records hits) with its cache off.
int InitScene3D();
// The run's defaults: backdrop off, camera at the origin looking along +z, light 0, the
// default view saved, room reserved in the static world.
int ResetSceneDefaults();
// The backdrop, when shown, drawn before the scene (it opens the device's scene).
void DrawBackdrop();
void RunScene3DStep();
void UpdateObjectAnimations();
// Empties the static world (at the end of a run).
void ClearStaticWorld();
// After a display change, makes again what the scene keeps on the device, in this order: the
// lights, the textures of limbs with textures of their own and the vertex buffers of every
// object's model, then the camera's view by its mode.
void RestoreScene();
// The scene's share of the run-time reset (object collisions on).
void ResetSceneRunState();
