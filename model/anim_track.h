#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/math3d.h"

// The animation of a model: a chain of tracks, one per animated limb, each with rotation keys
// (time, w, x, y, z: unit quaternions, scalar first), scale keys and position keys (time, x,
// y, z). Times are frame numbers; keys of a list stand in increasing time order. Key counts
// and the offsets of the last keys follow from the lists, so they never disagree with them.

inline constexpr uint32_t kRotationKeyFloats = 5;
inline constexpr uint32_t kVectorKeyFloats = 4;
inline constexpr size_t kTrackNameMax = 79;

struct AnimTrack {
  std::unique_ptr<AnimTrack> next;  // the rest of the set's chain
  std::string name;                 // the frame the track drives
  int32_t limb = 0;                 // -1 for an appended track whose frame was not found
  std::vector<float> rotationKeys, scaleKeys, positionKeys;

  AnimTrack() = default;
  AnimTrack(const AnimTrack&) = delete;
  AnimTrack& operator=(const AnimTrack&) = delete;
  ~AnimTrack();  // frees the chain after it without recursing
};

struct AnimSet {
  std::unique_ptr<AnimSet> nextSet;
  std::unique_ptr<AnimTrack> firstTrack;

  AnimSet() = default;
  AnimSet(const AnimSet&) = delete;
  AnimSet& operator=(const AnimSet&) = delete;
  ~AnimSet();
};

// Links the track behind the last track of the set (or makes it the first).
void AnimSetAppendTrack(AnimSet& set, std::unique_ptr<AnimTrack> track);
// The first track; nullptr when the set is empty.
AnimTrack* AnimSetGetTrackList(const AnimSet& set);

AnimTrack* TrackNext(const AnimTrack& t);
void TrackSetName(AnimTrack& t, const std::string& name);  // cut to kTrackNameMax characters
int32_t TrackGetLimb(const AnimTrack& t);
void TrackSetLimb(AnimTrack& t, int32_t limb);
// Rotation keys; scale keys are the "A" vector keys, position keys the "B" ones. A setter
// replaces the list (a trailing partial key is dropped).
uint32_t TrackGetRotKeyCount(const AnimTrack& t);
void TrackSetRotKeys(AnimTrack& t, std::vector<float> keys);
void TrackSetVecKeysA(AnimTrack& t, std::vector<float> keys);
uint32_t TrackGetVecKeyCountB(const AnimTrack& t);
void TrackSetVecKeysB(AnimTrack& t, std::vector<float> keys);
// Float index of the last key: (count - 1) x stride; 0 for an empty list.
uint32_t TrackGetLastRotOffset(const AnimTrack& t);
uint32_t TrackGetLastScaleOffset(const AnimTrack& t);
uint32_t TrackGetLastPositionOffset(const AnimTrack& t);

// Key lookup at a frame (with its fraction). Key times and the frame's whole part are
// compared as unsigned integers, so a negative frame lies beyond every key.
// Rotation: between the keys around the frame by spherical interpolation; before the first key
// the first, at or beyond the last the last. No keys: no turn.
Quaternion RotationKeyAt(const AnimTrack& t, float frame);
// Vector keys (4 floats each): before the first key the first, between two keys the linear
// blend, at or beyond the last the last. False, with out untouched, for an empty list.
bool VectorKeyAt(const std::vector<float>& keys, float frame, float out[3]);
// The limb matrix of a track at a frame: scale x rotation x translation (no scale keys: no
// scaling, no position keys: no move).
void TrackMatrixAt(const AnimTrack& t, float frame, float out[16]);
