#pragma once
#include <cstdint>
#include <vector>

#include "model/scene_node.h"
#include "scene3d/render_states.h"

// The per-frame 3D render: its state, kept in the scene's state and put back with it.

// A frame the render collected this frame: its record, owner, camera-space far edge and
// whether the view volume test culled it; textures lists the textures its meshes use.
struct CollectedFrame {
  uint32_t frame = 0, owner = 0;
  double sortDepth = 0;
  bool culled = false;
  std::vector<int32_t> textures;
};

struct SceneRender {
  RenderStateCache cache;
  RenderSwitches switches;
  // The view of a camera at the origin looking along +z (saved by the scene defaults), used by
  // the backdrop and by objects drawn without depth.
  float defaultView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  // Set by the backdrop when it opened the scene this frame: the render then draws into it.
  uint8_t sceneBegun = 0;
  // Indices drawn since the render began (a statistic).
  uint32_t drawnIndices = 0;
  // The textures of the collected frames, in drawing order, and the frames themselves.
  SceneTextureList textures;
  std::vector<CollectedFrame> frames;
  // Work lists kept for their room: one object's textures, the frames of one pass.
  SceneTextureList ownTextures;
  std::vector<const CollectedFrame*> passFrames;
};

// The render's first step: every visible 3D frame of an object in use is collected with its
// textures and culled against the view volume; the scene's texture list is sorted by the mean
// depth entered for each texture. False when no 3D frame exists.
bool CollectSceneFrames();
// The whole render: cull, collect and sort textures, open the scene, static world, the four
// passes (solid, ghost, last pass after one depth clear, no depth with the default view), close.
// Nothing happens, and the device never starts GL, while no 3D frame exists, the static world
// is empty and the backdrop has not opened the scene.
void RenderScene3D();
// Draws the meshes of one object that use one texture (a glued object placed on its parent).
void DrawObjectTextureGroup(uint32_t object, int32_t texture);
