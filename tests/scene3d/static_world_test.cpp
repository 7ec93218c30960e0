// The static world: conversion of meshes, the box and line tests, visibility, batching, the file
// and the commands that feed it from objects.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/error_codes.h"
#include "core/pack.h"
#include "display/display.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "model/model_state.h"
#include "platform/fs.h"
#include "platform/math3d.h"
#include "platform/stop_request.h"
#include "runtime/subsystems.h"
#include "scene3d/object_model.h"
#include "scene3d/object_operands.h"
#include "scene3d/scene.h"
#include "scene3d/scene_defaults.h"
#include "scene3d/static/static_bridges.h"
#include "scene3d/render_states.h"
#include "scene3d/static/static_world.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

// Mesh data in the face-word form: positions, and faces of corner lists.
struct Mesh {
  std::vector<float> v;
  std::vector<uint32_t> faces;
  uint32_t faceCount = 0;
  void Face(std::initializer_list<uint32_t> corners) {
    faces.push_back(uint32_t(corners.size()));
    for (uint32_t c : corners) faces.push_back(c), faces.push_back(c);
    ++faceCount;
  }
  int32_t Add(int32_t texture, int32_t occluder = 0, int32_t low = 0, int32_t id = 0, int32_t full = 0) const {
    const uint32_t n = uint32_t(v.size() / 3);
    std::vector<float> uv(2 * n, 0.5f);
    return AddStaticObject(texture, v.data(), v.data(), faces.data(), uv.data(), n, n, faceCount,
                           uint32_t(faces.size()), occluder, low, id, full);
  }
};

// A box of centre c and half sizes h: 8 corners, 6 four-corner faces.
Mesh Box(float cx, float cy, float cz, float hx, float hy, float hz) {
  Mesh m;
  for (int k = 0; k < 8; ++k)
    m.v.insert(m.v.end(), {cx + (k & 1 ? hx : -hx), cy + (k & 2 ? hy : -hy), cz + (k & 4 ? hz : -hz)});
  m.Face({0, 1, 3, 2}), m.Face({4, 6, 7, 5}), m.Face({0, 4, 5, 1});
  m.Face({2, 3, 7, 6}), m.Face({0, 2, 6, 4}), m.Face({1, 5, 7, 3});
  return m;
}
// One flat face of n corners around (x, y, z): n vertices, n - 2 triangles.
Mesh Disc(uint32_t n, float x, float y, float z) {
  Mesh m;
  std::vector<uint32_t> corners;
  for (uint32_t k = 0; k < n; ++k) {
    const float a = 6.2832f * float(k) / float(n);
    m.v.insert(m.v.end(), {x + std::cos(a), y + std::sin(a), z});
    corners.push_back(k);
  }
  m.faces.push_back(n);
  for (uint32_t c : corners) m.faces.push_back(c), m.faces.push_back(c);
  m.faceCount = 1;
  return m;
}

class StaticWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSubsystems();
    ReserveStaticWorldDefault();
  }
  void TearDown() override { ResetSubsystems(); }
  static const StaticObject& Object(size_t group, size_t k) { return *g_staticWorld.groups[group].objects[k]; }
  // A camera at the origin looking along +z, far plane 3000.
  static void View(const float*& world, const float*& view, const float*& projection) {
    static float identity[16], proj[16];
    SetMatrixIdentity(identity);
    BuildProjectionMatrix(proj, 1.0814433f, 0.75f, 1.0f, 3000.0f);
    world = identity, view = identity, projection = proj;
  }
  static void Visibility() {
    const float *w, *v, *p;
    View(w, v, p);
    UpdateStaticVisibility(w, v, p, 3000.0f);
  }
};

