// .x models are outside data: any bytes must load into a tree (or none) without reading out of
// bounds, and the tree, its tracks and the mesh builder must stand every operation after.
// Input that does not start with an "xof " header gets one chosen by its first byte.
#include <cstdint>
#include <string>

#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "model/model_textures.h"
#include "model/x_loader.h"
#include "model/xfile/mesh_builder.h"

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
  ParseXFile(bytes, file);
  ModelHandle h;
  h.root = LoadXTree(file, &h.frameCount, &h.animation);
  AppendAnimationFromXFiles({&file}, h.root.get(), h.animation.get(), 7, 3);
  float c[3], r;
  ModelHandleGetBoundingSphere(h, c, &r);
  ModelHandleReparentLimb(h, 2, 1);
  ModelHandleScaleAllVertices(h, 2, 2, 2);
  for (AnimTrack* t = h.animation ? AnimSetGetTrackList(*h.animation) : nullptr; t; t = TrackNext(*t)) {
    float m[16];
    TrackMatrixAt(*t, 4.5f, m);
  }
  XFile saved = AnimationXFile(h.animation ? AnimSetGetTrackList(*h.animation) : nullptr);
  WriteXFile(saved, XEncoding::Text);
  BuiltMesh built;
  BuildMeshFromX(bytes, &built);
  return 0;
}
