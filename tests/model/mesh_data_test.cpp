// Mesh data records: boxes, triangles, the built-in meshes, meshes read from .x data and the
// whole-record edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "model/mesh_data.h"
#include "model/xfile/mesh_builder.h"

namespace {

class MeshDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateMeshPool();
    AllocMeshData();  // record 0 stands for no mesh
    mesh = AllocMeshData();
  }
  void TearDown() override { FreeMeshPool(); }
  MeshData& M() { return g_meshPool[mesh]; }
  const float* V(uint32_t i) { return &M().vertices[3 * i]; }
  uint32_t mesh = 0;
};

void ExpectVec(const float* v, float x, float y, float z) {
  EXPECT_NEAR(v[0], x, 1e-5f);
  EXPECT_NEAR(v[1], y, 1e-5f);
  EXPECT_NEAR(v[2], z, 1e-5f);
}

}  // namespace

TEST_F(MeshDataTest, BoxAndTriangle) {
  ASSERT_EQ(BuildBoxMesh(mesh, 2, 4, 6), 1);
  EXPECT_EQ(M().vertexCount, 16u);
  EXPECT_EQ(M().normalCount, 16u);
  EXPECT_EQ(M().faceCount, 12u);
  EXPECT_EQ(M().faceWordCount, 84u);
  ExpectVec(V(6), 1, 2, 3);
  ExpectVec(V(8), -1, -2, -3);
  ExpectVec(&M().normals[36], 0, 1, 0);
  ExpectVec(&M().normals[3], -0.5f, 0, 0.5f);
  EXPECT_EQ(std::vector<uint32_t>(M().faceWords.begin(), M().faceWords.begin() + 14),
            (std::vector<uint32_t>{3, 0, 0, 4, 4, 7, 7, 3, 0, 0, 7, 7, 3, 3}));
  EXPECT_EQ(M().texCoords[20], 1.0f);  // pair 10 is (1, 1)
  EXPECT_EQ(M().texCoords[21], 1.0f);

  ASSERT_EQ(BuildTriangleMesh(mesh, 1, 2, 3, 4, 5, 6, 7, 8, 9), 1);
  EXPECT_EQ(M().vertexCount, 3u);
  EXPECT_EQ(M().faceWords, (std::vector<uint32_t>{3, 0, 0, 1, 1, 2, 2}));
  ExpectVec(V(2), 7, 8, 9);
  ExpectVec(&M().normals[6], 0, 0, -1);
  EXPECT_EQ(M().texCoords, (std::vector<float>{0, 0, 0, 1, 1, 1}));
}

