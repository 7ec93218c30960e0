// The per-frame render seen through a recording device: pass order, the depth clear of the
// last pass, the default view around no-depth objects, the render-state cache; and a drawn box
// on the back buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "model/mesh_node.h"
#include "model/model_handle.h"
#include "scene3d/scene_render.h"
#include "tests/scene3d/scene_fixture.h"

namespace {

class SceneRenderTest : public SceneTest {
 protected:
  void TearDown() override {
    inner.reset();
    SceneTest::TearDown();
  }
  // Records what the device is told from now on.
  void Record() {
    log.clear();
    if (!inner) inner = g_display.device;
    g_display.device = CreateRecordingDevice(inner, &log);
  }
  // Index of the first line starting with the text at or after from; -1 when none.
  int Find(const std::string& text, int from = 0) const {
    for (size_t i = size_t(from); i < log.size(); ++i)
      if (log[i].rfind(text, 0) == 0) return int(i);
    return -1;
  }
  int Count(const std::string& text) const {
    return int(std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(text, 0) == 0; }));
  }
  std::vector<std::string> log;
  Device3DPtr inner;  // the device the recording wraps
};

TEST_F(SceneRenderTest, AMadeBoxIsDrawnInFrontOfTheAutomaticCamera) {
  ASSERT_EQ(Call(7041, {1, 100.0f, 100.0f, 100.0f}), 0);
  RenderScene3D();
  PrepareBackBuffer2D();
  EXPECT_NE(Px(320, 240) & 0xFFFFFF, 0u);
  EXPECT_EQ(Px(5, 5) & 0xFFFFFF, 0u);
}

// A glued object is placed on the object it is glued to (hidden here), after it is drawn the
// world transform is back.
TEST_F(SceneRenderTest, AGluedObjectIsDrawnWhereItsParentPlacesIt) {
  ASSERT_EQ(Call(7085, {}), 0);
  MakeBox(1, 10, 60, 0, 300);
  MakeBox(2, 40, 0, 0, 300);
  Frame(1).visible = 0;
  g_objectPool[RecordOf(2)].gluedTo = int32_t(RecordOf(1));
  RenderScene3D();
  PrepareBackBuffer2D();
  EXPECT_NE(Px(360, 240) & 0xFFFFFF, 0u);
  EXPECT_EQ(Px(320, 240) & 0xFFFFFF, 0u);
  EXPECT_EQ(g_display.device->State().transforms[kTransformWorld - 1][12], 0.0f);
}

TEST_F(SceneRenderTest, WithoutA3DFrameNothingIsSentAndGlNeverStarts) {
  Record();
  RunScene3DStep();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(g_display.device->Kind(), DeviceKind::kNull);
}

// Made in the reverse of their pass order: no-depth, last pass, ghost, solid.
TEST_F(SceneRenderTest, PassesRunInOrderWithOneDepthClearAndTheDefaultViewAroundNoDepthObjects) {
  ASSERT_EQ(Call(7085, {}), 0);
  ASSERT_EQ(Call(7051, {0.0f, 50.0f, -400.0f}), 0);  // a view that is not the default one
  for (int n = 1; n <= 5; ++n) MakeBox(n, 10, float(n * 20 - 60), 0, 0);
  Frame(1).noDepth = 1;
  Frame(2).lastPass = 1;
  Frame(3).lastPass = 1;
  Frame(4).blend = 1;
  Record();
  RenderScene3D();
  std::vector<int> draws;
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i].rfind("draw buffer", 0) == 0) draws.push_back(int(i));
  ASSERT_EQ(draws.size(), 5u);
  const int blendOn = Find("rs 27 1"), clear = Find("clear 2 "), defaultView = Find("transform 2 1 1 1 1");
  EXPECT_LT(draws[0], blendOn);  // solid (5)
  EXPECT_LT(blendOn, draws[1]);  // ghost (4)
  EXPECT_LT(draws[1], clear);
  EXPECT_LT(clear, draws[2]);  // last pass (3, 2)
  EXPECT_LT(draws[3], defaultView);
  EXPECT_LT(defaultView, draws[4]);  // no depth (1)
  EXPECT_LT(Find("rs 7 0"), draws[4]);
  EXPECT_EQ(Count("clear "), 1);
  EXPECT_EQ(Count("transform 2 "), 2);
  EXPECT_EQ(std::memcmp(g_display.device->State().transforms[kTransformView - 1], g_scene.camera.view,
                        sizeof g_scene.camera.view),
            0);
  // Without a last-pass object drawn, no clear; a hidden one does not count.
  Frame(2).visible = Frame(3).visible = 0;
  Record();
  RenderScene3D();
  EXPECT_EQ(Count("clear "), 0);
}

