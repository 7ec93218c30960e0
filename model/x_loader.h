#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/anim_track.h"
#include "model/xfile/xfile.h"
#include "model/frame_node.h"

// .x files into model trees: frames with their matrices, meshes with normals, texture
// coordinates, materials and textures (a mesh of several materials splits into one mesh node
// per material), and the animation set into tracks.

// Reads a model file (text, binary or compressed) through the path layer; false, with out
// emptied and the cause in why (when given), when it cannot be read, is not an .x file, or
// the reader refuses any of it (a syntax error, nesting too deep), or it is damaged (FirstXDamage:
// data shorter than its counts, an index past its list).
bool ReadModelXFile(const std::string& path, XFile* out, std::string* why = nullptr);
// What a model file may build (a file of more is refused as too large); tests lower it.
extern XLimits g_modelLimits;

// The tree of a file: a root frame "root" (limb 0), the file's frames numbered 1, 2, ... in
// depth-first order (a top-level mesh joins the root with the number of the frame read last),
// and the last animation set, its tracks driving the limbs they name (limb 0 when the frame is
// not found); keys of each list in time order. frameCount is the number of frames plus the root.
// nullptr, with the cause in why, when the file cannot be read (ReadModelXFile), gives no mesh,
// or the process is asked to stop while the tree is built; LoadXFileTree also when an animation
// of the file names a frame the file does not hold. The meshes have no vertex buffers yet: the model
// handle makes them on its device.
std::unique_ptr<FrameNode> LoadXFileTree(const std::string& path, uint32_t* frameCount,
                                         std::unique_ptr<AnimSet>* animation, std::string* why = nullptr);
std::unique_ptr<FrameNode> LoadXTree(const XFile& file, uint32_t* frameCount, std::unique_ptr<AnimSet>* animation,
                                     std::string* why = nullptr);

// Appends the last animation set of the files (read together, so a reference in one may name a
// frame of another) to the existing tracks of the same limbs: each key list gains, when the
// last kept key's time differs from holdTime, a key at holdTime repeating it, then the new keys
// with timeOffset added. Tracks naming no frame, or a limb without a track, add nothing. 1; 0,
// with nothing added and the cause in why, when the files hold no animation set or one of its
// tracks names a frame the model does not have.
int32_t AppendAnimationFromXFiles(const std::vector<const XFile*>& files, FrameNode* root, AnimSet* existing,
                                  int32_t timeOffset, int32_t holdTime, std::string* why = nullptr);
// The same for one file; 0 with the cause in why when it cannot be read (ReadModelXFile) too.
int32_t AppendAnimationFromXFile(const std::string& path, FrameNode* root, AnimSet* existing, int32_t timeOffset,
                                 int32_t holdTime, std::string* why = nullptr);

// The text .x file of an animation: one AnimationSet "xvk_animset_0" holding, per track, an
// Animation "xvk_anim_<n>" with a reference to the track's frame and its rotation, scale and
// position keys (times truncated to whole frames). No track: a file without data objects.
XFile AnimationXFile(const AnimTrack* firstTrack);
// Writes it through a temporary file and a rename; 1, or 0 when it cannot be written.
int32_t WriteAnimationXFile(const std::string& path, const AnimTrack* firstTrack);
