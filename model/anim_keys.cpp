#include "model/anim_keys.h"

#include <algorithm>
#include <cmath>

namespace {

// A key time truncated toward zero, as a whole frame (huge or NaN times never match a frame).
int64_t WholeTime(float t) { return t > -9.0e18f && t < 9.0e18f ? int64_t(t) : INT64_MIN; }

// Writes key values at frame f into one list (stride floats a key); returns the time of the
// list's last key afterwards (0 for an empty list).
float RecordKey(std::vector<float>& keys, size_t stride, int32_t f, const float* values) {
  const size_t n = keys.size() / stride;
  size_t at = n;  // the last key whose time truncates to f
  for (size_t i = 0; i < n; ++i)
    if (WholeTime(keys[i * stride]) == f) at = i;
  const float last = n ? keys[(n - 1) * stride] : 0.0f;
  if (at == n) {
    // A new key in time order: before the first key whose time lies above f (so beyond the
    // last key it goes at the end; below frame 1 in a list of later keys it goes at the front).
    at = 0;
    while (at < n && !(keys[at * stride] > float(f))) ++at;
    keys.insert(keys.begin() + ptrdiff_t(at * stride), stride, 0.0f);
  }
  float* k = &keys[at * stride];
  k[0] = float(f);
  std::copy(values, values + stride - 1, k + 1);
  return std::max(last, keys[keys.size() - stride]);
}

void DeleteKey(std::vector<float>& keys, size_t stride, int32_t f) {
  const size_t n = keys.size() / stride;
  if (n < 2) return;
  for (size_t i = 0; i < n; ++i)
    if (WholeTime(keys[i * stride]) == f) {
      keys.erase(keys.begin() + ptrdiff_t(i * stride), keys.begin() + ptrdiff_t((i + 1) * stride));
      return;
    }
}

}  // namespace

void PoseFromLimbMatrix(const float m[16], Quaternion* rotation, float position[3]) {
  position[0] = m[12], position[1] = m[13], position[2] = m[14];
  float inverse[16], t[16];
  if (InvertAffineMatrix(inverse, m) != kMathOk) {
    *rotation = Quaternion{};
    return;
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t[4 * r + c] = inverse[4 * c + r];
  *rotation = QuaternionFromRotationMatrix(t);
}

float RecordTrackPose(AnimTrack& t, int32_t f, const Quaternion& rotation, const float position[3],
                      float lastFrame) {
  const float q[4] = {rotation.w, rotation.x, rotation.y, rotation.z};
  const float lastRotation = RecordKey(t.rotationKeys, kRotationKeyFloats, f, q);
  const float lastPosition = RecordKey(t.positionKeys, kVectorKeyFloats, f, position);
  if (f < 1) return lastFrame;
  return std::max({lastFrame, std::trunc(lastRotation), std::trunc(lastPosition)});
}

void DeleteTrackKeysAt(AnimTrack& t, int32_t f) {
  DeleteKey(t.rotationKeys, kRotationKeyFloats, f);
  DeleteKey(t.positionKeys, kVectorKeyFloats, f);
}

float LastAnimationKeyFrame(const AnimTrack* t) {
  float last = 0;
  for (; t; t = TrackNext(*t))
    for (const std::vector<float>* keys : {&t->rotationKeys, &t->scaleKeys, &t->positionKeys}) {
      const size_t stride = keys == &t->rotationKeys ? kRotationKeyFloats : kVectorKeyFloats;
      if (keys->size() >= stride) last = std::max(last, std::trunc((*keys)[keys->size() - stride]));
    }
  return last;
}
