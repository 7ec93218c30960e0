// The static world's store: groups of converted meshes, the box list, and the box and line tests.
#include "scene3d/static/static_world.h"

#include <algorithm>
#include <cmath>

#include "display/record_pools.h"
#include "display/textures.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"

StaticWorldState g_staticWorld;

namespace {

// A texture of the list takes one more reference (image textures and named files alike).
void AddTextureReference(int32_t texture) {
  if (texture <= 0 || !g_texturePool.InUse(uint32_t(texture))) return;
  const int32_t n = g_texturePool[uint32_t(texture)].listNode;
  if (n >= 0 && size_t(n) < g_textures.list.size() && g_textures.list[size_t(n)].record == uint32_t(texture))
    ++g_textures.list[size_t(n)].references;
}

void SizeBatchBuffers() {
  StaticWorldState& w = g_staticWorld;
  w.batchVertices.assign(w.vertexCapacity, Vertex{});
  w.batchIndices.assign(w.indexCapacity, 0);
}

// The inner box of the octant points and its corners: on each axis the low bound is the
// innermost of the points on the low side, the high bound that of the high side; a bound no
// point set takes the other's value.
void BuildOccluderShape(StaticObject& o) {
  float lo[3] = {o.vertices[0].x, o.vertices[0].y, o.vertices[0].z};
  float hi[3] = {lo[0], lo[1], lo[2]};
  for (const Vertex& v : o.vertices) {
    const float p[3] = {v.x, v.y, v.z};
    for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
  }
  // Per octant, the vertex nearest the octant's corner of the bounding box (x weighted by 1.2).
  float best[8], point[8][3];
  bool found[8] = {};
  for (const Vertex& v : o.vertices) {
    const float p[3] = {v.x, v.y, v.z};
    int oct = 0;
    float corner[3];
    for (int a = 0; a < 3; ++a) {
      const bool high = !(p[a] < o.centre[a]);
      oct |= high << a;
      corner[a] = high ? hi[a] : lo[a];
    }
    const float dx = p[0] * 1.2f - corner[0] * 1.2f, dy = p[1] - corner[1], dz = p[2] - corner[2];
    const float d = dx * dx + dy * dy + dz * dz;
    if (!found[oct] || d < best[oct]) {
      found[oct] = true, best[oct] = d;
      for (int a = 0; a < 3; ++a) point[oct][a] = p[a];
    }
  }
  float innerLo[3] = {-99999, -99999, -99999}, innerHi[3] = {99999, 99999, 99999};
  for (int oct = 0; oct < 8; ++oct) {
    if (!found[oct]) continue;
    for (int a = 0; a < 3; ++a) {
      const float rel = point[oct][a] - o.centre[a];
      if (oct >> a & 1) innerHi[a] = std::min(innerHi[a], rel);
      else innerLo[a] = std::max(innerLo[a], rel);
    }
  }
  for (int a = 0; a < 3; ++a) {
    const bool loSet = innerLo[a] != -99999.0f, hiSet = innerHi[a] != 99999.0f;
    if (!loSet && !hiSet) innerLo[a] = innerHi[a] = 0;
    else if (!loSet) innerLo[a] = innerHi[a];
    else if (!hiSet) innerHi[a] = innerLo[a];
    o.shapeBox[a] = innerLo[a], o.shapeBox[3 + a] = innerHi[a];
  }
  for (int k = 0; k < 8; ++k)
    for (int a = 0; a < 3; ++a) o.shapePoints[3 * k + a] = (k >> a & 1) ? innerHi[a] : innerLo[a];
}

// The level object nearest to o whose sphere holds o's sphere.
StaticObject* FindParent(const StaticObject& o, float ownRadius) {
  StaticObject* parent = nullptr;
  float bestDistance = 99999.8984375f;
  for (StaticTextureGroup& g : g_staticWorld.groups)
    for (auto& p : g.objects) {
      if (p->id != 0) continue;
      const float dx = p->centre[0] - o.centre[0], dy = p->centre[1] - o.centre[1], dz = p->centre[2] - o.centre[2];
      const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (d < bestDistance && d + ownRadius < p->radius) bestDistance = d, parent = p.get();
    }
  return parent;
}

}  // namespace

void ResetStaticWorld() {
  FreeStaticWorldLists();
  g_staticWorld = StaticWorldState{};
}

void ReserveStaticWorld(uint32_t capacity) {
  StaticWorldState& w = g_staticWorld;
  w.vertexCapacity = capacity;
  w.indexCapacity = std::max<uint32_t>(5 * capacity, w.indexCapacity);
  SizeBatchBuffers();
}

void RestoreStaticWorld() {
  if (g_staticWorld.vertexCapacity) SizeBatchBuffers();
}

