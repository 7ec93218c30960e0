// Models of objects: the handle without and with a root, user frames from mesh data, meshes
// made from objects, and loading by file ending (3DS through the converter).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "display/display.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/object_model.h"
#include "platform/fs.h"
#include "scene3d/record_pools.h"
#include "tests/model/fixtures_3ds.h"
#include "tests/model/model_fixtures.h"

using namespace fxmodel;

namespace {

class ObjectModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TextureLog::Install();
    CreateMeshPool();
    CreateScenePools();
    AllocMeshData();
    AllocObjectRecord();
    g_display.device = CreateNullDevice();  // user meshes keep their vertices in its buffers
    dir = FsTempFolder() + "/objmodel";
    std::filesystem::create_directories(dir + "/Models");
  }
  void TearDown() override {
    FreeScenePools();
    FreeMeshPool();
    g_display.device.reset();
    TextureLog::Remove();
    std::filesystem::remove_all(dir);
  }
  uint32_t Mesh(float size) {
    const uint32_t m = AllocMeshData();
    BuildBoxMesh(m, size, size, size);
    return m;
  }
  std::string dir;
};

}  // namespace

TEST_F(ObjectModelTest, HandleWithoutRoot) {
  ModelHandle h;
  float c[3] = {5, 5, 5}, r = 5;
  EXPECT_EQ(ModelHandleGetBoundingSphere(h, c, &r), kModelFailed);
  EXPECT_EQ(r, -1.0f);
  EXPECT_EQ(c[0], 0.0f);
  EXPECT_EQ(ModelHandleGetMinAxisDistance(h, c, &r), kModelOk);
  EXPECT_EQ(r, 9999999.0f);
  EXPECT_EQ(ModelHandleReparentLimb(h, 1, 2), kModelOk);
  std::string name = "x";
  EXPECT_EQ(ModelHandleGetLimbFrameName(h, 0, &name), kModelFailed);
  float* matrix = nullptr;
  EXPECT_EQ(ModelHandleFindFrameMatrix(h, "A", &matrix), kModelFailed);
  EXPECT_EQ(ModelHandleChangeLimbMesh(h, 0, 1), kModelFailed);
  EXPECT_EQ(AddUserFrame(h, 3, Mesh(1), 0, g_display.device.get()), kModelFailed);  // a limb needs a root first
  EXPECT_EQ(LoadAnimatedXFile(h, "none.x", 0, 0), kModelFailed);
  // A user mesh whose vertex buffer cannot be made leaves the handle as it was.
  g_display.device.reset();
  EXPECT_EQ(AddUserFrame(h, 0, Mesh(1), 0, g_display.device.get()), kModelFailed);
  EXPECT_FALSE(h.root);
}

TEST_F(ObjectModelTest, UserFramesAndMeasurements) {
  ModelHandle h;
  ASSERT_EQ(AddUserFrame(h, 0, Mesh(2), 5, g_display.device.get()), kModelOk);
  EXPECT_EQ(AddUserFrame(h, 0, Mesh(2), 5, g_display.device.get()), kModelFailed);
  EXPECT_EQ(AddUserFrame(h, 2, 999, 0, g_display.device.get()), kModelFailed);  // no such record
  ASSERT_EQ(AddUserFrame(h, 2, Mesh(4), 6, g_display.device.get()), kModelOk);
  std::string name;
  ModelHandleGetLimbFrameName(h, 2, &name);
  EXPECT_EQ(name, "userframe");
  int32_t texture = -1;
  ModelHandleGetLimbTexture(h, 2, &texture);
  EXPECT_EQ(texture, 6);
  ModelHandleGetLimbMeshName(h, 0, &name);
  EXPECT_EQ(name, "");  // a user mesh names no texture file
  float c[3], r;
  ASSERT_EQ(ModelHandleGetBoundingSphere(h, c, &r), kModelOk);
  EXPECT_NEAR(r, std::sqrt(12.0f), 1e-5f);
  ASSERT_EQ(ModelHandleGetLimbBoundingSphere(h, 0, c, &r), kModelOk);
  EXPECT_NEAR(r, std::sqrt(3.0f), 1e-5f);
  EXPECT_EQ(ModelHandleGetMinAxisDistance(h, c, &r), kModelOk);
  EXPECT_EQ(r, 1.0f);
  NodeBounds b = {{0, 0, 0}, {0, 0, 0}};
  ModelHandleGetBoundingBox(h, &b);
  EXPECT_EQ(b.max[1], 2.0f);
  // One turn alone gives the same matrix in either order.
  float m0[16], m1[16];
  ModelHandleSetLimbTransform(h, 2, 1, 2, 3, 90, 0, 0, 1, 1, 1, 0);
  ModelHandleGetLimbMatrix(h, 2, m0);
  ModelHandleSetLimbTransform(h, 2, 1, 2, 3, 90, 0, 0, 1, 1, 1, 1);
  ModelHandleGetLimbMatrix(h, 2, m1);
  EXPECT_EQ(std::memcmp(m0, m1, sizeof m0), 0);
  EXPECT_EQ(m0[12], 1.0f);
  EXPECT_NEAR(m0[6], 1.0f, 1e-6f);  // +y turns toward +z
  // Two turns: order 0 is Z x Y x X, order 1 X x Y x Z.
  ModelHandleSetLimbTransform(h, 2, 0, 0, 0, 90, 90, 0, 2, 2, 2, 0);
  ModelHandleGetLimbMatrix(h, 2, m0);
  ModelHandleSetLimbTransform(h, 2, 0, 0, 0, 90, 90, 0, 2, 2, 2, 1);
  ModelHandleGetLimbMatrix(h, 2, m1);
  EXPECT_NE(std::memcmp(m0, m1, sizeof m0), 0);
  EXPECT_NEAR(m0[0] * m0[0] + m0[1] * m0[1] + m0[2] * m0[2], 4.0f, 1e-4f);  // scaled by 2
  // The limb's mesh changes to another record.
  ModelHandleChangeLimbMesh(h, 2, Mesh(10));
  ASSERT_EQ(ModelHandleGetLimbBoundingSphere(h, 2, c, &r), kModelOk);
  EXPECT_NEAR(r, 2 * std::sqrt(75.0f), 1e-4f);  // the limb's frame scales by 2
}

