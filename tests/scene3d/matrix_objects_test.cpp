// Tiled matrix objects through their command handlers, and one program that shapes a matrix.
#include <gtest/gtest.h>

#include <cmath>

#include "core/error_codes.h"
#include "core/run_timing.h"
#include "display/display.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "runtime/subsystems.h"
#include "scene3d/matrix_objects.h"
#include "scene3d/object_operands.h"
#include "scene3d/scene.h"
#include "tests/scene3d/null_scene.h"
#include "tests/support/program_run.h"

namespace {

class MatrixTest : public NullSceneTest {
 protected:
  void SetUp() override {
    NullSceneTest::SetUp();
  }
  static int32_t Run(int number, std::initializer_list<CallOperand> operands) {
    return NullSceneTest::Run(operands, number);
  }
  // A query's float result; NaN after an error.
  static float QueryFloat(int number, std::initializer_list<CallOperand> operands) {
    CommandCall call(operands);
    return call.Run(number) == 0 ? call.Result().f : std::nanf("");
  }
  // Matrix 1, width by 20 units in xTiles by 2 tiles, textured with a 64 x 32 image 1 cut 4 across
  // and 2 down.
  static void MakeTexturedMatrix(float width, int32_t xTiles) {
    ASSERT_EQ(Run(7101, {1, width, 20.0f, xTiles, 2}), 0);
    const uint32_t image = BindImageNumber(1);
    ASSERT_TRUE(EnsureImageSurface(image, 64, 32));
    g_imagePool[image].width = 64, g_imagePool[image].height = 32;
    ASSERT_EQ(Run(7131, {1, 1, 4, 2}), 0);
  }
  static ObjectRecord& Matrix(int32_t n) { return Obj(MatrixRecordOf(n)); }
  static const float* Uv(int32_t n, int32_t tile) {
    return &g_meshPool[uint32_t(Matrix(n).limbs[0].meshData[0])].texCoords[8 * size_t(tile)];
  }
};

TEST_F(MatrixTest, MakeChecksInOrderPlacesTheCameraAndDeleteFreesTheGridOnce) {
  g_timing.autoBackdrop = 0;  // the backdrop's grid is not counted
  const int32_t meshesBefore = g_meshPool.Count();
  ASSERT_EQ(Run(7101, {1, 100.0f, 50.0f, 100, 50}), 0);  // 10000 triangles: the largest
  const struct {
    int32_t n;
    float width, depth;
    int32_t tilesX, tilesZ, error;
  } cases[] = {
      {2, 100.0f, 50.0f, 100, 51, kErrMatrixTooLarge},
      {2, 0.0f, 10.0f, 1, 1, kErrMatrixSizeNotPositive},
      {2, 10.0f, 10.0f, 0, 1, kErrMatrixTilesBelowOne},
      {1, 0.0f, 0.0f, 0, 0, kErrMatrixExists},  // before the sizes
      {0, 10.0f, 10.0f, 1, 1, kErrMatrixNumberOutOfRange},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(7101, {c.n, c.width, c.depth, c.tilesX, c.tilesZ}), c.error) << c.tilesZ;
    ClearRunErrors();
  }
  EXPECT_EQ(MatrixRecordOf(2), 0u);
  // The camera looks along +z from above the centre, whatever the auto-camera switch says.
  const CameraState& cam = g_scene.camera;
  EXPECT_FLOAT_EQ(cam.position[0], 50.0f);
  EXPECT_FLOAT_EQ(cam.position[2], 25.0f);
  EXPECT_GT(cam.position[1], 0.0f);
  EXPECT_FLOAT_EQ(cam.lookAt[2], 125.0f);
  const ObjectRecord& m = Matrix(1);
  EXPECT_EQ(g_framePool[m.frameIndex].wireframe, 1);
  EXPECT_EQ(g_framePool[m.frameIndex].addressMode, 2);
  EXPECT_EQ(m.collisionOn, 0);
  EXPECT_EQ(ObjectRecordOf(1), 0u);  // matrix numbers are not object numbers
  ASSERT_EQ(Run(7102, {1}), 0);
  EXPECT_EQ(MatrixRecordOf(1), 0u);
  EXPECT_EQ(g_meshPool.Count(), meshesBefore);
  EXPECT_EQ(Run(7102, {1}), kErrMatrixMissing);
}

