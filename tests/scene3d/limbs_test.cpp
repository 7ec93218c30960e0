// Limbs of 3D objects: adding and linking them in order, hiding and showing with their collision
// shapes, colours, mesh changes, the checklist and the queries.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "collision/world.h"
#include "core/checklist.h"
#include "core/error_codes.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "model/model_state.h"
#include "model/scene_node.h"
#include "model/x_loader.h"
#include "model/xfile/xfile.h"
#include "platform/fs.h"
#include "runtime/subsystems.h"
#include "scene3d/object_operands.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_render.h"
#include "tests/model/model_fixtures.h"
#include "tests/scene3d/null_scene.h"
#include "tests/support/program_run.h"

namespace {

class LimbsTest : public NullSceneTest {
 protected:
  void SetUp() override {
    NullSceneTest::SetUp();
    // Object 1, a cube with only its root limb, and mesh 1, a box.
    ASSERT_EQ(Run({1, 10.0f}, 7043), 0);
    const uint32_t mesh = AllocMeshData();
    BuildBoxMesh(mesh, 2, 2, 2);
    g_model.meshNumbers[1] = mesh;
  }
  static void AddLimbs(int32_t count) {
    for (int32_t l = 1; l <= count; ++l) ASSERT_EQ(Run({1, l, 1}, 7011), 0);
  }
  static ObjectRecord& Cube() { return Obj(ObjectRecordOf(1)); }
  // The mesh node of a limb of object 1.
  static MeshNode* LimbMesh(uint32_t limb) { return FindMesh(Cube().model->root.get(), limb); }
  static MeshNode* FindMesh(SceneNode* node, uint32_t limb) {
    for (; node; node = node->nextSibling) {
      if (!node->IsFrame() && node->limbNumber == limb) return static_cast<MeshNode*>(node);
      if (MeshNode* m = FindMesh(node->firstChild, limb)) return m;
    }
    return nullptr;
  }
};

TEST_F(LimbsTest, LimbsAreAddedOneAtATimeFromOne) {
  const struct {
    int32_t object, limb, mesh, error;
  } steps[] = {
      {0, 1, 1, kErrObjectNumberOutOfRange}, {2, 1, 1, kErrObjectMissing},
      {1, 1, 65535, kErrMeshNumberOutOfRange}, {1, 1, 7, kErrMeshMissing},
      {1, 2, 1, kErrLimbPreviousMissing},     {1, 0, 1, kErrLimbNotAddable},
      {1, 32, 1, kErrLimbNotAddable},         {1, 1, 1, 0},
      {1, 2, 0, 0},  // mesh 0: a limb without geometry
      {1, 1, 1, kErrLimbExists},
  };
  for (const auto& s : steps) EXPECT_EQ(Run({s.object, s.limb, s.mesh}, 7011), s.error) << s.limb << " " << s.mesh;
  EXPECT_EQ(Cube().limbCount, 3);
  EXPECT_EQ(Cube().collisionShape, 52);
  EXPECT_EQ(Cube().limbs[2].linkable, 1);
}

TEST_F(LimbsTest, AnAddedLimbLinksOnceAndNeverUnderItselfOrItsOwnChild) {
  AddLimbs(3);
  const struct {
    int32_t a, b, error;
  } steps[] = {
      {2, 1, 0},
      {2, 3, kErrLimbNotLinkable},
      {3, 3, kErrLimbOutOfRange},
      {3, 64, kErrLimbOutOfRange},
      {1, 2, kErrLimbNotReparented},  // 2 lies under 1 now
      {3, 2, 0},
  };
  for (const auto& s : steps) EXPECT_EQ(Run({1, s.a, s.b}, 7016), s.error) << s.a << " under " << s.b;
  EXPECT_EQ(Cube().limbs[1].linkable, 1);  // its refused link left it linkable
}

TEST_F(LimbsTest, LoadedLimbsCannotBeLinked) {
  const std::string path = FsTempFolder() + "/limbs_test.x";
  ASSERT_TRUE(FsWriteFileAtomic(path, fxmodel::kModel));
  ASSERT_EQ(Run({path, 2}, 7000), 0);
  EXPECT_EQ(Run({2, 1, 0}, 7016), kErrLimbNotLinkable);
  std::filesystem::remove(path);
}

// A mesh beside the frames of a file's top level takes the number of the frame before it, and
// the limb's commands reach it with the frame's meshes.
TEST_F(LimbsTest, ARootMeshBesideAFrameJoinsItsLimbAndHidesWithIt) {
  const std::string path = FsTempFolder() + "/limbs_beside.x";
  ASSERT_TRUE(FsWriteFileAtomic(path,
                                "xof 0302txt 0032\n"
                                "Frame A { Mesh inner { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; } }\n"
                                "Mesh beside { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n"));
  ASSERT_EQ(Run({path, 2}, 7000), 0);
  std::filesystem::remove(path);
  ASSERT_EQ(Run({2, 1}, 7019), 0);
  int meshes = 0;
  ForEachNode(Obj(ObjectRecordOf(2)).model->root.get(), [&](SceneNode* n) {
    if (n->IsFrame()) return;
    ++meshes;
    EXPECT_EQ(n->limbNumber, 1u) << n->name;
    EXPECT_EQ(static_cast<MeshNode*>(n)->drawFlag, 0u) << n->name;
  });
  EXPECT_EQ(meshes, 2);
}

TEST_F(LimbsTest, HiddenLimbsLeaveTheCollisionLibraryAndComeBackWithTheObjectsShape) {
  AddLimbs(1);
  ASSERT_NE(LimbMesh(1)->collisionShape, nullptr);
  g_scene.sceneChanged = 0;
  ASSERT_EQ(Run({1, 1}, 7019), 0);
  EXPECT_EQ(LimbMesh(1)->collisionShape, nullptr);
  EXPECT_EQ(LimbMesh(1)->drawFlag, 0u);
  EXPECT_NE(LimbMesh(0)->collisionShape, nullptr);  // the other limbs keep theirs
  EXPECT_EQ(g_scene.sceneChanged, 1u);
  ASSERT_EQ(Run({1, 1}, 7020), 0);
  EXPECT_NE(LimbMesh(1)->collisionShape, nullptr);
  EXPECT_EQ(LimbMesh(1)->objectIndex, ObjectRecordOf(1));
  CommandCall shown{CallOperand::Result(9), 1, 1};
  ASSERT_EQ(shown.Run(7536), 0);
  EXPECT_EQ(shown.Result().i, 1);
}

// Collision objects are counted by the library's creation serial: adding a limb to a chain
// gives its own mesh a shape and leaves the others' alone, while a hidden limb still gets its
// shape back with the next added limb.
TEST_F(LimbsTest, AddingALimbShapesOnlyItsOwnMesh) {
  constexpr int32_t kChain = 300;
  const uint64_t before = g_collision.nextSerial;
  for (int32_t l = 1; l <= kChain; ++l) {
    ASSERT_EQ(Run({1, l, 1}, 7011), 0);
    if (l > 1) {
      ASSERT_EQ(Run({1, l, l - 1}, 7016), 0);
    }
  }
  EXPECT_LE(g_collision.nextSerial - before, uint64_t(2 * kChain));
  ASSERT_EQ(Run({1, 5}, 7019), 0);
  ASSERT_EQ(Run({1, kChain + 1, 1}, 7011), 0);
  for (uint32_t l : {0u, 5u, uint32_t(kChain), uint32_t(kChain + 1)}) {
    ASSERT_NE(LimbMesh(l)->collisionShape, nullptr) << l;
    EXPECT_EQ(LimbMesh(l)->objectIndex, ObjectRecordOf(1)) << l;
  }
}

// The nodes the model walks step to grow with the count of limbs, not with its square: adding,
// linking and placing a limb goes straight to it, whether it ends a long chain or joins many
// siblings under the root, and the world positions come from one walk of the tree.
TEST_F(LimbsTest, LimbsAreAddedLinkedAndPlacedInLinearWork) {
  constexpr int32_t kLimbs = 4000, kChain = kLimbs / 2;
  const uint64_t before = g_model.nodesVisited;
  for (int32_t l = 1; l <= kLimbs; ++l) {
    ASSERT_EQ(Run({1, l, 1}, 7011), 0);
    if (l > 1 && l <= kChain) {
      ASSERT_EQ(Run({1, l, l - 1}, 7016), 0);
    }
    ASSERT_EQ(Run({1, l, 0.0f, 1.0f, 0.0f}, 7013), 0);
  }
  for (const int32_t l : {kChain, kLimbs}) {
    CommandCall height{CallOperand::Result(), 1, l};
    ASSERT_EQ(height.Run(7534), 0);
    EXPECT_EQ(height.Result().f, l == kChain ? float(kChain) : 1.0f);
  }
  EXPECT_LE(g_model.nodesVisited - before, uint64_t(20 * kLimbs));
}

// Runs f on a thread of a 1 MB stack, where a walk taking a call a level would overflow long
// before the deepest chain (sooner still under the sanitizers, whose frames are larger).
void OnSmallStack(const std::function<void()>& f) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, size_t(1) << 20), 0);
  pthread_t thread;
  const auto run = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&f)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// A chain of linked limbs stops at the deepest level a node may take (a limb's mesh one below
