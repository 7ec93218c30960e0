// Fog, ambient light and the backdrop, as the device sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/run_timing.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "scene3d/lighting.h"
#include "scene3d/record_pools.h"
#include "scene3d/render_states.h"
#include "scene3d/scene_state.h"
#include "scene3d/scene.h"
#include "tests/support/program_run.h"

namespace {

class BackdropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_display = DisplayState{};
    g_display.caps.fogVertex = true;
    g_display.device = CreateRecordingDevice(CreateNullDevice(), &log);
    InitRenderStates();  // materials 1 to 3
    g_timing = RunTiming{};
    g_scene = SceneState{};  // the render's state cache as a run starts
    ResetTextureBank();
    CreateDisplayPools();
    AllocImageRecord();
    AllocTextureRecord();
    CreateMeshPool();
    AllocMeshData();
    CreateScenePools();
    AllocObjectRecord();
    ResetLightingState();
    log.clear();
  }
  void TearDown() override {
    FreeScenePools();
    FreeMeshPool();
    FreeDisplayPools();
    ResetTextureBank();
    ResetLightingState();
    g_display = DisplayState{};
    ClearRunErrors();
  }
  int32_t Run(int number, std::initializer_list<CallOperand> operands = {}) {
    CommandCall call(operands);
    return call.Run(number);
  }
  // Position of the first log line that starts with the text; -1 none.
  long Find(const std::string& start, size_t from = 0) {
    for (size_t k = from; k < log.size(); ++k)
      if (log[k].rfind(start, 0) == 0) return long(k);
    return -1;
  }
  std::vector<std::string> log;
};

TEST_F(BackdropTest, ShownFromTheNextFrameWithTheDefaultViewThenTheCameraBack) {
  const float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 50, 1};
  g_display.device->SetTransform(kTransformView, view);
  EXPECT_EQ(Run(7921), 0);
  EXPECT_EQ(g_timing.autoBackdrop, 0);
  log.clear();
  DrawBackdrop();
  EXPECT_EQ(Find("draw buffer"), -1);  // not in the frame it was switched on
  DrawBackdrop();
  const long fixedView = Find("transform 2 1 1 1 1"), draw = Find("draw buffer");
  const long ambient = Find("material 0,0,0 1,1,1"), restored = Find("transform 2", size_t(draw));
  ASSERT_GE(fixedView, 0);
  EXPECT_GT(ambient, fixedView);
  EXPECT_GT(draw, ambient);
  EXPECT_GT(Find("rs 7 0"), fixedView);  // no depth test
  EXPECT_GT(restored, draw);
  EXPECT_EQ(g_display.device->State().transforms[kTransformView - 1][14], 50.0f);
  EXPECT_TRUE(g_scene.render.sceneBegun);

  EXPECT_EQ(Run(7922), 0);
  log.clear();
  DrawBackdrop();
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(g_scene.render.sceneBegun);
}

TEST_F(BackdropTest, TextureCommandsWaitForTheBackdropAndReleaseWhatItShowed) {
  EXPECT_EQ(Run(7923, {70000}), 0);  // no backdrop yet: nothing, not even an error
  EXPECT_EQ(Run(7924, {255}), 0);
  EXPECT_EQ(g_lighting.backdrop.object, 0u);
  ASSERT_EQ(Run(7921), 0);
  const int32_t automatic = g_lighting.backdrop.texture;
  ASSERT_GT(automatic, 0);
  EXPECT_EQ(g_lighting.backdrop.colourTexture, 1);
  EXPECT_EQ(Run(7923, {70000}), 501);
  EXPECT_EQ(Run(7923, {5}), 502);
  ASSERT_EQ(Run(7924, {0xFF0000}), 0);
  EXPECT_EQ(TextureAt(uint32_t(automatic)), nullptr);  // the colour 128 texture went
  const int32_t red = g_lighting.backdrop.texture;
  ASSERT_EQ(Run(7924, {0xFF0000}), 0);  // the same colour again keeps it
  EXPECT_NE(TextureAt(uint32_t(red)), nullptr);
  EXPECT_EQ(g_lighting.backdrop.texture, red);
}