TEST_F(MatrixTest, OperandErrorsLeaveTheMatrixAlone) {
  ASSERT_EQ(Run(7101, {1, 20.0f, 20.0f, 2, 2}), 0);
  const struct {
    int number;
    std::initializer_list<CallOperand> operands;
    int32_t error;
  } cases[] = {
      {7107, {1, 2, 2, 5.0f}, 0},  // the last grid point
      {7107, {1, 3, 0, 1.0f}, kErrMatrixPointOutside},
      {7133, {1, 0, -1, 0.0f, 1.0f, 0.0f}, kErrMatrixPointOutside},
      {7553, {CallOperand::Result(), 1, 0, 3}, kErrMatrixPointOutside},
      {7106, {1, 0.0f}, kErrMatrixHeightNotPositive},
      {7105, {1, 1.0f, 1}, kErrMatrixTileOutside},  // no tiles prepared yet
      {7131, {1, 70000, 1, 1}, kErrImageNumberOutOfRange},
      {7131, {1, 3, 1, 1}, kErrImageMissing},
      {7103, {70000}, kErrMatrixNumberOutOfRange},
      {7552, {CallOperand::Result(), 7}, kErrMatrixMissing},
  };
  for (const auto& c : cases) {
    CommandCall call(c.operands);
    EXPECT_EQ(call.Run(c.number), c.error) << c.number;
    ClearRunErrors();
  }
  EXPECT_FLOAT_EQ(QueryFloat(7553, {CallOperand::Result(), 1, 2, 2}), 5.0f);
  EXPECT_EQ(Matrix(1).matrixTileCount, 0);
}

TEST_F(MatrixTest, TextureTilesCutTheImageWithTheirInsets) {
  ASSERT_NO_FATAL_FAILURE(MakeTexturedMatrix(20.0f, 2));
  EXPECT_EQ(Matrix(1).matrixTileCount, 8);
  EXPECT_EQ(g_framePool[Matrix(1).frameIndex].wireframe, 0);
  // Tiles' rectangles: half a texel of the image inside tile 1 (u) and across / down of it (v).
  const float du = 1.0f / 128, dv = 1.0f / 32;
  for (int32_t t = 0; t < 4; ++t) {
    EXPECT_FLOAT_EQ(Uv(1, t)[0], du) << t;         // corner 0: (uLeft, vBottom)
    EXPECT_FLOAT_EQ(Uv(1, t)[1], 0.5f - dv) << t;
  }
  // Tile 6 is row 1, column 1; tile (1, 0) is tile 2 of the grid.
  ASSERT_EQ(Run(7132, {1, 1, 0, 6}), 0);
  EXPECT_FLOAT_EQ(Uv(1, 2)[0], 0.25f + du);
  EXPECT_FLOAT_EQ(Uv(1, 2)[1], 1.0f - dv);
  EXPECT_FLOAT_EQ(Uv(1, 2)[4], 0.5f - du);  // corner 2: (uRight, vTop)
  EXPECT_FLOAT_EQ(Uv(1, 2)[5], 0.5f + dv);
  const struct {
    int32_t x, z, tile, error;
  } bad[] = {{2, 0, 1, kErrMatrixPointOutside}, {0, 0, 0, kErrMatrixTileOutside}, {0, 0, 9, kErrMatrixTileOutside}};
  for (const auto& b : bad) {
    EXPECT_EQ(Run(7132, {1, b.x, b.z, b.tile}), b.error) << b.tile;
    ClearRunErrors();
  }
  // The fill's inset: a texel of the image scaled by the tile.
  ASSERT_EQ(Run(7105, {1, 3.0f, 6}), 0);
  for (int32_t t = 0; t < 4; ++t) {
    EXPECT_FLOAT_EQ(Uv(1, t)[0], 0.25f + 1.0f / 256) << t;
    EXPECT_FLOAT_EQ(Uv(1, t)[1], 1.0f - 1.0f / 64) << t;
  }
  EXPECT_FLOAT_EQ(QueryFloat(7553, {CallOperand::Result(), 1, 1, 1}), 3.0f);
}

