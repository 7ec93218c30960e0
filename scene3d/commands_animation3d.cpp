// Object animation commands: play, loop, stop, ranges, speed, frame and blending, the frame
// queries, and recording, deleting, appending, saving and merging key frames.
#include <cerrno>
#include <cmath>
#include <string>

#include "core/errors.h"
#include "core/language.h"
#include "core/pack.h"
#include "model/model_handle.h"
#include "model/x_loader.h"
#include "platform/fs.h"
#include "scene3d/commands.h"
#include "scene3d/object_animation.h"
#include "scene3d/object_operands.h"

namespace {

// The record of an existing object whose model has an animation: 7006, 7008, then 7601; 0
// after an error.
uint32_t AnimatedObject(int32_t n) {
  const uint32_t r = ExistingObject(n);
  if (r && !ObjectTracks(r)) {
    RunError(kErrObjectNoAnimation);
    return 0;
  }
  return r;
}

template <int32_t Loop>
void CmdStartObjectAnimation() {
  if (const uint32_t r = AnimatedObject(OpInt(0))) StartObjectAnimation(r, Loop);
  SkipOperands(1);
}

void CmdStopObject() {
  if (const uint32_t r = AnimatedObject(OpInt(0))) StopObjectAnimation(r);
  SkipOperands(1);
}

// Playing or looping over from..to: the range set, the object on the play list, a blend under
// way given up.
void PlayRange(uint32_t r, int32_t loop, float from, float to) {
  ObjectRecord& o = Obj(r);
  o.playing = 1, o.looping = loop, o.interpolating = 0;
  o.startFrame = from, o.endFrame = to;
  AddToPlayList(r, o.model->animation.get());
}

void CmdPlayObjectFrom() {
  if (const uint32_t r = AnimatedObject(OpInt(0))) {
    const float f = float(OpInt(1));
    PlayRange(r, 0, f, Obj(r).frameCount);
    Obj(r).currentFrame = f;
  }
  SkipOperands(2);
}

void CmdPlayObjectRange() {
  if (const uint32_t r = AnimatedObject(OpInt(0))) {
    PlayRange(r, 0, float(OpInt(1)), float(OpInt(2)));
    Obj(r).currentFrame = float(OpInt(1));
  }
  SkipOperands(3);
}

void CmdLoopObjectFrom() {
  if (const uint32_t r = AnimatedObject(OpInt(0))) PlayRange(r, 1, float(OpInt(1)), Obj(r).frameCount);
  SkipOperands(2);
}

void CmdLoopObjectRange() {
  if (const uint32_t r = AnimatedObject(OpInt(0))) PlayRange(r, 1, float(OpInt(1)), float(OpInt(2)));
  SkipOperands(3);
}

// A looping object jumps to the frame; any other blends there over 1 / interpolation frames.
void CmdSetObjectFrame() {
  const int32_t n = OpInt(0);
  const float f = OpFloat(1);
  SkipOperands(2);
  const uint32_t r = AnimatedObject(n);
  if (!r) return;
  if (!(f >= 0.0f && f <= Obj(r).frameCount)) return RunError(kErrAnimationFrameOutOfRange);
  if (Obj(r).looping != 1) {
    EnsureBlendArrays(r);
    ObjectRecord& o = Obj(r);
    o.interpolating = 1, o.blendProgress = 0, o.targetFrame = f;
  } else {
    Obj(r).currentFrame = f;
  }
  AddToPlayList(r, Obj(r).model->animation.get());
}

void CmdSetObjectSpeed() {
  const int32_t n = OpInt(0), s = OpInt(1);
  SkipOperands(2);
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  if (s < -100 || s > 100) return RunError(kErrAnimationSpeedOutOfRange);
  Obj(r).speed = float(s) / 25.0f;
}

void CmdSetObjectInterpolation() {
  const int32_t n = OpInt(0), v = OpInt(1);
  SkipOperands(2);
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  if (v < 1 || v > 100) return RunError(kErrInterpolationOutOfRange);
  Obj(r).interpolation = float(v) / 100.0f;
}

void CmdAppendObject() {
  const std::string file = OpString(0);
  const int32_t n = OpInt(1), f = OpInt(2);
  SkipOperands(3);
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  if (!(float(f) > Obj(r).frameCount)) return RunError(kErrAppendFrameTooLow);
  if (!ObjectTracks(r)) return RunError(kErrAnimationNotAppended);
  std::string why;
  const FileLoadScope load(kErrAnimationNotAppended, file);
  if (!AppendObjectAnimationFile(r, file, f, &why)) return RunFileError(kErrAnimationNotAppended, file, why);
  UpdateObjectFrameCount(r);
}

// Speed and interpolation read back as the whole numbers they were set from (the stored
// fractions, multiplied out, may fall just short of them).
int32_t Rounded(float v) { return FloatToInt(std::round(double(v))); }

// Queries (result, object n).
template <int32_t (*Answer)(const ObjectRecord&, bool animated)>
void IntQuery() {
  VarCell* result = OpCell(0);
  if (const uint32_t r = ObjectOperand(1)) result->i = Answer(Obj(r), ObjectTracks(r) != nullptr);
  SkipOperands(2);
}
int32_t Playing(const ObjectRecord& o, bool) { return o.playing == 1 ? 1 : 0; }
int32_t Looping(const ObjectRecord& o, bool) { return o.looping == 1 ? 1 : 0; }
int32_t Speed(const ObjectRecord& o, bool animated) { return animated ? Rounded(o.speed * 25.0f) : 0; }
int32_t Interpolation(const ObjectRecord& o, bool) { return Rounded(o.interpolation * 100.0f); }
int32_t FrameTotal(const ObjectRecord& o, bool) { return FloatToInt(o.frameCount); }

void CmdObjectFrame() {
  VarCell* result = OpCell(0);
  if (const uint32_t r = ObjectOperand(1)) result->f = ObjectTracks(r) ? ShownObjectFrame(Obj(r)) : 0.0f;
  SkipOperands(2);
}

void CmdSetObjectKeyframe() {
  if (const uint32_t r = ObjectOperand(0)) SetObjectKeyframe(r, OpInt(1));
  SkipOperands(2);
}

void CmdDeleteObjectKeyframe() {
  if (const uint32_t r = ObjectOperand(0)) DeleteObjectKeyframe(r, OpInt(1));
  SkipOperands(2);
}

void CmdDeleteObjectAnimation() {
  if (const uint32_t r = ObjectOperand(0)) DeleteObjectAnimation(r);
  SkipOperands(1);
}

// A file that is not written is said with its cause, as the static world's save says it.
void CmdSaveObjectAnimation() {
  const std::string file = OpString(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  const uint32_t r = ExistingObject(n);
  if (!r) return;
  MakePackedFoldersFor(file);
  const bool saved = Obj(r).model ? SaveAnimationXFile(*Obj(r).model, file) == kModelOk : WriteAnimationXFile(file, nullptr) != 0;
  if (!saved) RunFileError(kErrStreamWriteFailed, file, FsProgramWriteCause(file, errno));
}

// The value is the time offset of the merged keys; each track first holds its last key up to
// the current frame count. A merge that cannot be made is reported as APPEND OBJECT reports
// one, naming the file at fault; the object is left as it was.
void CmdMergeObjectAnimation() {
  const std::string modelFile = OpString(0), animationFile = OpString(1);
  const int32_t n = OpInt(2), v = OpInt(3);
  SkipOperands(4);
  const uint32_t r = ExistingObject(n);
  if (!r || !Obj(r).model) return;
  const bool made = !ObjectTracks(r);
  if (made) CreateObjectAnimation(r);
  ObjectRecord& o = Obj(r);
  const int32_t hold = FloatToInt(o.frameCount);
  std::string modelPath = modelFile, animationPath = animationFile, why;
  MapThroughPack(modelPath, "dat");
  MapThroughPack(animationPath, "dat");
  bool modelFault = false;
  const FileLoadScope load(kErrAnimationNotAppended, animationFile);
  if (MergeAnimationXFile(*o.model, modelPath, animationPath, v, hold, &why, &modelFault) == kModelOk)
    return UpdateObjectFrameCount(r);
  if (made) DeleteObjectAnimation(r);
  RunFileError(kErrAnimationNotAppended, modelFault ? modelFile : animationFile, why);
}

const CommandDef kAnimationCommands[] = {
    {7259, CmdSaveObjectAnimation, "sl"},
    {7260, CmdMergeObjectAnimation, "ssll"},
    {7261, CmdDeleteObjectAnimation, "l"},
    {7262, CmdDeleteObjectKeyframe, "ll"},
    {7263, CmdSetObjectKeyframe, "ll"},
    {7601, CmdStartObjectAnimation<0>, "l"},
    {7602, CmdStopObject, "l"},
    {7603, CmdStartObjectAnimation<1>, "l"},
    {7604, CmdSetObjectFrame, "lf"},
    {7605, CmdSetObjectSpeed, "ll"},
    {7606, CmdLoopObjectRange, "lll"},
    {7607, CmdAppendObject, "sll"},
    {7608, CmdPlayObjectFrom, "ll"},
    {7609, CmdPlayObjectRange, "lll"},
    {7610, CmdLoopObjectFrom, "ll"},
    {7611, CmdSetObjectInterpolation, "ll"},
    {7651, IntQuery<Playing>, "ll"},
    {7652, IntQuery<Looping>, "ll"},
    {7653, CmdObjectFrame, "fl"},
    {7654, IntQuery<Speed>, "ll"},
    {7655, IntQuery<Interpolation>, "ll"},
    {7656, IntQuery<FrameTotal>, "ll"},
};

}  // namespace

std::span<const CommandDef> ObjectAnimationCommands() { return kAnimationCommands; }
