// Tiled matrices: making and deleting them, texture tiles and the interpolated ground height.
#include "scene3d/matrix_objects.h"

#include <algorithm>
#include <cmath>

#include "display/record_pools.h"
#include "display/textures.h"
#include "model/grid_mesh.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "scene3d/camera.h"
#include "scene3d/object_model.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene_state.h"

MatrixState g_matrices;

namespace {

ObjectRecord& O(uint32_t r) { return g_objectPool[r]; }

uint32_t GridMeshOf(uint32_t record) {
  const ObjectRecord& o = O(record);
  return o.limbs.empty() || o.limbs[0].meshData[0] <= 0 ? 0 : uint32_t(o.limbs[0].meshData[0]);
}

// Above the grid's centre, looking along +z.
void PlaceCameraAbove(uint32_t record) {
  const ObjectRecord& o = O(record);
  if (!o.model) return;
  float c[3] = {0, 0, 0}, r = 0;
  ModelHandleGetBoundingRadius(*o.model, c, &r);
  CameraState& cam = g_scene.camera;
  cam.position[0] = o.matrixWidth / 2;
  cam.position[1] = r / 100 + c[1];
  cam.position[2] = o.matrixDepth / 2;
  cam.lookAt[0] = cam.position[0];
  cam.lookAt[1] = cam.position[1];
  cam.lookAt[2] = cam.position[2] + 100;
  ApplyCameraLookAt();
}

}  // namespace

void ResetMatrixState() { g_matrices = MatrixState{}; }

uint32_t MatrixRecordOf(int32_t number) {
  if (number < 1 || number > kMaxMatrixNumber) return 0;
  const uint32_t r = g_matrices.numbers[size_t(number)];
  return r != 0 && g_objectPool.InUse(r) ? r : 0;
}

uint32_t MakeMatrix(int32_t number, float width, float depth, int32_t tilesX, int32_t tilesZ) {
  const uint32_t mesh = AllocMeshData();
  if (mesh == kNoRecord) return 0;
  const uint32_t r = AllocObjectRecord();
  if (r == kNoRecord || !BuildMatrixGridMesh(mesh, width, depth, tilesX, tilesZ)) {
    FreeMeshData(mesh);
    if (r != kNoRecord) FreeObjectRecord(r);
    return 0;
  }
  {
    ObjectRecord& o = O(r);
    o.limbs[0].meshData[0] = int32_t(mesh);  // the record owns the mesh from here on
    o.matrixWidth = width, o.matrixDepth = depth;
    o.matrixTilesX = tilesX, o.matrixTilesZ = tilesZ;
    o.matrixTileCount = 0, o.matrixAcross = 0, o.matrixDown = 0;
  }
  if (EnsureObjectVisualForLoad(r, mesh, 0) != 1 || InitObjectRecord(r, 0) == 0) {
    DeleteObjectRecord(r, 0);
    return 0;
  }
  g_matrices.numbers[size_t(number)] = r;
  ObjectRecord& o = O(r);
  FrameRecord& f = g_framePool[o.frameIndex];
  f.wireframe = 1, f.cull = 0, f.addressMode = 2;
  float c[3] = {0, 0, 0}, radius = 0;
  if (o.model) ModelHandleGetBoundingRadius(*o.model, c, &radius);
  o.sphereRadius = o.size = std::trunc(radius) + 1.0f;
  o.collisionOn = 0;
  PlaceCameraAbove(r);
  return r;
}

void DeleteMatrix(int32_t number) {
  const uint32_t r = MatrixRecordOf(number);
  if (r == 0) return;
  g_matrices.numbers[size_t(number)] = 0;
  // The record's release frees the grid mesh with limb 0 (once).
  DeleteObjectRecord(r, 0);
}

void RefreshMatrixMesh(uint32_t record) {
  if (const uint32_t mesh = GridMeshOf(record)) ChangeObjectLimbMesh(record, 0, mesh);
}

