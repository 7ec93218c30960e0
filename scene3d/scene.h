#pragma once
#include <cstdint>

// The 3D scene as the runtime core sees it.
// The scene's state back to a new process's (its record pools released).
void ResetSceneState();
int InitScene3D();
int ResetSceneDefaults();
int CreatePointerSprites(int32_t saveBackground);
void ReleasePointerSprites();
// Hides the pointer sprites (the hide-mouse command); CreatePointerSprites shows them again.
int HidePointerSprites();
void DrawBackdrop();
void RunScene3DStep();
void UpdateObjectAnimations();
void ClearStaticWorld();
// The scene's share of the run-time reset (object collisions on).
void ResetSceneRunState();
// The scene's share of the render defaults (fog, ambient light, camera ranges).
void ResetSceneRenderDefaults();
// True while the runtime's pointer sprites exist (the window then leaves the mouse to input).
bool PointerSpritesPresent();