// its frame): the link past it is refused and the object goes on working. The deepest chain is
// cloned, drawn, measured, given keys, collided and deleted on a small stack: no walk of the tree takes a
// call a level.
TEST_F(LimbsTest, TheDeepestChainOfLinkedLimbsIsWalkedOnASmallStack) {
  constexpr int32_t kDeepest = kMaxNodeDepth - 1;  // limb l lies at level l, its mesh at l + 1
  OnSmallStack([&] {
    for (int32_t l = 1; l <= kDeepest + 1; ++l) {
      ASSERT_EQ(Run({1, l, 1}, 7011), 0);
      ASSERT_EQ(Run({1, l, 0.0f, 1.0f, 0.0f}, 7013), 0);
      if (l > 1) {
        ASSERT_EQ(Run({1, l, l - 1}, 7016), l <= kDeepest ? 0 : kErrLimbNotLinkable) << l;
      }
    }
    ASSERT_EQ(Run({1, kDeepest + 1, 1}, 7016), 0);  // the refused limb links higher up
    g_scene.camera.autoCamera = 0;  // the camera stays where the cube put it
    ASSERT_EQ(Run({1, 2}, 7264), 0);
    ASSERT_EQ(Run({2, 0.0f, 0.0f, 5.0f}, 7021), 0);
    RenderScene3D();
    EXPECT_EQ(g_scene.render.drawnIndices, 2u * 36 * (kDeepest + 2));  // two objects of every box
    UpdateObjectExtents(ObjectRecordOf(1));
    EXPECT_NEAR(Cube().sizeY, float(kDeepest + 6), 0.5f);  // from the cube's -5 to the top limb's box
    XFile keys;  // keys appended to the chain look for their limbs through the whole tree
    ASSERT_TRUE(ParseXFile("xof 0302txt 0032\nAnimationSet { Animation { {userframe} AnimationKey { 2; 1; 0; 3; 1, 1, 1;;; } } }\n",
                           keys)
                    .ok());
    EXPECT_EQ(AppendAnimationFromXFiles({&keys}, Cube().model->root.get(), nullptr, 0, 0), 1);
    // The limbs' boxes leave the collision library (which places a crowd of shapes slowly); the
    // placement still walks the whole chain.
    for (int32_t l = 1; l <= kDeepest + 1; ++l) ASSERT_EQ(Run({1, l}, 7019), 0);
    CommandCall hit{CallOperand::Result(), 2, 1};  // the clone's shapes, placed through the chain
    ASSERT_EQ(hit.Run(7520), 0);
    EXPECT_EQ(hit.Result().i, 1);
    ASSERT_EQ(Run({2}, 7009), 0);
    ASSERT_EQ(Run({1}, 7009), 0);
  });
}