TEST_F(StaticWorldTest, FacesFanIntoTrianglesAndATextureSharesItsGroup) {
  Mesh quad;
  quad.v = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  quad.Face({0, 1, 2, 3});
  ASSERT_EQ(quad.Add(0), 1);
  ASSERT_EQ(Box(5, 0, 0, 1, 1, 1).Add(0), 1);
  ASSERT_EQ(g_staticWorld.groups.size(), 1u);
  EXPECT_EQ(Object(0, 0).indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_FLOAT_EQ(Object(0, 0).centre[0], 0.5f);
  EXPECT_FLOAT_EQ(Object(0, 0).radius, 1.25f * std::sqrt(0.5f));
  EXPECT_EQ(Object(0, 1).indices.size(), 36u);
  // Bad meshes are refused whole: a corner past the vertices, more vertices than 16 bits reach.
  Mesh bad = quad;
  bad.faces[1] = 4;
  EXPECT_EQ(bad.Add(0), 0);
  Mesh huge = Disc(70000, 0, 0, 0);
  EXPECT_EQ(huge.Add(0), 0);
  // An object above the capacity enlarges it.
  ASSERT_EQ(Disc(5000, 0, 0, 0).Add(0), 1);
  EXPECT_EQ(g_staticWorld.vertexCapacity, 5000u);
  EXPECT_EQ(g_staticWorld.groups[0].objects.size(), 3u);
}

TEST_F(StaticWorldTest, MovingBoxIsPushedBackThroughTheFaceItCameThrough) {
  AddStaticBox(10, 0, 0, 0, 10, 10);  // corners in any order
  struct Case {
    float oldBox[6], newBox[6], out[3];
  } cases[] = {
      {{-5, 4, 4, -1, 6, 6}, {-2, 4, 4, 2, 6, 6}, {2, 0, 0}},        // from -x: new max x - box min x
      {{4, 12, 4, 6, 14, 6}, {4, 9, 4, 6, 11, 6}, {0, -1, 0}},       // from above: new min y - box max y
      {{4, 4, 4, 6, 6, 6}, {4, 4, 4, 6, 6, 6}, {6, 0, 0}},           // all gaps tie: the first face wins
  };
  for (const Case& c : cases) {
    float out[3] = {9, 9, 9};
    EXPECT_EQ(CollideBoxWithStaticBoxes(c.oldBox, c.newBox, out), 1);
    for (int a = 0; a < 3; ++a) EXPECT_FLOAT_EQ(out[a], c.out[a]) << a;
  }
  const float apart[6] = {20, 20, 20, 21, 21, 21};
  float out[3] = {9, 9, 9};
  EXPECT_EQ(CollideBoxWithStaticBoxes(apart, apart, out), 0);
  EXPECT_EQ(out[0], 0.0f);
}

TEST_F(StaticWorldTest, LineStopsBeforeTheNearestBoxItEnters) {
  AddStaticBox(10, -1, -1, 12, 1, 1);
  AddStaticBox(6, -1, 5, 7, 1, 6);  // off the line
  AddStaticBox(15, -1, -1, 16, 1, 1);
  struct Case {
    float start[3], end[3], radius, step;
    int32_t hit;
    float out[3];
  } cases[] = {
      {{0, 0, 0}, {20, 0, 0}, 0, 1, 1, {9, 0, 0}},
      {{0, 0, 0}, {20, 0, 0}, 0, 2, 1, {8, 0, 0}},     // steps of two units still reach the box
      {{0, 0, 0}, {20, 0, 0}, 3.5f, 1, 1, {6, 0, 0}},  // the wider cube meets the near box too
      {{20, 0, 0}, {0, 0, 0}, 0, 1, 1, {17, 0, 0}},
      {{0, 0, 0}, {0, 50, 0}, 0, 1, 0, {0, 0, 0}},     // no horizontal length: no samples
      {{10.5f, 0, 0}, {11.5f, 0, 0}, 0, 1, 0, {10.5f, 0, 0}},  // inside at the first sample
  };
  for (const Case& c : cases) {
    float out[3];
    EXPECT_EQ(TestLineAgainstStaticBoxes(c.start, c.end, c.radius, c.step, out), c.hit)
        << c.start[0] << " " << c.radius;
    for (int a = 0; a < 3; ++a) EXPECT_FLOAT_EQ(out[a], c.out[a]) << c.start[0] << " " << c.radius << " axis " << a;
  }
}

// The walk sample by sample from the start, for every box.
int32_t WalkEveryBox(const float start[3], const float end[3], float radius, float out[3]) {
  for (int a = 0; a < 3; ++a) out[a] = start[a];
  const float length = std::max(std::fabs(end[0] - start[0]), std::fabs(end[2] - start[2]));
  const int64_t samples = int64_t(std::trunc(length));
  if (samples < 1) return 0;
  float inc[3];
  for (int a = 0; a < 3; ++a) inc[a] = (end[a] - start[a]) / length;
  int64_t firstLeft = -1, bestLeft = -1;
  float best[3] = {};
  for (const StaticBox& b : g_staticWorld.boxes)
    for (int64_t s = 1; s <= samples; ++s) {
      bool inside = true;
      for (int a = 0; a < 3; ++a) {
        const float p = start[a] + inc[a] * float(s);
        inside = inside && p - radius <= b.max[a] && p + radius >= b.min[a];
      }
      if (!inside) continue;
      if (s == 1) firstLeft = std::max(firstLeft, samples - s);
      else if (samples - s > bestLeft) {
        bestLeft = samples - s;
        for (int a = 0; a < 3; ++a) best[a] = start[a] + inc[a] * float(s - 1);
      }
      break;
    }
  if (bestLeft < 0) return 0;
  if (firstLeft <= bestLeft)
    for (int a = 0; a < 3; ++a) out[a] = best[a];
  return 1;
}

TEST_F(StaticWorldTest, SkippingBoxesOffTheLineChangesNoResult) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> place(0, 200), size(1, 15), turn(0, 6.2832f), length(0, 60);
  for (int k = 0; k < 200; ++k) {
    const float x = place(rng), z = place(rng);
    AddStaticBox(x, 0, z, x + size(rng), size(rng), z + size(rng));
  }
  for (int k = 0; k < 3000; ++k) {
    const float a = turn(rng), l = length(rng), r = k % 3 == 0 ? 0.0f : 0.7f;
    const float start[3] = {place(rng), size(rng), place(rng)};
    const float end[3] = {start[0] + l * std::cos(a), size(rng), start[2] + l * std::sin(a)};
    float got[3], want[3];
    ASSERT_EQ(TestLineAgainstStaticBoxes(start, end, r, 1, got), WalkEveryBox(start, end, r, want)) << k;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(got[i], want[i]) << k;
  }
}

