// World placement of limbs and of glued objects, through the device's world transform.
#include <cstring>

#include "display/display.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"

namespace {

// Glue chains deeper than this are cut.
constexpr int kMaxGlueLevels = 10;

// Runs f with the device the world matrices are computed on: the display's, or a scratch one
// when there is none (a run without 3D, a test).
template <class F>
void WithDevice(F&& f) {
  if (Device3D* device = g_display.device.get()) return f(*device);
  Device3DPtr scratch = CreateNullDevice();
  f(*scratch);
}

}  // namespace

void ApplyGlueWorldTransform(uint32_t record, uint32_t gluedTo, const float w[16]) {
  if (!g_objectPool.InUse(record)) return;
  // chain[i] is glued to chain[i + 1]; limbOf[i] is the limb of chain[i] the level below holds.
  uint32_t chain[kMaxGlueLevels];
  int32_t limbOf[kMaxGlueLevels];
  int count = 0;
  int32_t limb = g_objectPool[record].gluedToLimb;
  for (uint32_t g = gluedTo; g != 0 && g_objectPool.InUse(g) && count < kMaxGlueLevels;
       g = uint32_t(g_objectPool[g].gluedTo)) {
    chain[count] = g;
    limbOf[count++] = limb;
    limb = g_objectPool[g].gluedToLimb;
  }
  WithDevice([&](Device3D& device) {
    for (int i = count - 1; i >= 0; --i) {
      UpdateLimbWorldTransforms(chain[i], 0);
      float l[16];
      SetMatrixIdentity(l);
      if (g_objectPool[chain[i]].model)
        ModelHandleGetLimbWorldMatrix(*g_objectPool[chain[i]].model, uint32_t(limbOf[i]), l);
      float m[16];
      MultiplyMatrix4x4(m, w, l);
      device.SetTransform(kTransformWorld, m);
    }
  });
}

void UpdateLimbWorldTransforms(uint32_t record, int32_t useGlue) {
  if (!g_objectPool.InUse(record)) return;
  if (g_objectPool[record].worldTransformsValid) return;
  g_objectPool[record].worldTransformsValid = 1;
  if (!g_objectPool[record].model) return;
  WithDevice([&](Device3D& device) {
    float saved[16];
    std::memcpy(saved, device.State().transforms[kTransformWorld - 1], sizeof saved);
    const uint32_t gluedTo = uint32_t(g_objectPool[record].gluedTo);
    if (useGlue && gluedTo != 0) ApplyGlueWorldTransform(record, gluedTo, saved);
    // Computing the glue chain may have touched other records only: this one's fields stay.
    ModelHandleComputeWorldMatrices(*g_objectPool[record].model, device);
    device.SetTransform(kTransformWorld, saved);
  });
  ObjectRecord& o = g_objectPool[record];
  for (size_t k = 0; k < o.limbs.size() && o.limbs[k].exists == 1; ++k) {
    float m[16];
    SetMatrixIdentity(m);
    ModelHandleGetLimbWorldMatrix(*o.model, uint32_t(k), m);
    LimbRecord& limb = o.limbs[k];
    limb.worldX = m[12], limb.worldY = m[13], limb.worldZ = m[14];
    // The direction: (0, 0, 1) turned by the matrix without its translation.
    const float dx = m[8], dy = m[9], dz = m[10];
    CameraAnglesFromPoints(0, 0, 0, dx, dy, dz, &limb.dirX, &limb.dirY, &limb.dirZ);
  }
}