// The shared colour texture of a colour: the reference count of its list node (-1 none).
int32_t ColourReferences(uint32_t colour) {
  for (const TextureNode& node : g_textures.list)
    if (node.name == std::to_string(colour)) return node.references;
  return -1;
}

TEST_F(LimbsTest, ColouringALimbAgainLetsGoOfItsFormerColour) {
  AddLimbs(1);
  ASSERT_EQ(Run({1, 1, int(0xFF0000)}, 7018), 0);
  ASSERT_EQ(Run({1, 1, int(0xFF0000)}, 7018), 0);
  EXPECT_EQ(ColourReferences(0xFF0000), 1);
  ASSERT_EQ(Run({1, 1, int(0x00FF00)}, 7018), 0);
  EXPECT_LE(ColourReferences(0xFF0000), 0);
  EXPECT_EQ(Cube().limbs[1].ownTexture, LimbMesh(1)->textureNumber);
}

// A limb hidden through one holder of a shared model is unknown to the other's record: a limb
// the other adds gives every mesh its shape again, the hidden limb's too.
TEST_F(LimbsTest, ACloneAddingALimbGivesTheSharedModelsHiddenLimbItsShape) {
  AddLimbs(1);
  ASSERT_EQ(Run({1, 2}, 7264), 0);
  ASSERT_EQ(Run({1, 1}, 7019), 0);
  ASSERT_EQ(LimbMesh(1)->collisionShape, nullptr);
  ASSERT_EQ(Run({2, 2, 1}, 7011), 0);
  for (uint32_t l : {0u, 1u, 2u}) {
    EXPECT_NE(LimbMesh(l)->collisionShape, nullptr) << l;
    EXPECT_EQ(LimbMesh(l)->objectIndex, ObjectRecordOf(2)) << l;
  }
}

