// What the scene keeps on the display device, made again after a display change: render
// states, camera transforms, limb textures and vertex buffers.
#include "display/display.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/model_handle.h"
#include "scene3d/lighting.h"
#include "scene3d/camera.h"
#include "scene3d/record_pools.h"
#include "scene3d/render_states.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"
#include "scene3d/scene_state.h"

namespace {

void RestoreAllObjects() {
  if (!g_objectPool.Created()) return;
  if (g_framePool.Created()) {
    g_framePool.ForEachUsed([](uint32_t, FrameRecord& f) {
      if (!f.belongsTo3D || !g_objectPool.InUse(uint32_t(f.ownerObject))) return;
      for (LimbRecord& limb : g_objectPool[uint32_t(f.ownerObject)].limbs)
        if (limb.ownTexture > 0) limb.ownTexture = AcquireImageTexture(uint32_t(limb.textureImage), 1);
    });
  }
  if (Device3D* device = g_display.device.get())
    g_objectPool.ForEachUsed([device](uint32_t, ObjectRecord& o) {
      if (o.model) ModelHandleRestoreBuffers(*o.model, *device);
    });
}

}  // namespace

void RestoreScene() {
  // The new device holds the display start's states and identity transforms: the cache starts
  // again from those, and the camera's projection in effect and view are sent.
  ResetRenderStateCache();
  RestoreAllLights();
  RestoreAllObjects();
  ResendProjection();
  ApplyCameraView();
}
