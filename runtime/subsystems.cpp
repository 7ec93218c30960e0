// The ordered table of subsystems: reset, start and stop of each run.
#include "runtime/subsystems.h"

#include <iterator>

#include "collision/collision.h"
#include "core/errors.h"
#include "core/run_state.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "model/model_state.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "scene3d/matrix_objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/static/static_world.h"
#include "sound/commands/sound_services.h"
#include "system/input.h"
#include "system/system_services.h"

namespace {

bool StartDisplay() {
  CreateDisplayPools();
  // Record 0 of the image and texture pools stands for none: no user item gets it.
  AllocImageRecord();
  AllocTextureRecord();
  LoadDefaultBitmapSurface(1);
  ResetDisplayRunState();
  CreatePointerSprites(1);
  return true;
}

void StopDisplay() {
  ReleasePointerSprites();
  ReleaseAllAnimations();
  ReleaseDefaultBitmapSurface();
  FreeProgramResources();
  FreeDisplayPools();
}

bool StartScene() {
  InitScene3D();
  ResetSceneDefaults();
  ResetSceneRunState();
  return true;
}

void StopScene() { FreeScenePools(); }

// The runtime's own part of a run: the window's record, the message queue, the clock, the error
// texts and the command table with the interpreter's hooks.
void ResetRuntime() {
  g_runWindow = RunWindow{};
  ClockUseVirtual(false);
  EventsReset();
  InitErrorTexts();
  InitCommandTable();
  InstallInterpreterHooks();
}

const Subsystem kSubsystems[] = {
    {"core", ResetCoreState, [] { StartCoreRun(); return true; }, nullptr},
    {"display", ResetDisplayState, StartDisplay, StopDisplay},
    {"animations", ReleaseAllAnimations, nullptr, nullptr},
    {"model", ResetModelState, StartModels, StopModels},
    {"scene3d", ResetSceneState, StartScene, StopScene, RestoreScene},
    {"matrices", ResetMatrixState, nullptr, nullptr},
    {"static world", ResetStaticWorld, nullptr, ClearStaticWorld, RestoreStaticWorld},
    {"collision", ResetCollisionWorld, nullptr, ResetCollisionWorld},
    {"sound", ResetSoundState, [] { InitSoundListener(); return true; }, [] { CloseAllMusic(); FreeAllSounds(); }},
    {"input", ResetInputState, nullptr, ReleaseForceFeedback},
    {"system", ResetSystemState, [] { ResetWindowState(); return true; }, StopSystemServices},
    {"runtime", ResetRuntime, nullptr, nullptr},
};

}  // namespace

void ResetSubsystems() {
  for (size_t k = std::size(kSubsystems); k-- > 0;)
    if (kSubsystems[k].reset) kSubsystems[k].reset();
}

bool StartSubsystems() {
  for (const Subsystem& s : kSubsystems)
    if (s.start && !s.start()) return false;
  return true;
}

void RestoreSubsystems() {
  for (const Subsystem& s : kSubsystems)
    if (s.restore) s.restore();
}

void StopSubsystems() {
  for (size_t k = std::size(kSubsystems); k-- > 0;)
    if (kSubsystems[k].stop) kSubsystems[k].stop();
}
