// Object records: defaults, limbs, bounds, placement, the play list and release.
#include "scene3d/objects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/run_timing.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/lighting.h"
#include "scene3d/object_collision.h"
#include "scene3d/object_model.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"
#include "scene3d/static/static_world.h"

namespace {

ObjectRecord& O(uint32_t r) { return g_objectPool[r]; }

// Whole part (truncated toward zero) + 1.
float WholePlusOne(float v) { return std::trunc(v) + 1.0f; }

void PlaceAutoCamera(uint32_t record) {
  if (!O(record).model) return;
  float c[3], r;
  ModelHandleGetBoundingRadius(*O(record).model, c, &r);
  CameraState& cam = g_scene.camera;
  cam.position[0] = c[0], cam.position[1] = c[1] + r / 2, cam.position[2] = c[2] - 2 * r;
  if (cam.position[2] > -2.0f) cam.position[2] = -2.0f;
  std::memcpy(cam.lookAt, c, sizeof c);
  ApplyCameraLookAt();
  SetProjection(std::max(r / 100.0f, 1.0f), std::max(r * 100.0f, 100.0f), cam.fieldOfView);
}

}  // namespace

uint32_t ObjectRecordOf(int32_t number) {
  if (number < 1 || number > kMaxObjectNumber) return 0;
  const uint32_t r = g_scene.objectNumbers[size_t(number)];
  return r != 0 && g_objectPool.InUse(r) ? r : 0;
}

void InitObjectLimb(uint32_t record, int32_t limb) {
  if (limb < 0 || !g_objectPool.InUse(record)) return;
  GrowLimbArray(record, limb);
  if (size_t(limb) >= O(record).limbs.size()) return;
  LimbRecord& l = O(record).limbs[size_t(limb)];
  l.exists = 1, l.shown = 1, l.imageNumber = 0, l.textureImage = 0, l.linkable = 1;
  l.offsetX = l.offsetY = l.offsetZ = 0;
  l.angleX = l.angleY = l.angleZ = 0;
  l.scaleX = l.scaleY = l.scaleZ = 1.0f;
}

uint32_t InitObjectRecord(uint32_t record, int32_t allowAutoCamera) {
  if (!g_objectPool.InUse(record)) return 0;
  if (g_timing.autoBackdrop == 1) BackdropOn();
  {
    ObjectRecord& o = O(record);
    o.inUse = 1, o.inStaticWorld = 0;
    o.angleX = o.angleY = o.angleZ = 0;
    o.scaleX = o.scaleY = o.scaleZ = 1.0f;
    o.rotationOrder = 0;
    o.gluedTo = o.gluedToLimb = 0;
    o.freeMatrixMode = 0;
    SetMatrixIdentity(o.freeMatrix);
    o.collisionOn = 1;
  }
  uint32_t frame = AllocFrameRecord();
  // Frame record 0 stands for none, as for sprites: it stays taken and the next one is used.
  if (frame == 0) frame = AllocFrameRecord();
  if (frame == kNoRecord || frame == 0) return 0;
  FrameRecord& f = g_framePool[frame];
  f.ownerObject = int32_t(record);
  f.belongsTo3D = 1;
  f.position[0] = f.position[1] = f.position[2] = 0;
  f.is3DObject = f.depthTest = f.depthWrite = 1;
  f.lastPass = 0, f.colourKeyed = 0, f.blend = 0, f.blendMode = 0, f.wireframe = 0;
  f.cull = 1, f.filter = 1, f.altMaterial = 0, f.fog = 1, f.defaultMaterial = 1, f.noDepth = 0;
  f.addressMode = 1;
  f.visible = 1;
  {
    ObjectRecord& o = O(record);
    o.frameIndex = frame;
    o.boxCollision = 0, o.boxPushBack = 0, o.boxAxisAligned = 0;
  }
  InitObjectLimb(record, 0);
  ApplyObjectAngleTransform(record);
  {
    ObjectRecord& o = O(record);
    o.currentFrame = 0, o.speed = 0.2f, o.startFrame = 0, o.endFrame = 0;
    o.interpolating = 0, o.interpolation = 1.0f, o.blendProgress = 0;
    o.rotFrom.clear(), o.rotTo.clear();
    o.scaleFrom.clear(), o.scaleTo.clear(), o.posFrom.clear(), o.posTo.clear();
    o.targetFrame = o.blendFromFrame = 0;
    o.collisionShape = 0;
  }
  UpdateObjectBoundingSphere(record);
  UpdateObjectExtents(record);
  if (g_scene.camera.autoCamera == 1 && allowAutoCamera) PlaceAutoCamera(record);
  return frame;
}

