#include "model/model_state.h"

#include "model/mesh_data.h"

#include <algorithm>

ModelState g_model;

namespace {
void ClearMaps() {
  std::fill(std::begin(g_model.meshNumbers), std::end(g_model.meshNumbers), 0u);
  g_model.modelFolder.clear();
  g_model.loadingObject = 0;
}
}  // namespace

void ResetModelState() {
  FreeMeshPool();
  ClearMaps();
}

bool StartModels() {
  CreateMeshPool();
  return true;
}

void StopModels() {
  FreeMeshPool();
  ClearMaps();
}