// A model of two limbs of 16 and 3 vertices becomes one record whose second limb's faces count
// from 16; the record then makes a model of its own.
TEST_F(ObjectModelTest, MeshFromObject) {
  const uint32_t o = AllocObjectRecord();
  EXPECT_EQ(MakeMeshFromObject(o, -1, -1), -1);  // no model
  ASSERT_EQ(EnsureObjectVisual(o, Mesh(2)), 1);
  ASSERT_EQ(EnsureObjectVisual(o, Mesh(8)), 1);  // kept as it is
  const uint32_t tri = AllocMeshData();
  BuildTriangleMesh(tri, 0, 0, 0, 0, 1, 0, 1, 0, 0);
  ASSERT_EQ(AddMeshLimbToObject(o, 1, tri), 1);
  ModelHandleSetLimbTransform(*g_objectPool[o].model, 1, 10, 0, 0, 0, 0, 0, 1, 1, 1, 0);
  const int32_t r = MakeMeshFromObject(o, -1, -1);
  ASSERT_GT(r, 0);
  const MeshData& m = g_meshPool[uint32_t(r)];
  EXPECT_EQ(m.vertexCount, 19u);
  EXPECT_EQ(m.faceCount, 13u);
  EXPECT_EQ(std::vector<uint32_t>(m.faceWords.end() - 7, m.faceWords.end()),
            (std::vector<uint32_t>{3, 16, 16, 17, 17, 18, 18}));
  EXPECT_EQ(m.vertices[3 * 17], 10.0f);  // placed by its limb's frame
  EXPECT_EQ(m.vertices[3 * 17 + 1], 1.0f);
  // Only limb 1.
  const int32_t one = MakeMeshFromObject(o, 1, -1);
  ASSERT_GT(one, 0);
  EXPECT_EQ(g_meshPool[uint32_t(one)].vertexCount, 3u);
  // A filter that matches nothing makes an empty record, which cannot make a model.
  EXPECT_EQ(MakeMeshFromObject(o, 7, -1), -1);
  EXPECT_EQ(AddMeshLimbToObject(99, 1, tri), 0);
  EXPECT_EQ(ObjectModelPresent(o, 0), 1);
}

