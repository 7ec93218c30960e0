#include "runtime/command_families.h"

#include "core/command_table.h"
#include "core/commands.h"
#include "display/commands.h"
#include "model/commands.h"
#include "scene3d/commands.h"
#include "sound/commands/commands.h"
#include "system/commands.h"

namespace {

// Every family of handlers, in install order (a later family's handler wins a number).
const CommandFamily kFamilies[] = {
    {"control", ControlCommands},
    {"data", DataCommands},
    {"operators", OperatorCommands},
    {"arrays", ArrayCommands},
    {"strings", StringCommands},
    {"maths", MathsCommands},
    {"timing", TimingCommands},
    {"input", InputCommands},
    {"force feedback", ForceCommands},
    {"checklist", ChecklistCommands},
    {"mouse", MouseCommands},
    {"files", FileCommands},
    {"streams", StreamCommands},
    {"ftp", FtpCommands},
    {"window and system", WindowCommands},
    {"bitmaps", BitmapCommands},
    {"drawing", DrawCommands},
    {"text", TextCommands},
    {"print", PrintCommands},
    {"display modes", ModeCommands},
    {"animations", AnimationCommands},
    {"3d maths", Maths3dCommands},
    {"lights", LightCommands},
    {"fog and backdrop", BackdropCommands},
    {"3d objects", ObjectCommands},
    {"3d limbs", LimbCommands},
    {"3d placement", PlacementCommands},
    {"3d appearance", AppearanceCommands},
    {"3d camera", CameraCommands},
    {"matrices", MatrixCommands},
    {"3d collision", CollisionCommands},
    {"3d animation", ObjectAnimationCommands},
    {"static world", StaticWorldCommands},
    {"images", ImageCommands},
    {"sprites", SpriteCommands},
    {"model files", ModelFileCommands},
    {"sound", SoundCommands},
    {"music", MusicCommands},
};

bool g_tableFilled = false;

}  // namespace

std::span<const CommandFamily> CommandFamilies() { return kFamilies; }

void EnsureCommandTable() {
  if (!g_tableFilled) InitCommandTable();
}

void InitCommandTable() {
  ClearCommandTable();
  g_tableFilled = true;
  for (const CommandFamily& family : kFamilies) InstallFamily(family);
}