TEST_F(StaticWorldTest, OccludersHideWhatIsBehindThemAndChildrenFollowTheirParent) {
  ASSERT_EQ(Box(0, 0, 100, 100, 100, 5).Add(0, 1), 1);  // a wall, occluder
  ASSERT_EQ(Box(0, 0, 500, 5, 5, 5).Add(0), 1);         // behind the wall
  ASSERT_EQ(Box(0, 0, 50, 5, 5, 5).Add(0), 1);          // in front of it
  ASSERT_EQ(Box(0, 0, 500, 1, 1, 1).Add(0, 0, 0, 7), 1);      // inside the hidden one: its child
  ASSERT_EQ(Box(4000, 0, 500, 1, 1, 1).Add(0, 0, 0, 8), 1);   // inside nothing, off screen
  ASSERT_EQ(Box(0, 0, -500, 5, 5, 5).Add(0), 1);        // behind the camera
  const StaticTextureGroup& g = g_staticWorld.groups[0];
  EXPECT_EQ(g.objects[3]->parent, g.objects[1].get());
  EXPECT_EQ(g.objects[4]->parent, nullptr);
  Visibility();
  std::vector<int> seen;
  for (const auto& o : g.objects) seen.push_back(o->visible);
  EXPECT_EQ(seen, (std::vector<int>{1, 0, 1, 0, 0, 0}));
  g_staticWorld.occlusion = 0;
  Visibility();
  seen.clear();
  for (const auto& o : g.objects) seen.push_back(o->visible);
  EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 1, 0, 0}));
}

TEST_F(StaticWorldTest, BatchesStayBelowThreeHundredVerticesAndEmptyOnesAreNotDrawn) {
  ASSERT_EQ(Disc(200, 0, 0, 50).Add(0), 1);
  ASSERT_EQ(Disc(150, 0, 0, 50).Add(0), 1);
  ASSERT_EQ(Disc(50, 0, 0, 50).Add(0), 1);
  ASSERT_EQ(Disc(40, 0, 0, -50).Add(0), 1);  // behind the camera
  ASSERT_EQ(Disc(320, 0, 0, 50).Add(0), 1);  // on its own
  ASSERT_EQ(Disc(10, 0, 0, -50).Add(5), 1);  // a group with nothing to draw
  std::vector<std::string> log;
  Device3DPtr device = CreateRecordingDevice(CreateNullDevice(), &log);
  const float *w, *v, *p;
  View(w, v, p);
  EXPECT_EQ(RenderStaticWorld(*device, w, v, p, 3000.0f), 3u * (198 + 148 + 48 + 318));
  std::vector<std::string> draws;
  for (const std::string& line : log)
    if (line.rfind("draw", 0) == 0 || line.rfind("settexture", 0) == 0) draws.push_back(line);
  EXPECT_EQ(draws, (std::vector<std::string>{"settexture 0 0", "draw 200 594", "draw 200 588", "draw 320 954"}));
}

