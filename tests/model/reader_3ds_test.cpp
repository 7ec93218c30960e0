// The 3DS reader on files built here chunk by chunk: axes and winding, materials, placement by
// local axes and pivots, frame nesting from the keyframer, keys, and damaged chunks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "model/convert3ds/reader_3ds.h"

namespace {

std::string U16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(uint16_t(v)) + U16(uint16_t(v >> 16)); }
std::string F(std::initializer_list<float> fs) {
  std::string s;
  for (float f : fs) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    s += U32(b);
  }
  return s;
}
std::string Z(const std::string& text) { return text + std::string(1, '\0'); }
std::string Chunk(uint16_t id, const std::string& body) { return U16(id) + U32(uint32_t(body.size() + 6)) + body; }
std::string Main(const std::string& editor, const std::string& keyframer = {}) {
  return Chunk(0x4D4D, Chunk(0x0002, U32(3)) + Chunk(0x3D3D, editor) + (keyframer.empty() ? "" : Chunk(0xB000, keyframer)));
}
// A one-triangle mesh object; extra goes into the mesh chunk.
std::string Triangle(const std::string& name, const std::string& extra = {}) {
  const std::string verts = Chunk(0x4110, U16(3) + F({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  const std::string faces = Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(7));
  return Chunk(0x4000, Z(name) + Chunk(0x4100, verts + faces + extra));
}
std::string Node(const std::string& name, uint16_t parent, const std::string& extra = {}) {
  return Chunk(0xB002, Chunk(0xB010, Z(name) + U16(0) + U16(0) + U16(parent)) + extra);
}
std::string TrackHead(uint16_t keys) { return U16(0) + U32(0) + U32(0) + U16(keys) + U16(0); }

struct Log : Sink3ds {
  std::string events;
  std::vector<Material3ds> materials;
  std::vector<Mesh3ds> meshes;
  std::vector<Node3ds> nodes;
  void Material(const Material3ds& m) override { materials.push_back(m), events += "M"; }
  void FrameOpen(const std::string& n) override { events += "(" + n; }
  void Mesh(const Mesh3ds& m) override { meshes.push_back(m), events += "#"; }
  void FrameClose() override { events += ")"; }
  void Animation(const std::vector<Node3ds>& n) override { nodes = n, events += "A"; }
};

Log Read(const std::string& bytes) {
  Log log;
  Read3dsFile(bytes, log);
  return log;
}

TEST(Reader3ds, AxesWindingNormalsAndMaterials) {
  const std::string mat = Chunk(0xAFFF, Chunk(0xA000, Z("Red Paint")) + Chunk(0xA020, Chunk(0x0011, std::string("\xFF\x80\x00", 3))) +
                                            Chunk(0xA030, Chunk(0x0010, F({0.5f, 0.25f, 1}))) +
                                            Chunk(0xA040, Chunk(0x0030, U16(40))) + Chunk(0xA010, F({9, 9, 9})) +
                                            Chunk(0xA200, Chunk(0x0031, F({0.75f})) + Chunk(0xA300, Z("WOOD.TGA"))));
  const std::string named = Chunk(0x4130, Z("Red Paint") + U16(1) + U16(0));
  const std::string obj = Chunk(0x4000, Z("my box") + Chunk(0x4100, Chunk(0x4110, U16(3) + F({1, 2, 3, 4, 5, 6, 7, 8, 10})) +
                                                                 Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(7) + named) +
                                                                 Chunk(0x4140, U16(1) + F({0.5f, 0.25f}))));
  const Log log = Read(Main(mat + obj));
  EXPECT_EQ(log.events, "M(my_box#)");
  const Material3ds& m = log.materials.at(0);
  EXPECT_EQ(m.name, "Red Paint");
  EXPECT_FLOAT_EQ(m.diffuse[1], 128.0f / 255);
  EXPECT_FLOAT_EQ(m.specular[2], 1.0f);
  EXPECT_EQ(m.shininess, 40.0f);
  EXPECT_TRUE(m.hasTexture);
  EXPECT_EQ(m.textureFile, "WOOD.TGA");
  EXPECT_EQ(m.texturePercent, 0.75f);
  const Mesh3ds& mesh = log.meshes.at(0);
  EXPECT_EQ(mesh.positions, (std::vector<float>{1, 3, 2, 4, 6, 5, 7, 10, 8}));
  EXPECT_EQ(mesh.faces, (std::vector<uint32_t>{0, 2, 1}));
  EXPECT_EQ(mesh.materialName, "Red Paint");
  EXPECT_FALSE(mesh.hasFrameMatrix);
  EXPECT_EQ(mesh.texCoords, (std::vector<float>{0.5f, 0.25f, 0, 0, 0, 0}));
  ASSERT_EQ(mesh.normals.size(), 9u);
  // Corner 0 of the stored face (0, 2, 1): (v2 - v0) x (v1 - v0), normalised.
  const double u[3] = {6, 8, 6}, v[3] = {3, 3, 3};
  double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(mesh.normals[size_t(i)], n[i] / len, 1e-6);
}

TEST(Reader3ds, LocalAxesAndPivotPlaceTheMesh) {
  // Local axes: identity turn, origin (10, 20, 30) in file axes; pivot (1, 2, 3).
  const std::string axes = Chunk(0x4160, F({1, 0, 0, 0, 1, 0, 0, 0, 1, 10, 20, 30}));
  const std::string obj = Chunk(0x4000, Z("A") + Chunk(0x4100, Chunk(0x4110, U16(1) + F({11, 21, 31})) +
                                                             Chunk(0x4120, U16(1) + U16(0) + U16(0) + U16(0) + U16(0)) + axes));
  const Log log = Read(Main(obj, Node("A", 0xFFFF, Chunk(0xB013, F({1, 2, 3})))));
  const Mesh3ds& mesh = log.meshes.at(0);
  EXPECT_TRUE(mesh.hasFrameMatrix);
  EXPECT_EQ(mesh.positions, (std::vector<float>{0, -2, -1}));
  EXPECT_EQ(mesh.frameMatrix[12], 10);
  EXPECT_EQ(mesh.frameMatrix[13], 30);
  EXPECT_EQ(mesh.frameMatrix[14], 20);
}

TEST(Reader3ds, KeyframerParentsNestTheFrames) {
  // A, B inside A, C inside B, D beside A; a dummy node is not counted.
  const std::string editor = Triangle("A") + Triangle("B") + Triangle("C") + Triangle("D");
  const std::string kf = Node("A", 0xFFFF) + Chunk(0xB002, Chunk(0xB010, Z("$$$DUMMY"))) + Node("B", 0) + Node("C", 1) +
                         Node("D", 0xFFFF) + Node("E", 0xFFFF, Chunk(0xB011, Z("inst")));
  const Log log = Read(Main(editor, kf));
  EXPECT_EQ(log.events, "(A#(B#(C#)))(D#)A");
  ASSERT_EQ(log.nodes.size(), 5u);  // the instance is left out, the dummy kept
  EXPECT_EQ(log.nodes[1].name, "$$$DUMMY");
  // Siblings: B and C both children of A.
  const Log sib = Read(Main(editor, Node("A", 0xFFFF) + Node("B", 0) + Node("C", 0)));
  EXPECT_EQ(sib.events, "(A#(B#)(C#))(D#)A");
}

TEST(Reader3ds, TrackKeysComposeRotationsAndSkipSplineFloats) {
  const float quarter = 1.5707964f;
  const std::string rot = Chunk(0xB021, TrackHead(2) + U16(0) + U32(0) + F({quarter, 0, 0, 1}) + U16(10) + U16(0) +
                                            U16(0x0009) + F({0.5f, 0.5f}) + F({quarter, 0, 0, 1}));
  const std::string pos = Chunk(0xB020, TrackHead(2) + U16(5) + U32(0) + F({1, 2, 3}) + U16(6) + U32(0) + F({4, 5}));
  const Log log = Read(Main(Triangle("A"), Node("A", 0xFFFF, rot + pos)));
  const Node3ds& n = log.nodes.at(0);
  ASSERT_EQ(n.rotation.size(), 2u);
  EXPECT_EQ(n.rotation[1].frame, 10u);
  // About file z, which is X-convention -y: 90 then 180 degrees.
  EXPECT_NEAR(n.rotation[0].v[0], std::cos(quarter / 2), 1e-6);
  EXPECT_NEAR(n.rotation[0].v[2], -std::sin(quarter / 2), 1e-6);
  EXPECT_NEAR(n.rotation[1].v[0], 0, 1e-6);
  EXPECT_NEAR(std::fabs(n.rotation[1].v[2]), 1, 1e-6);
  ASSERT_EQ(n.position.size(), 1u);  // the second key is cut short by the chunk's end
  EXPECT_EQ(n.position[0].frame, 5u);
  EXPECT_EQ(n.position[0].v[1], 3);
}

TEST(Reader3ds, DamagedFilesGiveWhatIsSound) {
  const std::string good = Triangle("A");
  const std::string badVerts = Chunk(0x4000, Z("B") + Chunk(0x4100, Chunk(0x4110, U16(500) + F({1, 2, 3})) +
                                                                 Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(0))));
  const std::string badFace = Chunk(0x4000, Z("C") + Chunk(0x4100, Chunk(0x4110, U16(1) + F({1, 2, 3})) +
                                                                Chunk(0x4120, U16(1) + U16(0) + U16(0) + U16(9) + U16(0))));
  struct Case {
    std::string bytes;
    std::string events;
  } cases[] = {
      {"", ""},
      {Chunk(0x4D4C, good), ""},
      {Main(good + badVerts + badFace), "(A#)(B)(C)"},
      {Main(good + U16(0x4000) + U32(3) + good), "(A#)"},           // a length below the header
      {Main(good + U16(0x4000) + U32(9999) + good), "(A#)"},        // a child longer than its parent
      {Main(good).substr(0, Main(good).size() - 4), ""},  // the editor now runs past the file
      {Main(good) + Main(Triangle("Z")) + "junk", "(A#)(Z#)"},      // two main chunks in a row
      {Main(Chunk(0x4000, std::string(40, 'n'))), "(nnnnnnnnnnn)"},  // unterminated long name
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.bytes).events, c.events) << c.events;
}