void MatrixTileRect(uint32_t record, int32_t tile, TileInset inset, float out[4]) {
  const ObjectRecord& o = O(record);
  const int32_t across = std::max(o.matrixAcross, 1), down = std::max(o.matrixDown, 1);
  float w = 0, h = 0;
  const int32_t image = o.limbs.empty() ? 0 : o.limbs[0].textureImage;
  if (image > 0 && g_imagePool.InUse(uint32_t(image))) {
    w = float(g_imagePool[uint32_t(image)].width);
    h = float(g_imagePool[uint32_t(image)].height);
  }
  // An image gone since the tiles were cut has no size: no inset then.
  const float texelU = w > 0 ? 1.0f / w : 0.0f, texelV = h > 0 ? 1.0f / h : 0.0f;
  float du = texelU * (1.0f / float(across)), dv = texelV * (1.0f / float(down));
  if (inset == TileInset::kTile) {
    // Half of across on both axes (across, not down, on v too).
    du *= float(across) / 2;
    dv *= float(across) / 2;
  }
  const int32_t row = (tile - 1) / across, col = (tile - 1) - row * across;
  out[0] = float(col) / float(across) + du;
  out[1] = float(row) / float(down) + dv;
  out[2] = float(col + 1) / float(across) - du;
  out[3] = float(row + 1) / float(down) - dv;
}

void PrepareMatrixTiles(uint32_t record, uint32_t imageRecord, int32_t image, int32_t across, int32_t down) {
  if (across < 1 || down < 1) return;
  const int32_t texture = AcquireImageTexture(imageRecord, 1);
  {
    ObjectRecord& o = O(record);
    if (o.model) ModelHandleSetLimbTexture(*o.model, 0, texture);
    o.limbs[0].textureImage = int32_t(imageRecord);
    o.limbs[0].imageNumber = image;
    g_framePool[o.frameIndex].wireframe = 0;
    o.matrixAcross = across, o.matrixDown = down;
    o.matrixTileCount = int32_t(std::min<int64_t>(int64_t(across) * down, INT32_MAX));
  }
  float rect[4];
  MatrixTileRect(record, 1, TileInset::kTile, rect);
  SetAllTileUV(GridMeshOf(record), rect[0], rect[1], rect[2], rect[3]);
  RefreshMatrixMesh(record);
}

float GetMatrixGroundHeight(uint32_t record, float x, float z) {
  const ObjectRecord& o = O(record);
  if (!(x >= 0 && x <= o.matrixWidth && z >= 0 && z <= o.matrixDepth)) return 0.0f;
  const MeshData* m = MeshDataAt(GridMeshOf(record));
  if (!m || o.matrixTilesX < 1 || o.matrixTilesZ < 1) return 0.0f;
  const float sx = o.matrixWidth / float(o.matrixTilesX), sz = o.matrixDepth / float(o.matrixTilesZ);
  // The far edges (and rounding at them) belong to the last tile.
  const int32_t i = std::min(int32_t(x / sx), o.matrixTilesX - 1);
  const int32_t j = std::min(int32_t(z / sz), o.matrixTilesZ - 1);
  const size_t first = (size_t(i) * size_t(o.matrixTilesZ) + size_t(j)) * 4;
  if (first + 4 > m->vertexCount) return 0.0f;
  struct Corner {
    float x, y, z;
  };
  auto k = [&](int c) {
    const float* p = &m->vertices[3 * (first + size_t(c))];
    return Corner{p[0], p[1], p[2]};
  };
  const Corner k0 = k(0), k1 = k(1), k2 = k(2), k3 = k(3);
  // The diagonal K0-K2 splits the tile; the point's side of it, in tile units (tiles need not
  // be square), picks the triangle K0, K2, K3 (above) or K0, K2, K1.
  const float dx = x - k0.x, dz = z - k0.z;
  const bool upper = dz * sx >= dx * sz;
  const Corner c = upper ? k0 : k2, a = upper ? k2 : k0, b = upper ? k3 : k1;
  // The point on an edge at depth z, from its corner of smaller z toward the other.
  auto onEdge = [dz](const Corner& e0, const Corner& e1) {
    const float span = std::fabs(e1.z - e0.z);
    const float t = span != 0 ? dz / span : 0.0f;
    const Corner& from = e0.z <= e1.z ? e0 : e1;
    const Corner& to = e0.z <= e1.z ? e1 : e0;
    return Corner{from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t, 0};
  };
  const Corner p = onEdge(c, a), q = onEdge(c, b);
  const float s = q.x != p.x ? (x - p.x) / (q.x - p.x) : 0.0f;
  return p.y + (q.y - p.y) * s;
}
