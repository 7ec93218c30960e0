// .x models through the handle: frames, split meshes, materials and textures, animation, text,
// binary and compressed alike; refused files and their causes; saving and merging animation.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "model/anim_keys.h"
#include "model/model_handle.h"
#include "model/x_loader.h"
#include "model/x_mesh_writer.h"
#include "model/xfile/compressed.h"
#include "platform/fs.h"
#include "platform/stop_request.h"
#include "model/convert3ds/reader_3ds.h"
#include "tests/model/fixtures_3ds.h"
#include "tests/model/model_fixtures.h"

using namespace fxmodel;

namespace {

class XModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TextureLog::Install();
    dir = FsTempFolder() + "/xmodel";
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    TextureLog::Remove();
    std::filesystem::remove_all(dir);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(FsWriteFileAtomic(dir + "/" + name, bytes));
    return dir + "/" + name;
  }
  std::string dir;
};

// A binary .x file of one mesh "m" of three vertices, its face list the integers given.
std::string BinaryMesh(const std::vector<uint32_t>& faceList) {
  const auto word = [](uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
    return s;
  };
  const auto name = [&](const std::string& n) { return word(1, 2) + word(uint32_t(n.size()), 4) + n; };
  std::string ints = word(6, 2) + word(uint32_t(faceList.size()), 4);
  for (uint32_t v : faceList) ints += word(v, 4);
  std::string floats = word(7, 2) + word(9, 4);
  for (float f : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f}) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    floats += word(bits, 4);
  }
  return "xof 0302bin 0032" + name("Mesh") + name("m") + word(10, 2) + word(6, 2) + word(1, 4) + word(3, 4) + floats +
         ints + word(11, 2);
}

const MeshNode* MeshNamed(const SceneNode* n, const std::string& name) {
  for (; n; n = n->nextSibling) {
    if (const auto* m = dynamic_cast<const MeshNode*>(n); m && name == m->name) return m;
    if (const MeshNode* m = MeshNamed(n->firstChild, name)) return m;
  }
  return nullptr;
}

}  // namespace

TEST_F(XModelTest, FramesMeshesMaterialsAndKeys) {
  ModelHandle h;
  ASSERT_EQ(LoadModelXFile(h, Write("m.x", kModel), nullptr), kModelOk);
  EXPECT_EQ(h.frameCount, 4u);  // A = 1, B = 2, C = 3, and the root
  std::string name;
  for (auto [limb, want] : {std::pair{1u, "A"}, {2u, "B"}, {3u, "C"}, {0u, "root"}, {9u, ""}}) {
    EXPECT_EQ(ModelHandleGetLimbFrameName(h, limb, &name), kModelOk);
    EXPECT_EQ(name, want);
  }
  float m[16];
  ModelHandleGetLimbMatrix(h, 1, m);
  EXPECT_EQ(m[12], 1.0f);
  EXPECT_EQ(m[14], 3.0f);
  // The box splits by material: box_0 red (a colour texture, read as red, green, blue),
  // box_1 the texture looked up as .bmp, box_2 white (no texture).
  const MeshNode* b0 = MeshNamed(h.root.get(), "box_0");
  const MeshNode* b1 = MeshNamed(h.root.get(), "box_1");
  const MeshNode* b2 = MeshNamed(h.root.get(), "box_2");
  ASSERT_TRUE(b0 && b1 && b2);
  EXPECT_EQ(MeshNamed(h.root.get(), "box"), nullptr);
  EXPECT_EQ(b0->limbNumber, 1u);
  EXPECT_EQ(b2->limbNumber, 1u);
  EXPECT_EQ(b0->textureName, "");  // a colour names no file
  EXPECT_EQ(b0->textureNumber, 101);
  EXPECT_EQ(b0->material.power, 5.0f);
  EXPECT_EQ(b0->material.specular[2], 0.3f);
  EXPECT_EQ(b1->textureName, "skin.old.bmp");
  EXPECT_EQ(b1->textureNumber, 7);
  EXPECT_EQ(b1->textureOwned, 1u);
  EXPECT_EQ(b2->textureNumber, 0);
  EXPECT_EQ(TextureLog::colours, (std::vector<uint32_t>{0xFF0000}));
  EXPECT_EQ(b0->indices, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(b2->indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(b1->vertices[2].u, 1.0f);
  EXPECT_EQ(b1->vertices[2].nz, -1.0f);
  // The mesh without normals gets them from its face.
  const MeshNode* tri = MeshNamed(h.root.get(), "tri");
  ASSERT_TRUE(tri);
  EXPECT_EQ(tri->limbNumber, 2u);
  EXPECT_NEAR(tri->vertices[0].nz, -1.0f, 1e-6f);
  // Tracks: a0 drives A (limb 1); a1 names no frame of the file and drives limb 0.
  ASSERT_TRUE(h.animation);
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*h.animation)),
            "A limb 1: | 0 1 0 0 0 10 0 1 0 0 | | 0 1 2 3 10 5 6 7\n"
            " limb 0: | | 0 2 2 2 |\n");
  // A second load into a handle with a root changes nothing.
  EXPECT_EQ(LoadModelXFile(h, Write("m.x", kModel), nullptr), kModelFailed);
  EXPECT_EQ(ModelHandleGetFrameCount(h), 4u);
}