void UpdateObjectBoundingSphere(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  ObjectRecord& o = O(record);
  float centre[3] = {0, 0, 0}, radius = -1.0f;
  if (o.model) ModelHandleGetBoundingSphere(*o.model, centre, &radius);
  std::memcpy(o.sphereCentre, centre, sizeof centre);
  o.sphereRadius = WholePlusOne(radius);
  radius = -1.0f;
  if (o.model) ModelHandleGetBoundingRadius(*o.model, centre, &radius);
  o.size = WholePlusOne(radius);
}

void UpdateObjectExtents(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  // The bounds come from one walk of the model: a copy of its geometry would hold, for a
  // moment, more than the model itself.
  ObjectGeometryBounds(record, lo, hi);
  ObjectRecord& o = O(record);
  o.sizeX = std::fabs(hi[0] - lo[0]);
  o.sizeY = std::fabs(hi[1] - lo[1]);
  o.sizeZ = std::fabs(hi[2] - lo[2]);
  for (int i = 0; i < 3; ++i) {
    o.boxMin[i] = lo[i];
    o.boxMax[i] = hi[i];
    o.boxCentre[i] = lo[i] + (hi[i] - lo[i]) * 0.5f;
  }
}

void ApplyObjectTransform(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  const ObjectRecord& o = O(record);
  if (!o.model || !g_framePool.InUse(o.frameIndex)) return;
  if (o.freeMatrixMode == 0) {
    ApplyObjectAngleTransform(record);
    return;
  }
  const float* p = g_framePool[o.frameIndex].position;
  ModelHandleSetLimbTransformEx(*o.model, 0, p[0], p[1], p[2], o.freeMatrix, o.scaleX, o.scaleY, o.scaleZ);
}

void ApplyObjectAngleTransform(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  ObjectRecord& o = O(record);
  if (!o.model || !g_framePool.InUse(o.frameIndex)) return;
  // The same bits give the same rotation: only new angles or a new order build it again.
  const float key[4] = {o.angleX, o.angleY, o.angleZ, float(o.rotationOrder)};
  if (!o.angleRotationBuilt || std::memcmp(key, o.angleRotationKey, sizeof key) != 0) {
    ModelHandleBuildLimbRotation(o.angleRotation, o.angleX, o.angleY, o.angleZ, uint32_t(o.rotationOrder));
    std::memcpy(o.angleRotationKey, key, sizeof key);
    o.angleRotationBuilt = 1;
  }
  const float* p = g_framePool[o.frameIndex].position;
  ModelHandleSetLimbTransformEx(*o.model, 0, p[0], p[1], p[2], o.angleRotation, o.scaleX, o.scaleY, o.scaleZ);
}

void LeaveFreeMatrixMode(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  ObjectRecord& o = O(record);
  if (o.freeMatrixMode != 1) return;
  SetMatrixIdentity(o.freeMatrix);
  o.freeMatrixMode = 0;
}

ObjectAnimation* AddToPlayList(uint32_t record, AnimSet* tracks) {
  if (!g_objectPool.InUse(record)) return nullptr;
  ObjectRecord& o = O(record);
  if (o.playingAnimation) return o.playingAnimation.get();
  o.playingAnimation = std::make_shared<ObjectAnimation>();
  ObjectAnimation* node = o.playingAnimation.get();
  node->object = record;
  node->tracks = tracks;
  node->next = g_scene.playList;
  if (g_scene.playList) g_scene.playList->prev = node;
  g_scene.playList = node;
  return node;
}

void RemoveFromPlayList(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  ObjectRecord& o = O(record);
  ObjectAnimation* node = o.playingAnimation.get();
  if (!node) return;
  if (g_scene.playList == node) g_scene.playList = node->next ? node->next : node->prev;
  if (node->prev) node->prev->next = node->next;
  if (node->next) node->next->prev = node->prev;
  o.playingAnimation.reset();
}

void StopObjectAnimation(uint32_t record) {
  if (!g_objectPool.InUse(record)) return;
  ObjectRecord& o = O(record);
  if (!o.model || !o.model->animation || o.playing != 1) return;
  o.playing = 0, o.looping = 0;
  RemoveFromPlayList(record);
}

