// Grid meshes of tiled matrices: building, point and tile edits, random heights and the wrapping
// shifts.
#include "model/grid_mesh.h"

#include <bit>
#include <vector>

#include "core/language.h"
#include "model/mesh_data.h"

namespace {

// Largest grid built (the matrix commands stay far below it).
constexpr int64_t kMaxTiles = int64_t(1) << 22;

// The tile grid of a record: every access checks that the tile lies in the record.
struct Grid {
  MeshData* m = nullptr;
  int32_t tilesX = 0, tilesZ = 0;

  explicit operator bool() const { return m != nullptr; }
  float* Corner(int32_t x, int32_t z, int corner, bool normal) const {
    if (x < 0 || z < 0 || x >= tilesX || z >= tilesZ) return nullptr;
    const size_t v = (size_t(x) * size_t(tilesZ) + size_t(z)) * 4 + size_t(corner);
    if (v >= m->vertexCount || (normal && v >= m->normalCount)) return nullptr;
    return normal ? &m->normals[3 * v] : &m->vertices[3 * v];
  }
  float* Uv(size_t tile) const { return tile * 4 + 3 < m->vertexCount ? &m->texCoords[8 * tile] : nullptr; }
  bool Inside(int32_t x, int32_t z) const { return x >= 0 && z >= 0 && x <= tilesX && z <= tilesZ; }

  // The corners that hold grid point (x, z): corner 0 of tile (x, z), 1 of (x - 1, z),
  // 2 of (x - 1, z - 1), 3 of (x, z - 1).
  template <class F>
  void EachCorner(int32_t x, int32_t z, bool normal, F&& f) const {
    if (!Inside(x, z)) return;
    const int32_t dx[4] = {0, -1, -1, 0}, dz[4] = {0, 0, -1, -1};
    for (int c = 0; c < 4; ++c)
      if (float* p = Corner(x + dx[c], z + dz[c], c, normal)) f(p);
  }
  float Height(int32_t x, int32_t z) const {
    if (!Inside(x, z)) return 0.0f;
    const float* p = x < tilesX && z < tilesZ ? Corner(x, z, 0, false)
                     : x == tilesX && z < tilesZ ? Corner(x - 1, z, 1, false)
                     : x == tilesX ? Corner(x - 1, z - 1, 2, false)
                                   : Corner(x, z - 1, 3, false);
    return p ? p[1] : 0.0f;
  }
  void SetHeight(int32_t x, int32_t z, float h) const {
    EachCorner(x, z, false, [h](float* p) { p[1] = h; });
  }
};

Grid GridOf(uint32_t mesh, int32_t tilesX, int32_t tilesZ) {
  Grid g;
  g.m = MeshDataAt(mesh);
  g.tilesX = tilesX, g.tilesZ = tilesZ;
  return g;
}

void SetRect(float* uv, float uLeft, float vTop, float uRight, float vBottom) {
  const float r[8] = {uLeft, vBottom, uRight, vBottom, uRight, vTop, uLeft, vTop};
  for (int i = 0; i < 8; ++i) uv[i] = r[i];
}

// The eight texture floats of a tile row (all z) or a tile column (all x).
std::vector<float> SaveTiles(const Grid& g, bool row, int32_t line) {
  std::vector<float> saved;
  const int32_t n = row ? g.tilesZ : g.tilesX;
  for (int32_t i = 0; i < n; ++i) {
    const size_t tile = row ? size_t(line) * size_t(g.tilesZ) + size_t(i) : size_t(i) * size_t(g.tilesZ) + size_t(line);
    const float* uv = g.Uv(tile);
    for (int k = 0; k < 8; ++k) saved.push_back(uv ? uv[k] : 0.0f);
  }
  return saved;
}

void RestoreTiles(const Grid& g, bool row, int32_t line, const std::vector<float>& saved) {
  const int32_t n = row ? g.tilesZ : g.tilesX;
  for (int32_t i = 0; i < n; ++i) {
    const size_t tile = row ? size_t(line) * size_t(g.tilesZ) + size_t(i) : size_t(i) * size_t(g.tilesZ) + size_t(line);
    if (float* uv = g.Uv(tile))
      for (int k = 0; k < 8; ++k) uv[k] = saved[8 * size_t(i) + size_t(k)];
  }
}

void CopyTiles(const Grid& g, bool row, int32_t to, int32_t from) { RestoreTiles(g, row, to, SaveTiles(g, row, from)); }

}  // namespace

int32_t BuildMatrixGridMesh(uint32_t mesh, float width, float depth, int32_t tilesX, int32_t tilesZ) {
  MeshData* m = MeshDataAt(mesh);
  if (!m || tilesX <= 0 || tilesZ <= 0 || int64_t(tilesX) * tilesZ > kMaxTiles) return 0;
  const uint32_t tiles = uint32_t(tilesX) * uint32_t(tilesZ);
  ResizeMeshData(*m, 4 * tiles, 4 * tiles, 2 * tiles, 14 * tiles);
  const float sx = width / float(tilesX), sz = depth / float(tilesZ);
  const float vBottom = std::bit_cast<float>(0x3B808081u);
  size_t t = 0;
  for (int32_t x = 0; x < tilesX; ++x)
    for (int32_t z = 0; z < tilesZ; ++z, ++t) {
      const float x0 = float(x) * sx, x1 = x0 + sx, z0 = float(z) * sz, z1 = z0 + sz;
      const float pos[12] = {x0, 0, z0, x1, 0, z0, x1, 0, z1, x0, 0, z1};
      for (int i = 0; i < 12; ++i) m->vertices[12 * t + size_t(i)] = pos[i];
      for (int c = 0; c < 4; ++c) m->normals[12 * t + 3 * size_t(c) + 1] = 1.0f;
      SetRect(&m->texCoords[8 * t], 0.00390625f, vBottom, 0.99609375f, 1.0f);
      const uint32_t b = uint32_t(4 * t);
      const uint32_t words[14] = {3, b, b, b + 2, b + 2, b + 1, b + 1, 3, b, b, b + 3, b + 3, b + 2, b + 2};
      for (int i = 0; i < 14; ++i) m->faceWords[14 * t + size_t(i)] = words[i];
    }
  return 1;
}

