// Grid edits on tiled matrix objects, passed to the object's grid mesh.
#include "scene3d/matrix_grid.h"

#include "scene3d/record_pools.h"

namespace {

// The grid mesh and tiles of a matrix object; false when the object has none.
struct MatrixGrid {
  uint32_t mesh = 0;
  int32_t tilesX = 0, tilesZ = 0;
};

bool GridOfObject(uint32_t object, MatrixGrid* out) {
  if (object == 0 || !g_objectPool.InUse(object)) return false;
  const ObjectRecord& o = g_objectPool[object];
  if (o.limbs.empty() || o.limbs[0].meshData[0] <= 0) return false;
  *out = MatrixGrid{uint32_t(o.limbs[0].meshData[0]), o.matrixTilesX, o.matrixTilesZ};
  return true;
}

}  // namespace

void SetMatrixPointHeight(uint32_t object, int32_t x, int32_t z, float height) {
  if (MatrixGrid g; GridOfObject(object, &g)) SetGridPointHeight(g.mesh, x, z, g.tilesX, g.tilesZ, height);
}

void SetMatrixPointNormal(uint32_t object, int32_t x, int32_t z, float nx, float ny, float nz) {
  if (MatrixGrid g; GridOfObject(object, &g)) SetGridPointNormal(g.mesh, x, z, g.tilesX, g.tilesZ, nx, ny, nz);
}

float GetMatrixPointHeight(uint32_t object, int32_t x, int32_t z) {
  MatrixGrid g;
  return GridOfObject(object, &g) ? GetGridHeight(g.mesh, x, z, g.tilesX, g.tilesZ) : 0.0f;
}

int32_t RandomizeMatrixHeights(uint32_t object, float maximum) {
  MatrixGrid g;
  return GridOfObject(object, &g) ? RandomizeGridHeights(g.mesh, g.tilesX, g.tilesZ, maximum) : 1;
}

int32_t ShiftMatrix(uint32_t object, GridShift way) {
  MatrixGrid g;
  return GridOfObject(object, &g) ? ShiftGrid(g.mesh, g.tilesX, g.tilesZ, way) : 1;
}