// The same model as text and binary (32- and 64-bit floats) gives identical trees and keys.
TEST_F(XModelTest, TextAndBinaryGiveTheSameTree) {
  XFile parsed;
  ASSERT_TRUE(ParseXFile(kModel, parsed).ok());
  ModelHandle text;
  ASSERT_EQ(LoadModelXFile(text, Write("t.x", kModel), nullptr), kModelOk);
  ASSERT_TRUE(text.animation);
  const std::string want = DumpTree(text.root.get()) + DumpTracks(AnimSetGetTrackList(*text.animation));
  for (uint32_t bits : {32u, 64u}) {
    ModelHandle bin;
    ASSERT_EQ(LoadModelXFile(bin, Write("b.x", WriteXFile(parsed, XEncoding::Binary, bits)), nullptr), kModelOk);
    ASSERT_TRUE(bin.animation) << bits;
    EXPECT_EQ(DumpTree(bin.root.get()) + DumpTracks(AnimSetGetTrackList(*bin.animation)), want);
  }
}

TEST_F(XModelTest, DamagedFilesAreRefusedOrCut) {
  ModelHandle h;
  EXPECT_EQ(LoadModelXFile(h, dir + "/missing.x", nullptr), kModelFailed);
  EXPECT_EQ(LoadModelXFile(h, Write("z.x", "xof 0302tzip0032 compressed"), nullptr), kModelFailed);
  EXPECT_FALSE(h.root);
  // Two materials split the mesh; a texture-coordinate count other than the vertex count is
  // passed over, as the format has it.
  const std::string two =
      "xof 0302txt 0032\n"
      "Frame F { Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;, 3;2,1,0;;\n"
      "  MeshTextureCoords { 2; 0;0;, 1;0;; }\n"
      "  MeshMaterialList { 2; 2; 0, 1;; Material { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; } Material { 0;1;0;1;; 1; 0;0;0;; 0;0;0;; } } } }\n"
      "AnimationSet s { Animation a { {F} AnimationKey { 0; 2; 0; 4; 1,0,0,0;;, 9; 4; 1,0,0,0;;; } } }\n";
  ASSERT_EQ(LoadModelXFile(h, Write("two.x", two), nullptr), kModelOk);
  ModelHandle binary;
  EXPECT_EQ(LoadModelXFile(binary, Write("bin.x", BinaryMesh({1, 3, 0, 1, 2})), nullptr), kModelOk);
  const MeshNode* m0 = MeshNamed(h.root.get(), "m_0");
  ASSERT_TRUE(m0);
  EXPECT_EQ(m0->indices, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(MeshNamed(h.root.get(), "m_1")->indices, (std::vector<uint32_t>{2, 1, 0}));
  ASSERT_TRUE(h.animation && AnimSetGetTrackList(*h.animation));
  EXPECT_EQ(TrackGetRotKeyCount(*AnimSetGetTrackList(*h.animation)), 2u);
  // A syntax error part way refuses the whole file, as everything else the reader refuses does,
  // rather than loading what came before it (often nothing) as a model.
  std::string deep = "xof 0302txt 0032\n";
  for (int i = 0; i < 10000; ++i) deep += "Frame {";
  const std::pair<std::string, std::string> kRefused[] = {
      {"xof 0302txt 0032\nFrame A { } Frame B { ;;; ", "an object is not closed"},
      {deep, "objects are nested too deeply"},
      {"xof 0302txt 0032\nMesh m { 4000000000; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n",
       "Mesh m holds less data than its counts give"},
      // An index past its list leaves the model short as much as a count past the data does.
      {"xof 0302txt 0032\nFrame F { Mesh m { 5; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;, 2;2;2;; 2; 3;0,1,2;, 3;0,1,99999;; } }\n",
       "Mesh m has a face that names vertex 99999 of 5"},
      {"xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;, 3;2,1,0;;\n"
       "  MeshMaterialList { 2; 2; 0, 2;; } }\n",
       "MeshMaterialList has a face that names material 2 of 2"},
      {"xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
       "  MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }\n",
       "MeshNormals has a face that names normal 1 of 1"},
      {"xof 0302txt 0032\nFrame F { }\n"
       "AnimationSet s { Animation a { {F} AnimationKey { 0; 3; 0; 4; 1,0,0,0;;, 5; 2; 1,0;;, 9; 4; 1,0,0,0;;; } } }\n",
       "AnimationKey has a key of 2 values where its kind needs 4"},
      {"xof 0302txt 0032\nFrame F { Mesh m { 3; nan;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n",
       "an object header is broken"},
      // A count below its data, no face, a face of no corner: the model would lose faces.
      {"xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 0; 3;0,1,2;, 3;2,1,0;; }\n",
       "Mesh m holds more data than its counts give"},
      {BinaryMesh({0, 3, 0, 1, 2}), "Mesh m holds more data than its counts give"},
      {"xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 0;; }\n", "Mesh m has no face"},
      {"xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;, 0;;; }\n", "Mesh m has a face of 0 corners"},
      // Faces of materials the list does not hold.
      {"xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
       "  MeshMaterialList { 4000000000; 1; 0;; } }\n",
       "MeshMaterialList names 4000000000 materials and holds 0"},
      {"xof 0302txt 0032\nMaterial red { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; }\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
       "  MeshMaterialList { 3; 1; 0;; {red} } }\n",
       "MeshMaterialList names 3 materials and holds 1"},
      {"xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
       "  MeshMaterialList { 1; 1; 0;; {nosuch} } }\n",
       "MeshMaterialList refers to nosuch, which is no material of the file"},
      // Frames alone are no model; a track of a frame the file lacks would drive nothing.
      {"xof 0302txt 0032\nFrame A { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; } }\n", "holds no mesh"},
      {std::string(kModel) + "AnimationSet s { Animation a { {Missing} } }\n",
       "Animation a names frame Missing, which the file does not hold"},
      {"xof 0303bzip0032", "the compressed data has no size"},
  };
  for (const auto& [bytes, cause] : kRefused) {
    ModelHandle refused;
    std::string why;
    EXPECT_EQ(LoadModelXFile(refused, Write("r.x", bytes), nullptr, &why), kModelFailed) << cause;
    EXPECT_EQ(why, cause);
    EXPECT_FALSE(refused.root);
  }
  std::string why;
  ModelHandle none;
  EXPECT_EQ(LoadModelXFile(none, dir + "/missing.x", nullptr, &why), kModelFailed);
  EXPECT_EQ(why, "not found");
  EXPECT_EQ(LoadAnimatedXFile(h, Write("still.x", "xof 0302txt 0032\nFrame A { }\n"), 0, 0, &why), kModelFailed);
  EXPECT_EQ(why, "holds no animation set");
}

// Every form of line end, and a UTF-8 byte-order mark in front, give the same model; a comment
// ends at the line's end whatever its form.
TEST_F(XModelTest, EveryLineEndAndAByteOrderMarkGiveTheSameModel) {
  const std::string lines[] = {"xof 0302txt 0032", "// a comment", "Frame F {", "Mesh m { # another",
                               "3; 0;0;0;, 1;0;0;, 0;1;0;;", "1; 3;0,1,2;; } }"};
  const auto join = [&](const std::string& end) {
    std::string s;
    for (const std::string& l : lines) s += l + end;
    return s;
  };
  const struct {
    const char* form;
    std::string bytes;
  } kForms[] = {{"LF", join("\n")},
                {"CR LF", join("\r\n")},
                {"CR", join("\r")},
                {"byte-order mark", "\xEF\xBB\xBF" + join("\n")},
                {"byte-order mark, CR", "\xEF\xBB\xBF" + join("\r")}};
  for (const auto& f : kForms) {
    ModelHandle h;
    std::string why;
    ASSERT_EQ(LoadModelXFile(h, Write("form.x", f.bytes), nullptr, &why), kModelOk) << f.form << ": " << why;
    const MeshNode* m = MeshNamed(h.root.get(), "m");
    ASSERT_TRUE(m) << f.form;
    EXPECT_EQ(m->vertices.size(), 3u) << f.form;
    EXPECT_EQ(m->indices, (std::vector<uint32_t>{0, 1, 2})) << f.form;
  }
}

// The model stored as text and binary, and both compressed in blocks small enough that they
// refer back into the blocks before them, loads into one tree with the same keys.
TEST_F(XModelTest, CompressedFilesLoadAsTheirPlainForms) {
  XFile parsed;
  ASSERT_TRUE(ParseXFile(kModel, parsed).ok());
  const std::string binary = WriteXFile(parsed, XEncoding::Binary);
  ModelHandle text;
  ASSERT_EQ(LoadModelXFile(text, Write("t.x", kModel), nullptr), kModelOk);
  const std::string want = DumpTree(text.root.get()) + DumpTracks(AnimSetGetTrackList(*text.animation));
  for (const std::string& plain : {std::string(kModel), binary}) {
    for (size_t block : {size_t(64), size_t(32768)}) {
      const std::string packed = MsZipXFile(plain, block);
      ModelHandle h;
      std::string why;
      ASSERT_EQ(LoadModelXFile(h, Write("z.x", packed), nullptr, &why), kModelOk) << why;
      ASSERT_TRUE(h.animation);
      EXPECT_EQ(DumpTree(h.root.get()) + DumpTracks(AnimSetGetTrackList(*h.animation)), want) << packed.substr(8, 4);
    }
  }
}

// A stop request is seen in every long phase of a load: while a compressed file inflates,
// while one large object is read (a mesh of 1,000,000 vertices, the stop coming part way),
// and while the tree is built after the read (each once ran to its end).
TEST_F(XModelTest, AStopIsSeenInEveryLongPhaseOfALoad) {
  struct StopScope {
    StopScope() { EventsProgramRunning(true); }
    ~StopScope() {
      SetStopAsked(false);
      EventsProgramRunning(false);
    }
  } scope;
  std::string frames = "xof 0302txt 0032\n";
  for (int i = 0; i < 20000; ++i) frames += "Frame { }\n";
  std::string mesh = "xof 0302txt 0032\nMesh m {\n1000000;\n";
  for (int k = 0; k < 1000000; ++k) mesh += "1.0;2.0;3.0;,\n";
  mesh += ";\n0;;\n}\n";
  XFile read;
  ASSERT_TRUE(ParseXFile(frames, read).ok());

  SetStopAsked(true);
  std::string inflated, why;
  EXPECT_FALSE(InflateXFile(MsZipXFile(frames, 1024), &inflated, &why));
  EXPECT_EQ(why, "the read was stopped");
  uint32_t count = 0;
  std::unique_ptr<AnimSet> animation;
  EXPECT_FALSE(LoadXTree(read, &count, &animation, &why));
  EXPECT_EQ(why, "the load was stopped");
  // References are not resolved after a stop; the 3DS walk gives up (5,000 objects).
  XFile refs;
  refs.Add("Frame", "a").AddReference("a");
  EXPECT_FALSE(ResolveXReferences({&refs}));
  EXPECT_EQ(refs.objects[0]->children[0]->target, nullptr);
  std::string objects;
  for (int i = 0; i < 5000; ++i) objects += fx3ds::Chunk(0x4000, fx3ds::Z("o"));
  struct Meshes : Sink3ds {
    int frames = 0;
    void FrameOpen(const std::string&) override { ++frames; }
  } sink;
  EXPECT_FALSE(Read3dsFile(fx3ds::Main(objects), sink));
  EXPECT_LT(sink.frames, 5000);
  // Keys appended once the stop has come are not appended: the keys stay as they were.
  std::string set = "xof 0302txt 0032\nAnimationSet {\n";
  for (int i = 0; i < 5000; ++i) set += "Animation { {A} AnimationKey { 2; 1; 5; 3; 9,9,9;;; } }\n";
  XFile appended;
  ModelHandle h;
  SetStopAsked(false);
  ASSERT_TRUE(ParseXFile(set + "}\n", appended).ok());
  ASSERT_EQ(LoadModelXFile(h, Write("anim.x", kModel), nullptr), kModelOk);
  SetStopAsked(true);
  const std::string keys = DumpTracks(AnimSetGetTrackList(*h.animation));
  EXPECT_EQ(AppendAnimationFromXFiles({&appended}, h.root.get(), h.animation.get(), 10, 5), 0);
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*h.animation)), keys);

  SetStopAsked(false);
  std::atomic<bool> running{false};
  std::thread stopper([&running] {
    running = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the read takes 100 ms and more
    SetStopAsked(true);
  });
  while (!running) std::this_thread::yield();
  const auto start = std::chrono::steady_clock::now();
  XFile big;
  const XReadResult r = ParseXFile(mesh, big);
  stopper.join();
  EXPECT_EQ(r.message, "the read was stopped");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// Keys stored out of time order are put in order: the last key is the latest, as the frame
