// The built-in meshes: sphere, cube, cylinder, plane and cone, generated here as binary .x files
// ("xof 0303bin 0032", one Mesh with one material, normals and texture coordinates) and read
// through the mesh builder like any mesh file. All lie in the unit cube centred on
// (0.001, 0.001, 0.001) (the cylinder's height runs from -0.5 to 0.5 exactly); triangles turn
// clockwise seen from outside. Where the layout needs fewer vertices than the set counts, the
// rest are spare vertices that no face uses.
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "model/mesh_data.h"
#include "model/xfile/xfile.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kC = 0.001f;  // centre offset on each axis

struct Corner {
  uint32_t v, n;
};

class MeshGen {
 public:
  std::vector<float> positions, normals, uvs;
  std::vector<std::array<Corner, 3>> faces;

  // A vertex with a normal of the same index.
  uint32_t Vertex(double x, double y, double z, double nx, double ny, double nz, double u, double v) {
    positions.insert(positions.end(), {float(x), float(y), float(z)});
    uvs.insert(uvs.end(), {float(u), float(v)});
    return Normal(nx, ny, nz);
  }
  // A normal of its own (only the cone has more normals than vertices).
  uint32_t Normal(double nx, double ny, double nz) {
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (len > 0) nx /= len, ny /= len, nz /= len;
    normals.insert(normals.end(), {float(nx), float(ny), float(nz)});
    return uint32_t(normals.size() / 3 - 1);
  }
  // A triangle turned to face away from the centre.
  void Tri(Corner a, Corner b, Corner c, const double centre[3]) {
    const float *pa = &positions[3 * a.v], *pb = &positions[3 * b.v], *pc = &positions[3 * c.v];
    double p[3], q[3], out[3];
    for (int i = 0; i < 3; ++i) {
      p[i] = double(pb[i]) - pa[i];
      q[i] = double(pc[i]) - pb[i];
      out[i] = (double(pa[i]) + pb[i] + pc[i]) / 3 - centre[i];
    }
    const double n[3] = {p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
    if (n[0] * out[0] + n[1] * out[1] + n[2] * out[2] < 0) std::swap(b, c);
    faces.push_back({a, b, c});
  }
  void Tri(uint32_t a, uint32_t b, uint32_t c, const double centre[3]) { Tri({a, a}, {b, b}, {c, c}, centre); }
  // Spare vertices up to the count.
  void PadTo(size_t count, double x, double y, double z) {
    while (positions.size() / 3 < count) Vertex(x, y, z, 0, 1, 0, 0, 0);
  }

  std::string Write(const char* name) const {
    XFile file;
    file.major = 3, file.minor = 3;
    XObject& header = file.Add("Header");
    header.PushInt(1), header.PushInt(0), header.PushInt(0);
    XObject& mesh = file.Add("Mesh", name);
    mesh.PushInt(uint32_t(positions.size() / 3));
    for (float f : positions) mesh.PushFloat(f);
    PushFaces(mesh, false);
    XObject& materials = mesh.AddChild("MeshMaterialList");
    materials.PushInt(1), materials.PushInt(uint32_t(faces.size()));
    for (size_t i = 0; i < faces.size(); ++i) materials.PushInt(0);
    XObject& material = materials.AddChild("Material");
    for (float f : {1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}) material.PushFloat(f);
    XObject& n = mesh.AddChild("MeshNormals");
    n.PushInt(uint32_t(normals.size() / 3));
    for (float f : normals) n.PushFloat(f);
    PushFaces(n, true);
    XObject& t = mesh.AddChild("MeshTextureCoords");
    t.PushInt(uint32_t(uvs.size() / 2));
    for (float f : uvs) t.PushFloat(f);
    return WriteXFile(file, XEncoding::Binary, 32);
  }

 private:
  void PushFaces(XObject& o, bool normalIndices) const {
    o.PushInt(uint32_t(faces.size()));
    for (const auto& f : faces) {
      o.PushInt(3);
      for (const Corner& c : f) o.PushInt(normalIndices ? c.n : c.v);
    }
  }
};

const double kCentre[3] = {kC, kC, kC};

// 16 segments around y, 8 bands; the bands at the poles are fans with one pole vertex per
// segment. 164 vertices, 224 triangles.
std::string Sphere() {
  MeshGen g;
  constexpr int kSeg = 16, kBands = 8;
  auto point = [&](int ring, double theta, double u, double v) {
    const double phi = -kPi / 2 + kPi * ring / kBands;
    const double x = std::cos(phi) * std::cos(theta), y = std::sin(phi), z = std::cos(phi) * std::sin(theta);
    return g.Vertex(kC + 0.5 * x, kC + 0.5 * y, kC + 0.5 * z, x, y, z, u, v);
  };
  std::vector<uint32_t> south, north, rings[kBands + 1];
  for (int j = 0; j < kSeg; ++j) south.push_back(point(0, 2 * kPi * (j + 0.5) / kSeg, (j + 0.5) / kSeg, 1.0));
  for (int r = 1; r < kBands; ++r)
    for (int j = 0; j <= kSeg; ++j) rings[r].push_back(point(r, 2 * kPi * j / kSeg, double(j) / kSeg, 1.0 - double(r) / kBands));
  for (int j = 0; j < kSeg; ++j) north.push_back(point(kBands, 2 * kPi * (j + 0.5) / kSeg, (j + 0.5) / kSeg, 0.0));
  for (int j = 0; j < kSeg; ++j) {
    g.Tri(south[j], rings[1][j], rings[1][j + 1], kCentre);
    for (int r = 1; r + 1 < kBands; ++r) {
      g.Tri(rings[r][j], rings[r + 1][j], rings[r + 1][j + 1], kCentre);
      g.Tri(rings[r][j], rings[r + 1][j + 1], rings[r][j + 1], kCentre);
    }
    g.Tri(rings[kBands - 1][j], north[j], rings[kBands - 1][j + 1], kCentre);
  }
  g.PadTo(164, kC, kC, kC);
  return g.Write("sphere");
}

// Four vertices and two triangles per face; the eight corners follow as spare vertices.
// 32 vertices, 12 triangles.
std::string Cube() {
  MeshGen g;
  for (int axis = 0; axis < 3; ++axis)
    for (int side = -1; side <= 1; side += 2) {
      const int a = (axis + 1) % 3, b = (axis + 2) % 3;
      uint32_t idx[4];
      const double corners[4][2] = {{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}};
      for (int k = 0; k < 4; ++k) {
        double p[3], n[3] = {0, 0, 0};
        p[axis] = 0.5 * side, p[a] = corners[k][0], p[b] = corners[k][1];
        n[axis] = side;
        idx[k] = g.Vertex(kC + p[0], kC + p[1], kC + p[2], n[0], n[1], n[2], corners[k][0] + 0.5, 0.5 - corners[k][1]);
      }
      g.Tri(idx[0], idx[1], idx[2], kCentre);
      g.Tri(idx[0], idx[2], idx[3], kCentre);
    }
  for (int k = 0; k < 8; ++k) {
    const double x = k & 1 ? 0.5 : -0.5, y = k & 2 ? 0.5 : -0.5, z = k & 4 ? 0.5 : -0.5;
    g.Vertex(kC + x, kC + y, kC + z, x, y, z, 0, 0);
  }
  return g.Write("cube");
}

// 24 segments: the side in quads of their own vertices, the caps as fans about their centres.
// 171 vertices, 96 triangles.
std::string Cylinder() {
  MeshGen g;
  constexpr int kSeg = 24;
  const double centre[3] = {kC, 0.0, kC};
  auto at = [](int j) { return 2 * kPi * j / kSeg; };
  for (int j = 0; j < kSeg; ++j) {
    uint32_t q[4];
    const double t0 = at(j), t1 = at(j + 1), u0 = double(j) / kSeg, u1 = double(j + 1) / kSeg;
    q[0] = g.Vertex(kC + 0.5 * std::cos(t0), -0.5, kC + 0.5 * std::sin(t0), std::cos(t0), 0, std::sin(t0), u0, 1);
    q[1] = g.Vertex(kC + 0.5 * std::cos(t1), -0.5, kC + 0.5 * std::sin(t1), std::cos(t1), 0, std::sin(t1), u1, 1);
    q[2] = g.Vertex(kC + 0.5 * std::cos(t1), 0.5, kC + 0.5 * std::sin(t1), std::cos(t1), 0, std::sin(t1), u1, 0);
    q[3] = g.Vertex(kC + 0.5 * std::cos(t0), 0.5, kC + 0.5 * std::sin(t0), std::cos(t0), 0, std::sin(t0), u0, 0);
    g.Tri(q[0], q[1], q[2], centre);
    g.Tri(q[0], q[2], q[3], centre);
  }
  for (int side = -1; side <= 1; side += 2) {
    const double y = 0.5 * side;
    const uint32_t mid = g.Vertex(kC, y, kC, 0, side, 0, 0.5, 0.5);
    std::vector<uint32_t> ring;
    for (int j = 0; j < kSeg; ++j)
      ring.push_back(g.Vertex(kC + 0.5 * std::cos(at(j)), y, kC + 0.5 * std::sin(at(j)), 0, side, 0,
                              0.5 + 0.5 * std::cos(at(j)), 0.5 - 0.5 * std::sin(at(j))));
    for (int j = 0; j < kSeg; ++j) g.Tri(mid, ring[j], ring[(j + 1) % kSeg], centre);
  }
  g.PadTo(171, kC, kC, kC);
  return g.Write("cylinder");
}

std::string Plane() {
  MeshGen g;
  g.Vertex(-0.499, -0.499, kC, 0, 0, -1, 0.0005, 0.9995);
  g.Vertex(0.501, -0.499, kC, 0, 0, -1, 0.9995, 0.9995);
  g.Vertex(-0.499, 0.501, kC, 0, 0, -1, 0.0005, 0.0005);
  g.Vertex(0.501, 0.501, kC, 0, 0, -1, 0.9995, 0.0005);
  g.faces.push_back({Corner{0, 0}, Corner{3, 3}, Corner{1, 1}});
  g.faces.push_back({Corner{3, 3}, Corner{0, 0}, Corner{2, 2}});
  return g.Write("plane");
}

// 12 segments about the base centre: a band from the base ring to a ring half way up, a fan
// to the apex and the base fan. 28 vertices, 52 normals (the tip and the base have their own
// normal per segment), 48 triangles.
std::string Cone() {
  MeshGen g;
  constexpr int kSeg = 12;
  const double baseY = -0.499, slope = 0.5;  // radius lost per unit of height
  std::vector<uint32_t> base, mid;
  for (int j = 0; j <= kSeg; ++j) {
    const double t = 2 * kPi * j / kSeg;
    base.push_back(g.Vertex(kC + 0.5 * std::cos(t), baseY, kC + 0.5 * std::sin(t), std::cos(t), slope, std::sin(t),
                            double(j) / kSeg, 1));
  }
  for (int j = 0; j <= kSeg; ++j) {
    const double t = 2 * kPi * j / kSeg;
    mid.push_back(g.Vertex(kC + 0.25 * std::cos(t), kC, kC + 0.25 * std::sin(t), std::cos(t), slope, std::sin(t),
                           double(j) / kSeg, 0.5));
  }
  const uint32_t apex = g.Vertex(kC, 0.501, kC, 0, 1, 0, 0.5, 0);
  const uint32_t centre = g.Vertex(kC, baseY, kC, 0, -1, 0, 0.5, 0.5);
  std::vector<uint32_t> tipNormals, baseNormals;
  for (int j = 0; j < kSeg; ++j) {
    const double t = 2 * kPi * (j + 0.5) / kSeg;
    tipNormals.push_back(g.Normal(std::cos(t), slope, std::sin(t)));
  }
  for (int j = 0; j < kSeg; ++j) baseNormals.push_back(g.Normal(0, -1, 0));
  for (int j = 0; j < kSeg; ++j) {
    g.Tri(base[j], base[j + 1], mid[j + 1], kCentre);
    g.Tri(base[j], mid[j + 1], mid[j], kCentre);
    g.Tri({mid[j], mid[j]}, {mid[j + 1], mid[j + 1]}, {apex, tipNormals[j]}, kCentre);
    g.Tri({centre, centre}, {base[j + 1], baseNormals[(j + 1) % kSeg]}, {base[j], baseNormals[j]}, kCentre);
  }
  return g.Write("cone");
}

}  // namespace

const std::string& BuiltinMeshBytes(uint16_t id) {
  static const std::map<uint16_t, std::string> kMeshes = {
      {kMeshSphere, Sphere()}, {kMeshCube, Cube()}, {kMeshCylinder, Cylinder()}, {kMeshPlane, Plane()}, {kMeshCone, Cone()},
  };
  static const std::string kNone;
  const auto it = kMeshes.find(id);
  return it == kMeshes.end() ? kNone : it->second;
}
