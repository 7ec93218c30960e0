// Loads a generated model of 100,000 triangles in 20 limbs with 50 frames of animation, as a
// text .x file, a binary .x file and a .3ds file, with our loaders and with Assimp in the same
// run, the two in turns; prints the median time of each and the ratio (ours / Assimp) per file,
// with their spread over the rounds.
//
// Ours: the whole load of an object's model as the load-object command does it: the file read,
// parsed and built into the scene-node tree with its vertex buffers (on a null device) and
// animation tracks; a .3ds file through the converter. Assimp: aiImportFile with no post-processing.
#include <assimp/cimport.h>
#include <assimp/scene.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/common/bench_rounds.h"
#include "display/display.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "model/model_textures.h"
#include "model/xfile/xfile.h"
#include "platform/fs.h"
#include "scene3d/object_model.h"
#include "scene3d/record_pools.h"

namespace {

constexpr int kLimbs = 20, kGrid = 50, kKeys = 50;  // 20 x 50 x 50 x 2 = 100,000 triangles
constexpr int kRuns = 5;

float Height(int limb, int x, int z) { return 0.3f * std::sin(0.2f * float(x + limb)) * std::cos(0.15f * float(z)); }

// ---- .x: the text as exporters write it (six decimals), the binary file from the same objects.

class Text {
 public:
  std::string out;
  Text& operator<<(const char* s) {
    out += s;
    return *this;
  }
  Text& operator<<(const std::string& s) {
    out += s;
    return *this;
  }
  Text& I(int64_t v) {
    char b[24];
    out.append(b, std::to_chars(b, b + sizeof b, v).ptr);
    return *this;
  }
  Text& F(float v) {
    char b[48];
    out.append(b, std::to_chars(b, b + sizeof b, double(v), std::chars_format::fixed, 6).ptr);
    return *this;
  }
};

std::string MakeXText() {
  Text t;
  t << "xof 0302txt 0032\nHeader {\n 1;\n 0;\n 1;\n}\n";
  const int nv = (kGrid + 1) * (kGrid + 1), nf = kGrid * kGrid * 2;
  auto faces = [&] {
    t.I(nf) << ";\n";
    for (int x = 0; x < kGrid; ++x)
      for (int z = 0; z < kGrid; ++z) {
        const int a = x * (kGrid + 1) + z, b = a + 1, c = a + kGrid + 1, d = c + 1;
        const bool last = x == kGrid - 1 && z == kGrid - 1;
        t << "  3;" , t.I(a) << ",", t.I(b) << ",", t.I(d) << ";,\n";
        t << "  3;", t.I(a) << ",", t.I(d) << ",", t.I(c) << (last ? ";;\n" : ";,\n");
      }
  };
  for (int l = 0; l < kLimbs; ++l) {
    t << "Frame limb" << std::to_string(l) << " {\n FrameTransformMatrix {\n  ";
    for (int i = 0; i < 16; ++i) t.F(i % 5 == 0 ? 1.0f : i == 12 ? float(l) : 0.0f) << (i < 15 ? "," : ";;\n");
    t << " }\n Mesh mesh" << std::to_string(l) << " {\n  ";
    t.I(nv) << ";\n";
    for (int x = 0; x <= kGrid; ++x)
      for (int z = 0; z <= kGrid; ++z) {
        t << "  ", t.F(float(x)) << ";", t.F(Height(l, x, z)) << ";", t.F(float(z));
        t << (x == kGrid && z == kGrid ? ";;\n" : ";,\n");
      }
    faces();
    t << "  MeshNormals {\n  ";
    t.I(nv) << ";\n";
    for (int k = 0; k < nv; ++k) t << (k + 1 < nv ? "  0.000000;1.000000;0.000000;,\n" : "  0.000000;1.000000;0.000000;;\n");
    faces();
    t << "  }\n  MeshTextureCoords {\n  ";
    t.I(nv) << ";\n";
    for (int x = 0; x <= kGrid; ++x)
      for (int z = 0; z <= kGrid; ++z) {
        t << "  ", t.F(float(x) / kGrid) << ";", t.F(float(z) / kGrid);
        t << (x == kGrid && z == kGrid ? ";;\n" : ";,\n");
      }
    t << "  }\n }\n}\n";
  }
  t << "AnimationSet walk {\n";
  for (int l = 0; l < kLimbs; ++l) {
    t << " Animation anim" << std::to_string(l) << " {\n  {limb" << std::to_string(l) << "}\n";
    for (int type = 0; type < 3; ++type) {
      t << "  AnimationKey {\n   ", t.I(type) << ";\n   ", t.I(kKeys) << ";\n";
      for (int k = 0; k < kKeys; ++k) {
        const float angle = 0.05f * float(k);
        t << "   ", t.I(k) << ";" , t.I(type == 0 ? 4 : 3) << ";";
        if (type == 0) t.F(std::cos(angle)) << ",", t.F(0) << ",", t.F(std::sin(angle)) << ",", t.F(0);
        else if (type == 1) t.F(1) << ",", t.F(1 + 0.01f * float(k)) << ",", t.F(1);
        else t.F(float(l)) << ",", t.F(0.1f * float(k)) << ",", t.F(0);
        t << (k + 1 < kKeys ? ";;,\n" : ";;;\n");
      }
      t << "  }\n";
    }
    t << " }\n";
  }
  t << "}\n";
  return std::move(t.out);
}

// ---- .3ds

std::string U16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string U32(uint32_t v) { return U16(v) + U16(v >> 16); }
std::string F(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return U32(b);
}
std::string Chunk(uint16_t id, const std::string& body) { return U16(id) + U32(uint32_t(body.size() + 6)) + body; }

std::string Make3ds() {
  const int nv = (kGrid + 1) * (kGrid + 1), nf = kGrid * kGrid * 2;
  std::string editor, keyframer;
  for (int l = 0; l < kLimbs; ++l) {
    std::string verts = U16(uint32_t(nv)), faces = U16(uint32_t(nf)), uvs = U16(uint32_t(nv));
    for (int x = 0; x <= kGrid; ++x)
      for (int z = 0; z <= kGrid; ++z) {
        verts += F(float(x + l)) + F(float(z)) + F(Height(l, x, z));
        uvs += F(float(x) / kGrid) + F(float(z) / kGrid);
      }
    for (int x = 0; x < kGrid; ++x)
      for (int z = 0; z < kGrid; ++z) {
        const uint32_t a = uint32_t(x * (kGrid + 1) + z), b = a + 1, c = a + kGrid + 1, d = c + 1;
        faces += U16(a) + U16(b) + U16(d) + U16(7) + U16(a) + U16(d) + U16(c) + U16(7);
      }
    const std::string name = "L" + std::to_string(l);
    editor += Chunk(0x4000, name + std::string(1, '\0') +
                                Chunk(0x4100, Chunk(0x4110, verts) + Chunk(0x4120, faces) + Chunk(0x4140, uvs)));
    std::string pos = U16(0) + U32(0) + U32(0) + U16(kKeys) + U16(0), rot = pos, scl = pos;
    for (int t = 0; t < kKeys; ++t) {
      pos += U16(uint32_t(t)) + U32(0) + F(float(l)) + F(0) + F(0.1f * float(t));
      rot += U16(uint32_t(t)) + U32(0) + F(0.05f) + F(0) + F(0) + F(1);
      scl += U16(uint32_t(t)) + U32(0) + F(1) + F(1) + F(1 + 0.01f * float(t));
    }
    keyframer += Chunk(0xB002, Chunk(0xB010, name + std::string(1, '\0') + U16(0) + U16(0) + U16(0xFFFF)) +
                                   Chunk(0xB020, pos) + Chunk(0xB021, rot) + Chunk(0xB022, scl));
  }
  return Chunk(0x4D4D, Chunk(0x0002, U32(3)) + Chunk(0x3D3D, editor) + Chunk(0xB000, keyframer));
}

// ---- timing

// Milliseconds of one run of f.
std::function<double()> Ms(std::function<void()> f) {
  return [f] {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return bench::SecondsSince(t0) * 1e3;
  };
}

size_t g_sink = 0;

uint32_t g_object = 0;

// An object's model load, as the load-object command does it, then the model freed.
void LoadOurs(const std::string& path) {
  const int32_t frames = LoadObject(g_object, path);
  if (frames <= 0) std::fprintf(stderr, "our load of %s failed (%d)\n", path.c_str(), frames), std::exit(1);
  g_sink += uint32_t(frames);
  DestroyObjectModel(g_object);
}

void LoadAssimp(const std::string& path) {
  const aiScene* s = aiImportFile(path.c_str(), 0);
  if (!s) std::fprintf(stderr, "assimp load of %s failed: %s\n", path.c_str(), aiGetErrorString()), std::exit(1);
  unsigned tris = 0;
  for (unsigned m = 0; m < s->mNumMeshes; ++m) tris += s->mMeshes[m]->mNumFaces;
  g_sink += tris + s->mNumAnimations;
  aiReleaseImport(s);
}

}  // namespace

