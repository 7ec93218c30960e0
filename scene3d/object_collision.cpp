// Object collision: box tests, the on-demand collision pass and the response that records hits.
#include "scene3d/object_collision.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "collision/collision.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/collision_response.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

ObjectRecord& O(uint32_t r) { return g_objectPool[r]; }
const float* Position(uint32_t r) { return g_framePool[O(r).frameIndex].position; }

// An object that takes part in collisions: in use, collision on, its frame collidable.
bool CollidableObject(uint64_t r) {
  return r <= UINT32_MAX && g_objectPool.InUse(uint32_t(r)) && O(uint32_t(r)).collisionOn == 1 &&
         CollidableFrame(O(uint32_t(r)).frameIndex);
}

uint64_t PairKey(uint32_t a, uint32_t b) {
  return a < b ? (uint64_t(a) << 32 | b) : (uint64_t(b) << 32 | a);
}

// The object's box turned by its angles (the free matrix and rotation order play no part).
void OrientedBoxOf(uint32_t r, float centre[3], float half[3], float axes[9]) {
  const ObjectRecord& o = O(r);
  float rot[16];
  BuildRotationFromAngles(rot, o.angleX * kDegreesToRadians, o.angleY * kDegreesToRadians,
                          o.angleZ * kDegreesToRadians);
  const float* p = Position(r);
  const float* c = o.boxCentre;
  for (int i = 0; i < 3; ++i) {
    centre[i] = p[i] + c[0] * rot[i] + c[1] * rot[4 + i] + c[2] * rot[8 + i];
    half[i] = (o.boxMax[i] - o.boxMin[i]) * 0.5f;
    // Row vectors: row k is where the unit vector k turns to.
    for (int k = 0; k < 3; ++k) axes[3 * k + i] = rot[4 * k + i];
  }
}

bool AxisAlignedHit(uint32_t a, uint32_t b) {
  const ObjectRecord& oa = O(a);
  const ObjectRecord& ob = O(b);
  const float* pa = Position(a);
  const float* pb = Position(b);
  for (int i = 0; i < 3; ++i)
    if (!(pa[i] + oa.boxMin[i] < pb[i] + ob.boxMax[i] && pa[i] + oa.boxMax[i] > pb[i] + ob.boxMin[i]))
      return false;
  if (ob.boxPushBack != 1) return true;
  // The face that was nearest before the move is the one a came through.
  const float* qa = g_framePool[oa.frameIndex].previousPosition;
  const float* qb = g_framePool[ob.frameIndex].previousPosition;
  int best = 0;
  float nearest = 0;
  for (int i = 0; i < 3; ++i) {
    const float d[2] = {std::fabs((qa[i] + oa.boxMax[i]) - (qb[i] + ob.boxMin[i])),
                        std::fabs((qb[i] + ob.boxMax[i]) - (qa[i] + oa.boxMin[i]))};
    for (int s = 0; s < 2; ++s)
      if ((i == 0 && s == 0) || d[s] < nearest) nearest = d[s], best = 2 * i + s;
  }
  const int axis = best / 2;
  g_scene.collisionPushBack[axis] = best % 2 == 0 ? (pa[axis] + oa.boxMax[axis]) - (pb[axis] + ob.boxMin[axis])
                                                   : (pa[axis] + oa.boxMin[axis]) - (pb[axis] + ob.boxMax[axis]);
  return true;
}

// Runs f with the display's device, or a scratch one when there is none.
template <class F>
void WithDevice(F&& f) {
  if (Device3D* device = g_display.device.get()) return f(*device);
  Device3DPtr scratch = CreateNullDevice();
  f(*scratch);
}

// The object's collision objects placed where the object stands now.
void PlaceCollisionObjects(Device3D& device, uint32_t r) {
  if (!O(r).model) return;
  // A model shared with other objects holds whichever placement was applied last.
  if (O(r).model.use_count() > 1) ApplyObjectTransform(r);
  float saved[16], identity[16];
  std::memcpy(saved, device.State().transforms[kTransformWorld - 1], sizeof saved);
  SetMatrixIdentity(identity);
  device.SetTransform(kTransformWorld, identity);
  if (const uint32_t glued = uint32_t(O(r).gluedTo); glued != 0) ApplyGlueWorldTransform(r, glued, identity);
  ModelHandleUpdateCollisionTransforms(*O(r).model, device, r);
  device.SetTransform(kTransformWorld, saved);
}

}  // namespace

bool CollidableFrame(uint32_t frame) {
  if (frame == 0 || !g_framePool.InUse(frame)) return false;
  const FrameRecord& f = g_framePool[frame];
  return f.is3DObject == 1 && f.noDepth == 0;
}

bool ObjectBoxTest(uint32_t a, uint32_t b) {
  if (O(a).boxAxisAligned == 1 && O(b).boxAxisAligned == 1) return AxisAlignedHit(a, b);
  float ca[3], ha[3], xa[9], cb[3], hb[3], xb[9];
  OrientedBoxOf(a, ca, ha, xa);
  OrientedBoxOf(b, cb, hb, xb);
  return TestOrientedBoxOverlap(ca, ha, xa, cb, hb, xb) == 1;
}

