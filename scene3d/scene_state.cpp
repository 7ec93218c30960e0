#include "scene3d/scene_state.h"

SceneState g_scene;
