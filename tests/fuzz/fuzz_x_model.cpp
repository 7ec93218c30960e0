// .x models are outside data: any bytes must load into a tree (or none) without reading out of
// bounds, and the tree, its tracks and the mesh builder must stand every operation after. The
// bytes are also appended as an animation to a fixed two-limb model, alone (the append path)
// and read beside the model file (the merge path), and the tracks that result are edited and
// posed. Input that does not start with an "xof " header gets one chosen by its first byte.
// A file the load takes (read and found without damage) gives a tree with a mesh, each face
// naming a vertex of its mesh, or none with the cause.
#include <cstdint>
#include <string>

#include "model/anim_keys.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "model/model_textures.h"
#include "model/x_loader.h"
#include "model/mesh_node.h"
#include "model/xfile/damage.h"
#include "model/xfile/mesh_builder.h"

namespace {

const char* const kTwoLimbModel =
    "xof 0302txt 0032\n"
    "Frame Body { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
    "  Frame Arm { FrameTransformMatrix { 0,1,0,0, -1,0,0,0, 0,0,1,0, 0,1,0,1;; }\n"
    "    Mesh hand { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } } }\n"
    "AnimationSet walk { Animation { {Body} AnimationKey { 2; 2; 0; 3; 0.0, 0.0, 0.0;;, "
    "10; 3; 10.0, 0.0, 0.0;;; } } }\n";

// Edits and poses every track of the handle as the animation commands do.
void EditAndPose(ModelHandle& h, int32_t frame) {
  if (!h.animation) return;
  float last = 0;
  for (AnimTrack* t = AnimSetGetTrackList(*h.animation); t; t = TrackNext(*t)) {
    float m[16], position[3];
    SetMatrixIdentity(m);
    ModelHandleGetLimbMatrix(h, uint32_t(t->limb), m);
    Quaternion q;
    PoseFromLimbMatrix(m, &q, position);
    last = RecordTrackPose(*t, frame, q, position, last);
    TrackMatrixAt(*t, float(frame) + 0.5f, m);
    DeleteTrackKeysAt(*t, frame / 2);
  }
  LastAnimationKeyFrame(AnimSetGetTrackList(*h.animation));
  float* matrices[4] = {};
  ModelHandleLimbMatrixPointers(h, matrices, 4);
  if (const AnimTrack* first = AnimSetGetTrackList(*h.animation))
    for (float* m : matrices)
      if (m) TrackMatrixAt(*first, float(frame), m);
}

// The bytes appended to the fixed model: alone, or read beside the model's own objects.
void AppendToModel(const std::string& bytes, bool merge, int32_t offset, int32_t hold) {
  XFile model, file;
  ParseXFile(kTwoLimbModel, model);
  ParseXFile(bytes, file);
  ModelHandle h;
  h.root = LoadXTree(model, &h.frameCount, &h.animation);
  if (merge) {
    ResolveXReferences({&model, &file});
    AppendAnimationFromXFiles({&model, &file}, h.root.get(), h.animation.get(), offset, hold);
  } else {
    AppendAnimationFromXFiles({&file}, h.root.get(), h.animation.get(), offset, hold);
  }
  EditAndPose(h, offset - hold);
}

// Every face corner of every mesh below n names one of its mesh's vertices.
void CheckMeshes(const SceneNode* n) {
  for (; n; n = n->nextSibling) {
    if (const auto* m = dynamic_cast<const MeshNode*>(n))
      for (uint32_t i : m->indices)
        if (i >= m->vertices.size()) __builtin_trap();
    CheckMeshes(n->firstChild);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.compare(0, 4, "xof ") != 0 && size > 0) {
    static const char* const kHeads[] = {"xof 0302txt 0032", "xof 0303txt 0064", "xof 0302bin 0032",
                                         "xof 0303bin 0064"};
    bytes = kHeads[data[0] % 4] + bytes.substr(1);
  }
  g_modelTextures.byName = [](const std::string& f) { return f.size() % 3 == 0 ? 5 : 0; };
  g_modelTextures.byColour = [](uint32_t c) { return int32_t(c & 7); };
  g_modelTextures.release = [](int32_t) {};
  XFile file;
  const bool taken = ParseXFile(bytes, file).ok() && FirstXDamage(file.objects).empty();
  ModelHandle h;
  std::string why;
  h.root = LoadXTree(file, &h.frameCount, &h.animation, &why);
  if (taken && (h.root ? !h.root->firstChild : why.empty())) __builtin_trap();
  if (taken) CheckMeshes(h.root.get());
  AppendAnimationFromXFiles({&file}, h.root.get(), h.animation.get(), 7, 3);
  float c[3], r;
  ModelHandleGetBoundingSphere(h, c, &r);
  ModelHandleReparentLimb(h, 2, 1);
  ModelHandleScaleAllVertices(h, 2, 2, 2);
  for (AnimTrack* t = h.animation ? AnimSetGetTrackList(*h.animation) : nullptr; t; t = TrackNext(*t)) {
    float m[16];
    TrackMatrixAt(*t, 4.5f, m);
  }
  EditAndPose(h, size > 1 ? int32_t(int8_t(data[1])) : 0);
  const int32_t offset = size > 2 ? int32_t(int8_t(data[2])) : 11, hold = size > 3 ? int32_t(int8_t(data[3])) : 10;
  AppendToModel(bytes, false, offset, hold);
  AppendToModel(bytes, true, offset, hold);
  XFile saved = AnimationXFile(h.animation ? AnimSetGetTrackList(*h.animation) : nullptr);
  WriteXFile(saved, XEncoding::Text);
  BuiltMesh built;
  BuildMeshFromX(bytes, &built);
  return 0;
}
