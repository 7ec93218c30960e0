#pragma once
#include <cstdint>
#include <vector>

#include "platform/zeroed_pages.h"
#include "scene3d/camera.h"
#include "scene3d/collision_state.h"
#include "scene3d/records.h"
#include "scene3d/scene_render.h"

// The state of the 3D scene's objects: the object number map, the global switches, the play list
// and the camera. One instance, put back by the scene's reset.

inline constexpr int32_t kMaxObjectNumber = 65535;

struct SceneState {
  // Object number -> object record index, 0 none (entry 0 unused).
  NumberTable objectNumbers{65536};
  // Set by the commands that move, turn or scale objects and limbs or change collision
  // settings; the collision pass clears it.
  uint32_t sceneChanged = 0;
  CollisionState collision;
  // Head of the list of playing animations.
  ObjectAnimation* playList = nullptr;
  // The vector the last box collision test between objects stored, read back by the program.
  float collisionPushBack[3] = {0, 0, 0};
  CameraState camera;
  SceneRender render;
};
extern SceneState g_scene;
