// The backdrop: a screen-filling grid of 3 x 2 tiles one unit in front of the default view (the
// camera at the origin looking along +z), drawn before the scene with that view and a fixed
// projection, so it stays behind everything whatever the camera does. It is an object record
// of its own, without a program number and outside the render's passes.
#include <algorithm>
#include <numbers>

#include "core/run_timing.h"
#include "display/display.h"
#include "display/textures.h"
#include "model/grid_mesh.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "scene3d/lighting.h"
#include "scene3d/object_model.h"
#include "scene3d/record_pools.h"
#include "scene3d/render_states.h"
#include "scene3d/scene_state.h"
#include "scene3d/scene.h"

namespace {

constexpr float kWidth = 1.6025f, kDepth = 1.2025f;
constexpr int32_t kTilesX = 3, kTilesZ = 2;
constexpr uint32_t kAutomaticColour = 128;
constexpr float kNear = 1.0f, kFar = 3000.0f;
constexpr float kFieldOfView = float(std::numbers::pi / 2.905);

ModelHandle* BackdropModel() {
  const uint32_t o = g_lighting.backdrop.object;
  if (o == 0 || !g_objectPool.InUse(o)) return nullptr;
  return g_objectPool[o].model.get();
}

// The grid, standing upright (turned 270 degrees about x) with its lower left corner placed so
// that it fills the fixed projection's view; its normals point at the viewer's light.
uint32_t MakeBackdropObject() {
  const uint32_t o = AllocObjectRecord();
  if (o == kNoRecord) return 0;
  const uint32_t mesh = AllocMeshData();
  if (mesh == kNoRecord || !BuildMatrixGridMesh(mesh, kWidth, kDepth, kTilesX, kTilesZ)) {
    if (mesh != kNoRecord) FreeMeshData(mesh);
    FreeObjectRecord(o);
    return 0;
  }
  SetMeshNormalsAll(mesh, 0.0f, 8.0f, 0.0f);
  ObjectRecord& rec = g_objectPool[o];
  rec.limbs[0].meshData[0] = int32_t(mesh);
  rec.matrixTilesX = kTilesX;
  rec.matrixTilesZ = kTilesZ;
  if (EnsureObjectVisualForLoad(o, mesh, 0) != 1) {
    FreeObjectRecord(o);  // frees the mesh with the limb
    return 0;
  }
  ModelHandleSetLimbTransform(*rec.model, 0, -0.80125f, -0.6f, 1.0f, 270.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1);
  g_lighting.backdrop.mesh = mesh;
  return o;
}

void ShowTexture(int32_t texture, uint8_t colourTexture) {
  BackdropState& b = g_lighting.backdrop;
  if (ModelHandle* m = BackdropModel(); m && m->root) m->root->SetLimbTexture(0, texture);
  // The texture shown before is the backdrop's own reference: it goes (after the new one was
  // taken, so a texture shown again is not freed in between).
  ReleaseTexture(b.texture, false);
  b.texture = texture;
  b.colourTexture = colourTexture;
}

// The states of an unlit, untested, solid, culled and filtered object in full ambient light,
// sent through the render's cache.
void SendBackdropStates() {
  FrameRecord f{};
  f.noDepth = 1;
  f.cull = 1;
  f.filter = 1;
  f.fog = 1;
  f.altMaterial = 1;
  f.addressMode = 1;
  ApplyFrameRenderStates(f);
}

}  // namespace

void BackdropOn() {
  g_timing.autoBackdrop = 0;
  BackdropState& b = g_lighting.backdrop;
  if (b.object == 0) {
    b.object = MakeBackdropObject();
    if (b.object == 0) return;
    SetBackdropColourTexture(kAutomaticColour);
  }
  b.showNextFrame = 1;
}

void BackdropOff() {
  g_timing.autoBackdrop = 0;
  g_lighting.backdrop.shown = 0;
  g_lighting.backdrop.showNextFrame = 0;
}

void SetBackdropColourTexture(uint32_t colour) { ShowTexture(LoadColorTexture(colour), 1); }

void SetBackdropImageTexture(uint32_t imageRecord) {
  const int32_t texture = AcquireImageTexture(imageRecord, 1);
  if (texture > 0) ShowTexture(texture, 0);
}

void ScrollBackdropTexture(float u, float v) {
  ModelHandle* m = BackdropModel();
  if (!m) return;
  SetAllTileUV(g_lighting.backdrop.mesh, u, v, u + 1.0f, v + 1.0f);
  ModelHandleChangeLimbMesh(*m, 0, g_lighting.backdrop.mesh);
}

void DrawBackdrop() {
  BackdropState& b = g_lighting.backdrop;
  g_scene.render.sceneBegun = 0;
  ModelHandle* model = b.shown ? BackdropModel() : nullptr;
  if (model && model->root) {
    if (Device3D* d = PrepareDevice3D()) {
      g_scene.render.sceneBegun = 1;
      const DeviceState& state = d->State();
      float view[16], projection[16], fixedView[16], fixed[16];
      std::copy_n(state.transforms[kTransformView - 1], 16, view);
      std::copy_n(state.transforms[kTransformProjection - 1], 16, projection);
      SetMatrixIdentity(fixedView);  // the camera at the origin looking along +z
      d->SetTransform(kTransformView, fixedView);
      const float aspect = float(g_display.height) / float(g_display.width);
      if (BuildProjectionMatrix(fixed, kFieldOfView, aspect, kNear, kFar) == kMathOk)
        d->SetTransform(kTransformProjection, fixed);
      SetStageTexture(b.texture);
      SendBackdropStates();
      model->root->DrawTextureGroup(*d, b.texture, nullptr);
      d->SetTransform(kTransformView, view);
      d->SetTransform(kTransformProjection, projection);
      MarkDeviceDrew();
    }
  }
  if (b.showNextFrame) {
    b.showNextFrame = 0;
    b.shown = 1;
  }
}