// count and playback read it.
TEST_F(XModelTest, KeysOutOfOrderAreSortedByTime) {
  const std::string file =
      "xof 0302txt 0032\nFrame A { Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n"
      "AnimationSet s { Animation { {A} AnimationKey { 2; 3; 0; 3; 0,0,0;;, 30; 3; 3,0,0;;, 10; 3; 1,0,0;;; } } }\n";
  ModelHandle h;
  ASSERT_EQ(LoadModelXFile(h, Write("k.x", file), nullptr), kModelOk);
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*h.animation)), "A limb 1: | | | 0 0 0 0 10 1 0 0 30 3 0 0\n");
  EXPECT_EQ(LastAnimationKeyFrame(AnimSetGetTrackList(*h.animation)), 30.0f);
}

// Frames and tracks are linked without walking their chains for each, and tracks find their
// limbs from one walk of the tree: 150,000 sibling frames, each driven by a track (minutes when
// each walked a chain or the tree), load at once, numbered in order.
TEST_F(XModelTest, ManySiblingFramesAndTracksLoadInLinearTime) {
  constexpr uint32_t kFrames = 150000;
  std::string file = "xof 0302txt 0032\nFrame outer {\n", set = "AnimationSet s {\n";
  for (uint32_t i = 0; i < kFrames; ++i) {
    file += "Frame f" + std::to_string(i) + " { }\n";
    set += "Animation { {f" + std::to_string(i) + "} }\n";
  }
  file += "}\n" + set + "}\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
  ModelHandle h;
  ASSERT_EQ(LoadModelXFile(h, Write("wide.x", file), nullptr), kModelOk);
  EXPECT_EQ(h.frameCount, kFrames + 2);
  std::string name;
  ModelHandleGetLimbFrameName(h, kFrames + 1, &name);
  EXPECT_EQ(name, "f" + std::to_string(kFrames - 1));
  const AnimTrack* t = AnimSetGetTrackList(*h.animation);
  for (uint32_t i = 0; i < kFrames - 1; ++i) t = TrackNext(*t);
  EXPECT_EQ(t->limb, int32_t(kFrames + 1));
}

