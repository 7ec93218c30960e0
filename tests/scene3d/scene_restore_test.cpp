// A display-mode change inside a run that draws 3D: at the end of that frame the subsystem
// table's restore column gives the device the lights again, the limbs their own textures, the
// models their vertex buffers and the new device the camera's view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/interp.h"
#include "display/display.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "model/mesh_node.h"
#include "model/model_handle.h"
#include "runtime/run_loop.h"
#include "scene3d/camera.h"
#include "scene3d/object_model.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene_state.h"
#include "tests/support/program_run.h"

namespace {

constexpr int kBuild = 13, kChangeMode = 14, kDraw = 15;

struct Seen {
  uint32_t object = 0, image = 0;
  int32_t textureAfterChange = -1;  // the image's texture before the frame ends
  int32_t limbTexture = 0, imageTexture = 0;
  bool bufferOnDevice = false, cameraViewSent = false;
  bool lightZeroOn = false;
  uint32_t drawn = 0;
};
Seen g_seen;
std::vector<std::string> g_trace;

// A program's image 1, grabbed from the screen.
uint32_t GrabImage() {
  const uint32_t r = BindImageNumber(1);
  GrabImageFromBitmap(r, 0, 0, 0, 16, 16, 0);
  return r;
}

MeshNode* ObjectMesh() {
  const ObjectRecord& o = g_objectPool[g_seen.object];
  return o.model && o.model->root ? dynamic_cast<MeshNode*>(o.model->root->firstChild) : nullptr;
}

// An object of one box limb whose texture is its own, made from image 1; the sprite frame that
// ties the object to the image.
void CmdBuild() {
  g_seen.image = GrabImage();
  const uint32_t mesh = AllocMeshData();
  BuildBoxMesh(mesh, 1, 1, 1);
  g_seen.object = AllocObjectRecord();
  EnsureObjectVisual(g_seen.object, mesh);
  LimbRecord& limb = g_objectPool[g_seen.object].limbs[0];
  limb.textureImage = int32_t(g_seen.image);
  limb.ownTexture = AcquireImageTexture(g_seen.image, 1);
  const uint32_t frame = AllocFrameRecord();
  g_framePool[frame].belongsTo3D = 1;
  g_framePool[frame].ownerObject = int32_t(g_seen.object);
  g_scene.camera.position[2] = -50;
  g_scene.camera.viewMode = kCameraAngles;
  ApplyCameraView();
  LeaveSlice = 1;
}

// The mode changes; the program grabs its image again, as it must after a change.
void CmdChangeMode() {
  int32_t w = 800, h = 600, d = 32, software = g_display.software;
  SetDisplayMode(&w, &h, &d, &software, g_display.width, g_display.height, g_display.depth, g_display.software);
  g_seen.image = GrabImage();
  g_seen.textureAfterChange = ImageAt(g_seen.image)->texture;
  LeaveSlice = 1;
}

void CmdDraw() {
  const float* view = g_display.device->State().transforms[kTransformView - 1];
  g_seen.cameraViewSent = view[14] == 50 && std::memcmp(view, g_scene.camera.view, sizeof g_scene.camera.view) == 0;
  g_seen.limbTexture = g_objectPool[g_seen.object].limbs[0].ownTexture;
  g_seen.imageTexture = ImageAt(g_seen.image)->texture;
  g_seen.lightZeroOn = g_display.device->State().lightOn[0] != 0;
  if (MeshNode* mesh = ObjectMesh()) {
    g_seen.bufferOnDevice = g_display.device->VertexBufferData(mesh->vertexBuffer) != nullptr;
    mesh->DrawTextureGroup(*g_display.device, mesh->textureNumber, &g_seen.drawn);
  }
}

}  // namespace

TEST(SceneRestore, ADisplayChangeRestoresLimbTexturesAndModelBuffers) {
  g_seen = Seen{};
  g_trace.clear();
  g_frameTrace = &g_trace;
  ImageBuilder b;
  b.Emit({kBuild});
  b.Emit({kChangeMode});
  b.Emit({kDraw});
  b.Emit({0});
  TestRun run;
  run.frames = 5;
  run.install = [] {
    InstallTestCommand(kBuild, CmdBuild, "");
    InstallTestCommand(kChangeMode, CmdChangeMode, "");
    InstallTestCommand(kDraw, CmdDraw, "");
  };
  EXPECT_EQ(RunTestImage(b, run), 0);
  g_frameTrace = nullptr;
  EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "RestoreSubsystems"), 1);
  EXPECT_EQ(g_seen.textureAfterChange, 0);  // the change dropped every texture
  EXPECT_GT(g_seen.limbTexture, 0);
  EXPECT_EQ(g_seen.limbTexture, g_seen.imageTexture);
  EXPECT_TRUE(g_seen.bufferOnDevice);
  EXPECT_TRUE(g_seen.lightZeroOn);
  EXPECT_TRUE(g_seen.cameraViewSent);
  EXPECT_EQ(g_seen.drawn, 36u);
}
