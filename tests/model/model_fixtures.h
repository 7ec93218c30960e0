#pragma once
// Model files and helpers shared by the model tests: a text .x model, a dump of a loaded tree,
// a compressor to the "tzip"/"bzip" forms, and a texture loader that records what it is asked for.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "model/anim_track.h"
#include "model/model_state.h"
#include "model/model_textures.h"
#include "model/frame_node.h"
#include "model/mesh_node.h"

namespace fxmodel {

// Frames A { B } C; mesh "box" in A has three materials (red, a texture, white), a quad face,
// normals and texture coordinates; "tri" in B has neither; two animations, one naming a frame
// the file lacks.
inline const char* const kModel =
    "xof 0302txt 0032\n"
    "Header { 1; 0; 1; }\n"
    "template Unknown { <11111111-2222-3333-4444-555555555555> DWORD x; }\n"
    "Material red { 1.0; 0.0; 0.0; 1.0;; 5.0; 0.1; 0.2; 0.3;; 0.0; 0.0; 0.0;; }\n"
    "Frame A {\n"
    "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1;; }\n"
    "  Mesh box {\n"
    "    4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;\n"
    "    3; 3;0,1,2;, 3;0,2,3;, 4;0,1,2,3;;\n"
    "    MeshMaterialList { 3; 3; 0, 1, 2;;\n"
    "      {red}\n"
    "      Material { 0;0;1;1;; 1.0; 0;0;0;; 0;0;0;; TextureFilename { \"skin.old.png\"; } }\n"
    "      Material { 1;1;1;1;; 1.0; 0;0;0;; 0;0;0;; } }\n"
    "    MeshNormals { 4; 0;0;-1;, 0;0;-1;, 0;0;-1;, 0;0;-1;; 3; 3;0,1,2;, 3;0,2,3;, 4;0,1,2,3;; }\n"
    "    MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }\n"
    "  }\n"
    "  Frame B { Mesh tri { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; } }\n"
    "}\n"
    "Frame C { }\n"
    "AnimationSet walk {\n"
    "  Animation a0 { {A}\n"
    "    AnimationKey { 0; 2; 0; 4; 1.0, 0.0, 0.0, 0.0;;, 10; 4; 0.0, 1.0, 0.0, 0.0;;; }\n"
    "    AnimationKey { 2; 2; 0; 3; 1.0, 2.0, 3.0;;, 10; 3; 5.0, 6.0, 7.0;;; } }\n"
    "  Animation a1 { AnimationKey { 1; 1; 0; 3; 2.0, 2.0, 2.0;;; } }\n"
    "}\n";

// The compressed form of a plain .x file image: "tzip" or "bzip" in the header, the total size,
// then blocks of at most blockSize bytes, each deflated with the last 32 KB before it as its
// dictionary.
inline std::string MsZipXFile(const std::string& plain, size_t blockSize) {
  std::string out = plain.substr(0, 16);
  out.replace(8, 4, plain.compare(8, 4, "txt ") == 0 ? "tzip" : "bzip");
  const uint32_t total = uint32_t(plain.size());
  for (int k = 0; k < 4; ++k) out.push_back(char(total >> (8 * k)));
  for (size_t at = 16; at < plain.size(); at += blockSize) {
    const size_t n = std::min(blockSize, plain.size() - at);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    const size_t window = std::min<size_t>(at - 16, 32768);
    if (window) deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(plain.data() + at - window), uInt(window));
    std::string packed(deflateBound(&z, uLong(n)) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data() + at));
    z.avail_in = uInt(n);
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    const uint32_t sizes[2] = {uint32_t(n), uint32_t(packed.size() + 2)};
    for (uint32_t v : sizes) out.push_back(char(v)), out.push_back(char(v >> 8));
    out += "CK" + packed;
  }
  return out;
}

// Every node: name, limb, matrices, vertices (position, normal, uv), indices and textures.
inline std::string DumpTree(const SceneNode* n, int depth = 0) {
  std::string out;
  char buf[160];
  for (; n; n = n->nextSibling) {
    out += std::string(size_t(depth) * 2, ' ') + n->name + " #" + std::to_string(n->limbNumber);
    if (const auto* f = dynamic_cast<const FrameNode*>(n)) {
      for (float v : f->localMatrix) std::snprintf(buf, sizeof buf, " %g", v), out += buf;
    } else if (const auto* m = dynamic_cast<const MeshNode*>(n)) {
      out += " tex " + std::to_string(m->textureNumber) + "/" + m->textureName + " own " + std::to_string(m->textureOwned);
      for (const Vertex& v : m->vertices) {
        std::snprintf(buf, sizeof buf, " (%g %g %g|%g %g %g|%g %g)", v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v);
        out += buf;
      }
      out += " i";
      for (uint32_t i : m->indices) out += " " + std::to_string(i);
    }
    out += "\n";
    out += DumpTree(n->firstChild, depth + 1);
  }
  return out;
}

inline std::string DumpTracks(const AnimTrack* t) {
  std::string out;
  char buf[64];
  for (; t; t = TrackNext(*t)) {
    out += t->name + " limb " + std::to_string(t->limb) + ":";
    for (const std::vector<float>* keys : {&t->rotationKeys, &t->scaleKeys, &t->positionKeys}) {
      out += " |";
      for (float f : *keys) std::snprintf(buf, sizeof buf, " %g", f), out += buf;
    }
    out += "\n";
  }
  return out;
}

// Records texture requests (with the model folder at the time); "skin.old.bmp" and anything in
// "textures/" load as texture 7, colours as 101.
struct TextureLog {
  static inline std::vector<std::string> names;
  static inline std::vector<uint32_t> colours;
  static inline std::vector<int32_t> released;
  static void Install() {
    names.clear(), colours.clear(), released.clear();
    g_modelTextures.byName = [](const std::string& f) {
      names.push_back(f + " @" + g_model.modelFolder);
      return f == "skin.old.bmp" || f.rfind("textures/", 0) == 0 ? 7 : 0;
    };
    g_modelTextures.byColour = [](uint32_t c) {
      colours.push_back(c);
      return 101;
    };
    g_modelTextures.release = [](int32_t t) { released.push_back(t); };
  }
  static void Remove() { UseDisplayTextures(); }
};

}  // namespace fxmodel
