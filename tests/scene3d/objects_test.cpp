// 3D object records and the commands that make, load, clone and delete objects and meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "core/error_codes.h"
#include "core/errors.h"
#include "core/run_timing.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "model/model_state.h"
#include "platform/fs.h"
#include "runtime/subsystems.h"
#include "scene3d/collision_response.h"
#include "scene3d/object_model.h"
#include "scene3d/object_operands.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"
#include "model/x_loader.h"
#include "tests/model/fixtures_3ds.h"
#include "tests/model/model_fixtures.h"
#include "tests/scene3d/null_scene.h"
#include "tests/support/program_run.h"

namespace {

class ObjectsTest : public NullSceneTest {
 protected:
  void SetUp() override {
    NullSceneTest::SetUp();
    dir = FsTempFolder() + "/objects_test";
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    NullSceneTest::TearDown();
  }
  static int32_t Exists(int32_t n) {
    CommandCall call{CallOperand::Result(), n};
    EXPECT_EQ(call.Run(7511), 0);
    return call.Result().i;
  }
  std::string dir;
};

// A record holding a one-triangle model through the given corners.
uint32_t TriangleObject(float x, float y, float z) {
  const uint32_t mesh = AllocMeshData();
  BuildTriangleMesh(mesh, 0, 0, 0, x, y, z, 0, 0, 0);
  const uint32_t r = AllocObjectRecord();
  EXPECT_EQ(EnsureObjectVisual(r, mesh), 1);
  FreeMeshData(mesh);
  return r;
}

TEST_F(ObjectsTest, AutoCameraFramesTheModelFromItsRadius) {
  const struct {
    float radius, y, z, nearPlane, farPlane;
  } cases[] = {{50, 25, -100, 1.0f, 5000}, {0.5f, 0.25f, -2.0f, 1.0f, 100}};
  for (const auto& c : cases) {
    const uint32_t r = TriangleObject(c.radius, 0, 0);
    ASSERT_NE(InitObjectRecord(r, 1), 0u);
    const CameraState& cam = g_scene.camera;
    EXPECT_FLOAT_EQ(cam.position[0], 0);
    EXPECT_FLOAT_EQ(cam.position[1], c.y);
    EXPECT_FLOAT_EQ(cam.position[2], c.z);
    EXPECT_FLOAT_EQ(cam.lookAt[2], 0);
    // The projection's planes read back from its matrix; the stored ones are not changed.
    const float* p = g_display.device->State().transforms[kTransformProjection - 1];
    EXPECT_NEAR(-p[14] / p[10], c.nearPlane, 1e-3);
    EXPECT_NEAR(p[14] / (1 - p[10]), c.farPlane, c.farPlane * 1e-3);
    EXPECT_FLOAT_EQ(cam.nearPlane, 1.0f);
    EXPECT_FLOAT_EQ(cam.farPlane, 3000.0f);
    EXPECT_EQ(Obj(r).size, std::trunc(c.radius) + 1);
  }
}

TEST_F(ObjectsTest, OnlyTheFirstObjectAfterAResetBringsTheBackdrop) {
  g_timing.autoBackdrop = 1;
  InitObjectRecord(TriangleObject(1, 0, 0), 0);
  EXPECT_EQ(g_timing.autoBackdrop, 0);
}

TEST_F(ObjectsTest, DeletingAnObjectUnglesItsFollowersAndClearsHitsNamingIt) {
  ASSERT_EQ(Run({1, 10.0f}, 7043), 0);
  ASSERT_EQ(Run({2, 10.0f}, 7043), 0);
  const uint32_t a = ObjectRecordOf(1), b = ObjectRecordOf(2);
  ASSERT_EQ(Run({1, 2, 0}, 7612), 0);
  ASSERT_EQ(Obj(a).gluedTo, int32_t(b));
  CollisionResponseRecordHit(nullptr, MeshCollisionKey(a, 0), MeshCollisionKey(b, 0), nullptr);
  ASSERT_EQ(Obj(a).hitObject, int32_t(b));
  ASSERT_EQ(Run({1, 3}, 7264), 0);  // a clone copies the hit
  const uint32_t c = ObjectRecordOf(3);
  ASSERT_EQ(Obj(c).hitObject, int32_t(b));
  g_scene.sceneChanged = 0;
  EXPECT_EQ(Run({2}, 7009), 0);
  EXPECT_EQ(Obj(a).gluedTo, 0);
  EXPECT_EQ(Obj(a).hitObject, 0);
  EXPECT_EQ(Obj(c).hitObject, 0);
  EXPECT_EQ(g_scene.sceneChanged, 1u);
  EXPECT_EQ(Exists(2), 0);
}

// What names a deleted object is cleared however it came to name it: a hit a box query found,
// and the glue of more followers than the object's list of them holds before it is tidied.
TEST_F(ObjectsTest, DeletingAnObjectClearsABoxHitAndLoosensEveryFollower) {
  ASSERT_EQ(Run({1, 10.0f}, 7043), 0);
  ASSERT_EQ(Run({2, 10.0f}, 7043), 0);
  const uint32_t a = ObjectRecordOf(1);
  CommandCall hit{CallOperand::Result(), 1, 0};
  ASSERT_EQ(hit.Run(7520), 0);
  ASSERT_EQ(hit.Result().i, 2);
  ASSERT_EQ(Obj(a).hitObject, int32_t(ObjectRecordOf(2)));
  ASSERT_EQ(Run({2}, 7009), 0);
  EXPECT_EQ(Obj(a).hitObject, 0);
  constexpr int32_t kFollowers = 19;
  for (int32_t n = 3; n < 3 + kFollowers; ++n) {
    ASSERT_EQ(Run({n, 1.0f}, 7043), 0);
    ASSERT_EQ(Run({n, 1, 0}, 7612), 0);
  }
  ASSERT_EQ(Run({1}, 7009), 0);
  for (int32_t n = 3; n < 3 + kFollowers; ++n) EXPECT_EQ(Obj(ObjectRecordOf(n)).gluedTo, 0) << n;
}

// Deletion and shut-down visit only what names the object: every object number made (half of
// them from a one-triangle mesh, each with its own model and collision shape, the rest clones
// of object 1; each glued to the one before), deleted newest first down to the last 5,000,
// which the shut-down frees. Work that scans every object for each one runs for minutes here.
TEST_F(ObjectsTest, EveryObjectNumberIsMadeAndDeletedInLinearWork) {
  const uint32_t mesh = AllocMeshData();
  BuildTriangleMesh(mesh, 0, 0, 0, 1, 0, 0, 0, 1, 0);
  g_model.meshNumbers[1] = mesh;
  constexpr int32_t kMade = kMaxObjectNumber / 2;
  for (int32_t n = 1; n <= kMaxObjectNumber; ++n) {
    ASSERT_EQ(n <= kMade ? Run({n, 1, 0}, 7008) : Run({1, n}, 7264), 0) << n;
    if (n > 1) {
      ASSERT_EQ(Run({n, n - 1, 0}, 7612), 0) << n;
    }
  }
  const int32_t records = g_objectPool.Count();
  for (int32_t n = kMaxObjectNumber; n > 5000; --n) ASSERT_EQ(Run({n}, 7009), 0) << n;
  EXPECT_EQ(g_objectPool.Count(), records - (kMaxObjectNumber - 5000));
  EXPECT_EQ(Obj(ObjectRecordOf(2)).gluedTo, int32_t(ObjectRecordOf(1)));
  EXPECT_EQ(ModelHandleCollisionObject(*Obj(ObjectRecordOf(1)).model), ObjectRecordOf(1));
}

TEST_F(ObjectsTest, ClonesShareTheModelUntilTheLastHolderGoes) {
  ASSERT_EQ(Run({1, 10.0f}, 7042), 0);
  ASSERT_EQ(Run({1, 2}, 7264), 0);
  const uint32_t source = ObjectRecordOf(1), clone = ObjectRecordOf(2);
  ASSERT_NE(clone, 0u);
  EXPECT_EQ(Obj(clone).model, Obj(source).model);
  EXPECT_TRUE(Obj(clone).limbs.SharesWith(Obj(source).limbs));
  // The shapes answer under the clone now, and under the source again once the clone goes.
  EXPECT_EQ(ModelHandleCollisionObject(*Obj(source).model), clone);
  ASSERT_EQ(Run({2}, 7009), 0);
  EXPECT_EQ(ModelHandleCollisionObject(*Obj(source).model), source);
  ASSERT_EQ(Run({1, 2}, 7264), 0);
  ASSERT_EQ(Run({1}, 7009), 0);
  EXPECT_NE(g_objectPool[ObjectRecordOf(2)].model, nullptr);
  ASSERT_EQ(Run({2}, 7009), 0);
  // Cloning an object onto its own number keeps the model alive.
  ASSERT_EQ(Run({3, 5.0f}, 7043), 0);
  ASSERT_EQ(Run({3, 3}, 7264), 0);
  EXPECT_NE(Obj(ObjectRecordOf(3)).model, nullptr);
}

TEST_F(ObjectsTest, CommandsCheckNumbersFirst) {
  const std::string missingX = dir + "/none.x";
  const struct {
    int number;
    std::vector<CallOperand> operands;
    int32_t error;
  } cases[] = {
      {7041, {0, 1.0f, 1.0f, 1.0f}, kErrObjectNumberOutOfRange},
      {7043, {65536, 1.0f}, kErrObjectNumberOutOfRange},
      {7009, {0}, kErrObjectNumberOutOfRange},
      {7009, {7}, kErrObjectMissing},
      {7511, {CallOperand::Result(), 65536}, kErrObjectNumberOutOfRange},
      {7264, {7, 8}, kErrObjectMissing},
      {7000, {"thing.bmp", 4}, kErrModelFileKind},
      {7000, {missingX, 4}, kErrFileNotFound},
      {7000, {missingX, 0}, kErrObjectNumberOutOfRange},
      {7008, {5, 65535, 0}, kErrMeshNumberOutOfRange},
      {7008, {5, 3, 0}, kErrMeshMissing},
      {7008, {5, 0, 3}, kErrImageMissing},
      {7008, {5, 0, 65536}, kErrImageNumberOutOfRange},
      {7001, {missingX, 65535}, kErrMeshNumberOutOfRange},
      {7001, {missingX, 2}, kErrMeshNotLoaded},
      {7002, {2}, kErrMeshMissing},
      {7004, {2, 9}, kErrObjectMissing},
      {7501, {CallOperand::Result(), 0}, kErrMeshNumberOutOfRange},
  };
  for (const auto& c : cases) {
    CommandCall call;
    for (size_t k = 0; k < c.operands.size(); ++k) {
      const CallOperand& op = c.operands[k];
      if (op.kind == 's') call.SetText(int(k), op.s);
      else if (op.kind == 'f') call.cells[k].f = op.f;
      else call.cells[k].i = op.i;
    }
    EXPECT_EQ(call.Run(c.number, int(c.operands.size())), c.error) << c.number;
  }
  // A maker refuses a number in use; a load replaces it (and a failed load leaves it gone).
  ASSERT_EQ(Run({5, 10.0f, 20.0f, 30.0f}, 7041), 0);
  EXPECT_EQ(Run({5, 1.0f, 1.0f, 1.0f}, 7041), kErrObjectExists);
  const ObjectRecord& box = Obj(ObjectRecordOf(5));
  EXPECT_FLOAT_EQ(box.sizeY, 20);
  EXPECT_FLOAT_EQ(box.boxMin[2], -15);
  EXPECT_FLOAT_EQ(box.boxCentre[0], 0);
  EXPECT_EQ(box.boxCollision, 1);
  EXPECT_EQ(Run({missingX, 5}, 7000), kErrFileNotFound);
  EXPECT_EQ(Exists(5), 0);
}

// A load command on its operands, the error it gives and the engine text naming the file.
struct LoadCase {
  int number;
  std::vector<CallOperand> operands;
  int32_t error;
  std::string detail;
};

template <size_t N>
void ExpectLoadErrors(const LoadCase (&cases)[N]) {
  for (const LoadCase& c : cases) {
    CommandCall call;
    for (size_t k = 0; k < c.operands.size(); ++k) {
      const CallOperand& op = c.operands[k];
      if (op.kind == 's') call.SetText(int(k), op.s);
      else call.cells[k].i = op.i;
    }
    EXPECT_EQ(call.Run(c.number, int(c.operands.size())), c.error) << c.detail;
    EXPECT_EQ(g_lastEngineError, c.detail);
  }
}

// A failed load of an object, a mesh, an animation or a static world names the file and the
// cause after the error's text.
TEST_F(ObjectsTest, FailedLoadsNameTheFileAndTheCause) {
  const std::string model = dir + "/model.x", none = dir + "/none.x", bad = dir + "/bad.x", none3ds = dir + "/none.3ds",
                    junk3ds = dir + "/junk.3ds";
  ASSERT_TRUE(FsWriteFileAtomic(model, fxmodel::kModel));
  ASSERT_EQ(Run({model, 4}, 7000), 0);
  const std::string noWorld = dir + "/none.dat", world = dir + "/world.dat";
  ASSERT_TRUE(FsWriteFileAtomic(bad, "xof 0303tzip0032"));
  ASSERT_TRUE(FsWriteFileAtomic(world, "junk"));
  ASSERT_TRUE(FsWriteFileAtomic(junk3ds, "junk, not a 3DS file"));
  const LoadCase cases[] = {
      {7000, {none, 5}, kErrFileNotFound, none + ": not found"},
      {7000, {bad, 5}, kErrModelNotLoaded, bad + ": the compressed data has no size"},
      {7000, {none3ds, 5}, kErrFileNotFound, none3ds + ": not found"},
      {7000, {junk3ds, 5}, kErrModelNotLoaded, junk3ds + ": not a 3DS file"},
      {7000, {"thing.bmp", 5}, kErrModelFileKind, "thing.bmp: only .x and .3ds files are loaded"},
      {7001, {bad, 2}, kErrMeshNotLoaded, bad + ": the compressed data has no size"},
      {7607, {none, 4, 20}, kErrAnimationNotAppended, none + ": not found"},
      {7607, {bad, 4, 20}, kErrAnimationNotAppended, bad + ": the compressed data has no size"},
      {7088, {noWorld}, kErrFileNotFound, noWorld + ": not found"},
      {7088, {world}, kErrModelNotRead, world + ": damaged, or not a static world"},
  };
  ExpectLoadErrors(cases);
}

// The limbs of a loaded object take their offsets from one walk of the model: 100,000 sibling
// frames (minutes when each limb walked the tree) load at once, their records made in one step
// (not doubled past them).
TEST_F(ObjectsTest, ObjectsOfManyFramesLoadInLinearTime) {
  constexpr int kFrames = 100000;
  std::string file = "xof 0302txt 0032\n";
  for (int i = 0; i < kFrames; ++i)
    file += "Frame f" + std::to_string(i) + " { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, " +
            std::to_string(i) + ",0,0,1;; }" + (i ? "" : " Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }") + " }\n";
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/wide.x", file));
  ASSERT_EQ(Run({dir + "/wide.x", 4}, 7000), 0);
  const ObjectRecord& o = Obj(ObjectRecordOf(4));
  ASSERT_EQ(o.limbCount, kFrames + 1);
  EXPECT_EQ(o.limbs[kFrames].offsetX, float(kFrames - 1));
  EXPECT_EQ(o.limbs[1].offsetX, 0.0f);
  EXPECT_EQ(o.limbs.size(), size_t(kFrames) + 5);
}

TEST_F(ObjectsTest, LoadedObjectsTakeLimbsFramesAndBoxCollisionFromTheModel) {
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/model.x", fxmodel::kModel));
  ASSERT_EQ(Run({dir + "/model.x", 4}, 7000), 0);
  const ObjectRecord& o = Obj(ObjectRecordOf(4));
  EXPECT_EQ(o.limbCount, 4);
  EXPECT_EQ(o.frameCount, 10);
  EXPECT_EQ(o.endFrame, 10);
  EXPECT_EQ(o.rotFrom.size(), 4u);
  EXPECT_EQ(o.collisionShape, 52);
  EXPECT_EQ(o.boxCollision, 1);
  EXPECT_FLOAT_EQ(o.limbs[1].offsetZ, 3);
  EXPECT_EQ(o.limbs[1].linkable, 0);
  EXPECT_EQ(o.limbs[4].exists, 0);
  // A mesh from it, an object from the mesh, and the mesh deleted again.
  ASSERT_EQ(Run({dir + "/model.x", 2}, 7001), 0);
  ASSERT_EQ(Run({6, 2, 0}, 7008), 0);
  EXPECT_NE(Obj(ObjectRecordOf(6)).model, nullptr);
  ASSERT_EQ(Run({2}, 7002), 0);
  EXPECT_EQ(Run({2, 4}, 7004), 0);
  // The empty mesh makes an object without a model.
  EXPECT_EQ(Run({7, 0, 0}, 7008), 0);
  EXPECT_EQ(Exists(7), 1);
}

TEST_F(ObjectsTest, LimbWorldPositionsFollowTheGlueChainLevelByLevel) {
  // a has limb 1 at x 10 and limb 2 at x 20; b is glued to a's limb 2 and has limb 1 at y 5; c
  // is glued to b's limb 1. c sits at (20, 5, 0) only when each level uses its own limb.
  const uint32_t mesh = AllocMeshData();
  BuildBoxMesh(mesh, 1, 1, 1);
  const float limbX[3][3] = {{0, 10, 20}, {0, 0, 0}, {0, 0, 0}}, limbY[3][3] = {{0, 0, 0}, {0, 5, 0}, {0, 0, 0}};
  uint32_t rec[3];
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(Run({k + 1, 1.0f}, 7043), 0);
    rec[k] = ObjectRecordOf(k + 1);
    for (uint32_t l = 1; l <= 2; ++l) {
      ASSERT_EQ(AddMeshLimbToObject(rec[k], l, mesh), 1);
      InitObjectLimb(rec[k], int32_t(l));
      ModelHandleSetLimbTransform(*Obj(rec[k]).model, l, limbX[k][l], limbY[k][l], 0, 0, 0, 0, 1, 1, 1, 0);
    }
  }
  Obj(rec[1]).gluedTo = int32_t(rec[0]), Obj(rec[1]).gluedToLimb = 2;
  Obj(rec[2]).gluedTo = int32_t(rec[1]), Obj(rec[2]).gluedToLimb = 1;
  UpdateLimbWorldTransforms(rec[2], 1);
  EXPECT_NEAR(Obj(rec[2]).limbs[0].worldX, 20, 1e-4);
  EXPECT_NEAR(Obj(rec[2]).limbs[0].worldY, 5, 1e-4);
  // Guarded for the frame: a second call keeps the fields.
  Obj(rec[2]).limbs[0].worldX = 99;
  UpdateLimbWorldTransforms(rec[2], 1);
  EXPECT_EQ(Obj(rec[2]).limbs[0].worldX, 99);
}