// The file of a world of one textureless quad and one box, field by field.
std::string ExpectedFile() {
  std::string s;
  auto u8 = [&](uint8_t b) { s.push_back(char(b)); };
  auto u32 = [&](uint32_t v) {
    for (int k = 0; k < 4; ++k) u8(uint8_t(v >> (8 * k)));
  };
  auto f32 = [&](float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  };
  u8(1), u32(0);  // group of texture 0
  u8(1), u32(4);  // one object of 4 vertices
  const float pos[4][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
  for (auto& q : pos) f32(q[0]), f32(q[1]), f32(q[2]), f32(q[0]), f32(q[1]), f32(q[2]), f32(0.5f), f32(0.5f);
  u32(6);
  for (uint16_t i : {0, 1, 2, 0, 2, 3}) u8(uint8_t(i)), u8(0);
  f32(1), f32(1), f32(0), f32(1.25f * std::sqrt(2.0f)), f32(0);  // centre, radius, vertical radius
  for (int k = 0; k < 5; ++k) u8(0);                              // visible .. full height
  for (int k = 0; k < 30; ++k) f32(0);                            // no occluder shape
  u8(0), u8(0);                                                   // end of group, of groups
  u8(1);
  for (float f : {-1.0f, -2.0f, -3.0f, 1.0f, 2.0f, 3.0f}) f32(f);
  u8(0);
  return s;
}

TEST_F(StaticWorldTest, SavedFileIsFieldByFieldAndReloadsIntoIdenticalBytes) {
  TempDir dir;
  EXPECT_EQ(SaveStaticWorldFile(dir.File("empty.dat")), 0);
  EXPECT_FALSE(FsFileExists(dir.File("empty.dat")));
  Mesh quad;
  quad.v = {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0};
  quad.Face({0, 1, 2, 3});
  ASSERT_EQ(quad.Add(0), 1);
  AddStaticBox(1, 2, 3, -1, -2, -3);
  const std::string expected = ExpectedFile();
  // A longer file of the same name loses its tail.
  dir.Write("level.dat", std::string(expected.size() + 100, 'x'));
  ASSERT_EQ(SaveStaticWorldFile(dir.File("level.dat")), 1);
  EXPECT_EQ(dir.Read("level.dat"), expected);

  ResetStaticWorld();
  ASSERT_EQ(LoadStaticWorld(dir.File("level.dat")), 1);
  EXPECT_EQ(EncodeStaticWorld(), expected);
  // Every cut of the file, and a bad marker, leave the loaded world as it is.
  for (size_t cut : {size_t(1), size_t(40), expected.size() - 30, expected.size() - 1}) {
    dir.Write("cut.dat", expected.substr(0, cut));
    EXPECT_EQ(LoadStaticWorld(dir.File("cut.dat")), 0) << cut;
  }
  std::string marker = expected;
  marker[5] = 2;
  dir.Write("marker.dat", marker);
  EXPECT_EQ(LoadStaticWorld(dir.File("marker.dat")), 0);
  std::string index = expected;
  index[4 + 5 + 4 + 128 + 4] = 9;  // the first index past the four vertices
  dir.Write("index.dat", index);
  EXPECT_EQ(LoadStaticWorld(dir.File("index.dat")), 0);
  EXPECT_EQ(LoadStaticWorld(dir.File("missing.dat")), 0);
  // The end markers alone: no group and no box, which no save writes.
  dir.Write("none.dat", std::string(2, '\0'));
  std::string why;
  EXPECT_EQ(LoadStaticWorld(dir.File("none.dat"), {}, &why), 0);
  EXPECT_EQ(why, "holds no static world");
  EXPECT_EQ(EncodeStaticWorld(), expected);
}

class StaticObjectsTest : public StaticWorldTest {
 protected:
  void SetUp() override {
    ResetSubsystems();
    CreateDisplayPools();
    AllocFrameRecord();
    AllocImageRecord();
    AllocTextureRecord();
    CreateMeshPool();
    AllocMeshData();
    InitScene3D();
    ReserveStaticWorldDefault();
    g_display.device = CreateNullDevice();
    const uint32_t image = BindImageNumber(1);
    ASSERT_TRUE(EnsureImageSurface(image, 8, 8));
    for (int n : {1, 2, 3}) ASSERT_EQ(Run({n, 10.0f}, 7043), 0);
    ASSERT_EQ(Run({1, 1}, 7035), 0);
    ASSERT_EQ(Run({2, 1}, 7035), 0);
  }
  void TearDown() override {
    ResetSubsystems();
    g_display.device.reset();
  }
  static int32_t Run(std::initializer_list<CallOperand> operands, int number) {
    CommandCall call(operands);
    return call.Run(number);
  }
  static size_t Objects() {
    size_t n = 0;
    for (const StaticTextureGroup& g : g_staticWorld.groups) n += g.objects.size();
    return n;
  }
};

TEST_F(StaticObjectsTest, ObjectsGoStaticOnceAndComeBackOnReset) {
  ASSERT_EQ(Run({1}, 7095), 0);
  ASSERT_EQ(Run({1}, 7095), 0);  // twice: one copy
  EXPECT_EQ(Objects(), 1u);
  EXPECT_FALSE(g_staticWorld.groups[0].objects[0]->vertices.empty());
  EXPECT_EQ(g_staticWorld.groups[0].objects[0]->id, int32_t(ObjectRecordOf(1)));
  const uint32_t r = ObjectRecordOf(1);
  EXPECT_EQ(g_framePool[Obj(r).frameIndex].visible, 0u);
  ASSERT_EQ(Run({1}, 7024), 0);  // show does nothing while static
  EXPECT_EQ(g_framePool[Obj(r).frameIndex].visible, 0u);
  ASSERT_EQ(Run({3}, 7096), 0);  // not static: nothing
  ASSERT_EQ(Run({1}, 7096), 0);
  EXPECT_EQ(Objects(), 0u);
  EXPECT_EQ(g_framePool[Obj(r).frameIndex].visible, 1u);

  // An untextured object adds nothing; the same texture shares a group.
  ASSERT_EQ(Run({3}, 7005), 0);
  EXPECT_EQ(Objects(), 0u);
  ASSERT_EQ(Run({1}, 7005), 0);
  ASSERT_EQ(Run({2, 5}, 7007), 0);  // mode 5: no flags
  EXPECT_EQ(g_staticWorld.groups.size(), 1u);
  EXPECT_EQ(Objects(), 2u);
  ASSERT_EQ(Run({2, 3}, 7007), 0);  // occludes only
  EXPECT_EQ(g_staticWorld.groups[0].objects[2]->shapeDropped, 1);
  EXPECT_TRUE(g_staticWorld.groups[0].objects[2]->vertices.empty());
  EXPECT_EQ(Run({9}, 7005), kErrObjectMissing);

  ASSERT_EQ(Run({2}, 7095), 0);
  ASSERT_EQ(Run({}, 7006), 0);
  EXPECT_FALSE(StaticWorldHoldsData());
  EXPECT_EQ(Obj(ObjectRecordOf(2)).inStaticWorld, 0);
  EXPECT_EQ(g_framePool[Obj(ObjectRecordOf(2)).frameIndex].visible, 1u);
  // Deleting a static object takes its copy along.
  ASSERT_EQ(Run({1}, 7095), 0);
  ASSERT_EQ(Run({1}, 7009), 0);
  EXPECT_EQ(Objects(), 0u);
}

TEST_F(StaticObjectsTest, SaveWritesOneSideImagePerGroupAndLoadTakesThem) {
  TempDir dir;
  ASSERT_EQ(Run({1}, 7005), 0);
  ASSERT_EQ(Run({2}, 7005), 0);
  ASSERT_EQ(Run({-1, -1, -1, 1, 1, 1}, 7091), 0);
  const int32_t texture = g_staticWorld.groups[0].texture;
  const std::string file = dir.File("level.dat");
  ASSERT_EQ(Run({file}, 7089), 0);
  const std::string saved = dir.Read("level.dat");
  EXPECT_TRUE(FsFileExists(file + "_" + std::to_string(texture) + ".dds"));
  ASSERT_EQ(Run({}, 7006), 0);
  ASSERT_EQ(Run({file}, 7088), 0);
  ASSERT_EQ(g_staticWorld.groups.size(), 1u);
  EXPECT_GT(g_staticWorld.groups[0].texture, 0);
  EXPECT_EQ(g_staticWorld.boxes.size(), 1u);
  // Loaded once more: the side image's texture is shared, not loaded again.
  const int32_t loaded = g_staticWorld.groups[0].texture;
  ASSERT_EQ(LoadStaticWorld(file), 1);
  EXPECT_EQ(g_staticWorld.groups[0].texture, loaded);
  EXPECT_EQ(saved.size(), EncodeStaticWorld().size());

  // From a pack: the world and its side image both come out of it.
  const std::string side = dir.Read("level.dat_" + std::to_string(texture) + ".dds");
  VirtualFiles pack;
  const std::string sideName = "world.dat_" + std::to_string(texture) + ".dds";
  const std::vector<uint8_t> bytes = BuildPack(
      {{"prog.img", {1}}, {"world.dat", {saved.begin(), saved.end()}}, {sideName, {side.begin(), side.end()}}}, 0);
  ASSERT_TRUE(pack.LoadPackFromBytes(bytes.data(), bytes.size()));
  ASSERT_EQ(Run({}, 7006), 0);
  g_packReader = &pack;
  const int32_t run = Run({"world.dat"}, 7088);
  g_packReader = nullptr;
  ASSERT_EQ(run, 0);
  ASSERT_EQ(g_staticWorld.groups.size(), 1u);
  EXPECT_GT(g_staticWorld.groups[0].texture, 0);
}

// Past a file-size limit the side image fits under and the world file does not, or with a
// folder where the world file goes: the save is reported and neither the old world file nor
// its old side image changes.
TEST_F(StaticObjectsTest, ASaveThatCannotBeWrittenIsReportedAndLeavesTheOldFiles) {
  TempDir dir;
  ASSERT_EQ(Run({1}, 7005), 0);
  const std::string sideName = "_" + std::to_string(g_staticWorld.groups[0].texture) + ".dds";
  ASSERT_EQ(Run({dir.File("probe.dat")}, 7089), 0);
  const size_t sideSize = dir.Read("probe.dat" + sideName).size(), worldSize = dir.Read("probe.dat").size();
  ASSERT_LT(sideSize, worldSize);
  dir.Write("level.dat", "old world");
  dir.Write("level.dat" + sideName, "old image");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(sideSize + worldSize) / 2, rlim_t(sideSize + worldSize) / 2};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(Run({dir.File("level.dat")}, 7089) == kErrStreamWriteFailed ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(dir.Read("level.dat"), "old world");
  EXPECT_EQ(dir.Read("level.dat" + sideName), "old image");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);  // no temporary file left
  // A folder where the world file goes: the same, naming the cause.
  std::filesystem::create_directory(dir.File("folder.dat"));
  dir.Write("folder.dat" + sideName, "old image");
  EXPECT_EQ(Run({dir.File("folder.dat")}, 7089), kErrStreamWriteFailed);
  EXPECT_EQ(dir.Read("folder.dat" + sideName), "old image");
  std::string why;
  EXPECT_EQ(SaveStaticWorldFile(dir.File("folder.dat"), &why), -1);
  EXPECT_EQ(why, "is a folder");
  // A side image that cannot be written (its link leads into a missing folder) keeps the old
  // world file too.
  std::filesystem::remove(dir.File("level.dat" + sideName));
  std::filesystem::create_symlink("missing/image.dds", dir.File("level.dat" + sideName));
  EXPECT_EQ(SaveStaticWorldFile(dir.File("level.dat"), &why), -1);
  EXPECT_EQ(why, dir.File("level.dat" + sideName) + ": its folder does not exist");
  EXPECT_EQ(dir.Read("level.dat"), "old world");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 6);  // no temporary file left
  // A read-only side image is named as the file in the way, not the world file.
  std::filesystem::remove(dir.File("level.dat" + sideName));
  dir.Write("level.dat" + sideName, "old image");
  chmod(dir.File("level.dat" + sideName).c_str(), 0444);
  EXPECT_EQ(SaveStaticWorldFile(dir.File("level.dat"), &why), -1);
  EXPECT_EQ(why, dir.File("level.dat" + sideName) + ": it is read-only");
  EXPECT_EQ(dir.Read("level.dat" + sideName), "old image");
}