// Counts and extents of the built-in meshes; every face turns its front outward.
TEST_F(MeshDataTest, BuiltinMeshes) {
  struct Case {
    uint16_t id;
    uint32_t vertices, normals, triangles;
    float lo[3], hi[3];
  };
  const Case cases[] = {
      {kMeshSphere, 164, 164, 224, {-0.499f, -0.499f, -0.499f}, {0.501f, 0.501f, 0.501f}},
      {kMeshCube, 32, 32, 12, {-0.499f, -0.499f, -0.499f}, {0.501f, 0.501f, 0.501f}},
      {kMeshCylinder, 171, 171, 96, {-0.499f, -0.5f, -0.499f}, {0.501f, 0.5f, 0.501f}},
      {kMeshPlane, 4, 4, 2, {-0.499f, -0.499f, 0.001f}, {0.501f, 0.501f, 0.001f}},
      {kMeshCone, 28, 52, 48, {-0.499f, -0.499f, -0.499f}, {0.501f, 0.501f, 0.501f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(BuiltinMeshBytes(c.id).substr(0, 16), "xof 0303bin 0032");
    ASSERT_EQ(LoadMeshFromResource(mesh, c.id), 1);
    EXPECT_EQ(M().vertexCount, c.vertices);
    EXPECT_EQ(M().normalCount, c.normals);
    EXPECT_EQ(M().faceCount, c.triangles);
    EXPECT_EQ(M().faceWordCount, 7 * c.triangles);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (uint32_t i = 0; i < M().vertexCount; ++i)
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], V(i)[a]), hi[a] = std::max(hi[a], V(i)[a]);
    for (int a = 0; a < 3; ++a) {
      EXPECT_NEAR(lo[a], c.lo[a], 1e-5f);
      EXPECT_NEAR(hi[a], c.hi[a], 1e-5f);
    }
    const float centre[3] = {0.001f, c.id == kMeshCylinder ? 0.0f : 0.001f, 0.001f};
    for (uint32_t f = 0; f < M().faceCount && c.id != kMeshPlane; ++f) {
      const uint32_t* w = &M().faceWords[7 * f];
      ASSERT_EQ(w[0], 3u);
      const float *a = V(w[1]), *b = V(w[3]), *d = V(w[5]);
      const float p[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, q[3] = {d[0] - b[0], d[1] - b[1], d[2] - b[2]};
      const float n[3] = {p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
      float out = 0;
      for (int k = 0; k < 3; ++k) out += n[k] * ((a[k] + b[k] + d[k]) / 3 - centre[k]);
      EXPECT_GT(out, 0.0f) << "face " << f;
    }
  }
  // The plane as the loaders give it: width 10, height 20.
  ASSERT_EQ(LoadScaledBuiltinMesh(mesh, kMeshPlane, 10, 20, 1), 1);
  ExpectVec(V(0), -4.99f, -9.98f, 0.001f);
  ExpectVec(V(3), 5.01f, 10.02f, 0.001f);
  EXPECT_EQ(std::vector<uint32_t>(M().faceWords.begin(), M().faceWords.end()),
            (std::vector<uint32_t>{3, 0, 0, 3, 3, 1, 1, 3, 3, 3, 0, 0, 2, 2}));
  EXPECT_FLOAT_EQ(M().texCoords[0], 0.0005f);
  EXPECT_FLOAT_EQ(M().texCoords[1], 0.9995f);
  ASSERT_EQ(LoadScaledBuiltinMesh(mesh, kMeshSphere, 4, 4, 4), 1);
  EXPECT_NEAR(V(0)[1], -1.996f, 1e-5f);
}

TEST_F(MeshDataTest, MeshFromXData) {
  // Two meshes, one inside a moved frame; a quadrilateral keeps four corners, a face naming a
  // missing vertex is dropped, the second mesh has no normals and gets them from its face.
  const std::string x =
      "xof 0302txt 0032\n"
      "Mesh quad { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 4;0,1,2,3;, 3;0,1,9;;\n"
      "  MeshNormals { 1; 0;0;-1;; 2; 4;0,0,0,0;, 3;0,0,0;; }\n"
      "  MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; } }\n"
      "Frame f { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,20,30,1;; }\n"
      "  Mesh tri { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; } }\n";
  ASSERT_EQ(LoadMeshFromMemory(mesh, x), 1);
  EXPECT_EQ(M().vertexCount, 7u);
  EXPECT_EQ(M().normalCount, 4u);
  EXPECT_EQ(M().faceCount, 2u);
  EXPECT_EQ(M().faceWords, (std::vector<uint32_t>{4, 0, 0, 1, 0, 2, 0, 3, 0, 3, 4, 1, 5, 2, 6, 3}));
  ExpectVec(V(5), 10, 21, 30);
  ExpectVec(&M().normals[3], 0, 0, -1);  // the unit normal of the triangle, turned outward
  EXPECT_EQ(M().texCoords.size(), 14u);
  EXPECT_EQ(M().texCoords[5], 1.0f);
  EXPECT_EQ(M().minX, 0);
  EXPECT_EQ(M().maxX, 11);
  EXPECT_EQ(M().maxY, 21);
  EXPECT_EQ(M().minZ, 0);
  EXPECT_EQ(M().maxZ, 30);
  // Not .x data, and .x data without a mesh: nothing read, the record as it was.
  EXPECT_EQ(LoadMeshFromMemory(mesh, "garbage"), 0);
  EXPECT_EQ(LoadMeshFromMemory(mesh, "xof 0302txt 0032 Header { 1; 0; 1; }"), 0);
  EXPECT_EQ(M().vertexCount, 7u);
  EXPECT_EQ(LoadMeshFile(mesh, "/no/such/file.x"), 0);
  // A mesh counts once for each frame that refers to it: what that gathers is held to the
  // limit of values, however small the file.
  const struct {
    int refs;
    uint64_t values;  // 13 words a mesh gathered
    bool built;
  } kShared[] = {{5, 78, true}, {5, 77, false}, {10, 100, false}};  // the mesh and 5 references: 78
  for (const auto& c : kShared) {
    std::string shared = "xof 0302txt 0032\nMesh tri { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n";
    for (int i = 0; i < c.refs; ++i) shared += "Frame { {tri} }\n";
    BuiltMesh built;
    EXPECT_EQ(BuildMeshFromX(shared, &built, XLimits{1000, c.values}), c.built) << c.refs << " " << c.values;
    EXPECT_EQ(built.positions.size(), c.built ? 9u * c.refs + 9 : 0u);
  }
}

TEST_F(MeshDataTest, WholeRecordEdits) {
  BuildTriangleMesh(mesh, 1, 2, 3, 4, 5, 6, 7, 8, 9);
  for (int32_t r : {ScaleMeshData(0, 2, 2, 2), RotateMeshData(0, 90, 0, 0), SetMeshNormalsAll(0, 1, 0, 0),
                    ScaleMeshNormals(0, 2), SetMeshVertexYAll(0, 5)})
    EXPECT_EQ(r, 1);
  ASSERT_EQ(ScaleMeshData(mesh, 2, 3, 4), 1);
  ExpectVec(V(0), 2, 6, 12);
  SetMeshVertexYAll(mesh, -1);
  ExpectVec(V(1), 8, -1, 24);
  SetMeshNormalsAll(mesh, 0, 1, 0);
  ScaleMeshNormals(mesh, 3);
  ExpectVec(&M().normals[6], 0, 3, 0);
  // A quarter turn about y (3.14 / 180 a degree): +x goes to -z, the normal stays.
  BuildTriangleMesh(mesh, 1, 0, 0, 0, 1, 0, 0, 0, 1);
  RotateMeshData(mesh, 0, 90, 0);
  EXPECT_NEAR(V(0)[0], 0, 2e-3f);
  EXPECT_NEAR(V(0)[2], -1, 1e-5f);
  EXPECT_NEAR(V(2)[0], 1, 1e-5f);
  EXPECT_NEAR(M().normals[0], -1, 1e-5f);
}

TEST(MeshDataCopy, BoundsAndCopies) {
  CreateMeshPool();
  AllocMeshData();  // record 0 stands for no mesh
  const uint32_t box = AllocMeshData(), empty = AllocMeshData();
  BuildBoxMesh(box, 2, 4, 6);
  MeshData& src = g_meshPool[box];
  src.vertices[5] = 9.5f;  // one corner sticks out in z
  src.minX = -1, src.maxZ = 3;
  float b[6] = {7, 7, 7, 7, 7, 7};
  EXPECT_FALSE(MeshDataBounds(0, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]));
  EXPECT_FALSE(MeshDataBounds(empty, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]));  // no vertex 0 to start from
  EXPECT_EQ(b[0], 7.0f);
  ASSERT_TRUE(MeshDataBounds(box, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]));
  const float want[6] = {-1, -2, -3, 1, 2, 9.5f};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(b[i], want[i]) << i;

  EXPECT_EQ(CloneMeshData(0), 0u);
  EXPECT_EQ(CloneMeshData(99), 0u);
  // Enough copies to make the pool grow under the source.
  uint32_t copy = box;
  for (int i = 0; i < 6; ++i) copy = CloneMeshData(copy);
  ASSERT_NE(copy, 0u);
  const MeshData &a = g_meshPool[box], &c = g_meshPool[copy];
  const uint32_t counts[4] = {a.vertexCount, a.normalCount, a.faceCount, a.faceWordCount};
  const uint32_t copied[4] = {c.vertexCount, c.normalCount, c.faceCount, c.faceWordCount};
  EXPECT_TRUE(std::equal(counts, counts + 4, copied));
  EXPECT_TRUE(c.vertices == a.vertices && c.normals == a.normals && c.texCoords == a.texCoords);
  EXPECT_EQ(c.faceWords, a.faceWords);
  EXPECT_TRUE(c.minX == -1 && c.maxZ == 3);
  FreeMeshPool();
}