void DeleteObjectRecord(uint32_t record, int32_t number) {
  if (!g_objectPool.InUse(record)) return;
  ForgetObjectCollision(record);
  {
    ObjectRecord& o = O(record);
    // Its copy in the static world goes with it.
    if (o.inStaticWorld != 0) DeleteStaticObject(int32_t(record));
    o.inUse = 0, o.inStaticWorld = 0;
    o.boxCollision = 0, o.boxPushBack = 0, o.boxAxisAligned = 0;
    for (int i = 0; i < 3; ++i) o.boxMin[i] = o.boxMax[i] = o.boxCentre[i] = 0;
    if (o.frameIndex != 0) FreeFrameRecord(o.frameIndex);
    o.frameIndex = 0;
  }
  // The collision shapes of a model another object still holds are given again under it, so no
  // shape answers under this record once it is freed or reused.
  if (const std::shared_ptr<ModelHandle>& model = O(record).model;
      model && model.use_count() > 1 && ModelHandleCollisionObject(*model) == record) {
    const uint32_t survivor = O(record).nextSharer != 0 ? O(record).nextSharer : O(record).prevSharer;
    if (survivor) {
      ModelHandleRekeyCollision(*model, survivor);
      // The model may hold the deleted object's placement.
      ApplyObjectTransform(survivor);
    }
  }
  FreeObjectRecord(record);
  if (number >= 1 && number <= kMaxObjectNumber) g_scene.objectNumbers[size_t(number)] = 0;
  g_scene.sceneChanged = 1;
}

void LinkModelSharer(uint32_t record, uint32_t holder) {
  ObjectRecord& o = O(record);
  o.prevSharer = o.nextSharer = 0;
  if (holder == 0 || holder == record || !g_objectPool.InUse(holder) || !o.model || O(holder).model != o.model)
    return;
  o.prevSharer = holder;
  o.nextSharer = O(holder).nextSharer;
  if (o.nextSharer != 0) O(o.nextSharer).prevSharer = record;
  O(holder).nextSharer = record;
}

void UnlinkModelSharer(uint32_t record) {
  ObjectRecord& o = O(record);
  if (o.prevSharer != 0) O(o.prevSharer).nextSharer = o.nextSharer;
  if (o.nextSharer != 0) O(o.nextSharer).prevSharer = o.prevSharer;
  o.prevSharer = o.nextSharer = 0;
}

void NoteObjectReference(uint32_t from, uint32_t to) {
  if (to == 0 || !g_objectPool.InUse(to)) return;
  ObjectRecord& target = O(to);
  std::vector<uint32_t>& list = target.referrers;
  list.push_back(from);
  if (list.size() < 2 * size_t(target.referrersKept) + 16) return;
  // Only the records that still name the target stay, each once.
  const int32_t self = int32_t(to);
  std::erase_if(list, [self](uint32_t r) {
    return !g_objectPool.InUse(r) || (O(r).gluedTo != self && O(r).hitObject != self);
  });
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
  target.referrersKept = uint32_t(list.size());
}

void ReleaseObjectRecordContents(uint32_t object) {
  if (!g_objectPool.InUse(object)) return;
  const int32_t self = int32_t(object);
  // Objects glued to this one come loose; hits naming it are cleared.
  std::vector<uint32_t> referrers = std::move(O(object).referrers);
  O(object).referrers.clear();
  O(object).referrersKept = 0;
  for (uint32_t r : referrers) {
    if (!g_objectPool.InUse(r)) continue;
    ObjectRecord& other = O(r);
    if (other.gluedTo == self) other.gluedTo = 0;
    if (other.hitObject == self) other.hitObject = 0;
  }
  UnlinkModelSharer(object);
  RemoveFromPlayList(object);
  ObjectRecord& o = O(object);
  o.model.reset();
  o.rotFrom.clear(), o.rotTo.clear();
  o.scaleFrom.clear(), o.scaleTo.clear(), o.posFrom.clear(), o.posTo.clear();
  if (o.limbs.SoleHolder())
    for (LimbRecord& limb : o.limbs)
      for (int32_t& mesh : limb.meshData) {
        if (mesh > 0) FreeMeshData(uint32_t(mesh));
        mesh = 0;
      }
  o.limbs.clear();
}