// A killed save's old temporary beside the world file goes with the next save; other hidden
// files stay.
TEST_F(StaticObjectsTest, ASaveRemovesTheTemporaryOfAKilledSave) {
  TempDir dir;
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  const std::string killed = dir.File(".vk-" + std::to_string(ended) + "-abcdef-ghijkl.tmp");
  dir.Write(".vk-" + std::to_string(ended) + "-abcdef-ghijkl.tmp", "killed");
  const timeval old[2] = {{time(nullptr) - 700, 0}, {time(nullptr) - 700, 0}};
  ASSERT_EQ(utimes(killed.c_str(), old), 0);
  dir.Write(".hidden", "x");
  ASSERT_EQ(Run({1}, 7005), 0);
  ASSERT_EQ(Run({dir.File("level.dat")}, 7089), 0);
  std::vector<std::string> left;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  const std::string side = "level.dat_" + std::to_string(g_staticWorld.groups[0].texture) + ".dds";
  EXPECT_EQ(left, (std::vector<std::string>{".hidden", "level.dat", side}));
}

TEST_F(StaticObjectsTest, TheDrawHookSendsItsSwitchesThroughTheStateCache) {
  static std::vector<std::string> log;  // the device outlives the test body
  g_display.device = CreateRecordingDevice(CreateNullDevice(), &log);
  ResetRenderStateCache();  // as a new device starts
  log.clear();
  ASSERT_EQ(Run({1}, 7005), 0);
  ASSERT_EQ(Run({}, 7090), 0);
  ASSERT_EQ(Run({2}, 7098), 0);  // clamp
  const auto switches = [] {
    std::vector<std::string> states;
    for (const std::string& line : log)
      if (line.rfind("rs 8 ", 0) == 0 || line.rfind("tss 0 12 ", 0) == 0 || line.rfind("draw", 0) == 0)
        states.push_back(line.rfind("draw", 0) == 0 ? "draw" : line);
    return states;
  };
  EXPECT_GT(DrawStaticWorld(*g_display.device), 0u);
  EXPECT_EQ(switches(), (std::vector<std::string>{"rs 8 2", "tss 0 12 3", "draw"}));
  log.clear();  // the next frame: the cache already holds them
  EXPECT_GT(DrawStaticWorld(*g_display.device), 0u);
  EXPECT_EQ(switches(), (std::vector<std::string>{"draw"}));
}