void FreeStaticWorldLists() {
  for (StaticTextureGroup& g : g_staticWorld.groups) ReleaseTexture(g.texture, false);
  g_staticWorld.groups.clear();
  g_staticWorld.boxes.clear();
}

bool StaticWorldHoldsData() { return !g_staticWorld.groups.empty() || !g_staticWorld.boxes.empty(); }

int32_t AddStaticObject(int32_t texture, const float* vertices, const float* normals, const uint32_t* faceWords,
                        const float* texCoords, uint32_t vertexCount, uint32_t normalCount, uint32_t faceCount,
                        uint32_t faceWordCount, int32_t occluder, int32_t low, int32_t id, int32_t fullHeight) {
  // The file and the batches hold 16-bit indices.
  if (vertexCount == 0 || vertexCount > 65536) return 0;
  auto o = std::make_unique<StaticObject>();
  o->vertices.resize(vertexCount);
  for (uint32_t i = 0; i < vertexCount; ++i) {
    Vertex& v = o->vertices[i];
    v.x = vertices[3 * i], v.y = vertices[3 * i + 1], v.z = vertices[3 * i + 2];
    if (normals && i < normalCount) v.nx = normals[3 * i], v.ny = normals[3 * i + 1], v.nz = normals[3 * i + 2];
    else v.nx = v.ny = v.nz = 0;
    if (texCoords) v.u = texCoords[2 * i], v.v = texCoords[2 * i + 1];
    else v.u = v.v = 0;
  }
  size_t at = 0;
  for (uint32_t f = 0; f < faceCount && at < faceWordCount; ++f) {
    const uint32_t k = faceWords[at++];
    if (k > (faceWordCount - at) / 2) return 0;
    for (uint32_t j = 0; j < k; ++j)
      if (faceWords[at + 2 * j] >= vertexCount) return 0;
    auto corner = [&](uint32_t j) { return uint16_t(faceWords[at + 2 * j]); };
    for (uint32_t j = 2; j < k; ++j) {
      o->indices.push_back(corner(0));
      o->indices.push_back(corner(j - 1));
      o->indices.push_back(corner(j));
    }
    at += 2 * size_t(k);
  }

  double sum[3] = {0, 0, 0};
  for (const Vertex& v : o->vertices) sum[0] += v.x, sum[1] += v.y, sum[2] += v.z;
  for (int a = 0; a < 3; ++a) o->centre[a] = float(sum[a] / vertexCount);
  float radius = 0, depthBelow = 0;
  for (const Vertex& v : o->vertices) {
    const float dx = v.x - o->centre[0], dy = v.y - o->centre[1], dz = v.z - o->centre[2];
    radius = std::max(radius, std::sqrt(dx * dx + dy * dy + dz * dz));
    depthBelow = std::max(depthBelow, o->centre[1] - v.y);
  }
  o->radius = 1.25f * radius;
  o->id = id;
  if (id > 0 && o->centre[0] > -5000) o->parent = FindParent(*o, radius);
  if (low && !occluder) {
    o->low = 1;
    o->verticalRadius = 0.5f * radius + 0.5f * depthBelow;
  }
  o->fullHeight = uint8_t(fullHeight != 0);
  if (occluder) {
    BuildOccluderShape(*o);
    o->occluder = 1;
    if (low) {
      o->shapeDropped = 1;
      o->vertices = {};
      o->indices = {};
    }
  }

  StaticWorldState& w = g_staticWorld;
  if (vertexCount > w.vertexCapacity) ReserveStaticWorld(vertexCount);
  if (o->indices.size() > w.indexCapacity) {
    w.indexCapacity = uint32_t(o->indices.size());
    SizeBatchBuffers();
  }
  auto g = std::find_if(w.groups.begin(), w.groups.end(),
                        [&](const StaticTextureGroup& x) { return x.texture == texture; });
  if (g == w.groups.end()) {
    w.groups.push_back(StaticTextureGroup{texture, {}});
    AddTextureReference(texture);
    g = w.groups.end() - 1;
  }
  g->objects.push_back(std::move(o));
  return 1;
}

void DeleteStaticObject(int32_t id) {
  for (StaticTextureGroup& g : g_staticWorld.groups)
    std::erase_if(g.objects, [id](const std::unique_ptr<StaticObject>& o) { return o->id == id; });
}

int32_t AddStaticBox(float x1, float y1, float z1, float x2, float y2, float z2) {
  g_staticWorld.boxes.push_back(StaticBox{{std::min(x1, x2), std::min(y1, y2), std::min(z1, z2)},
                                          {std::max(x1, x2), std::max(y1, y2), std::max(z1, z2)}});
  return 1;
}

