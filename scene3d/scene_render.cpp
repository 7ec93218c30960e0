// The per-frame 3D render: view-volume cull, textures gathered and sorted by depth, then the
// objects drawn texture by texture in four passes through the render-state cache.
#include "scene3d/scene_render.h"
#include "scene3d/static/static_world.h"

#include <algorithm>
#include <cstring>

#include "display/display.h"
#include "display/record_pools.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"

namespace {

SceneRender& R() { return g_scene.render; }

// The far edge of the object in camera space, and whether it lies outside the view volume:
// the side planes count only from 100 units in front of the camera on, nearer objects are
// culled only behind the camera or past the far plane.
bool OutsideView(const FrameRecord& f, const ObjectRecord& o, double* sortDepth) {
  const CameraState& cam = g_scene.camera;
  const float s = std::max({0.0f, o.scaleX, o.scaleY, o.scaleZ});
  const float r = o.size * 1.25f * s;
  float p[3], q[3];
  // The world transform is the identity: the position goes through the view alone.
  const float* v = cam.view;
  const float* pos = f.position;
  for (int i = 0; i < 3; ++i) p[i] = pos[0] * v[i] + pos[1] * v[4 + i] + pos[2] * v[8 + i] + v[12 + i];
  const float z = p[2];
  q[0] = r, q[1] = 0, q[2] = z;
  TransformPointProjected(p, p, cam.projection);
  TransformPointProjected(q, q, cam.projection);
  *sortDepth = double(z) + double(r);
  int failed = 0;
  if (z >= 100.0f) {
    failed += p[0] + q[0] < -1.0f;
    failed += p[0] - q[0] > 1.0f;
    failed += p[1] + q[0] < -1.0f;
    failed += p[1] - q[0] > 1.0f;
  }
  failed += z + r < 0.0f;
  failed += z - r > cam.farPlane;
  return failed > 0;
}

}  // namespace

bool CollectSceneFrames() {
  SceneRender& render = R();
  render.textures.clear();
  // The records of the last frame are reused, their texture lists keeping their room.
  size_t count = 0;
  bool any3D = false;
  if (g_framePool.Created() && g_objectPool.Created()) {
    g_framePool.ForEachUsed([&](uint32_t index, FrameRecord& f) {
      if (!f.is3DObject) return;
      any3D = true;
      const uint32_t owner = uint32_t(f.ownerObject);
      if (f.visible != 1 || !g_objectPool.InUse(owner)) return;
      const ObjectRecord& o = g_objectPool[owner];
      if (count == render.frames.size()) render.frames.emplace_back();
      CollectedFrame& c = render.frames[count++];
      c.frame = index, c.owner = owner;
      c.culled = OutsideView(f, o, &c.sortDepth) && o.gluedTo == 0;
      c.textures.clear();
      if (o.model && o.model->root) {
        o.model->root->CollectTextures(&render.textures, c.sortDepth);
        render.ownTextures.clear();
        o.model->root->CollectTextures(&render.ownTextures, 0);
        for (const SceneTextureEntry& e : render.ownTextures) c.textures.push_back(e.texture);
      }
    });
  }
  render.frames.resize(count);
  std::stable_sort(render.textures.begin(), render.textures.end(),
                   [](const SceneTextureEntry& a, const SceneTextureEntry& b) { return a.value < b.value; });
  return any3D;
}

namespace {

enum class Pass { kSolid, kGhost, kLast, kNoDepth };

bool InPass(const CollectedFrame& c, Pass pass) {
  const FrameRecord& f = g_framePool[c.frame];
  switch (pass) {
    case Pass::kSolid: return !c.culled && !f.blend && !f.noDepth && !f.lastPass;
    case Pass::kGhost: return !c.culled && f.blend && !f.noDepth && !f.lastPass;
    case Pass::kLast: return !c.culled && f.lastPass && !f.noDepth;
    case Pass::kNoDepth: return f.noDepth;
  }
  return false;
}

// Draws one pass texture by texture; before its first object, `first` runs (once). Returns
// whether anything was drawn.
template <class First>
bool DrawPass(Pass pass, First&& first) {
  std::vector<const CollectedFrame*>& frames = R().passFrames;
  frames.clear();
  for (const CollectedFrame& c : R().frames)
    if (InPass(c, pass)) frames.push_back(&c);
  bool drew = false;
  for (const SceneTextureEntry& t : R().textures) {
    bool textureSet = false;
    for (const CollectedFrame* c : frames) {
      if (std::find(c->textures.begin(), c->textures.end(), t.texture) == c->textures.end()) continue;
      if (!drew) first(), drew = true;
      if (!textureSet) SetStageTexture(t.texture), textureSet = true;
      ApplyFrameRenderStates(g_framePool[c->frame]);
      DrawObjectTextureGroup(c->owner, t.texture);
    }
  }
  return drew;
}

}  // namespace

void DrawObjectTextureGroup(uint32_t object, int32_t texture) {
  Device3D* device = g_display.device.get();
  if (!device || !g_objectPool.InUse(object)) return;
  ObjectRecord& o = g_objectPool[object];
  if (!o.model || !o.model->root) return;
  const bool glued = o.gluedTo != 0;
  float w[16];
  if (glued) {
    std::memcpy(w, device->State().transforms[kTransformWorld - 1], sizeof w);
    ApplyGlueWorldTransform(object, uint32_t(o.gluedTo), w);
  }
  g_objectPool[object].model->root->DrawTextureGroup(*device, texture, &R().drawnIndices);
  if (glued) device->SetTransform(kTransformWorld, w);
  g_objectPool[object].worldTransformsValid = 0;
}


void RenderScene3D() {
  R().drawnIndices = 0;
  const bool any3D = CollectSceneFrames();
  // A program that never made a 3D frame, static data or backdrop never starts GL.
  if (!any3D && !StaticWorldHoldsData() && !R().sceneBegun) return;
  if (!R().sceneBegun && !PrepareDevice3D()) return;
  Device3D* device = g_display.device.get();
  if (!device) return;
  R().sceneBegun = 0;
  if (StaticWorldHoldsData()) {
    ApplyDefaultRenderStates();
    R().drawnIndices += DrawStaticWorld(*device);
  }
  DrawPass(Pass::kSolid, [] {});
  DrawPass(Pass::kGhost, [] {});
  DrawPass(Pass::kLast, [device] {
    device->Clear(kClearZBuffer, SurfRect{0, 0, g_display.width, g_display.height}, 0, 1.0f, 0);
  });
  float savedView[16];
  const bool noDepth = DrawPass(Pass::kNoDepth, [device, &savedView] {
    std::memcpy(savedView, device->State().transforms[kTransformView - 1], sizeof savedView);
    device->SetTransform(kTransformView, R().defaultView);
  });
  if (noDepth) device->SetTransform(kTransformView, savedView);
  MarkDeviceDrew();
}

void RunScene3DStep() {
  if (g_display.device) RenderScene3D();
}