// A 3 x 2 grid with the image cut 4 across, 2 down: the last grid tile along x, along z and
// of the grid each take the picture given to it, the last of a texture row among them, and
// every other tile keeps its own.
TEST_F(MatrixTest, TheLastTileOfARowShowsItsOwnPicture) {
  ASSERT_NO_FATAL_FAILURE(MakeTexturedMatrix(30.0f, 3));
  int32_t picture[6] = {1, 1, 1, 1, 1, 1};  // by grid tile x * 2 + z
  const struct {
    int32_t x, z, tile;
  } steps[] = {{2, 0, 4}, {0, 1, 7}, {2, 1, 8}};
  for (const auto& s : steps) {
    ASSERT_EQ(Run(7132, {1, s.x, s.z, s.tile}), 0);
    picture[s.x * 2 + s.z] = s.tile;
    for (int32_t g = 0; g < 6; ++g) {
      const int32_t row = (picture[g] - 1) / 4, col = (picture[g] - 1) % 4;
      EXPECT_FLOAT_EQ(Uv(1, g)[0], float(col) / 4 + 1.0f / 128) << s.tile << " grid " << g;  // corner 0: uLeft
      EXPECT_FLOAT_EQ(Uv(1, g)[1], float(row + 1) / 2 - 1.0f / 32) << s.tile << " grid " << g;  // vBottom
      EXPECT_FLOAT_EQ(Uv(1, g)[4], float(col + 1) / 4 - 1.0f / 128) << s.tile << " grid " << g;  // corner 2: uRight
      EXPECT_FLOAT_EQ(Uv(1, g)[5], float(row) / 2 + 1.0f / 32) << s.tile << " grid " << g;  // vTop
    }
  }
}

TEST_F(MatrixTest, GroundHeightInterpolatesOnTheTileTriangle) {
  // Matrix 1: 2 x 2 square tiles of 10; point (1, 1) at 10, (2, 1) at 6, (2, 2) at 4.
  ASSERT_EQ(Run(7101, {1, 20.0f, 20.0f, 2, 2}), 0);
  ASSERT_EQ(Run(7107, {1, 1, 1, 10.0f}), 0);
  ASSERT_EQ(Run(7107, {1, 2, 1, 6.0f}), 0);
  ASSERT_EQ(Run(7107, {1, 2, 2, 4.0f}), 0);
  // Matrix 2: one tile 10 wide and 20 deep, its far corner (1, 1) at 10: below the diagonal
  // the height is z / 2, above it x.
  ASSERT_EQ(Run(7101, {2, 10.0f, 20.0f, 1, 1}), 0);
  ASSERT_EQ(Run(7107, {2, 1, 1, 10.0f}), 0);
  ASSERT_EQ(Run(7108, {2, 100.0f, 0.0f, 100.0f}), 0);  // its own coordinates: the position is not used
  const struct {
    int32_t n;
    float x, z, height;
  } cases[] = {
      {1, 5, 5, 5},    {1, 8, 2, 2},  {1, 2, 8, 2},   // tile (0, 0) on, below and above the diagonal
      {1, 20, 20, 4},  {1, 20, 10, 6},              // the far edges read the last tiles
      {1, -1, 5, 0},   {1, 5, 20.5f, 0},            // outside
      {2, 6, 8, 4},    {2, 2, 16, 2},               // a tile that is not square
  };
  for (const auto& c : cases)
    EXPECT_FLOAT_EQ(QueryFloat(7562, {CallOperand::Result(), c.n, c.x, c.z}), c.height) << c.n << " " << c.x << " " << c.z;
}

TEST(MatrixPrograms, ShapedMatrixPrintsItsGroundHeights) {
  const std::string source =
      "make matrix 1,100,100,10,10\n"
      "set matrix height 1,5,5,20\n"
      "update matrix 1\n"
      "print get ground height(1,50,50)\n"
      "print get ground height(1,55,50)\n"
      "print get ground height(1,42,47)\n"
      "shift matrix rows back 1\n"
      "print get ground height(1,40,50)\n"
      "print get ground height(1,100,100)\n"
      "print matrix exist(1)\n"
      "delete matrix 1\n"
      "print matrix exist(1)\n";
  const RunOutcome r = RunVkaSource(source, 60);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "20\n10\n4\n20\n0\n1\n0\n");
}

}  // namespace