// Each damage that leaves the model short is named, with the first met; a sound file has none.
TEST(Reader3ds, DamageThatLeavesTheModelShortIsNamed) {
  const auto mesh = [](const std::string& name, const std::string& parts) {
    return Chunk(0x4000, name + Chunk(0x4100, parts));
  };
  const std::string verts = Chunk(0x4110, U16(3) + F({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  const auto face = [](uint16_t a, uint16_t b, uint16_t c) {
    return Chunk(0x4120, U16(1) + U16(a) + U16(b) + U16(c) + U16(0));
  };
  const auto faceWithGroup = [](const std::string& group) {
    return Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(0) + group);
  };
  const struct {
    std::string bytes, damage;
  } kCases[] = {
      {Main(Triangle("A")), ""},
      {Main(Chunk(0xAFFF, Chunk(0xA000, Z("red"))) + mesh(Z("A"), verts + faceWithGroup(Chunk(0x4130, Z("red") + U16(1) + U16(0))))),
       ""},
      {Main(mesh(Z("Q"), verts + faceWithGroup(Chunk(0x4130, Z("red") + U16(1) + U16(0))))),
       "object Q names material red, which the file does not hold"},
      {Main(mesh(Z("B"), Chunk(0x4110, U16(500) + F({1, 2, 3})) + face(0, 0, 0))),
       "chunk 0x4110 at byte 36 holds less data than its count gives"},
      {Main(mesh(Z("C"), verts + face(0, 1, 60000))), "object C has a face that names vertex 60000 of 3"},
      {Main(mesh(Z("D"), verts + Chunk(0x4120, U16(2) + U16(0) + U16(1) + U16(2) + U16(0)))),
       "chunk 0x4120 at byte 80 holds less data than its count gives"},
      {Main(mesh(Z("E"), verts + face(0, 1, 2) + Chunk(0x4140, U16(3) + F({0, 0})))),
       "chunk 0x4140 at byte 96 holds less data than its count gives"},
      {U16(0x4D4D) + U32(0) + Chunk(0x3D3D, Triangle("F")), "chunk 0x4D4D at byte 0 has a length of 0, less than its header"},
      {Main(Triangle("G") + U16(0x4000) + U32(3) + Triangle("H")),
       "chunk 0x4000 at byte 96 has a length of 3, less than its header"},
      {Main(Chunk(0x4000, std::string(40, 'n'))), "the name in chunk 0x4000 at byte 22 has no end"},
      {Main(Chunk(0xAFFF, Chunk(0xA000, "Red"))), "the name in chunk 0xA000 at byte 28 has no end"},
      {Main(Triangle("K"), Node("K", 0xFFFF, Chunk(0xB020, TrackHead(2) + U16(0) + U32(0) + F({1, 2, 3})))),
       "chunk 0xB020 at byte 122 holds less data than its count gives"},
      {Main(Triangle("K"), Node("K", 0xFFFF, Chunk(0xB021, TrackHead(1) + U16(0) + U32(0) + F({1, 2})))),
       "chunk 0xB021 at byte 122 holds less data than its count gives"},
      {Main(mesh(Z("R"), verts + Chunk(0x4120, U16(5)))), "chunk 0x4120 at byte 80 holds less data than its count gives"},
      {Main(mesh(Z("L"), verts + Chunk(0x4120, U16(0)))), "object L has a mesh of no face"},
      {Main(mesh(Z("M"), verts)), "object M has a mesh of no face"},
      {Main(mesh(Z("N"), verts + faceWithGroup(Chunk(0x4130, Z("red") + U16(2) + U16(0) + U16(999))))),
       "object N has a material group that names face 999 of 1"},
      {Main(mesh(Z("P"), verts + faceWithGroup(Chunk(0x4130, Z("red") + U16(200) + U16(0))))),
       "chunk 0x4130 at byte 96 holds less data than its count gives"},
  };
  for (const auto& c : kCases) {
    Log log;
    std::string damage;
    Read3dsFile(c.bytes, log, &damage);
    EXPECT_EQ(damage, c.damage);
  }
}

}  // namespace
