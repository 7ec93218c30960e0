#pragma once
#include <cstdint>
#include <string>

// The state of the models subsystem, with its reset.

inline constexpr int32_t kMaxMeshNumber = 65534;

struct ModelState {
  // Mesh numbers 1..65534 to mesh data record indices, 0 for none.
  uint32_t meshNumbers[kMaxMeshNumber + 1] = {};
  // While an object's model loads: the folder of the model file (lower-cased, with its
  // separator), tried first for the textures the model names.
  std::string modelFolder;
  // Nodes the walks of model trees have stepped to, a measure of their work.
  uint64_t nodesVisited = 0;
};
extern ModelState g_model;

// Back to a new process's state: the mesh pool released, the maps cleared, the display's
// texture bank serving model textures again.
void ResetModelState();
// A run's start: a new mesh pool, its record 0 reserved.
bool StartModels();
// A run's end: every mesh record freed.
void StopModels();