// Asked to stop while a run goes on, as a stop signal asks it.
struct StopAsked {
  StopAsked() {
    EventsProgramRunning(true);
    SetStopAsked(true);
  }
  ~StopAsked() {
    SetStopAsked(false);
    EventsProgramRunning(false);
  }
};

// The holds on textures loaded from files of that name.
int32_t Held(const std::string& name) {
  int32_t n = 0;
  for (const TextureNode& node : g_textures.list)
    if (node.name.find(name) != std::string::npos) n += node.references;
  return n;
}

// Groups of one number share their side image: a found one is one texture held once a group,
// a missing one leaves each group of its number untextured. A stop gives a long read or
// load up.
TEST_F(StaticObjectsTest, ALoadTakesEachSideImageOnceAndGivesUpOnAStop) {
  TempDir dir;
  ASSERT_EQ(Run({1}, 7005), 0);
  const int32_t saved = g_staticWorld.groups[0].texture;
  ASSERT_EQ(Run({dir.File("one.dat")}, 7089), 0);
  const std::string side = "_" + std::to_string(saved) + ".dds";
  dir.Write("many.dat" + side, dir.Read("one.dat" + side));
  const auto world = [&](std::initializer_list<int32_t> numbers, int repeat) {
    std::string bytes;
    for (int k = 0; k < repeat; ++k)
      for (int32_t n : numbers) bytes += '\1' + std::string(reinterpret_cast<const char*>(&n), 4) + '\0';
    return bytes + std::string(2, '\0');
  };
  dir.Write("many.dat", world({saved, 99}, 3));
  ASSERT_EQ(Run({dir.File("many.dat")}, 7088), 0);
  ASSERT_EQ(g_staticWorld.groups.size(), 6u);
  const int32_t texture = g_staticWorld.groups[0].texture;
  ASSERT_GT(texture, 0);
  for (size_t g = 0; g < 6; ++g) EXPECT_EQ(g_staticWorld.groups[g].texture, g % 2 == 0 ? texture : 0) << g;
  ASSERT_EQ(Run({}, 7006), 0);
  EXPECT_EQ(Held("many.dat"), 0);  // each group let go of its hold

  std::vector<StaticTextureGroup> groups(10000);
  for (size_t g = 0; g < groups.size(); ++g) groups[g].texture = g % 2 == 0 ? saved : 99;
  // The missing image is asked for once, the found one by each group (a look-up in the list).
  std::vector<StaticTextureGroup> taken(groups.size());
  for (size_t g = 0; g < groups.size(); ++g) taken[g].texture = groups[g].texture;
  const uint64_t lookups = g_staticWorld.sideImageLookups;
  ASSERT_TRUE(TakeSideImages(&taken, dir.File("many.dat")));
  EXPECT_EQ(g_staticWorld.sideImageLookups - lookups, groups.size() / 2 + 1);
  for (const StaticTextureGroup& g : taken) ReleaseTexture(g.texture, false);
  // 70,000 records in a file of many groups, of one group, or of boxes alone: each is read
  // under the stop's watch.
  const std::string object = '\1' + std::string(4 + 4 + 145, '\0');  // no vertices, no indices
  std::string oneGroup = '\1' + std::string(reinterpret_cast<const char*>(&saved), 4), boxesOnly(1, '\0');
  for (int k = 0; k < 70000; ++k) oneGroup += object, boxesOnly += '\1' + std::string(24, '\0');
  oneGroup += std::string(3, '\0');
  boxesOnly += '\0';
  std::vector<StaticTextureGroup> decoded;
  std::vector<StaticBox> boxes;
  {
    const StopAsked stop;
    EXPECT_FALSE(TakeSideImages(&groups, dir.File("many.dat")));
    for (const std::string& file : {world({saved}, 70000), oneGroup, boxesOnly})
      EXPECT_FALSE(DecodeStaticWorld(file, &decoded, &boxes)) << file.size();
  }
  for (const std::string& file : {world({saved}, 70000), oneGroup, boxesOnly})
    EXPECT_TRUE(DecodeStaticWorld(file, &decoded, &boxes)) << file.size();
  EXPECT_EQ(Held("many.dat"), 0);  // the groups given up let go too
}

