#pragma once
#include <cstdint>
#include <vector>

#include "platform/zeroed_pages.h"

// Tiled matrices: flat landscape grids of tilesX by tilesZ tiles. A matrix is an object record
// of the object pool (drawn like any object through its frame), with its grid mesh in limb 0,
// but matrices have their own numbers 1..65535 and number map.

inline constexpr int32_t kMaxMatrixNumber = 65535;
// At most this many triangles (two per tile).
inline constexpr int64_t kMaxMatrixTriangles = 10000;

struct MatrixState {
  // Matrix number -> object record index, 0 none (entry 0 unused).
  NumberTable numbers{kMaxMatrixNumber + 1};
};
extern MatrixState g_matrices;

// Back to a new run's state (the records themselves go with the object pool).
void ResetMatrixState();

// The record of matrix n; 0 for a number outside 1..65535 or without a matrix.
uint32_t MatrixRecordOf(int32_t number);

// Makes matrix n (checked by the caller: free number, sizes above 0, tiles at least 1 and not
// too many): its grid mesh, a model from it, the object defaults, wireframe and mirrored
// texture addressing, collision off, and the camera placed above the centre looking along +z.
// The record, or 0 when no record could be had (nothing is left behind then).
uint32_t MakeMatrix(int32_t number, float width, float depth, int32_t tilesX, int32_t tilesZ);
// Deletes matrix n's record (its grid mesh freed with it) and clears its number.
void DeleteMatrix(int32_t number);

// The grid mesh's changes shown by the model (limb 0 rebuilt from the mesh data record).
void RefreshMatrixMesh(uint32_t record);

// Texture rectangle (uLeft, vTop, uRight, vBottom) of tile t of the matrix's prepared tiles.
// The inset keeps neighbouring tiles' texels out of a tile: formula A (the fill command) is a
// texel of the image scaled by the tile, formula B (preparing and single tiles) half a texel
// of the image along u and the same scaled by across / down along v.
enum class TileInset { kFill, kTile };
void MatrixTileRect(uint32_t record, int32_t tile, TileInset inset, float out[4]);

// Cuts the image's texture into across x down tiles and shows tile 1 on every tile. Nothing
// happens when across or down is below 1.
void PrepareMatrixTiles(uint32_t record, uint32_t imageRecord, int32_t image, int32_t across, int32_t down);

// Ground height at (x, z) in the matrix's own coordinates, interpolated on the tile triangle
// that holds the point; 0 outside 0..width, 0..depth. x = width and z = depth read the last
// tile.
float GetMatrixGroundHeight(uint32_t record, float x, float z);
