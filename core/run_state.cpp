// The resets of run-time state that start-up performs around the display.
#include "core/arrays.h"
#include "core/language.h"
#include "core/loader.h"
#include "display/display.h"
#include "scene3d/scene.h"
#include "system/system_services.h"

void ResetRuntimeState() {
  g_dataReadPosition = 0;
  g_randomState = 1;
  ClearArrayTable();
  ResetDisplayRunState();
  ResetSceneRunState();
  ResetWindowState();
}

void ResetRenderDefaults() {
  ResetDisplayRenderDefaults();
  ResetSceneRenderDefaults();
}