TEST_F(BackdropTest, ScrollMovesEveryTileByHundredths) {
  ASSERT_EQ(Run(7921), 0);
  ASSERT_EQ(Run(7925, {50, 0}), 0);
  const MeshData* m = MeshDataAt(g_lighting.backdrop.mesh);
  ASSERT_NE(m, nullptr);
  float lo = 9, hi = -9;
  for (uint32_t k = 0; k < m->vertexCount; ++k) {
    lo = std::min(lo, m->texCoords[2 * k]);
    hi = std::max(hi, m->texCoords[2 * k]);
  }
  EXPECT_FLOAT_EQ(lo, 0.5f);
  EXPECT_FLOAT_EQ(hi, 1.5f);
}

TEST_F(BackdropTest, FogAndAmbientLight) {
  uint32_t end1000;
  const float f = 1000.0f;
  std::memcpy(&end1000, &f, sizeof end1000);
  ASSERT_EQ(Run(7904, {0x808080}), 0);
  log.clear();
  ASSERT_EQ(Run(7901), 0);
  const std::vector<std::string> fogOn = {"rs 140 3", "rs 37 " + std::to_string(end1000), "rs 28 1",
                                          "rs 34 8421504"};
  EXPECT_EQ(log, fogOn);
  EXPECT_EQ(g_scene.render.switches.fogOn, 1);
  ASSERT_EQ(Run(7902), 0);
  EXPECT_EQ(g_scene.render.switches.fogOn, 0);

  const struct {
    int32_t percent;
    const char* material;
  } kAmbient[] = {{100, "material 0,0,0 1,1,1"},
                  {0, "material 1,1,1 0,0,0"},
                  {25, "material 0.75,0.75,0.75 0.25,0.25,0.25"}};
  for (const auto& c : kAmbient) {
    log.clear();
    ASSERT_EQ(Run(7911, {c.percent}), 0);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], c.material);
  }
  EXPECT_EQ(Run(7911, {101}), 7911);
  EXPECT_EQ(Run(7912, {-1}), 110);
  EXPECT_EQ(Run(7912, {0x102030}), 0);
  EXPECT_EQ(g_display.ambientColour, 0x102030u);

  g_display.caps.fogVertex = false;
  EXPECT_EQ(Run(7901), 7901);
  EXPECT_EQ(Run(7903, {10}), 7901);
}

}  // namespace

namespace {

bool Near(uint32_t pixel, uint32_t rgb) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((pixel >> shift) & 255) - int((rgb >> shift) & 255)) > 8) return false;
  return true;
}

// Drawn through GL: the backdrop fills the screen, lit by the ambient colour alone.
TEST(BackdropPrograms, TheBackdropFillsTheScreenInItsColourUnderTheAmbientLight) {
  const struct {
    const char* setup;
    uint32_t centre;
  } kCases[] = {
      {"backdrop on", 0x000080},  // the automatic colour
      {"backdrop on : color backdrop rgb(255,255,255) : color ambient light rgb(0,255,0)", 0x00FF00},
      {"backdrop on : backdrop off", 0x000000},
  };
  for (const auto& c : kCases) {
    const std::string source = std::string(c.setup) + "\nsync on\ndo\nsync\nloop\n";
    RunOutcome r = RunVkaSource(source, 5);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Near(r.Pixel(160, 120), c.centre)) << c.setup << ": " << std::hex << r.Pixel(160, 120);
    EXPECT_TRUE(Near(r.Pixel(1, 1), c.centre)) << c.setup;
    EXPECT_TRUE(Near(r.Pixel(638, 478), c.centre)) << c.setup;
  }
}

}  // namespace