TEST(ObjectPrograms, MakeLoadCloneAndDeleteObjects) {
  const std::string path = FsTempFolder() + "/objects_program.x";
  ASSERT_TRUE(FsWriteFileAtomic(path, fxmodel::kModel));
  const std::string source =
      "make object box 1,10,20,30\n"
      "make object sphere 2,10\n"
      "make object cone 3,10\n"
      "make object plane 4,10,10\n"
      "load object \"" + path + "\",5\n"
      "clone object 5,6\n"
      "delete object 5\n"
      "make mesh from object 1,6\n"
      "print object exist(1)\n"
      "print object exist(5)\n"
      "print object exist(6)\n"
      "print mesh exist(1)\n";
  // Every maker ends the slice: a frame each.
  const RunOutcome r = RunVkaSource(source, 60);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "1\n0\n1\n1\n");
  std::filesystem::remove(path);
}

// A picture grabbed and put on an object in the same frame: the image exists at once and its
// texture takes the grabbed pixels when the frame draws them.
TEST(ObjectPrograms, AnImageGrabbedThisFrameTexturesAnObject) {
  const std::string source =
      "sync on\nink rgb(255, 0, 0), 0\nbox 0, 0, 64, 64\nget image 1, 0, 0, 64, 64\n"
      "print image exist(1)\nmake object plane 1, 40, 40\nposition camera 0, 0, -40\n"
      "texture object 1, 1\nsync\nsync\n";
  const RunOutcome r = RunVkaSource(source, 4);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "1\n");
  const uint32_t plane = r.Pixel(320, 150);  // the plane shows the red box
  EXPECT_GT(plane >> 16, 0x80u);
  EXPECT_LT(plane & 0xFFFF, 0x2020u);
}