void SetGridPointHeight(uint32_t mesh, int32_t x, int32_t z, int32_t tilesX, int32_t tilesZ, float height) {
  if (const Grid g = GridOf(mesh, tilesX, tilesZ)) g.SetHeight(x, z, height);
}

void SetGridPointNormal(uint32_t mesh, int32_t x, int32_t z, int32_t tilesX, int32_t tilesZ, float nx, float ny, float nz) {
  if (const Grid g = GridOf(mesh, tilesX, tilesZ))
    g.EachCorner(x, z, true, [&](float* n) { n[0] = nx, n[1] = ny, n[2] = nz; });
}

float GetGridHeight(uint32_t mesh, int32_t x, int32_t z, int32_t tilesX, int32_t tilesZ) {
  const Grid g = GridOf(mesh, tilesX, tilesZ);
  return g ? g.Height(x, z) : 0.0f;
}

int32_t SetAllTileUV(uint32_t mesh, float uLeft, float vTop, float uRight, float vBottom) {
  MeshData* m = MeshDataAt(mesh);
  if (!m) return 1;
  for (size_t t = 0; t < m->faceCount / 2 && 4 * t + 3 < m->vertexCount; ++t)
    SetRect(&m->texCoords[8 * t], uLeft, vTop, uRight, vBottom);
  return 1;
}

int32_t SetMatrixTileUV(uint32_t mesh, int32_t tileX, int32_t tileZ, int32_t tilesZ, float uLeft, float vTop, float uRight,
                        float vBottom) {
  MeshData* m = MeshDataAt(mesh);
  if (!m || tileX < 0 || tileZ < 0 || tileZ >= tilesZ) return 1;
  const size_t t = size_t(tileX) * size_t(tilesZ) + size_t(tileZ);
  if (4 * t + 3 < m->vertexCount) SetRect(&m->texCoords[8 * t], uLeft, vTop, uRight, vBottom);
  return 1;
}

int32_t RandomizeGridHeights(uint32_t mesh, int32_t tilesX, int32_t tilesZ, float maximum) {
  const Grid g = GridOf(mesh, tilesX, tilesZ);
  if (!g) return 1;
  const double scaled = double(maximum) * 100.0;
  const int32_t m = scaled >= 1.0 && scaled < 2147483647.0 ? int32_t(scaled) : 0;
  for (int32_t x = 0; x <= g.tilesX; ++x)
    for (int32_t z = 0; z <= g.tilesZ; ++z) {
      // The C library's generator, shared with the language's random numbers.
      g_randomState = g_randomState * 214013u + 2531011u;
      const int32_t r = int32_t((g_randomState >> 16) & 32767);
      g.SetHeight(x, z, m > 0 ? float(double(r % m) / 100.0) : 0.0f);
    }
  return 1;
}

int32_t ShiftGrid(uint32_t mesh, int32_t tilesX, int32_t tilesZ, GridShift way) {
  const Grid g = GridOf(mesh, tilesX, tilesZ);
  if (!g) return 1;
  const bool rows = way == GridShift::kRowsBack || way == GridShift::kRowsForward;
  const bool forward = way == GridShift::kRowsForward || way == GridShift::kColumnsForward;
  // Lines run along the shifted axis (x for rows, z for columns); n tiles, n + 1 point lines.
  const int32_t n = rows ? g.tilesX : g.tilesZ, across = rows ? g.tilesZ : g.tilesX;
  auto height = [&](int32_t line, int32_t i) { return rows ? g.Height(line, i) : g.Height(i, line); };
  auto setHeight = [&](int32_t line, int32_t i, float h) { rows ? g.SetHeight(line, i, h) : g.SetHeight(i, line, h); };
  std::vector<float> saved;
  for (int32_t i = 0; i <= across; ++i) saved.push_back(height(forward ? n - 1 : 0, i));
  if (forward) {
    // A forward row shift also carries the edge line n along; the other shifts leave it.
    for (int32_t line = rows ? n : n - 1; line >= 0; --line)
      for (int32_t i = 0; i <= across; ++i) setHeight(line, i, line >= 1 ? height(line - 1, i) : saved[size_t(i)]);
    const std::vector<float> last = SaveTiles(g, rows, n - 1);
    for (int32_t line = n - 1; line >= 1; --line) CopyTiles(g, rows, line, line - 1);
    RestoreTiles(g, rows, 0, last);
  } else {
    for (int32_t line = 0; line < n; ++line)
      for (int32_t i = 0; i <= across; ++i) setHeight(line, i, line == n - 1 ? saved[size_t(i)] : height(line + 1, i));
    const std::vector<float> first = SaveTiles(g, rows, 0);
    for (int32_t line = 0; line + 1 < n; ++line) CopyTiles(g, rows, line, line + 1);
    RestoreTiles(g, rows, n - 1, first);
  }
  return 1;
}
