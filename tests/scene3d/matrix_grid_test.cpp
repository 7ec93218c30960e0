// Grid meshes: layout, shared grid points, tile textures and the wrapping shifts.
#include <gtest/gtest.h>

#include "model/mesh_data.h"
#include "scene3d/matrix_grid.h"
#include "scene3d/record_pools.h"

namespace {

class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateMeshPool();
    CreateScenePools();
    AllocMeshData();
    AllocObjectRecord();  // index 0 is never an object
    mesh = AllocMeshData();
  }
  void TearDown() override {
    FreeScenePools();
    FreeMeshPool();
  }
  // A matrix object of tx by tz tiles over a 10 by 20 grid.
  uint32_t Matrix(int32_t tx, int32_t tz) {
    EXPECT_EQ(BuildMatrixGridMesh(mesh, 10, 20, tx, tz), 1);
    const uint32_t o = AllocObjectRecord();
    g_objectPool[o].matrixTilesX = tx;
    g_objectPool[o].matrixTilesZ = tz;
    g_objectPool[o].limbs[0].meshData[0] = int32_t(mesh);
    return o;
  }
  float Y(uint32_t vertex) { return g_meshPool[mesh].vertices[3 * vertex + 1]; }
  uint32_t mesh = 0;
};

}  // namespace

TEST_F(GridTest, LayoutAndSharedPoints) {
  const uint32_t o = Matrix(2, 2);
  const MeshData& m = g_meshPool[mesh];
  EXPECT_EQ(m.vertexCount, 16u);
  EXPECT_EQ(m.faceWordCount, 56u);
  // Tile (1, 0) is tile 2: corners x 5..10, z 0..10.
  EXPECT_EQ(std::vector<float>(m.vertices.begin() + 24, m.vertices.begin() + 36),
            (std::vector<float>{5, 0, 0, 10, 0, 0, 10, 0, 10, 5, 0, 10}));
  EXPECT_EQ(std::vector<uint32_t>(m.faceWords.begin() + 28, m.faceWords.begin() + 42),
            (std::vector<uint32_t>{3, 8, 8, 10, 10, 9, 9, 3, 8, 8, 11, 11, 10, 10}));
  EXPECT_EQ(m.texCoords[4], 0.99609375f);
  EXPECT_NEAR(m.texCoords[5], 1.0f / 255, 1e-7f);
  EXPECT_EQ(m.normals[1], 1.0f);
  // Point (1, 1): corner 0 of tile (1,1), 1 of (0,1), 2 of (0,0), 3 of (1,0).
  SetMatrixPointHeight(o, 1, 1, 7);
  for (uint32_t v = 0; v < 16; ++v) EXPECT_EQ(Y(v), (v == 12 || v == 5 || v == 2 || v == 11) ? 7.0f : 0.0f) << v;
  SetMatrixPointHeight(o, 2, 2, 3);
  EXPECT_EQ(Y(14), 3.0f);  // corner 2 of the last tile
  EXPECT_EQ(GetMatrixPointHeight(o, 2, 2), 3.0f);
  EXPECT_EQ(GetMatrixPointHeight(o, 1, 1), 7.0f);
  EXPECT_EQ(GetMatrixPointHeight(o, -1, 0), 0.0f);
  EXPECT_EQ(GetMatrixPointHeight(o, 3, 0), 0.0f);
  SetMatrixPointHeight(o, 5, 5, 1);  // outside: nothing
  SetMatrixPointNormal(o, 0, 2, 0, 0, 1);
  EXPECT_EQ(m.normals[3 * 7 + 2], 1.0f);  // corner 3 of tile (0, 1)
  // The largest matrix: 100 x 50 tiles.
  ASSERT_EQ(BuildMatrixGridMesh(mesh, 1, 1, 100, 50), 1);
  EXPECT_EQ(m.vertexCount, 20000u);
  EXPECT_EQ(m.faceWordCount, 70000u);
  EXPECT_EQ(BuildMatrixGridMesh(mesh, 1, 1, 0, 5), 0);
}

TEST_F(GridTest, ShiftsWrapHeightsAndTextures) {
  const uint32_t o = Matrix(3, 2);
  auto fill = [&] {
    for (int x = 0; x <= 3; ++x)
      for (int z = 0; z <= 2; ++z) SetMatrixPointHeight(o, x, z, float(10 * x + z));
    for (int x = 0; x < 3; ++x)
      for (int z = 0; z < 2; ++z) SetMatrixTileUV(mesh, x, z, 2, float(10 * x + z), 0, 1, 1);
  };
  auto h = [&](int x, int z) { return GetMatrixPointHeight(o, x, z); };
  auto u = [&](int x, int z) { return g_meshPool[mesh].texCoords[8 * size_t(2 * x + z)]; };
  fill();
  ShiftMatrix(o, GridShift::kRowsBack);
  EXPECT_EQ(h(0, 1), 11.0f);
  EXPECT_EQ(h(2, 1), 1.0f);   // the first row comes back last
  EXPECT_EQ(h(3, 1), 31.0f);  // the edge row keeps its heights
  EXPECT_EQ(u(0, 1), 11.0f);
  EXPECT_EQ(u(2, 0), 0.0f);
  fill();
  ShiftMatrix(o, GridShift::kRowsForward);
  EXPECT_EQ(h(0, 2), 22.0f);
  EXPECT_EQ(h(3, 2), 22.0f);  // rows 0 and 3 both hold the former row 2
  EXPECT_EQ(h(1, 2), 2.0f);
  EXPECT_EQ(u(0, 1), 21.0f);
  EXPECT_EQ(u(1, 1), 1.0f);
  fill();
  ShiftMatrix(o, GridShift::kColumnsBack);
  EXPECT_EQ(h(1, 0), 11.0f);
  EXPECT_EQ(h(1, 1), 10.0f);
  EXPECT_EQ(h(1, 2), 12.0f);
  EXPECT_EQ(u(2, 0), 21.0f);
  EXPECT_EQ(u(2, 1), 20.0f);
  fill();
  ShiftMatrix(o, GridShift::kColumnsForward);
  EXPECT_EQ(h(1, 0), 11.0f);
  EXPECT_EQ(h(1, 1), 10.0f);
  EXPECT_EQ(h(1, 2), 12.0f);
  EXPECT_EQ(u(1, 0), 11.0f);
  // Random heights in steps of 0.01 below the maximum; below 0.01 everything is flat.
  RandomizeMatrixHeights(o, 2);
  for (int x = 0; x <= 3; ++x)
    for (int z = 0; z <= 2; ++z) {
      EXPECT_GE(h(x, z), 0.0f);
      EXPECT_LT(h(x, z), 2.0f);
    }
  RandomizeMatrixHeights(o, 0.001f);
  EXPECT_EQ(h(1, 1), 0.0f);
  EXPECT_EQ(RandomizeMatrixHeights(99, 1), 1);
  SetAllTileUV(mesh, 0.25f, 0.5f, 0.75f, 1);
  EXPECT_EQ(std::vector<float>(g_meshPool[mesh].texCoords.begin() + 40, g_meshPool[mesh].texCoords.end()),
            (std::vector<float>{0.25f, 1, 0.75f, 1, 0.75f, 0.5f, 0.25f, 0.5f}));
}