TEST_F(SceneRenderTest, TheCacheSendsOnlyChangesAndStartsAgainWithTheScene) {
  MakeBox(1, 10, -20, 0, 0);
  MakeBox(2, 10, 20, 0, 0);
  Frame(1).wireframe = Frame(2).wireframe = 1;
  Frame(1).cull = Frame(2).cull = 0;
  Record();
  RenderScene3D();
  EXPECT_EQ(Count("rs 8 2"), 1);
  EXPECT_EQ(Count("rs 22 1"), 1);
  const std::vector<std::string> first = log;
  Record();
  RenderScene3D();
  EXPECT_EQ(Count("rs "), 0);
  // A new run on the same device: the display start seeds the device, the scene the cache.
  g_display.device->Reset();
  InitRenderStates();
  ResetSceneDefaults();
  Record();
  RenderScene3D();
  auto states = [](const std::vector<std::string>& l) {
    std::vector<std::string> out;
    for (const std::string& s : l)
      if (s.rfind("rs ", 0) == 0 || s.rfind("tss ", 0) == 0 || s.rfind("material", 0) == 0) out.push_back(s);
    return out;
  };
  EXPECT_EQ(states(log), states(first));
}

TEST_F(SceneRenderTest, FrameFlagsBecomeDeviceStates) {
  MakeBox(1, 10, 0, 0, 0);
  struct Case {
    void (*set)(FrameRecord&);
    std::vector<std::string> sent;
  } cases[] = {
      {[](FrameRecord& f) { f.colourKeyed = 1; }, {"rs 27 0", "rs 41 1"}},  // keying alone: no blending
      {[](FrameRecord& f) { f.blend = 1; }, {"rs 14 0", "rs 27 1", "rs 41 0"}},
      {[](FrameRecord& f) { f.filter = 0; }, {"tss 0 17 1", "tss 0 16 1"}},
      {[](FrameRecord& f) { f.altMaterial = 1; }, {"material 0,0,0 1,1,1"}},
      {[](FrameRecord& f) { f.defaultMaterial = 0; }, {"material 1,1,1 0,0,0"}},
      {[](FrameRecord& f) { f.addressMode = 3; }, {"tss 0 12 3"}},
      {[](FrameRecord& f) { f.noDepth = 1; }, {"rs 7 0", "rs 14 0"}},
  };
  for (const Case& c : cases) {
    FrameRecord saved = Frame(1);
    c.set(Frame(1));
    Record();
    RenderScene3D();
    for (const std::string& s : c.sent) EXPECT_GE(Find(s), 0) << s;
    Frame(1) = saved;
    RenderScene3D();  // back to the defaults
  }
}

TEST_F(SceneRenderTest, SidePlanesCullOnlyFromDepth100AndGluedObjectsNever) {
  ASSERT_EQ(Call(7085, {}), 0);
  struct Case {
    float x, z;
    int gluedTo;
    bool culled;
  } cases[] = {
      {0, 500, 0, false},   {5000, 500, 0, true}, {200, 50, 0, false},
      {0, -500, 0, true},   {0, 4000, 0, true},   {5000, 500, 1, false},
  };
  MakeBox(1, 10, 0, 0, 500);
  for (const Case& c : cases) {
    MakeBox(2, 10, c.x, 0, c.z);
    g_objectPool[RecordOf(2)].gluedTo = c.gluedTo;
    RenderScene3D();
    ASSERT_EQ(g_scene.render.frames.size(), 2u);
    EXPECT_EQ(g_scene.render.frames[1].culled, c.culled) << c.x << "," << c.z;
    ASSERT_EQ(Call(7009, {2}), 0);
  }
}

// Textures go in ascending order of the mean depth of the objects that use them.
TEST_F(SceneRenderTest, TexturesAreSortedByTheMeanDepthOfTheirObjects) {
  ASSERT_EQ(Call(7085, {}), 0);
  const struct {
    float z;
    int32_t texture;
  } boxes[] = {{100, 6}, {400, 5}, {900, 6}};
  int n = 1;
  for (const auto& b : boxes) {
    MakeBox(n, 10, 0, 0, b.z);
    auto* mesh = g_objectPool[RecordOf(n)].model->root->firstChild;
    static_cast<MeshNode*>(mesh)->textureNumber = b.texture;
    ++n;
  }
  RenderScene3D();
  ASSERT_EQ(g_scene.render.textures.size(), 2u);
  EXPECT_EQ(g_scene.render.textures[0].texture, 5);
  EXPECT_EQ(g_scene.render.textures[1].texture, 6);
}

}  // namespace
