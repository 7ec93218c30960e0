// Object animation: the per-frame step over the play list, posing limbs from the keys with
// blending to a target frame, and key frames recorded from the pose.
#include "scene3d/object_animation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/pack.h"
#include "model/anim_keys.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"

namespace {

ObjectRecord& O(uint32_t r) { return g_objectPool[r]; }

// The limb matrices of the object being posed; kept between frames to spare the allocation.
std::vector<float*> g_limbMatrices;

// One frame of playback: the frame moves by the speed and the range's ends stop or wrap it.
void AdvanceFrame(ObjectRecord& o) {
  if (o.playing != 1) return;
  o.currentFrame += o.speed;
  if (o.looping != 1) {
    // A negative speed runs down past the start without end.
    if (o.currentFrame > o.endFrame) o.playing = 0, o.currentFrame = o.endFrame;
  } else if (o.speed >= 0) {
    if (o.currentFrame > o.endFrame) o.currentFrame = o.startFrame;
  } else if (o.currentFrame < o.startFrame) {
    o.currentFrame = o.endFrame;
  }
}

// A scale or position list at the frame (fallback without keys), blended from the frame toward
// the target while the object interpolates.
void VectorAt(const std::vector<float>& keys, float frame, const ObjectRecord& o, bool startBlend, float alpha,
              std::array<float, 3>* from, std::array<float, 3>* to, float fallback, float out[3]) {
  const size_t n = keys.size() / kVectorKeyFloats;
  if (n == 0) {
    out[0] = out[1] = out[2] = fallback;
    return;
  }
  if (n == 1) {
    std::memcpy(out, &keys[1], 3 * sizeof(float));
    return;
  }
  VectorKeyAt(keys, frame, out);
  if (o.interpolating != 1) return;
  if (startBlend) {
    std::memcpy(from->data(), out, 3 * sizeof(float));
    VectorKeyAt(keys, o.targetFrame, to->data());
  }
  for (int c = 0; c < 3; ++c) out[c] = (*from)[size_t(c)] + ((*to)[size_t(c)] - (*from)[size_t(c)]) * alpha;
}

Quaternion RotationAt(const AnimTrack& t, float frame, const ObjectRecord& o, bool startBlend, float alpha,
                      std::array<float, 4>* from, std::array<float, 4>* to) {
  const uint32_t n = TrackGetRotKeyCount(t);
  if (n == 0) return Quaternion{};
  if (n == 1) return {t.rotationKeys[1], t.rotationKeys[2], t.rotationKeys[3], t.rotationKeys[4]};
  const Quaternion q = RotationKeyAt(t, frame);
  if (o.interpolating != 1) return q;
  if (startBlend) {
    *from = {q.w, q.x, q.y, q.z};
    const Quaternion target = RotationKeyAt(t, o.targetFrame);
    *to = {target.w, target.x, target.y, target.z};
  }
  return QuaternionSlerp({(*from)[0], (*from)[1], (*from)[2], (*from)[3]}, {(*to)[0], (*to)[1], (*to)[2], (*to)[3]},
                         alpha);
}

// Scale x rotation x translation (row vectors): the rotation's rows scaled, then the move.
void ComposePose(float out[16], const float scale[3], const Quaternion& q, const float position[3]) {
  MatrixFromQuaternion(out, q);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out[4 * r + c] *= scale[r];
  out[12] = position[0], out[13] = position[1], out[14] = position[2];
}

// The local matrix of a limb (the identity when no frame carries it).
void LimbMatrix(ModelHandle& model, int32_t limb, float m[16]) {
  SetMatrixIdentity(m);
  if (limb >= 0) ModelHandleGetLimbMatrix(model, uint32_t(limb), m);
}

// Calls f for every record holding the record's model, the record itself included: clones
// share the tracks, so a change of them reaches each holder.
template <class F>
void EachHolder(uint32_t record, F f) {
  uint32_t first = record;
  while (O(first).prevSharer != 0) first = O(first).prevSharer;
  for (uint32_t r = first; r != 0; r = O(r).nextSharer)
    if (O(r).model == O(record).model) f(r);
}

// The other holders take the record's frame count; a holder playing the whole animation goes
// on playing all of it.
void ShareFrameCount(uint32_t record) {
  const float count = O(record).frameCount;
  EachHolder(record, [&](uint32_t r) {
    ObjectRecord& o = O(r);
    if (o.endFrame == o.frameCount) o.endFrame = count;
    o.frameCount = count;
  });
}

}  // namespace