// A limb whose meshes have two textures gives a static object per texture, each made of the
// meshes of its texture alone.
TEST_F(StaticObjectsTest, ALimbOfTwoTexturesGivesAStaticObjectForEach) {
  TempDir dir;
  // A triangle, or a square (one more vertex: the meshes after it start further on).
  const auto mesh = [](const char* name, int x, const char* colour, bool square) {
    const std::string a = std::to_string(x), b = std::to_string(x + 1);
    const std::string corners = a + ";0;0;, " + b + ";0;0;, " + (square ? b + ";1;0;, " : "") + a + ";1;0;;";
    return std::string("Mesh ") + name + " { " + (square ? "4; " : "3; ") + corners +
           (square ? " 1; 4;0,1,2,3;;" : " 1; 3;0,1,2;;") + "\n  MeshMaterialList { 1; 1; 0;; Material { " +
           colour + ";1;; 1.0; 0;0;0;; 0;0;0;; } } }\n";
  };
  dir.Write("two.x", "xof 0302txt 0032\nFrame A {\n" + mesh("a", 0, "1;0;0", false) + mesh("b", 10, "0;1;0", true) +
                         mesh("c", 20, "1;0;0", false) + "}\n");
  ASSERT_EQ(Run({dir.File("two.x"), 4}, 7000), 0);
  ASSERT_EQ(Run({4}, 7005), 0);
  const auto xs = [](const StaticTextureGroup& g) {
    std::vector<float> x;
    for (const auto& o : g.objects)
      for (const Vertex& v : o->vertices) x.push_back(v.x);
    std::sort(x.begin(), x.end());
    x.erase(std::unique(x.begin(), x.end()), x.end());
    return x;
  };
  ASSERT_EQ(g_staticWorld.groups.size(), 2u);
  EXPECT_EQ(Objects(), 2u);
  EXPECT_EQ(xs(g_staticWorld.groups[0]), (std::vector<float>{0, 1, 20, 21}));  // red: meshes a and c
  EXPECT_EQ(xs(g_staticWorld.groups[1]), (std::vector<float>{10, 11}));        // green: mesh b
}

