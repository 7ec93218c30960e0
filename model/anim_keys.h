#pragma once
#include <cstdint>

#include "model/anim_track.h"

// Editing the keys of an animation: recording a limb's pose as a key, deleting the keys at a
// frame, and the number of the last frame.

// A limb's pose as key values: the position is the matrix's translation row, the rotation the
// quaternion whose matrix (MatrixFromQuaternion) gives back the matrix's turn. A matrix that
// cannot be inverted gives no turn.
void PoseFromLimbMatrix(const float m[16], Quaternion* rotation, float position[3]);

// Records the pose at whole frame f in the track's rotation and position lists (scale keys are
// left alone). A key whose time truncates to f is overwritten; otherwise a key is added in time
// order (after the last key when f lies beyond it). Below frame 1 a key at f is only added when
// the list has none there. Returns the larger of lastFrame and the whole time of the last key
// of either list once f is recorded (a frame below 1 leaves lastFrame as it is).
float RecordTrackPose(AnimTrack& t, int32_t f, const Quaternion& rotation, const float position[3],
                      float lastFrame);

// Removes the rotation key and the position key whose time truncates to f from lists holding
// two keys or more. Scale keys, lists of one key and lists without a key at f are left alone.
void DeleteTrackKeysAt(AnimTrack& t, int32_t f);

// The largest whole time of the last key of any key list of any track of the chain; 0 when
// there are none (or all lie below 0).
float LastAnimationKeyFrame(const AnimTrack* first);