// What the placement and appearance commands leave, read back through the queries: a loaded
// model's limbs seen through a clone that outlives it, a texture, and an offset limb carried by
// its object's turn and scale.
TEST(ObjectPrograms, QueriesFollowScaleTurnTextureAndClone) {
  const std::string path = FsTempFolder() + "/objects_queries.x";
  ASSERT_TRUE(FsWriteFileAtomic(path, fxmodel::kModel));
  const std::string source =
      "create bitmap 1, 16, 16\n"
      "get image 1, 0, 0, 16, 16\n"
      "set current bitmap 0\n"
      "make object cube 1, 10\n"
      "load object \"" + path + "\", 2\n"
      "clone object 2, 3\n"
      "delete object 2\n"
      "n = 0\n"
      "for l = 0 to 5 : n = n + limb exist(3, l) : next l\n"
      "print object exist(2); \" \"; n\n"
      "make mesh from object 1, 1\n"
      "add limb 1, 1, 1\n"
      "offset limb 1, 1, 0, 0, 10\n"
      "rotate object 1, 0, 90, 0\n"
      "scale object 1, 200, 200, 200\n"
      "print int(limb position x(1, 1) + 0.5); \" \"; int(limb position z(1, 1) + 0.5)\n"
      "texture object 1, 1\n"
      "print limb texture(1, 0); \" \"; limb texture(1, 1)\n"
      "hide object 3\n"
      "print object visible(3); \" \"; object angle y(1)\n";
  const RunOutcome r = RunVkaSource(source, 60);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "0 4\n20 0\n1 1\n0 90\n");
  std::filesystem::remove(path);
}