namespace {

// ObjectCollideAll's start, and its answer for a given object once both frames are known to
// collide.
void StartBoxQuery(uint32_t a) {
  float* p = g_scene.collisionPushBack;
  p[0] = p[1] = p[2] = 0;
  O(a).hitObject = 0;
}

}  // namespace

int32_t ObjectCollideAll(uint32_t a, uint32_t b) {
  StartBoxQuery(a);
  if (b != 0)
    return CollidableFrame(O(a).frameIndex) && CollidableFrame(O(b).frameIndex) && ObjectBoxTest(a, b) ? 1 : 0;
  const uint32_t own = O(a).frameIndex;
  int32_t hit = 0;
  g_framePool.ForEachUsed([&](uint32_t index, FrameRecord& f) {
    if (index == own || f.is3DObject != 1 || f.noDepth != 0) return;
    const uint32_t other = uint32_t(f.ownerObject);
    if (other == a || !g_objectPool.InUse(other)) return;
    const ObjectRecord& o = O(other);
    if (o.collisionOn == 1 && o.boxCollision == 1 && ObjectBoxTest(a, other)) hit = int32_t(other);
  });
  O(a).hitObject = hit;
  if (hit > 0) NoteObjectReference(a, uint32_t(hit));
  return hit > 0 ? O(uint32_t(hit)).number : 0;
}

void RunCollisionPass() {
  bool placed = false;
  if (g_scene.sceneChanged == 1) {
    WithDevice([&](Device3D& device) {
      g_framePool.ForEachUsed([&](uint32_t index, FrameRecord& f) {
        const uint32_t r = uint32_t(f.ownerObject);
        if (!CollidableFrame(index) || !g_objectPool.InUse(r) || O(r).frameIndex != index ||
            O(r).collisionOn != 1)
          return;
        PlaceCollisionObjects(device, r);
        O(r).hitObject = 0;
        O(r).targetHit = 0;
        placed = true;
      });
    });
    g_scene.sceneChanged = 0;
  }
  if (!placed) return;
  g_scene.collision.hitPairs.clear();
  TestAllCollisions();
  std::vector<uint64_t>& pairs = g_scene.collision.hitPairs;
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
}

void CollisionResponseRecordHit(void*, CollisionKey first, CollisionKey second, const CollisionData*) {
  const uint64_t i = first / 100000u, j = second / 100000u;
  // Two limbs of one object, or an object that left the scene or stopped colliding meanwhile.
  if (i == j || !CollidableObject(i) || !CollidableObject(j)) return;
  ObjectRecord& a = O(uint32_t(i));
  ObjectRecord& b = O(uint32_t(j));
  a.hitObject = int32_t(j);
  if (uint64_t(a.targetObject) == j) a.targetHit = 1;
  b.hitObject = int32_t(i);
  if (uint64_t(b.targetObject) == i) b.targetHit = 1;
  NoteObjectReference(uint32_t(i), uint32_t(j));
  NoteObjectReference(uint32_t(j), uint32_t(i));
  g_scene.collision.hitPairs.push_back(PairKey(uint32_t(i), uint32_t(j)));
}

int32_t ObjectCollisionTest(uint32_t a, uint32_t b) {
  O(a).targetObject = int32_t(b);
  RunCollisionPass();
  if (b != 0) {
    const std::vector<uint64_t>& pairs = g_scene.collision.hitPairs;
    return std::binary_search(pairs.begin(), pairs.end(), PairKey(a, b)) ? 1 : 0;
  }
  const int32_t hit = O(a).hitObject;
  return hit > 0 && g_objectPool.InUse(uint32_t(hit)) ? O(uint32_t(hit)).number : 0;
}

int32_t ObjectCollisionQuery(uint32_t a, int32_t b) {
  if (g_scene.collision.enabled != 1) return 0;
  const ObjectRecord& oa = O(a);
  if (oa.collisionOn != 1 || !CollidableFrame(oa.frameIndex)) return 0;
  if (b == 0) return oa.boxCollision == 1 ? ObjectCollideAll(a, 0) : ObjectCollisionTest(a, 0);
  const uint32_t target = ObjectRecordOf(b);
  if (target == 0 || O(target).collisionOn != 1 || !CollidableFrame(O(target).frameIndex)) return 0;
  if (oa.boxCollision != 1) return ObjectCollisionTest(a, target);
  if (O(target).boxCollision != 1) return 0;
  // Both frames were found collidable above.
  StartBoxQuery(a);
  return ObjectBoxTest(a, target) ? 1 : 0;
}

void ForgetObjectCollision(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  const ObjectRecord& o = O(record);
  // The model's own collision objects go with the model; those placed under this record for a
  // model given under another record go here.
  if (o.model && ModelHandleCollisionObject(*o.model) != record)
    for (size_t limb = 0; limb < o.limbs.size(); ++limb) DeleteCollisionObject(MeshCollisionKey(record, uint32_t(limb)));
  // Every caller marks the scene changed, so the next query runs a new pass; no pair of the
  // last one may answer for this record meanwhile.
  g_scene.collision.hitPairs.clear();
}

void ResetSceneRunState() {
  g_scene.collision = CollisionState{};
  std::fill(std::begin(g_scene.collisionPushBack), std::end(g_scene.collisionPushBack), 0.0f);
}