AnimTrack* ObjectTracks(uint32_t record) {
  if (!g_objectPool.InUse(record)) return nullptr;
  const ObjectRecord& o = O(record);
  return o.model && o.model->animation ? AnimSetGetTrackList(*o.model->animation) : nullptr;
}

int32_t TrackDrivenLimb(const AnimTrack& t, uint32_t k) {
  return TrackGetLimb(t) >= 1 ? TrackGetLimb(t) : int32_t(k + 1);
}

void StartObjectAnimation(uint32_t record, int32_t loop) {
  ObjectRecord& o = O(record);
  o.playing = 1;
  o.looping = loop;
  o.interpolating = 0;
  AddToPlayList(record, o.model->animation.get());
  if (loop == 0) o.currentFrame = 0;
  o.startFrame = 0;
  o.endFrame = o.frameCount;
}

void EnsureBlendArrays(uint32_t record) {
  ObjectRecord& o = O(record);
  const size_t n = size_t(std::max(o.limbCount, 0));
  if (o.rotFrom.size() < n) o.rotFrom.resize(n), o.rotTo.resize(n);
  if (o.scaleFrom.size() < n) o.scaleFrom.resize(n), o.scaleTo.resize(n);
  if (o.posFrom.size() < n) o.posFrom.resize(n), o.posTo.resize(n);
}

void ApplyAnimationKeys(uint32_t record) {
  const AnimTrack* first = ObjectTracks(record);
  if (!first || O(record).limbCount <= 0) return;
  if (O(record).interpolating == 1) EnsureBlendArrays(record);
  ObjectRecord& o = O(record);
  const size_t n = size_t(o.limbCount);
  g_limbMatrices.assign(n, nullptr);
  ModelHandleLimbMatrixPointers(*o.model, g_limbMatrices.data(), n);
  const float frame = o.currentFrame;
  const bool startBlend = o.interpolating == 1 && o.blendProgress == 0.0f;
  const float alpha = std::min(1.0f, o.blendProgress + o.interpolation);
  uint32_t k = 0;
  for (const AnimTrack* t = first; t && k < n; t = TrackNext(*t), ++k) {
    const int32_t limb = TrackDrivenLimb(*t, k);
    float* matrix = size_t(limb) <= n ? g_limbMatrices[size_t(limb) - 1] : nullptr;
    if (!matrix) continue;
    const Quaternion q = RotationAt(*t, frame, o, startBlend, alpha, o.interpolating == 1 ? &o.rotFrom[k] : nullptr,
                                    o.interpolating == 1 ? &o.rotTo[k] : nullptr);
    float scale[3], position[3];
    const bool blend = o.interpolating == 1;
    VectorAt(t->scaleKeys, frame, o, startBlend, alpha, blend ? &o.scaleFrom[k] : nullptr,
             blend ? &o.scaleTo[k] : nullptr, 1.0f, scale);
    VectorAt(t->positionKeys, frame, o, startBlend, alpha, blend ? &o.posFrom[k] : nullptr,
             blend ? &o.posTo[k] : nullptr, 0.0f, position);
    ComposePose(matrix, scale, q, position);
  }
  o.worldTransformsValid = 0;
  g_scene.sceneChanged = 1;
  // The blend ends with the display frame that shows the target.
  if (o.interpolating == 1) {
    if (o.blendProgress == 0.0f) o.blendFromFrame = o.currentFrame, o.currentFrame = o.targetFrame;
    o.blendProgress = alpha;
    if (alpha >= 1.0f) o.blendProgress = 0, o.interpolating = 0;
  }
}

