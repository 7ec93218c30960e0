// The resets of run-time state that start-up performs around the display.
#include "core/arrays.h"
#include "core/loader.h"
#include "display/display.h"
#include "scene3d/scene.h"
#include "system/system_services.h"

extern int32_t g_dataReadPosition;

void ResetRuntimeState() {
  g_dataReadPosition = 0;
  ClearArrayTable();
  ResetDisplayRunState();
  ResetSceneRunState();
  ResetWindowState();
}

void ResetRenderDefaults() {
  ResetDisplayRenderDefaults();
  ResetSceneRenderDefaults();
}
