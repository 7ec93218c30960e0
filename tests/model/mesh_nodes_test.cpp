// Mesh nodes: face lists, normals, textures, drawing by texture group, geometry export and the
// collision shapes of each kind placed by limb matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "collision/collision.h"
#include "model/frame_node.h"
#include "model/mesh_node.h"
#include "model/model_textures.h"
#include "scene_test_util.h"

namespace {

const float kFive[15] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 0.5f, 0};

std::vector<uint32_t> IndicesOf(const std::vector<uint32_t>& faces, bool twoWords = false, uint32_t faceCount = 9) {
  MeshNode m("m", 5, kFive, faceCount, faces.data(), faces.size(), twoWords);
  EXPECT_EQ(m.indices.capacity(), m.indices.size());  // made at its size, not grown
  return m.indices;
}

TEST(MeshNodes, FacesBecomeFansAndBadFacesAreSkipped) {
  EXPECT_EQ(IndicesOf({4, 0, 1, 2, 3}), (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(IndicesOf({5, 0, 1, 2, 3, 4}), (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
  // Two words a corner, the vertex index first.
  EXPECT_EQ(IndicesOf({3, 2, 9, 1, 9, 0, 9}, true), (std::vector<uint32_t>{2, 1, 0}));
  // Fewer than three corners, a corner past the vertices, a face past the words: skipped.
  EXPECT_EQ(IndicesOf({2, 0, 1, 3, 0, 1, 7, 3, 0, 1, 2, 4, 0, 1}), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(IndicesOf({0xFFFFFFFFu, 0, 1}), std::vector<uint32_t>{});
  // Indices above 65535 are kept whole.
  std::vector<float> many(3 * 70000, 0.0f);
  const uint32_t face[] = {3, 0, 69999, 65536};
  MeshNode big("big", 70000, many.data(), 1, face, 4, false);
  EXPECT_EQ(big.indices, (std::vector<uint32_t>{0, 69999, 65536}));
}

TEST(MeshNodes, NormalsFromTrianglesAndScaledNormalsLeaveTheStoredOnes) {
  MeshNode* box = BoxMesh("box", 1, 2);
  box->ComputeNormals();
  for (const Vertex& v : box->vertices) {  // unit normals pointing out of the box
    EXPECT_NEAR(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz, 1, 1e-5);
    EXPECT_GT(v.nx * v.x, 0);
    EXPECT_GT(v.nz * v.z, 0);
  }
  const float k = box->vertices[6].nx;
  // The buffer on the device gets the scaled normals, the mesh keeps its own.
  Device3DPtr device = CreateNullDevice();
  ASSERT_EQ(box->BuildVertexBuffer(device.get()), 1);
  box->ScaleNormals(2);
  const MeshBufferData* b = device->VertexBufferData(box->vertexBuffer);
  ASSERT_NE(b, nullptr);
  EXPECT_NEAR(b->vertices[6].nx, 2 * k, 1e-5);
  EXPECT_EQ(b->indices.size(), 36u);
  EXPECT_NEAR(box->vertices[6].nx, k, 1e-5);
  box->ScrollLimbTexture(1, 0.5f, 0.25f);  // a rebuild: the buffer has the stored normals again
  b = device->VertexBufferData(box->vertexBuffer);
  EXPECT_NEAR(b->vertices[6].nx, k, 1e-5);
  EXPECT_FLOAT_EQ(b->vertices[6].v, 0.25f);
  EXPECT_EQ(device->VertexBufferCount(), 1u);  // the old buffers were released
  float centre[3], sx, sy, sz;
  box->MeasureBox(centre, &sx, &sy, &sz);
  EXPECT_FLOAT_EQ(sx, 2);
  EXPECT_FLOAT_EQ(centre[0], 0);
  MeshNode empty("empty", 0, nullptr, 0, nullptr, 0, false);
  empty.MeasureBox(centre, &sx, &sy, &sz);
  EXPECT_EQ(sx, 0);
  EXPECT_EQ(centre[2], 0);
  delete box;
  EXPECT_EQ(device->VertexBufferCount(), 0u);
  // A device that has gone (a display change) is not touched again: the mesh draws from its
  // arrays until it is given the new one.
  MeshNode* orphan = BoxMesh("o", 1, 1);
  ASSERT_EQ(orphan->BuildVertexBuffer(device.get()), 1);
  device.reset();
  orphan->ScrollLimbTexture(1, 0.5f, 0);
  EXPECT_EQ(orphan->vertexBuffer, 0u);
  delete orphan;
}

std::vector<int32_t> g_releases;
std::set<int32_t> g_listed;

class MeshTextures : public testing::Test {
 protected:
  void SetUp() override {
    g_releases.clear();
    g_listed = {5, 6};
    g_modelTextures.listed = [](int32_t t) { return g_listed.count(t) > 0; };
    g_modelTextures.release = [](int32_t t) { g_releases.push_back(t); };
  }
  void TearDown() override { UseDisplayTextures(); }
};

TEST_F(MeshTextures, AnOwnedTextureIsReleasedOnceAndTheLastOneAtDeletion) {
  FrameNode* root = Frame("root", 0);
  MeshNode* mesh = BoxMesh("m", 1, 1);
  root->AddChildNode(mesh);
  mesh->textureNumber = 5;
  mesh->textureOwned = 1;
  root->SetLimbTexture(1, 6);
  root->SetLimbTexture(1, 6);
  EXPECT_EQ(g_releases, (std::vector<int32_t>{5}));
  int32_t texture = 0;
  root->QueryLimbTexture(1, &texture);
  EXPECT_EQ(texture, 6);
  uint32_t counter = 0;
  std::string name = "?";
  mesh->textureName = "wood.bmp";
  root->GetLimbMeshInfo(1, 0, &counter, &texture, &name);
  EXPECT_EQ(name, "wood.bmp");
  EXPECT_EQ(counter, 1u);
  delete root;  // the texture still in the list is given back, owned or not
  EXPECT_EQ(g_releases, (std::vector<int32_t>{5, 6}));
}

TEST_F(MeshTextures, HiddenMeshesEnterTheirTextureButDrawNothing) {
  FrameNode* root = Frame("root", 0);
  FrameNode* limb = Frame("limb", 1);
  root->AddChildNode(limb);
  MeshNode *a = BoxMesh("a", 1, 1), *b = BoxMesh("b", 1, 1), *c = BoxMesh("c", 1, 1);
  limb->AddChildNode(a);
  limb->AddChildNode(b);
  limb->AddChildNode(c);
  a->textureNumber = b->textureNumber = 3;
  c->textureNumber = 4;
  root->SetLimbVisible(1, 1);
  b->drawFlag = 0;
  SceneTextureList list;
  root->CollectTextures(&list, 10.0);
  c->CollectTextures(&list, 20.0);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].texture, 3);
  EXPECT_DOUBLE_EQ(list[1].value, 15.0);  // averaged with the second entry
  std::vector<std::string> log;
  Device3DPtr device = CreateRecordingDevice(CreateNullDevice(), &log);
  float m[16];
  Translation(m, 0, 0, 9);
  root->SetLimbMatrix(1, m);
  uint32_t drawn = 0;
  root->DrawTextureGroup(*device, 3, &drawn);
  EXPECT_EQ(drawn, 36u);
  // The root's and the limb's transforms are set around the meshes and put back after.
  const std::string t = "transform 1 1 1 1 1";
  EXPECT_EQ(log, (std::vector<std::string>{t, t, "draw 8 36", t, t}));
  EXPECT_FLOAT_EQ(device->State().transforms[0][14], 0);
  delete root;
}

TEST(MeshNodes, GeometryExportCountsThenCopiesPlacedVertices) {
  FrameNode* root = Frame("root", 0);
  FrameNode* limb = Frame("limb", 1);
  root->AddChildNode(limb);
  limb->AddChildNode(BoxMesh("a", 1, 2));
  limb->AddChildNode(BoxMesh("b", 1, 2));
  float m[16];
  Translation(m, 5, 0, 0);
  root->SetLimbMatrix(1, m);
  Device3DPtr device = CreateNullDevice();
  GeometryExport count;
  root->ExportGeometry(*device, &count);
  EXPECT_EQ(count.meshCursor, 2u);
  EXPECT_EQ(count.vertexCursor, 16u);
  std::vector<Vertex> v(count.vertexCursor);
  std::vector<uint32_t> idx(count.indexCursor), vc(2), ic(2);
  GeometryExport copy{v.data(), idx.data(), vc.data(), ic.data()};
  copy.mode = 2;
  root->ExportGeometry(*device, &copy);
  EXPECT_FLOAT_EQ(v[8].x, 4);  // the second mesh's first corner, moved with its limb
  EXPECT_EQ(idx[36], 0u);      // indices are not offset
  EXPECT_EQ(ic[1], 36u);
  delete root;
}

TEST(MeshNodes, ExportPlacesPositionsAndTurnsNormalsThroughNestedFrames) {
  // A frame turned a quarter about y holding a frame moved 10 along x holding a triangle
  // facing +z with a corner at the origin.
  FrameNode* root = Frame("root", 0);
  FrameNode *turned = Frame("turned", 1), *moved = Frame("moved", 2);
  root->AddChildNode(turned);
  turned->AddChildNode(moved);
  const float p[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const uint32_t face[] = {3, 0, 1, 2};
  MeshNode* mesh = new MeshNode("tri", 3, p, 1, face, 4, false);
  const float n[9] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
  mesh->SetNormals(n);
  mesh->limbNumber = 2;
  moved->AddChildNode(mesh);
  float m[16];
  BuildRotationYMatrix(m, 1.5707963f);
  root->SetLimbMatrix(1, m);
  Translation(m, 10, 0, 0);
  root->SetLimbMatrix(2, m);
  Device3DPtr device = CreateNullDevice();
  std::vector<Vertex> v(3);
  std::vector<uint32_t> idx(3), vc(1), ic(1);
  GeometryExport out{v.data(), idx.data(), vc.data(), ic.data()};
  out.mode = 2;
  root->ExportGeometry(*device, &out);
  const float want[][3] = {{0, 0, -10}, {1, 0, 0}};  // the origin corner, its normal
  const float got[][3] = {{v[0].x, v[0].y, v[0].z}, {v[0].nx, v[0].ny, v[0].nz}};
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[k][i], want[k][i], 1e-5) << k << " " << i;
  // A frame stretched 4 times along x divides the normal's x by 4 (the inverse transpose) and
  // the normal keeps its length.
  const float scale[16] = {4, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  root->SetLimbMatrix(2, scale);
  const float slanted[9] = {0.6f, 0, 0.8f, 0.6f, 0, 0.8f, 0.6f, 0, 0.8f};
  mesh->SetNormals(slanted);
  BuildRotationYMatrix(m, 0);
  root->SetLimbMatrix(1, m);
  out = GeometryExport{v.data(), idx.data(), vc.data(), ic.data()};
  out.mode = 2;
  root->ExportGeometry(*device, &out);
  const float len = std::sqrt(v[0].nx * v[0].nx + v[0].ny * v[0].ny + v[0].nz * v[0].nz);
  EXPECT_NEAR(len, 1, 1e-5);
  EXPECT_NEAR(v[0].nx / v[0].nz, 0.6f / 0.8f / 4, 1e-5);
  delete root;
}

// Two one-limb models, objects 1 and 2, each a box mesh of edge 2 under limb 1.
class MeshCollision : public testing::Test {
 protected:
  void SetUp() override {
    ResetCollisionWorld();
    SetDefaultCollisionResponse(
        [](void* hits, CollisionKey a, CollisionKey b, const CollisionData*) {
          static_cast<std::vector<std::pair<CollisionKey, CollisionKey>>*>(hits)->push_back({a, b});
        },
        kResponseSimple, &hits_);
    DisableCollisionCaching();
    for (int i = 0; i < 2; ++i) {
      roots_[i] = Frame("root", 0);
      limbs_[i] = Frame("limb", 1);
      roots_[i]->AddChildNode(limbs_[i]);
      meshes_[i] = BoxMesh("box", 1, 2);
      limbs_[i]->AddChildNode(meshes_[i]);
    }
  }
  void TearDown() override {
    for (FrameNode* r : roots_) delete r;
    ResetCollisionWorld();
  }
  // Both objects of the kind, the second limb at x; true when the test reports the pair.
  bool Collide(int32_t kind, float x, float a = 1, float b = 2, float c = 2) {
    hits_.clear();
    for (uint32_t i = 0; i < 2; ++i) {
      roots_[i]->SetCollisionShape(i + 1, kind, a, b, c);
      float m[16];
      Translation(m, i == 0 ? 0 : x, 0, 0);
      roots_[i]->SetLimbMatrix(1, m);
      roots_[i]->UpdateCollisionTransforms(*device_, 0);
    }
    TestAllCollisions();
    return !hits_.empty();
  }
  Device3DPtr device_ = CreateNullDevice();
  FrameNode* roots_[2];
  FrameNode* limbs_[2];
  MeshNode* meshes_[2];
  std::vector<std::pair<CollisionKey, CollisionKey>> hits_;
};

TEST_F(MeshCollision, EveryKindIsPlacedByItsLimb) {
  struct Case {
    int32_t kind;
    float a, b, c, touching, apart;
  } cases[] = {
      {kShapeBox, 2, 2, 2, 1.9f, 2.1f},          {kShapeSphere, 1, 0, 0, 1.9f, 2.1f},
      {kShapeCube, 2, 0, 0, 1.9f, 2.1f},         {kShapeCylinder, 1, 2, 0, 1.9f, 2.1f},
      {kShapeCone, 1, 2, 0, 0.5f, 2.1f},         {kShapeFlatBox, 3, 2, 7, 2.9f, 3.1f},
      {kShapeFittedSphere, 0, 0, 0, 3.4f, 3.5f}, {kShapeFittedBox, 0, 0, 0, 1.9f, 2.1f},
      {kShapePolygons, 0, 0, 0, 1.9f, 2.1f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_TRUE(Collide(c.kind, c.touching, c.a, c.b, c.c));
    EXPECT_FALSE(Collide(c.kind, c.apart, c.a, c.b, c.c));
  }
  ASSERT_TRUE(Collide(kShapeBox, 1, 2, 2, 2));
  EXPECT_EQ(hits_[0], (std::pair<CollisionKey, CollisionKey>{100001, 200001}));
}

TEST_F(MeshCollision, FittedShapesFollowTheMeshCentre) {
  // Every corner of the second box moved to (5, 0, 0): a unit sphere there.
  for (Vertex& v : meshes_[1]->vertices) v = Vertex{5, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(Collide(kShapeFittedSphere, -5.5f));
  EXPECT_FALSE(Collide(kShapeFittedSphere, -1.0f));
  EXPECT_FLOAT_EQ(meshes_[1]->centreOffset[0], 5);
  // An unknown kind, or one below 1, makes no collision object.
  EXPECT_FALSE(Collide(77, 0));
  EXPECT_EQ(meshes_[0]->collisionShape, nullptr);
  EXPECT_FALSE(Collide(0, 0));
  EXPECT_EQ(meshes_[0]->objectIndex, 0u);
  // Removing a limb's collision leaves the other object alone.
  ASSERT_TRUE(Collide(kShapeBox, 1, 2, 2, 2));
  roots_[0]->RemoveLimbCollision(1);
  hits_.clear();
  TestAllCollisions();
  EXPECT_TRUE(hits_.empty());
  EXPECT_NE(meshes_[1]->collisionShape, nullptr);
}

}  // namespace
