// Tiled matrix commands and queries: making and deleting, heights and normals, texture tiles,
// shifts, render flags, the ground height. Every handler checks the matrix number (7010), then
// that the matrix exists (7013), then its other operands in order.
#include <algorithm>

#include "display/display.h"
#include "display/record_pools.h"
#include "model/grid_mesh.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/commands.h"
#include "scene3d/matrix_grid.h"
#include "scene3d/matrix_objects.h"
#include "scene3d/object_appearance.h"
#include "scene3d/object_operands.h"

namespace {

bool CheckMatrixNumber(int32_t n) {
  if (n >= 1 && n <= kMaxMatrixNumber) return true;
  RunError(kErrMatrixNumberOutOfRange);
  return false;
}

// The record of the matrix in operand k: 7010, then 7013; 0 after an error.
uint32_t MatrixOperand(int k) {
  const int32_t n = OpInt(k);
  if (!CheckMatrixNumber(n)) return 0;
  const uint32_t r = MatrixRecordOf(n);
  if (r == 0) RunError(kErrMatrixMissing);
  return r;
}

FrameRecord& FrameOf(uint32_t r) { return g_framePool[Obj(r).frameIndex]; }
uint32_t MeshOf(uint32_t r) { return uint32_t(std::max(Obj(r).limbs[0].meshData[0], 0)); }

// Grid point (x, z) in 0..tiles on both axes, else 7017.
bool CheckPoint(uint32_t r, int32_t x, int32_t z) {
  const ObjectRecord& o = Obj(r);
  if (x >= 0 && x <= o.matrixTilesX && z >= 0 && z <= o.matrixTilesZ) return true;
  RunError(kErrMatrixPointOutside);
  return false;
}

// Tile t of the prepared tiles (1..tile count), else 7016.
bool CheckTile(uint32_t r, int32_t t) {
  const int32_t count = Obj(r).matrixTileCount;
  if (count >= 1 && t >= 1 && t <= count) return true;
  RunError(kErrMatrixTileOutside);
  return false;
}

// A statement of `count` operands on an existing matrix; `shows` ends the slice after it.
template <class F>
void OnMatrix(int count, bool shows, F&& f) {
  if (const uint32_t r = MatrixOperand(0)) {
    f(r);
    if (shows) RefreshScene();
  }
  SkipOperands(count);
}

void CmdMakeMatrix() {
  const int32_t n = OpInt(0), tilesX = OpInt(3), tilesZ = OpInt(4);
  const float width = OpFloat(1), depth = OpFloat(2);
  SkipOperands(5);
  if (!CheckMatrixNumber(n)) return;
  if (MatrixRecordOf(n) != 0) return RunError(kErrMatrixExists);
  if (!(width > 0) || !(depth > 0)) return RunError(kErrMatrixSizeNotPositive);
  if (tilesX < 1 || tilesZ < 1) return RunError(kErrMatrixTilesBelowOne);
  if (int64_t(tilesX) * tilesZ * 2 > kMaxMatrixTriangles) return RunError(kErrMatrixTooLarge);
  MakeMatrix(n, width, depth, tilesX, tilesZ);
  RefreshScene();
}

void CmdDeleteMatrix() {
  const int32_t n = OpInt(0);
  OnMatrix(1, true, [n](uint32_t) { DeleteMatrix(n); });
}

void CmdSetMatrixWireframeOn() {
  OnMatrix(1, true, [](uint32_t r) { FrameOf(r).wireframe = 1; });
}
void CmdSetMatrixWireframeOff() {
  OnMatrix(1, true, [](uint32_t r) { FrameOf(r).wireframe = 0; });
}

void CmdFillMatrix() {
  const float height = OpFloat(1);
  const int32_t tile = OpInt(2);
  OnMatrix(3, true, [&](uint32_t r) {
    if (!CheckTile(r, tile)) return;
    float rect[4];
    MatrixTileRect(r, tile, TileInset::kFill, rect);
    SetMeshVertexYAll(MeshOf(r), height);
    SetAllTileUV(MeshOf(r), rect[0], rect[1], rect[2], rect[3]);
    RefreshMatrixMesh(r);
  });
}

void CmdRandomizeMatrix() {
  const float maximum = OpFloat(1);
  OnMatrix(2, true, [&](uint32_t r) {
    if (!(maximum > 0)) return RunError(kErrMatrixHeightNotPositive);
    RandomizeMatrixHeights(r, maximum);
    RefreshMatrixMesh(r);
  });
}

// Point edits show after the next update command.
void CmdSetMatrixHeight() {
  const int32_t x = OpInt(1), z = OpInt(2);
  const float height = OpFloat(3);
  OnMatrix(4, false, [&](uint32_t r) {
    if (CheckPoint(r, x, z)) SetMatrixPointHeight(r, x, z, height);
  });
}

void CmdSetMatrixNormal() {
  const int32_t x = OpInt(1), z = OpInt(2);
  const float nx = OpFloat(3), ny = OpFloat(4), nz = OpFloat(5);
  OnMatrix(6, false, [&](uint32_t r) {
    if (CheckPoint(r, x, z)) SetMatrixPointNormal(r, x, z, nx, ny, nz);
  });
}

void CmdPositionMatrix() {
  const float x = OpFloat(1), y = OpFloat(2), z = OpFloat(3);
  OnMatrix(4, true, [&](uint32_t r) {
    float* p = FrameOf(r).position;
    p[0] = x, p[1] = y, p[2] = z;
    const ObjectRecord& o = Obj(r);
    if (o.model)
      ModelHandleSetLimbTransform(*o.model, 0, x, y, z, o.angleX, o.angleY, o.angleZ, 1.0f, 1.0f, 1.0f,
                                  uint32_t(o.rotationOrder));
  });
}

template <GridShift kWay>
void CmdShiftMatrix() {
  OnMatrix(1, true, [](uint32_t r) {
    ShiftMatrix(r, kWay);
    RefreshMatrixMesh(r);
  });
}

void CmdUpdateMatrix() {
  OnMatrix(1, true, [](uint32_t r) { RefreshMatrixMesh(r); });
}

void CmdPrepareMatrixTexture() {
  const int32_t image = OpInt(1), across = OpInt(2), down = OpInt(3);
  OnMatrix(4, true, [&](uint32_t r) {
    if (image < 1 || image > kMaxImageNumber) return RunError(kErrImageNumberOutOfRange);
    const uint32_t imageRecord = ImageRecordOf(image);
    if (imageRecord == 0 || !ImageSurfaceOf(imageRecord)) return RunError(kErrImageMissing);
    PrepareMatrixTiles(r, imageRecord, image, across, down);
  });
}

// One tile's texture shows after the next update command.
void CmdSetMatrixTile() {
  const int32_t x = OpInt(1), z = OpInt(2), tile = OpInt(3);
  OnMatrix(4, false, [&](uint32_t r) {
    const ObjectRecord& o = Obj(r);
    if (x < 0 || x >= o.matrixTilesX || z < 0 || z >= o.matrixTilesZ) return RunError(kErrMatrixPointOutside);
    if (!CheckTile(r, tile)) return;
    float rect[4];
    MatrixTileRect(r, tile, TileInset::kTile, rect);
    SetMatrixTileUV(MeshOf(r), x, z, o.matrixTilesZ, rect[0], rect[1], rect[2], rect[3]);
  });
}

void CmdSetMatrix() {
  int32_t flags[7];
  for (int k = 0; k < 7; ++k) flags[k] = OpInt(1 + k);
  OnMatrix(8, true, [&](uint32_t r) { SetObjectRenderFlags(r, flags, 7); });
}

void CmdGhostMatrixOn() {
  OnMatrix(1, true, [](uint32_t r) {
    if (!HasBlendCapability()) return;
    FrameOf(r).blend = 1;
    FrameOf(r).blendMode = 0;
  });
}

void CmdGhostMatrixOff() {
  OnMatrix(1, true, [](uint32_t r) {
    FrameOf(r).blend = 0;
    FrameOf(r).blendMode = 0;
  });
}

void CmdSetMatrixTexture() {
  const int32_t mode = OpInt(1), mip = OpInt(2);
  OnMatrix(3, true, [&](uint32_t r) { SetObjectTextureMode(r, mode, mip); });
}

void CmdMatrixExist() {
  const int32_t n = OpInt(1);
  if (CheckMatrixNumber(n)) OpCell(0)->i = MatrixRecordOf(n) != 0 ? 1 : 0;
  SkipOperands(2);
}

// A query of `count` operands (the result first) on the matrix in operand 1.
template <class F>
void QueryMatrix(int count, F&& f) {
  if (const uint32_t r = MatrixOperand(1)) f(r, OpCell(0));
  SkipOperands(count);
}

void CmdMatrixWireframeState() {
  QueryMatrix(2, [](uint32_t r, VarCell* out) { out->i = FrameOf(r).wireframe == 1 ? 1 : 0; });
}

void CmdGetMatrixHeight() {
  const int32_t x = OpInt(2), z = OpInt(3);
  QueryMatrix(4, [&](uint32_t r, VarCell* out) {
    if (CheckPoint(r, x, z)) out->f = GetMatrixPointHeight(r, x, z);
  });
}

template <int kAxis>
void CmdMatrixPosition() {
  QueryMatrix(2, [](uint32_t r, VarCell* out) { out->f = FrameOf(r).position[kAxis]; });
}

void CmdMatrixTilesExist() {
  QueryMatrix(2, [](uint32_t r, VarCell* out) { out->i = Obj(r).matrixTileCount > 0 ? 1 : 0; });
}

void CmdMatrixTileCount() {
  QueryMatrix(2, [](uint32_t r, VarCell* out) { out->i = Obj(r).matrixTileCount; });
}

void CmdGetGroundHeight() {
  const float x = OpFloat(2), z = OpFloat(3);
  QueryMatrix(4, [&](uint32_t r, VarCell* out) { out->f = GetMatrixGroundHeight(r, x, z); });
}

const CommandDef kMatrixCommands[] = {
    {7101, CmdMakeMatrix, "lffll"},
    {7102, CmdDeleteMatrix, "l"},
    {7103, CmdSetMatrixWireframeOn, "l"},
    {7104, CmdSetMatrixWireframeOff, "l"},
    {7105, CmdFillMatrix, "lfl"},
    {7106, CmdRandomizeMatrix, "lf"},
    {7107, CmdSetMatrixHeight, "lllf"},
    {7108, CmdPositionMatrix, "lfff"},
    {7111, CmdShiftMatrix<GridShift::kColumnsBack>, "l"},
    {7112, CmdShiftMatrix<GridShift::kColumnsForward>, "l"},
    {7113, CmdShiftMatrix<GridShift::kRowsBack>, "l"},
    {7114, CmdShiftMatrix<GridShift::kRowsForward>, "l"},
    {7121, CmdUpdateMatrix, "l"},
    {7131, CmdPrepareMatrixTexture, "llll"},
    {7132, CmdSetMatrixTile, "llll"},
    {7133, CmdSetMatrixNormal, "lllfff"},
    {7134, CmdSetMatrix, "llllllll"},
    {7135, CmdGhostMatrixOn, "l"},
    {7136, CmdGhostMatrixOff, "l"},
    {7137, CmdSetMatrixTexture, "lll"},
    {7551, CmdMatrixExist, "ll"},
    {7552, CmdMatrixWireframeState, "ll"},
    {7553, CmdGetMatrixHeight, "flll"},
    {7554, CmdMatrixPosition<0>, "fl"},
    {7555, CmdMatrixPosition<1>, "fl"},
    {7556, CmdMatrixPosition<2>, "fl"},
    {7560, CmdMatrixTilesExist, "ll"},
    {7561, CmdMatrixTileCount, "ll"},
    {7562, CmdGetGroundHeight, "flff"},
};

}  // namespace

std::span<const CommandDef> MatrixCommands() { return kMatrixCommands; }