int32_t CollideBoxWithStaticBoxes(const float oldBox[6], const float newBox[6], float out[3]) {
  out[0] = out[1] = out[2] = 0;
  int32_t hit = 0;
  for (const StaticBox& b : g_staticWorld.boxes) {
    bool overlap = true;
    for (int a = 0; a < 3; ++a) overlap = overlap && newBox[a] <= b.max[a] && newBox[3 + a] >= b.min[a];
    if (!overlap) continue;
    hit = 1;
    // The face the box came through is the one nearest the old box: per axis, its max side
    // against the box's min face, then its min side against the box's max face.
    int face = 0;
    float nearest = 0;
    for (int k = 0; k < 6; ++k) {
      const int a = k / 2;
      const float gap = k % 2 == 0 ? std::fabs(oldBox[3 + a] - b.min[a]) : std::fabs(b.max[a] - oldBox[a]);
      if (k == 0 || gap < nearest) nearest = gap, face = k;
    }
    const int a = face / 2;
    out[a] = face % 2 == 0 ? newBox[3 + a] - b.min[a] : newBox[a] - b.max[a];
  }
  return hit;
}

int32_t TestLineAgainstStaticBoxes(const float start[3], const float end[3], float radius, float step, float out[3]) {
  for (int a = 0; a < 3; ++a) out[a] = start[a];
  const float length = std::max(std::fabs(end[0] - start[0]), std::fabs(end[2] - start[2]));
  if (step <= 0) step = 1;
  const double count = std::floor(std::trunc(double(length)) / double(step));
  if (!(length > 0) || !(count >= 1)) return 0;
  const int64_t samples = count > 1e9 ? int64_t(1e9) : int64_t(count);
  // Each sample moves step units of horizontal length along the line.
  float inc[3];
  for (int a = 0; a < 3; ++a) inc[a] = (end[a] - start[a]) / length * step;
  // The cube's path: boxes off it cannot be entered.
  float pathLo[3], pathHi[3];
  for (int a = 0; a < 3; ++a) {
    const float last = start[a] + inc[a] * float(samples);
    pathLo[a] = std::min(start[a], last) - radius - std::fabs(inc[a]);
    pathHi[a] = std::max(start[a], last) + radius + std::fabs(inc[a]);
  }
  int64_t firstLeft = -1, bestLeft = -1;
  float best[3] = {start[0], start[1], start[2]};
  const std::vector<StaticBox>& boxes = g_staticWorld.boxes;
  for (size_t i = 0; i < boxes.size(); ++i) {
    const StaticBox& b = boxes[i];
    // Without branches: most boxes are far from the line.
    const bool near = (pathLo[0] <= b.max[0]) & (pathHi[0] >= b.min[0]) & (pathLo[1] <= b.max[1]) &
                      (pathHi[1] >= b.min[1]) & (pathLo[2] <= b.max[2]) & (pathHi[2] >= b.min[2]);
    if (!near) continue;
    // Only samples in this range can overlap the box: the range of each axis is widened by
    // more than the rounding of a sample's position, so the walk below finds the same first
    // sample as a walk from the start.
    double first = 1, last = double(samples);
    for (int a = 0; a < 3 && first <= last; ++a) {
      const double m = 1 + std::max({std::fabs(start[a]), std::fabs(end[a]), std::fabs(b.min[a]), std::fabs(b.max[a])});
      const double eps = 1e-5 * (m + std::fabs(radius));
      const double lo = double(b.min[a]) - radius - eps - start[a], hi = double(b.max[a]) + radius + eps - start[a];
      if (inc[a] == 0) {
        if (lo > 0 || hi < 0) first = last + 1;
        continue;
      }
      double s0 = lo / inc[a], s1 = hi / inc[a];
      if (s0 > s1) std::swap(s0, s1);
      first = std::max(first, std::ceil(s0)), last = std::min(last, std::floor(s1));
    }
    if (first > last) continue;
    float p[3];
    for (int64_t s = int64_t(first); s <= int64_t(last); ++s) {
      for (int a = 0; a < 3; ++a) p[a] = start[a] + inc[a] * float(s);
      bool inside = true;
      for (int a = 0; a < 3; ++a) inside = inside && p[a] - radius <= b.max[a] && p[a] + radius >= b.min[a];
      if (!inside) continue;
      const int64_t left = samples - s;
      if (s == 1) {
        firstLeft = std::max(firstLeft, left);
      } else if (left > bestLeft) {
        bestLeft = left;
        for (int a = 0; a < 3; ++a) best[a] = start[a] + inc[a] * float(s - 1);
      }
      break;
    }
  }
  if (bestLeft < 0) return 0;
  if (firstLeft <= bestLeft)
    for (int a = 0; a < 3; ++a) out[a] = best[a];
  return 1;
}

void ReserveStaticWorldDefault() { ReserveStaticWorld(kStaticDefaultVertices); }

void ClearStaticWorld() {
  FreeStaticWorldLists();
  StaticWorldState& w = g_staticWorld;
  w.batchVertices = {};
  w.batchIndices = {};
  w.vertexCapacity = w.indexCapacity = 0;
}
