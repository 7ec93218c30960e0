#include "model/anim_track.h"

#include <cstring>

namespace {

// Whole part of a time or frame as the key search compares it: truncated toward zero, then
// taken as unsigned (negative values lie beyond every key). NaN and values out of range give
// the largest value.
uint32_t WholeFrame(float f) {
  if (!(f > -2147483649.0f && f < 4294967296.0f)) return UINT32_MAX;
  return f < 0 ? uint32_t(int32_t(f)) : uint32_t(f);
}

void SetKeys(std::vector<float>& list, std::vector<float> keys, uint32_t stride) {
  keys.resize(keys.size() / stride * stride);
  list = std::move(keys);
}

uint32_t LastOffset(const std::vector<float>& keys, uint32_t stride) {
  const uint32_t n = uint32_t(keys.size() / stride);
  return n ? (n - 1) * stride : 0;
}

// The first i with whole(time[i]) <= whole(frame) < whole(time[i + 1]); -1 when none.
int64_t SpanAt(const std::vector<float>& keys, uint32_t stride, uint32_t fi) {
  const size_t n = keys.size() / stride;
  if (n < 2) return -1;
  if (fi < (1u << 24)) {
    // The same test on the floats as they stand: whole(t) <= fi exactly when t > -1 (a time
    // in (-1, 0) truncates to 0, one at or below -1 lies beyond every frame) and t < fi + 1.
    const float limit = float(fi) + 1.0f;
    bool here = keys[0] > -1.0f && keys[0] < limit;
    for (size_t i = 0; i + 1 < n; ++i) {
      const float t = keys[(i + 1) * stride];
      const bool next = t > -1.0f && t < limit;
      if (here && !next) return int64_t(i);
      here = next;
    }
    return -1;
  }
  uint32_t here = WholeFrame(keys[0]);
  for (size_t i = 0; i + 1 < n; ++i) {
    const uint32_t next = WholeFrame(keys[(i + 1) * stride]);
    if (here <= fi && fi < next) return int64_t(i);
    here = next;
  }
  return -1;
}

Quaternion RotationKey(const std::vector<float>& keys, size_t i) {
  const float* k = &keys[i * kRotationKeyFloats];
  return {k[1], k[2], k[3], k[4]};
}

}  // namespace

AnimTrack::~AnimTrack() {
  // Unlink the chain one track at a time so a long chain does not recurse.
  std::unique_ptr<AnimTrack> rest = std::move(next);
  while (rest) rest = std::move(rest->next);
}

AnimSet::~AnimSet() {
  std::unique_ptr<AnimSet> rest = std::move(nextSet);
  while (rest) rest = std::move(rest->nextSet);
}

void AnimSetAppendTrack(AnimSet& set, std::unique_ptr<AnimTrack> track) {
  std::unique_ptr<AnimTrack>* slot = &set.firstTrack;
  while (*slot) slot = &(*slot)->next;
  *slot = std::move(track);
}

AnimTrack* AnimSetGetTrackList(const AnimSet& set) { return set.firstTrack.get(); }
AnimTrack* TrackNext(const AnimTrack& t) { return t.next.get(); }
void TrackSetName(AnimTrack& t, const std::string& name) { t.name = name.substr(0, kTrackNameMax); }
int32_t TrackGetLimb(const AnimTrack& t) { return t.limb; }
void TrackSetLimb(AnimTrack& t, int32_t limb) { t.limb = limb; }

uint32_t TrackGetRotKeyCount(const AnimTrack& t) { return uint32_t(t.rotationKeys.size() / kRotationKeyFloats); }
void TrackSetRotKeys(AnimTrack& t, std::vector<float> keys) { SetKeys(t.rotationKeys, std::move(keys), kRotationKeyFloats); }
void TrackSetVecKeysA(AnimTrack& t, std::vector<float> keys) { SetKeys(t.scaleKeys, std::move(keys), kVectorKeyFloats); }
uint32_t TrackGetVecKeyCountB(const AnimTrack& t) { return uint32_t(t.positionKeys.size() / kVectorKeyFloats); }
void TrackSetVecKeysB(AnimTrack& t, std::vector<float> keys) { SetKeys(t.positionKeys, std::move(keys), kVectorKeyFloats); }
uint32_t TrackGetLastRotOffset(const AnimTrack& t) { return LastOffset(t.rotationKeys, kRotationKeyFloats); }
uint32_t TrackGetLastScaleOffset(const AnimTrack& t) { return LastOffset(t.scaleKeys, kVectorKeyFloats); }
uint32_t TrackGetLastPositionOffset(const AnimTrack& t) { return LastOffset(t.positionKeys, kVectorKeyFloats); }

Quaternion RotationKeyAt(const AnimTrack& t, float frame) {
  const std::vector<float>& keys = t.rotationKeys;
  const size_t n = keys.size() / kRotationKeyFloats;
  if (n == 0) return Quaternion{};
  const uint32_t fi = WholeFrame(frame);
  if (fi < WholeFrame(keys[0])) return RotationKey(keys, 0);
  const int64_t i = SpanAt(keys, kRotationKeyFloats, fi);
  if (i < 0) return RotationKey(keys, n - 1);
  const float t0 = keys[size_t(i) * kRotationKeyFloats], t1 = keys[size_t(i + 1) * kRotationKeyFloats];
  const float s = (frame - t0) / (t1 - t0);
  return QuaternionSlerp(RotationKey(keys, size_t(i)), RotationKey(keys, size_t(i + 1)), s);
}

bool VectorKeyAt(const std::vector<float>& keys, float frame, float out[3]) {
  const size_t n = keys.size() / kVectorKeyFloats;
  if (n == 0) return false;
  const uint32_t fi = WholeFrame(frame);
  const float* k;
  if (fi < WholeFrame(keys[0])) {
    k = &keys[0];
  } else {
    const int64_t i = SpanAt(keys, kVectorKeyFloats, fi);
    if (i >= 0) {
      const float* a = &keys[size_t(i) * kVectorKeyFloats];
      const float* b = a + kVectorKeyFloats;
      const float p = 100.0f / (b[0] - a[0]) * (frame - a[0]);
      for (int c = 0; c < 3; ++c) out[c] = a[c + 1] + (b[c + 1] - a[c + 1]) * 0.01f * p;
      return true;
    }
    k = &keys[(n - 1) * kVectorKeyFloats];
  }
  std::memcpy(out, k + 1, 3 * sizeof(float));
  return true;
}

void TrackMatrixAt(const AnimTrack& t, float frame, float out[16]) {
  float r[16], s[16], m[16];
  MatrixFromQuaternion(r, RotationKeyAt(t, frame));
  SetMatrixIdentity(s);
  float v[3];
  if (VectorKeyAt(t.scaleKeys, frame, v)) s[0] = v[0], s[5] = v[1], s[10] = v[2];
  MultiplyMatrix4x4(m, s, r);
  std::memcpy(out, m, sizeof m);
  if (VectorKeyAt(t.positionKeys, frame, v)) {
    // Translation after scale and turn: only the bottom row changes.
    out[12] += v[0];
    out[13] += v[1];
    out[14] += v[2];
  }
}