// Tracks take the limb a search of the tree by name gives, also where frames share names at
// different depths (random trees over three names).
TEST_F(XModelTest, TracksTakeTheLimbTheNameSearchGives) {
  std::mt19937 rng(7);
  const char* const kNames[] = {"a", "b", "root"};
  for (int round = 0; round < 300; ++round) {
    XFile f;
    std::vector<XObject*> open;
    for (int k = 0; k < 12; ++k) {
      const std::string name = kNames[rng() % 3];
      const size_t depth = rng() % (open.size() + 1);
      open.resize(depth);
      open.push_back(depth ? &open.back()->AddChild("Frame", name) : &f.Add("Frame", name));
    }
    XObject& mesh = f.Add("Mesh", "m");
    for (uint32_t v : {3u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 1u, 3u, 0u, 1u, 2u}) mesh.PushInt(v);
    XObject& set = f.Add("AnimationSet");
    for (const char* name : kNames) set.AddChild("Animation").AddReference(name);
    ResolveXReferences({&f});
    uint32_t frames = 0;
    std::unique_ptr<AnimSet> animation;
    const std::unique_ptr<FrameNode> root = LoadXTree(f, &frames, &animation);
    for (const AnimTrack* t = AnimSetGetTrackList(*animation); t; t = TrackNext(*t)) {
      uint32_t limb = 0;  // when no frame has the name
      root->FindLimbByName(t->name.c_str(), &limb);
      ASSERT_EQ(t->limb, int32_t(limb)) << round << " " << t->name << "\n" << DumpTree(root.get());
    }
  }
}

