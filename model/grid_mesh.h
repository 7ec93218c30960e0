#pragma once
#include <cstdint>

// Grid meshes: the mesh data record behind a tiled matrix and the backdrop. A flat rectangle
// of tilesX by tilesZ tiles, each owning four vertices (so each can show its own piece of a
// texture) while every grid point keeps one height in all the tiles that touch it.
//
// Tile (x, z) is tile number x * tilesZ + z; it owns vertices, normals and texture pairs
// 4t .. 4t + 3 and faces 2t, 2t + 1. Corners: 0 (x0, z0), 1 (x1, z0), 2 (x1, z1), 3 (x0, z1).
// Grid point (x, z), 0 <= x <= tilesX, 0 <= z <= tilesZ, is corner 0 of tile (x, z), corner 1
// of tile (x - 1, z), corner 2 of tile (x - 1, z - 1) and corner 3 of tile (x, z - 1), where
// those tiles exist.

// Fills the record with the flat grid (all normals up, every tile showing the whole texture
// but a small inset); 1, or 0 when the record is not in use or the grid is empty.
int32_t BuildMatrixGridMesh(uint32_t mesh, float width, float depth, int32_t tilesX, int32_t tilesZ);
// Height and normal of grid point (x, z) in every tile corner that holds it; a point outside
// the grid changes nothing.
void SetGridPointHeight(uint32_t mesh, int32_t x, int32_t z, int32_t tilesX, int32_t tilesZ, float height);
void SetGridPointNormal(uint32_t mesh, int32_t x, int32_t z, int32_t tilesX, int32_t tilesZ, float nx, float ny, float nz);
// Height of grid point (x, z); 0 outside the grid.
float GetGridHeight(uint32_t mesh, int32_t x, int32_t z, int32_t tilesX, int32_t tilesZ);
// Texture rectangle of every tile, or of one; corner 0 takes (uLeft, vBottom), 1 (uRight,
// vBottom), 2 (uRight, vTop), 3 (uLeft, vTop). Mesh 0 changes nothing. Both return 1.
int32_t SetAllTileUV(uint32_t mesh, float uLeft, float vTop, float uRight, float vBottom);
int32_t SetMatrixTileUV(uint32_t mesh, int32_t tileX, int32_t tileZ, int32_t tilesZ, float uLeft, float vTop, float uRight,
                        float vBottom);

// Every grid point a random height 0 .. maximum in steps of 0.01 (the language's generator); a
// maximum below 0.01 gives height 0. Returns 1.
int32_t RandomizeGridHeights(uint32_t mesh, int32_t tilesX, int32_t tilesZ, float maximum);
// Scrolls heights and tile textures one row (along x) or column (along z), back or forward, the
// line that leaves coming back on the other side. Normals stay. Returns 1.
enum class GridShift { kRowsBack, kRowsForward, kColumnsBack, kColumnsForward };
int32_t ShiftGrid(uint32_t mesh, int32_t tilesX, int32_t tilesZ, GridShift way);