float ShownObjectFrame(const ObjectRecord& o) {
  if (o.interpolating != 1 || o.blendProgress == 0.0f) return o.currentFrame;
  return o.blendFromFrame + (o.targetFrame - o.blendFromFrame) * o.blendProgress;
}

void UpdateObjectAnimations() {
  for (ObjectAnimation* node = g_scene.playList; node;) {
    ObjectAnimation* next = node->next;
    const uint32_t r = node->object;
    // The tracks are read from the model, not the node: a clone sharing the model may have
    // deleted them since the node was made.
    if (g_objectPool.InUse(r) && O(r).inStaticWorld == 0) {
      AdvanceFrame(O(r));
      ApplyAnimationKeys(r);
    }
    node = next;
  }
}

void CreateObjectAnimation(uint32_t record) {
  ObjectRecord& o = O(record);
  if (!o.model) return;
  auto set = std::make_unique<AnimSet>();
  for (size_t l = 1; l < o.limbs.size(); ++l) {
    if (o.limbs[l].exists != 1) continue;
    auto track = std::make_unique<AnimTrack>();
    std::string name;
    ModelHandleGetLimbFrameName(*o.model, uint32_t(l), &name);
    TrackSetName(*track, name);
    TrackSetLimb(*track, int32_t(l));
    float m[16], position[3];
    Quaternion q;
    LimbMatrix(*o.model, int32_t(l), m);
    PoseFromLimbMatrix(m, &q, position);
    TrackSetRotKeys(*track, {0, q.w, q.x, q.y, q.z});
    TrackSetVecKeysB(*track, {0, position[0], position[1], position[2]});
    AnimSetAppendTrack(*set, std::move(track));
  }
  o.model->animation = std::move(set);
}

void SetObjectKeyframe(uint32_t record, int32_t f) {
  if (!O(record).model) return;
  if (!ObjectTracks(record)) CreateObjectAnimation(record);
  ObjectRecord& o = O(record);
  float last = std::trunc(o.frameCount);
  uint32_t k = 0;
  for (AnimTrack* t = ObjectTracks(record); t; t = TrackNext(*t), ++k) {
    float m[16], position[3];
    Quaternion q;
    LimbMatrix(*o.model, TrackDrivenLimb(*t, k), m);
    PoseFromLimbMatrix(m, &q, position);
    last = RecordTrackPose(*t, f, q, position, last);
  }
  o.frameCount = last;
  o.endFrame = last;
  ShareFrameCount(record);
}

void DeleteObjectKeyframe(uint32_t record, int32_t f) {
  if (f == 0) return;
  for (AnimTrack* t = ObjectTracks(record); t; t = TrackNext(*t)) DeleteTrackKeysAt(*t, f);
}

void DeleteObjectAnimation(uint32_t record) {
  if (!ObjectTracks(record)) return;
  // The tracks go for every holder of the model.
  EachHolder(record, [](uint32_t r) {
    StopObjectAnimation(r);
    // A stopped object keeps its node; with the tracks gone it has nothing left to pose.
    RemoveFromPlayList(r);
    ObjectRecord& o = O(r);
    o.interpolating = 0, o.blendProgress = 0;
    o.currentFrame = o.startFrame = o.endFrame = o.frameCount = 0;
  });
  O(record).model->animation.reset();
}

void UpdateObjectFrameCount(uint32_t record) {
  ObjectRecord& o = O(record);
  o.frameCount = LastAnimationKeyFrame(ObjectTracks(record));
  o.endFrame = o.frameCount;
  ShareFrameCount(record);
}

int32_t AppendObjectAnimationFile(uint32_t record, const std::string& name, int32_t start, std::string* why) {
  if (!g_objectPool.InUse(record) || !O(record).model) {
    if (why) *why = "the object has no model";
    return 0;
  }
  std::string path = name;
  MapThroughPack(path, "dat");
  const float count = O(record).frameCount;
  const int32_t hold = count > -2147483648.0f && count < 2147483648.0f ? int32_t(count) : 0;
  return LoadAnimatedXFile(*O(record).model, path, start, hold, why) >= 0 ? 1 : 0;
}
