#include "model/model_state.h"

#include "model/mesh_data.h"
#include "model/model_textures.h"
#include "platform/stop_request.h"

#include <algorithm>

ModelState g_model;

bool WalkStopped() {
  if (g_model.stopEndsWalks && StopSignalReceived()) g_model.walksGivenUp = true;
  return g_model.walksGivenUp;
}

namespace {
void ClearMaps() {
  g_model.meshNumbers.Reset(kMaxMeshNumber + 1);
  g_model.modelFolder.clear();
  g_model.nodesVisited = 0;
  g_model.verticesSincePoll = 0;
  g_model.walksGivenUp = false;
}
}  // namespace

void ResetModelState() {
  FreeMeshPool();
  ClearMaps();
  UseDisplayTextures();
}

bool StartModels() {
  CreateMeshPool();
  AllocMeshData();  // record 0 stands for no mesh
  return true;
}

void StopModels() {
  FreeMeshPool();
  ClearMaps();
}