int main() {
  g_display.device = CreateNullDevice();
  g_modelTextures = ModelTextureLoader{};
  CreateMeshPool();
  CreateScenePools();
  AllocObjectRecord();  // record 0 is never an object
  g_object = AllocObjectRecord();
  const std::string dir = FsTempFolder();
  const std::string text = MakeXText();
  XFile x;
  if (!ParseXFile(text, x).ok()) return std::fprintf(stderr, "the generated text does not parse\n"), 1;
  struct Case {
    const char* label;
    std::string path;
    void (*ours)(const std::string&);
  } cases[] = {
      {"x text", dir + "/model_text.x", LoadOurs},
      {"x binary", dir + "/model_bin.x", LoadOurs},
      {"3ds", dir + "/model.3ds", LoadOurs},
  };
  FsWriteFileAtomic(cases[0].path, text);
  FsWriteFileAtomic(cases[1].path, WriteXFile(x, XEncoding::Binary, 32));
  FsWriteFileAtomic(cases[2].path, Make3ds());
  bench::PrintMachine("bench_models");
  std::printf("model: %d limbs, %d triangles, %d key frames\n", kLimbs, kLimbs * kGrid * kGrid * 2, kKeys);
  double worst = 0;
  for (const Case& c : cases) {
    const auto t = bench::Alternate(kRuns, {Ms([&] { c.ours(c.path); }), Ms([&] { LoadAssimp(c.path); })});
    const bench::Figure ratio = bench::Ratio(t[0], t[1]);
    std::printf("%-9s %8.1f KB  ours %s ms  assimp %s ms  ratio %s\n", c.label,
                double(std::filesystem::file_size(c.path)) / 1024.0, bench::Show(bench::Summarise(t[0])).c_str(),
                bench::Show(bench::Summarise(t[1])).c_str(), bench::Show(ratio, 1, 3).c_str());
    std::fflush(stdout);
    worst = std::max(worst, ratio.median);
    if (!std::getenv("VK_KEEP")) FsDeleteFile(c.path);
  }
  std::printf("worst median ratio %.3f (goals: .x text at most 0.5, the others at most 1.0)\n", worst);
  bench::PrintLoad();
  if (!std::getenv("VK_KEEP")) FsRemoveTempFolder();
  return g_sink == 0;
}