TEST_F(XModelTest, SaveReloadAndMerge) {
  const std::string modelPath = Write("m.x", kModel);
  ModelHandle h;
  ASSERT_EQ(LoadModelXFile(h, modelPath, nullptr), kModelOk);
  AnimTrack* first = AnimSetGetTrackList(*h.animation);
  first->positionKeys[4] = 12.75f;  // a time saved as 12
  const std::string saved = dir + "/anim.x";
  ASSERT_EQ(SaveAnimationXFile(h, saved), kModelOk);
  XFile file;
  ASSERT_TRUE(ReadModelXFile(saved, &file));
  ASSERT_EQ(file.objects.size(), 1u);
  EXPECT_EQ(file.objects[0]->name, "xvk_animset_0");
  ASSERT_EQ(file.objects[0]->children.size(), 2u);
  EXPECT_EQ(file.objects[0]->children[1]->name, "xvk_anim_1");
  EXPECT_EQ(file.objects[0]->children[1]->children.size(), 4u);  // the reference and three key lists
  // Read beside the model, the saved keys equal the model's (the time whole) and replay to the
  // same limb matrix.
  XFile model;
  ASSERT_TRUE(ReadModelXFile(modelPath, &model));
  for (auto& o : file.objects) model.objects.push_back(std::move(o));
  ResolveXReferences({&model});
  uint32_t frames;
  std::unique_ptr<AnimSet> reloaded;
  LoadXTree(model, &frames, &reloaded);
  first->positionKeys[4] = 12.0f;
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*reloaded)), DumpTracks(first));
  float a[16], b[16];
  TrackMatrixAt(*first, 5.5f, a);
  TrackMatrixAt(*AnimSetGetTrackList(*reloaded), 5.5f, b);
  EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
  // The merge continues each track after its last key: a binary model with the text animation.
  XFile parsed;
  ParseXFile(kModel, parsed);
  const std::string binModel = Write("m.bin.x", WriteXFile(parsed, XEncoding::Binary, 32));
  ModelHandle g;
  ASSERT_EQ(LoadModelXFile(g, binModel, nullptr), kModelOk);
  ASSERT_EQ(MergeAnimationXFile(g, binModel, saved, 20, 15), kModelOk);
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*g.animation)),
            "A limb 1: | 0 1 0 0 0 10 0 1 0 0 15 0 1 0 0 20 1 0 0 0 30 0 1 0 0 | "
            "| 0 1 2 3 10 5 6 7 15 5 6 7 20 1 2 3 32 5 6 7\n"
            " limb 0: | | 0 2 2 2 |\n");
  // A hold time equal to the last key's time adds no hold key.
  ModelHandle k;
  LoadModelXFile(k, modelPath, nullptr);
  ASSERT_EQ(MergeAnimationXFile(k, modelPath, saved, 10, 10), kModelOk);
  EXPECT_EQ(TrackGetRotKeyCount(*AnimSetGetTrackList(*k.animation)), 4u);
  // A saved file of a model without animation is the header alone: merged, nothing is found.
  ModelHandle none;
  ASSERT_EQ(SaveAnimationXFile(none, dir + "/empty.x"), kModelOk);
  std::string bytes;
  FsReadFile(dir + "/empty.x", bytes);
  EXPECT_EQ(bytes.size(), 17u);
  ModelHandle plain;
  AddUserFrame(plain, 0, 0, 0, nullptr);
  const std::string noAnim = Write("plain.x", "xof 0302txt 0032\nFrame A { Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n");
  ASSERT_EQ(LoadModelXFile(none, noAnim, nullptr), kModelOk);
  EXPECT_EQ(MergeAnimationXFile(none, noAnim, dir + "/empty.x", 0, 0), kModelFailed);
  EXPECT_EQ(MergeAnimationXFile(none, noAnim, dir + "/nothing.x", 0, 0), kModelFailed);
  EXPECT_EQ(MergeAnimationXFile(plain, noAnim, saved, 0, 0), kModelFailed);  // no root
  // A file of no animation (the model's own set is not merged again) and one for frames the
  // model lacks add nothing, and say why.
  const std::string keysOfK = DumpTracks(AnimSetGetTrackList(*k.animation));
  const std::pair<std::string, std::string> kNotMerged[] = {
      {noAnim, "holds no animation set"},
      {Write("other.x", "xof 0302txt 0032\nAnimationSet { Animation { {A} } Animation { {Elsewhere} } }\n"),
       "the animation names frame Elsewhere, which the model does not have"}};
  for (const auto& [file, cause] : kNotMerged) {
    std::string why;
    bool modelFault = true;
    EXPECT_EQ(MergeAnimationXFile(k, modelPath, file, 30, 30, &why, &modelFault), kModelFailed);
    EXPECT_EQ(why, cause);
    EXPECT_FALSE(modelFault);
    EXPECT_EQ(LoadAnimatedXFile(k, file, 30, 30, &why), kModelFailed);
    EXPECT_EQ(why, cause);
  }
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*k.animation)), keysOfK);
  // Appending the file alone: the frames its references name are found in the model by name,
  // as the merge finds them.
  ModelHandle alone;
  LoadModelXFile(alone, modelPath, nullptr);
  EXPECT_EQ(LoadAnimatedXFile(alone, saved, 20, 10), kModelOk);
  EXPECT_EQ(TrackGetRotKeyCount(*AnimSetGetTrackList(*alone.animation)), 4u);
}