// Each limb's mesh holds a reference to its colour, given back when the object goes.
TEST_F(LimbsTest, DeletingAnObjectGivesBackEveryLimbsTexture) {
  constexpr uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF};
  AddLimbs(3);
  for (int32_t l = 1; l <= 3; ++l) ASSERT_EQ(Run({1, l, int(kColours[l - 1])}, 7018), 0);
  for (uint32_t c : kColours) ASSERT_EQ(ColourReferences(c), 1) << c;
  ASSERT_EQ(Run({1}, 7009), 0);
  for (uint32_t c : kColours) EXPECT_LE(ColourReferences(c), 0) << c;
}

TEST_F(LimbsTest, AnglesAreKeptAsGivenAndChecked) {
  AddLimbs(1);
  const struct {
    float x, y, z;
    int32_t error;
  } steps[] = {{360, 0, 0, 0}, {0, 360.5f, 0, kErrAngleOutOfRange}, {0, 0, -1, kErrAngleOutOfRange}};
  for (const auto& s : steps) EXPECT_EQ(Run({1, 1, s.x, s.y, s.z}, 7014), s.error);
  CommandCall angle{CallOperand::Result(), 1, 1};
  ASSERT_EQ(angle.Run(7527), 0);
  EXPECT_EQ(angle.Result().f, 360.0f);
  CommandCall reserved{CallOperand::Result(5), 1, 1};
  ASSERT_EQ(reserved.Run(7522), 0);
  EXPECT_EQ(reserved.Result().i, 0);
  // Texture scrolling skips a limb beyond the array without an error; a query reports it.
  EXPECT_EQ(Run({1, 500, 0.5f, 0.5f}, 7202), 0);
  CommandCall beyond{CallOperand::Result(), 1, 500};
  EXPECT_EQ(beyond.Run(7521), kErrLimbOutOfRange);
  CommandCall missing{CallOperand::Result(), 1, 5};
  EXPECT_EQ(missing.Run(7521), 0);
  EXPECT_EQ(missing.Run(7524), kErrLimbMissing);
}