// The example loads its shipped model and prints what its queries read before turning.
TEST(ObjectPrograms, TheExampleLoadsItsModelAndPrintsItsQueries) {
  const RunOutcome r = RunVka(std::string(VK_SOURCE_DIR) + "/examples/objects.vka", 3);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string printed = "rocket limbs: 3\nbox at -40 0 0\nplane angle x 90\nhand at 16 -60\n";
  EXPECT_EQ(r.transcript.substr(0, printed.size()), printed);
}

// Files too big for a model load are refused with the load error naming the file: one larger
// than its kind may be (a sparse file, so nothing is read) gives the kind, and one that would
// build more than a model may have (a small compressed .x of empty frames, a .3ds of small
// meshes, here against lowered limits) is refused before it takes the memory.
TEST_F(ObjectsTest, ModelsTooBigAreRefusedNamingTheFile) {
  const std::string bigX = dir + "/big.x", big3ds = dir + "/big.3ds", bigWorld = dir + "/big.dat";
  for (const std::string& f : {bigX, big3ds, bigWorld}) {
    ASSERT_TRUE(FsWriteFileAtomic(f, ""));
    std::filesystem::resize_file(f, (uint64_t(1) << 31) + 1);
  }
  std::string frames = "xof 0302txt 0032\n";
  for (int i = 0; i < 2000; ++i) frames += "Frame { }\n";
  using namespace fx3ds;
  const std::string mesh = Chunk(0x4100, Chunk(0x4110, U16(3) + F({0, 0, 0, 1, 0, 0, 0, 1, 0})) +
                                             Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(0)));
  std::string meshes, fewer;
  for (int i = 0; i < 200; ++i) meshes += Chunk(0x4000, Z("m" + std::to_string(i)) + mesh);
  for (int i = 0; i < 100; ++i) fewer += Chunk(0x4000, Z("m" + std::to_string(i)) + mesh);
  const std::string manyX = dir + "/many.x", many3ds = dir + "/many.3ds", heavy3ds = dir + "/heavy.3ds";
  ASSERT_TRUE(FsWriteFileAtomic(manyX, fxmodel::MsZipXFile(frames, 4096)));
  ASSERT_TRUE(FsWriteFileAtomic(many3ds, Main(meshes)));
  ASSERT_TRUE(FsWriteFileAtomic(heavy3ds, Main(fewer)));  // within the counts, not the bytes
  struct Limits {
    XLimits saved = g_modelLimits;
    Limits() { g_modelLimits = XLimits{1000, 100000, 700000}; }
    ~Limits() { g_modelLimits = saved; }
  } lowered;
  const LoadCase cases[] = {
      {7000, {bigX, 5}, kErrModelNotLoaded, bigX + ": too large for a model file"},
      {7000, {big3ds, 5}, kErrFileNotFound, big3ds + ": too large for a 3DS file"},
      {7088, {bigWorld}, kErrModelNotRead, bigWorld + ": too large for a static world"},
      {7000, {manyX, 5}, kErrModelNotLoaded, manyX + ": holds more objects than a model may have"},
      {7001, {manyX, 2}, kErrMeshNotLoaded, manyX + ": holds more objects than a model may have"},
      {7000, {many3ds, 5}, kErrModelNotLoaded, many3ds + ": holds more than a model may have"},
      {7000, {heavy3ds, 5}, kErrModelNotLoaded, heavy3ds + ": holds more than a model may have"},
  };
  ExpectLoadErrors(cases);
  EXPECT_EQ(Exists(5), 0);
}

}  // namespace