// Appended keys continue the first track of their limb; a second track of the limb stays as it
// was.
TEST_F(XModelTest, AnAppendedAnimationJoinsTheFirstTrackOfItsLimb) {
  const char* const kHead = "xof 0302txt 0032\nFrame A { Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n";
  ModelHandle h;
  ASSERT_EQ(LoadModelXFile(h,
                           Write("two.x", std::string(kHead) +
                                              "AnimationSet { Animation { {A} AnimationKey { 2; 1; 0; 3; 1, 1, 1;;; } }\n"
                                              "  Animation { {A} AnimationKey { 2; 1; 0; 3; 2, 2, 2;;; } } }\n"),
                           nullptr),
            kModelOk);
  const std::string added =
      Write("added.x", std::string(kHead) + "AnimationSet { Animation { {A} AnimationKey { 2; 1; 0; 3; 3, 3, 3;;; } } }\n");
  ASSERT_EQ(LoadAnimatedXFile(h, added, 10, 5), kModelOk);
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*h.animation)),
            "A limb 1: | | | 0 1 1 1 5 1 1 1 10 3 3 3\n"
            "A limb 1: | | | 0 2 2 2\n");
}

TEST_F(XModelTest, MeshesWriteAsMeshObjects) {
  ModelHandle h;
  ASSERT_EQ(LoadModelXFile(h, Write("m.x", kModel), nullptr), kModelOk);
  XFile out;
  XMeshWriter writer(&out);
  h.root->SaveToX(&writer);
  ASSERT_EQ(out.objects.size(), 4u);  // box_0, box_1, box_2, tri
  const XObject& box2 = *out.objects[2];
  EXPECT_EQ(box2.name, "Mesh");
  EXPECT_EQ(box2.data.size(), 1 + 12 + 1 + 2 * 4u);
  XFile back;
  ASSERT_TRUE(ParseXFile(WriteXFile(out, XEncoding::Text), back).ok());
  EXPECT_EQ(back.objects[2]->data, box2.data);
}