// A model of many limbs is made static in work that grows with its limbs, not their square:
// each limb's meshes of one texture become one static object with the geometry a mesh made of
// them has. A stop ends it part way.
TEST_F(StaticObjectsTest, ManyLimbsGoStaticInLinearWorkAndStopWhenAsked) {
  constexpr int32_t kLimbs = 300;
  g_model.meshNumbers[1] = AllocMeshData();
  BuildBoxMesh(g_model.meshNumbers[1], 2, 2, 2);
  for (int32_t l = 1; l <= kLimbs; ++l) {
    ASSERT_EQ(Run({3, l, 1}, 7011), 0);
    ASSERT_EQ(Run({3, l, 0.0f, 1.0f, 0.0f}, 7013), 0);
    if (l > 1) {
      ASSERT_EQ(Run({3, l, l - 1}, 7016), 0);
    }
  }
  ASSERT_EQ(Run({3, 1}, 7035), 0);
  for (int32_t l = 1; l <= kLimbs; l += 2) ASSERT_EQ(Run({3, l, int(0xFF0000)}, 7018), 0);
  const uint64_t before = g_model.nodesVisited;
  ASSERT_EQ(Run({3}, 7005), 0);
  EXPECT_LE(g_model.nodesVisited - before, uint64_t(20 * kLimbs));
  ASSERT_EQ(Objects(), size_t(kLimbs + 1));
  // The red group holds the odd limbs in order: limb 151 is its 76th object.
  const StaticTextureGroup& red = g_staticWorld.groups[1];
  ASSERT_EQ(red.objects.size(), size_t(kLimbs / 2));
  const int32_t m = MakeMeshFromObject(ObjectRecordOf(3), 151, red.texture);
  ASSERT_GE(m, 0);
  const MeshData& alone = *MeshDataAt(uint32_t(m));
  const StaticObject& limb = *red.objects[75];
  ASSERT_EQ(limb.vertices.size(), size_t(alone.vertexCount));
  for (size_t k = 0; k < limb.vertices.size(); ++k)
    EXPECT_EQ(limb.vertices[k].y, alone.vertices[3 * k + 1]) << k;
  FreeMeshData(uint32_t(m));

  ASSERT_EQ(Run({}, 7006), 0);
  {
    const StopAsked stop;
    ASSERT_EQ(Run({3}, 7005), 0);
  }
  EXPECT_LT(Objects(), size_t(kLimbs + 1));
}

}  // namespace
