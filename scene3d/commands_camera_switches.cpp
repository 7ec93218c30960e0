// The camera's switches: the order its angles turn in, and whether a new object places it.
#include "scene3d/camera.h"
#include "scene3d/commands.h"
#include "scene3d/object_operands.h"

namespace {

// The view is built again from the angles; the view mode stays as it was.
void SetRotationOrder(uint8_t order) {
  g_scene.camera.rotationOrder = order;
  ApplyCameraAngles();
  RefreshScene();
}

void CmdSetCameraRotationZyx() { SetRotationOrder(0); }
void CmdSetCameraRotationXyz() { SetRotationOrder(1); }
void CmdAutoCameraOn() { g_scene.camera.autoCamera = 1; }
void CmdAutoCameraOff() { g_scene.camera.autoCamera = 0; }

const CommandDef kCameraSwitchCommands[] = {
    {7082, CmdSetCameraRotationZyx, ""},
    {7083, CmdSetCameraRotationXyz, ""},
    {7084, CmdAutoCameraOn, ""},
    {7085, CmdAutoCameraOff, ""},
};

}  // namespace

std::span<const CommandDef> CameraSwitchCommands() { return kCameraSwitchCommands; }