// A split whose parts would copy every vertex too often keeps in each part only what its faces
// use (256 materials over 16385 vertices).
TEST_F(XModelTest, LargeSplitsKeepTheirOwnVertices) {
  XFile f;
  XObject& mesh = f.Add("Frame", "F").AddChild("Mesh", "big");
  const uint32_t nv = 16385;
  mesh.PushInt(nv);
  for (uint32_t k = 0; k < nv; ++k) mesh.PushFloat(float(k)), mesh.PushFloat(0), mesh.PushFloat(0);
  mesh.PushInt(256);
  for (uint32_t t = 0; t < 256; ++t) mesh.PushInt(3), mesh.PushInt(3 * t), mesh.PushInt(3 * t + 1), mesh.PushInt(3 * t + 2);
  XObject& list = mesh.AddChild("MeshMaterialList");
  list.PushInt(256), list.PushInt(256);
  for (uint32_t t = 0; t < 256; ++t) list.PushInt(255 - t);
  uint32_t frames;
  std::unique_ptr<AnimSet> anim;
  const std::unique_ptr<FrameNode> root = LoadXTree(f, &frames, &anim);
  const MeshNode* part = MeshNamed(root.get(), "big_255");
  ASSERT_TRUE(part);
  ASSERT_EQ(part->vertices.size(), 3u);
  EXPECT_EQ(part->vertices[1].x, 1.0f);  // the first face's second corner
  EXPECT_EQ(part->indices, (std::vector<uint32_t>{0, 1, 2}));
}