TEST_F(LimbsTest, AChangedMeshWithFewerNormalsGetsTheRestFromItsFaces) {
  AddLimbs(1);
  const uint32_t mesh = AllocMeshData();
  BuildBoxMesh(mesh, 4, 4, 4);
  MeshData& m = *MeshDataAt(mesh);
  m.normalCount = 2;
  m.normals.resize(6);
  g_model.meshNumbers[2] = mesh;
  ASSERT_EQ(Run({1, 1, 2}, 7027), 0);
  const MeshNode& node = *LimbMesh(1);
  ASSERT_EQ(node.vertices.size(), m.vertexCount);
  EXPECT_EQ(node.vertices[1].nx, m.normals[3]);
  for (size_t k = 2; k < node.vertices.size(); ++k) {
    const Vertex& v = node.vertices[k];
    EXPECT_NEAR(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz, 1.0f, 1e-4) << k;
  }
  EXPECT_NE(node.vertexBuffer, 0u);
  // Without the device the arrays change and the buffer waits for the next one.
  g_display.device.reset();
  EXPECT_EQ(Run({1, 1, 1}, 7027), 0);
  EXPECT_EQ(LimbMesh(1)->vertices[0].x, -1.0f);
  EXPECT_EQ(LimbMesh(1)->vertexBuffer, 0u);
  EXPECT_EQ(Run({1, 1, 0}, 7027), kErrMeshNumberOutOfRange);
}

TEST_F(LimbsTest, TheChecklistListsEveryLimbAboveTheRoot) {
  AddLimbs(2);
  ASSERT_EQ(Run({1}, 7003), 0);
  EXPECT_EQ(g_checklist.made, 1);
  ASSERT_EQ(g_checklist.count, 2);
  EXPECT_EQ(g_checklist.rows[0].a, 1);
  EXPECT_EQ(g_checklist.rows[1].a, 2);
  // An empty limb (mesh 0) is a limb as LIMB EXIST says, listed between the others.
  ASSERT_EQ(Run({1, 3, 0}, 7011), 0);
  ASSERT_EQ(Run({1, 4, 1}, 7011), 0);
  ASSERT_EQ(Run({1}, 7003), 0);
  ASSERT_EQ(g_checklist.count, 4);
  for (int32_t l = 1; l <= 5; ++l) {
    CommandCall exist{CallOperand::Result(), 1, l};
    ASSERT_EQ(exist.Run(7521), 0);
    EXPECT_EQ(exist.Result().i, l <= 4 ? 1 : 0) << l;
    if (l <= 4) {
      EXPECT_EQ(g_checklist.rows[l - 1].a, l);
    }
  }
}

TEST(LimbPrograms, LimbCountsOffsetsAndWorldPositions) {
  // Limb 2 hangs 10 ahead of limb 1, which stands at x 5 turned 90 degrees about y: limb 2 is
  // at x 15 and looks along x.
  const std::string source =
      "make object cube 1,10\n"
      "make mesh from object 1,1\n"
      "add limb 1,1,1\n"
      "add limb 1,2,1\n"
      "link limb 1,2,1\n"
      "offset limb 1,1,5,0,0\n"
      "rotate limb 1,1,0,90,0\n"
      "offset limb 1,2,0,0,10\n"
      "print limb exist(1,2);\" \";limb exist(1,3)\n"
      "print limb offset x(1,1);\" \";limb angle y(1,1)\n"
      "print int(limb position x(1,2)+0.5);\" \";int(limb position z(1,2)+0.5)\n"
      "print int(limb direction y(1,2)+0.5)\n"
      "checklist object limbs 1\n"
      "print checklist count()\n";
  const RunOutcome r = RunVkaSource(source, 30);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "1 0\n5 90\n15 0\n90\n2\n");
}

}  // namespace
