// Model files through the handle: loading, the animated load, saving an animation, the merge
// of a saved animation, and the Mesh objects of mesh nodes.
#include <cmath>

#include "model/model_handle.h"
#include "model/x_loader.h"
#include "model/x_mesh_writer.h"
#include "platform/fs.h"

namespace {

// A key time as the file keeps it: a whole frame, truncated toward zero (0 for what is not a
// frame number).
uint32_t KeyTime(float t) { return t >= 0.0f && t < 4294967296.0f ? uint32_t(t) : 0u; }

void AddKeys(XObject& animation, uint32_t type, const std::vector<float>& keys, uint32_t stride) {
  XObject& k = animation.AddChild("AnimationKey");
  const uint32_t n = uint32_t(keys.size() / stride);
  k.PushInt(type);
  k.PushInt(n);
  for (uint32_t i = 0; i < n; ++i) {
    const float* key = &keys[size_t(i) * stride];
    k.PushInt(KeyTime(key[0]));
    k.PushInt(stride - 1);
    for (uint32_t v = 1; v < stride; ++v) k.PushFloat(key[v]);
  }
}

}  // namespace

XFile AnimationXFile(const AnimTrack* first) {
  XFile file;
  if (!first) return file;
  XObject& set = file.Add("AnimationSet", "xvk_animset_0");
  int index = 0;
  for (const AnimTrack* t = first; t; t = TrackNext(*t)) {
    XObject& a = set.AddChild("Animation", "xvk_anim_" + std::to_string(index++));
    a.AddReference(t->name);
    AddKeys(a, 0, t->rotationKeys, kRotationKeyFloats);
    AddKeys(a, 1, t->scaleKeys, kVectorKeyFloats);
    AddKeys(a, 2, t->positionKeys, kVectorKeyFloats);
  }
  return file;
}

int32_t WriteAnimationXFile(const std::string& path, const AnimTrack* firstTrack) {
  return SaveXFile(path, AnimationXFile(firstTrack), XEncoding::Text) ? 1 : 0;
}

int32_t LoadModelXFile(ModelHandle& h, const std::string& path, Device3D* device, std::string* why) {
  if (h.root) return kModelFailed;
  std::unique_ptr<AnimSet> animation;
  uint32_t frames = 0;
  std::unique_ptr<FrameNode> root = LoadXFileTree(path, &frames, &animation, why);
  if (!root) return kModelFailed;
  h.root = std::move(root);
  h.limbIndex = {};
  h.frameCount = frames;
  h.animation = std::move(animation);
  if (device) h.root->RestoreBuffers(*device);
  return kModelOk;
}

int32_t LoadModelXObjects(ModelHandle& h, const XFile& file, Device3D* device, std::string* why) {
  if (h.root) return kModelFailed;
  h.root = LoadXTree(file, &h.frameCount, &h.animation, why);
  h.limbIndex = {};
  if (!h.root) return kModelFailed;
  if (device) h.root->RestoreBuffers(*device);
  return kModelOk;
}

int32_t SaveAnimationXFile(ModelHandle& h, const std::string& path) {
  return WriteAnimationXFile(path, h.animation ? AnimSetGetTrackList(*h.animation) : nullptr) ? kModelOk : kModelFailed;
}

int32_t LoadAnimatedXFile(ModelHandle& h, const std::string& path, int32_t timeOffset, int32_t holdTime,
                          std::string* why) {
  if (!h.root) return kModelFailed;
  return AppendAnimationFromXFile(path, h.root.get(), h.animation.get(), timeOffset, holdTime, why) ? kModelOk
                                                                                                    : kModelFailed;
}

// The saved animation names frames it does not hold: it is read beside the model file, so its
// references resolve to the model's frames whatever the two files' formats. Only its own
// animation set is merged.
int32_t MergeAnimationXFile(ModelHandle& h, const std::string& modelPath, const std::string& animationPath,
                            int32_t timeOffset, int32_t holdTime, std::string* why, bool* modelFileFailed) {
  if (modelFileFailed) *modelFileFailed = false;
  if (!h.root) return kModelFailed;
  XFile model, animation;
  if (!ReadModelXFile(modelPath, &model, why)) {
    if (modelFileFailed) *modelFileFailed = true;
    return kModelFailed;
  }
  if (!ReadModelXFile(animationPath, &animation, why)) return kModelFailed;
  ResolveXReferences({&model, &animation});
  return AppendAnimationFromXFiles({&animation}, h.root.get(), h.animation.get(), timeOffset, holdTime, why)
             ? kModelOk
             : kModelFailed;
}

void XMeshWriter::WriteMesh(const MeshNode& mesh) {
  XObject& o = file_->Add("Mesh", "Mesh");
  o.PushInt(uint32_t(mesh.vertices.size()));
  for (const Vertex& v : mesh.vertices) o.PushFloat(v.x), o.PushFloat(v.y), o.PushFloat(v.z);
  const uint32_t faces = uint32_t(mesh.indices.size() / 3);
  o.PushInt(faces);
  for (uint32_t f = 0; f < faces; ++f) {
    o.PushInt(3);
    for (uint32_t c = 0; c < 3; ++c) o.PushInt(mesh.indices[3 * size_t(f) + c]);
  }
}
