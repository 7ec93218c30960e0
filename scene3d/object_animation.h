#pragma once
#include <cstdint>
#include <string>

#include "model/anim_track.h"

struct ObjectRecord;

// Playback and editing of an object's animation: the tracks of its model turned into limb
// matrices once per display frame (UpdateObjectAnimations, scene.h), blending to a frame, and
// key frames recorded from the pose, deleted, appended from a file.

// The first track of the object's model animation; nullptr when it has none.
AnimTrack* ObjectTracks(uint32_t record);
// Plays (loop 0, from frame 0) or loops (loop 1, from the current frame) over the whole
// animation, putting the object on the play list.
void StartObjectAnimation(uint32_t record, int32_t loop);
// The six blend arrays hold one entry per limb at least.
void EnsureBlendArrays(uint32_t record);
// Poses the limbs at the current frame (blending toward the target frame while interpolating).
// Track k drives the limb it names when that is 1 or more, else limb k + 1; limbs no track
// drives keep their local matrix.
void ApplyAnimationKeys(uint32_t record);
// The frame the object shows: while a blend to a frame is under way, the frame as far between
// the two as the blend has gone; else the current frame.
float ShownObjectFrame(const ObjectRecord& o);
// The limb track k of the chain drives.
int32_t TrackDrivenLimb(const AnimTrack& t, uint32_t k);

// Records the current pose as key frame f, giving the model an animation first when it has
// none (a rotation and a position key at 0 per existing limb above 0). Nothing without a model.
void SetObjectKeyframe(uint32_t record, int32_t f);
// Deletes the keys at frame f (nothing for f 0 or without animation).
void DeleteObjectKeyframe(uint32_t record, int32_t f);
// Off the play list, tracks destroyed, frames 0. Nothing without animation.
void DeleteObjectAnimation(uint32_t record);
// Gives the object's model an animation made from the pose of its limbs (a model without one).
void CreateObjectAnimation(uint32_t record);
// frameCount and endFrame from the last keys of the tracks.
void UpdateObjectFrameCount(uint32_t record);
// Appends the frames and animation of an .x file (mapped through the pack) from frame start;
// 1 when they were added, 0 otherwise (also without a model), with the file's fault in why.
int32_t AppendObjectAnimationFile(uint32_t record, const std::string& name, int32_t start, std::string* why = nullptr);