// The texture name of a limb is the file its model names, else empty: never the colour of a
// plain material, though that colour becomes its texture.
TEST_F(ObjectModelTest, ALimbTextureNameIsTheNamedFileOrEmpty) {
  const auto frame = [](const char* name, const char* materials) {
    return std::string("Frame ") + name + " { Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; " + materials + " } }\n";
  };
  ASSERT_TRUE(FsWriteFileAtomic(
      dir + "/names.x",
      "xof 0302txt 0032\n" +
          frame("Red", "MeshMaterialList { 1; 1; 0;; Material { 0.9;0.4;0.2;1;; 1; 0;0;0;; 0;0;0;; } }") +
          frame("Skin", "MeshMaterialList { 1; 1; 0;; Material { 0;0;1;1;; 1; 0;0;0;; 0;0;0;; "
                        "TextureFilename { \"skin.old.png\"; } } }") +
          frame("White", "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; } }") +
          frame("Bare", "") + frame("Lost", "MeshMaterialList { 1; 1; 0;; Material { 0;1;0;1;; 1; 0;0;0;; 0;0;0;; "
                                             "TextureFilename { \"none.png\"; } } }")));
  const uint32_t o = AllocObjectRecord();
  ASSERT_GT(LoadObject(o, dir + "/names.x"), 0);
  ModelHandle& h = *g_objectPool[o].model;
  ASSERT_EQ(AddUserFrame(h, 6, Mesh(1), 0, g_display.device.get()), kModelOk);
  const char* const want[] = {"", "", "skin.old.bmp", "", "", "", ""};
  for (uint32_t limb = 1; limb <= 6; ++limb) {
    std::string name = "x";
    ModelHandleGetLimbMeshName(h, limb, &name);
    EXPECT_EQ(name, want[limb]) << "limb " << limb;
  }
  EXPECT_FALSE(TextureLog::colours.empty());  // the plain colours still became textures
}

TEST_F(ObjectModelTest, LoadingByFileEnding) {
  const uint32_t o = AllocObjectRecord();
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/Models/Tree.X", kModel));
  // The ending and the folder are read lower-cased; textures are tried in the folder first.
  EXPECT_EQ(LoadObject(o, dir + "/Models/Tree.X"), 4);
  const std::string folder = [&] {
    std::string s = dir + "/models/";
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }();
  ASSERT_GE(TextureLog::names.size(), 2u);
  EXPECT_EQ(TextureLog::names[0], folder + "skin.old.bmp @" + folder);
  EXPECT_EQ(TextureLog::names[1], "skin.old.bmp @" + folder);
  EXPECT_TRUE(g_model.modelFolder.empty());
  // A second load reads nothing and answers the frame count.
  TextureLog::names.clear();
  EXPECT_EQ(LoadObject(o, dir + "/Models/Tree.X"), 4);
  EXPECT_TRUE(TextureLog::names.empty());
  const uint32_t p = AllocObjectRecord();
  EXPECT_EQ(LoadObject(p, "tree"), -1);
  EXPECT_EQ(LoadObject(p, "models/tree.obj"), -1);
  EXPECT_EQ(LoadObject(p, dir + "/none.x"), -4);
  EXPECT_EQ(LoadObject(p, dir + "/none.3ds"), -4);
  EXPECT_TRUE(g_model.modelFolder.empty());
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/bad.x", "not a model"));
  EXPECT_EQ(LoadObject(p, dir + "/bad.x"), 0);
  EXPECT_EQ(g_objectPool[p].model, nullptr);  // no empty handle is kept
}

// A .3ds file converts to the work file, loads with its frames and keys, and the work file goes.
TEST_F(ObjectModelTest, Loads3dsThroughTheConverter) {
  using namespace fx3ds;
  const std::string tri = Chunk(0x4100, Chunk(0x4110, U16(3) + F({0, 0, 0, 1, 0, 0, 0, 1, 0})) +
                                            Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(0)));
  const std::string editor = Chunk(0x4000, Z("body") + tri) + Chunk(0x4000, Z("arm") + tri);
  const std::string kf = Node("body", 0xFFFF, Chunk(0xB020, TrackHead(2) + VecKey(0, 1, 2, 3) + VecKey(20, 4, 5, 6))) +
                         Node("arm", 0, Chunk(0xB021, TrackHead(1) + RotKey(5, 1.5707964f, 0, 0, 1)));
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/robot.3ds", Main(editor, kf)));
  const uint32_t o = AllocObjectRecord();
  ASSERT_EQ(LoadObject(o, dir + "/robot.3ds"), 3);
  EXPECT_FALSE(FsFileExists(ModelWorkFilePath()));
  ModelHandle& h = *g_objectPool[o].model;
  std::string name;
  ModelHandleGetLimbFrameName(h, 1, &name);
  EXPECT_EQ(name, "x3ds_body");
  ModelHandleGetLimbFrameName(h, 2, &name);
  EXPECT_EQ(name, "x3ds_arm");
  EXPECT_EQ(ModelHandleReparentLimb(h, 1, 2), kModelFailed);  // arm lies inside body
  // Keys: body's positions (y and z exchanged), arm's turn (a quarter about the file's z, which
  // is y here, axis negated).
  EXPECT_EQ(DumpTracks(AnimSetGetTrackList(*h.animation)),
            "x3ds_body limb 1: | | | 0 1 3 2 20 4 6 5\n"
            "x3ds_arm limb 2: | 5 0.707107 -0 -0.707107 -0 | |\n");
}
