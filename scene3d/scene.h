#pragma once
#include <cstdint>

// The 3D scene as the runtime core sees it.
// The scene's state back to a new process's (its record pools released).
void ResetSceneState();
// The scene's start: object record 0 reserved.
int InitScene3D();
int ResetSceneDefaults();
void DrawBackdrop();
void RunScene3DStep();
void UpdateObjectAnimations();
// Empties the static world (at the end of a run).
void ClearStaticWorld();
// After a display change, makes again what the scene keeps on the device: the textures of limbs
// with textures of their own, and the vertex buffers of every object's model.
void RestoreScene();
// The scene's share of the run-time reset (object collisions on).
void ResetSceneRunState();
// The scene's share of the render defaults (fog, ambient light, camera ranges).
void ResetSceneRenderDefaults();
// The backdrop-on step (also taken by the first object made while AutoBackdrop is set): clears
// AutoBackdrop.
void SwitchBackdropOn();
