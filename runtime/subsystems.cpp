// The resets of run-time state that start-up performs around the display.
#include "runtime/subsystems.h"

#include "core/arrays.h"
#include "core/language.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "system/system_services.h"

void ResetRuntimeState() {
  g_dataReadPosition = 0;
  g_randomState = 1;
  ClearArrayTable();
  ResetDisplayRunState();
  ResetSceneRunState();
  ResetSystemState();
}

void ResetRenderDefaults() {
  ResetDisplayRenderDefaults();
  ResetSceneRenderDefaults();
}

void CreateRecordPools() {
  CreateDisplayPools();
  CreateMeshPool();
  CreateScenePools();
}

// An object's release frees its meshes: the scene goes first, the display last.
void FreeRecordPools() {
  FreeScenePools();
  FreeMeshPool();
  FreeDisplayPools();
}
