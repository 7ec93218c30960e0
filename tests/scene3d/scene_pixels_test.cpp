// 3D programs drawn through GL headless and probed on the grabbed frame: lights shade a sphere
// on their side, fog deepens with depth, the ghost, last and no-depth passes, and where the
// camera queries and the screen projection say an object is, it is drawn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "scene3d/camera.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "tests/support/program_run.h"

namespace {

// Each channel within tolerance.
bool Near(uint32_t pixel, uint32_t rgb, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((pixel >> shift) & 255) - int((rgb >> shift) & 255)) > tolerance) return false;
  return true;
}

// A black backdrop and no pointer; the camera as the scene starts unless a program moves it.
constexpr const char* kStage =
    "sync on\nautocam off\nhide mouse\nbackdrop on\ncolor backdrop 0\n";

RunOutcome RunScene(const std::string& body, const VkaOptions& options = {}) {
  return RunVkaSource(std::string(kStage) + body + "sync\nsync\n", options);
}

// A white sphere of radius 50 at the origin seen from 200 in front, no ambient light: the side
// a light reaches is bright, the other black. The sphere covers x 220..420 on screen.
TEST(ScenePixels, EachLightKindShadesTheSphereOnItsSide) {
  const struct {
    const char* name;
    const char* lights;
    std::pair<int, int> lit, dark;
  } kCases[] = {
      {"directional toward +x", "set directional light 0, 1, 0, 0\n", {240, 240}, {400, 240}},
      {"point to the right", "hide light 0\nmake light 1\nset point light 1, 150, 0, -50\n", {390, 240}, {240, 240}},
      {"spot on the centre",
       "hide light 0\nmake light 1\nset spot light 1, 5, 10\nposition light 1, 0, 0, -150\npoint light 1, 0, 0, 0\n",
       {320, 240},
       {320, 170}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const RunOutcome r = RunScene(std::string("set ambient light 0\nmake object sphere 1, 100\n"
                                              "position camera 0, 0, -200\npoint camera 0, 0, 0\n") +
                                  c.lights);
    ASSERT_EQ(r.status, 0) << r.err;
    const uint32_t lit = r.Pixel(c.lit.first, c.lit.second), dark = r.Pixel(c.dark.first, c.dark.second);
    EXPECT_GT(lit & 0xFF, 0x80u) << std::hex << lit;
    EXPECT_TRUE(Near(dark, 0, 0x10)) << std::hex << dark;
  }
}

// Fog from the camera to 1000 in red: a tenth at depth 100, half at 500, all of it past 1000.
TEST(ScenePixels, FogDeepensWithDepth) {
  const RunOutcome r = RunScene(
      "set ambient light 100\nhide light 0\nfog on\nfog color rgb(255, 0, 0)\nfog distance 1000\n"
      "make object box 1, 20, 20, 2\nposition object 1, -40, 0, 100\n"
      "make object box 2, 100, 100, 10\nposition object 2, 0, 0, 500\n"
      "make object box 3, 300, 300, 10\nposition object 3, 200, 0, 1200\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const struct {
    int x;
    uint32_t rgb;
  } kProbes[] = {{160, 0xFFE6E6}, {320, 0xFF8080}, {420, 0xFF0000}, {600, 0x000000}};
  for (const auto& p : kProbes) EXPECT_TRUE(Near(r.Pixel(p.x, 240), p.rgb, 4)) << p.x << ": " << std::hex << r.Pixel(p.x, 240);
}

// A red wall; a green ghost in front of part of it adds to what is behind; a blue last-pass box
// behind the wall shows over it; a yellow box without depth keeps to the default view when the
// camera steps back.
TEST(ScenePixels, GhostLastPassAndNoDepthObjects) {
  const RunOutcome r = RunScene(
      "set ambient light 100\nhide light 0\n"
      "make object box 1, 200, 200, 10\ncolor object 1, rgb(255, 0, 0)\nposition object 1, 0, 0, 400\n"
      "make object box 2, 100, 100, 10\ncolor object 2, rgb(0, 255, 0)\nposition object 2, -100, 0, 300\n"
      "ghost object on 2\n"
      "make object box 3, 60, 60, 10\ncolor object 3, rgb(0, 0, 255)\nposition object 3, 100, 0, 600\n"
      "object last pass on 3\n"
      "make object box 4, 20, 20, 2\ncolor object 4, rgb(255, 255, 0)\nposition object 4, 0, -40, 100\n"
      "disable object zdepth 4\n"
      "position camera 0, 0, -100\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const struct {
    const char* what;
    int x, y;
    uint32_t rgb;
  } kProbes[] = {
      {"ghost over the backdrop", 200, 240, 0x00FF00}, {"ghost over the wall", 255, 240, 0xFFFF00},
      {"the wall", 320, 300, 0xFF0000},                {"last pass behind the wall", 377, 240, 0x0000FF},
      {"no depth, default view", 320, 400, 0xFFFF00},  {"the backdrop", 600, 400, 0x000000},
  };
  for (const auto& p : kProbes) EXPECT_TRUE(Near(r.Pixel(p.x, p.y), p.rgb, 4)) << p.what << ": " << std::hex << r.Pixel(p.x, p.y);
}

// Scale and rotation combine as drawn: the vertex is scaled, then turned, then placed, in the
// limb and again in the object above it. Each case stands a 20-unit cube 80 units tall (its
// stretch turned upright) and 20 wide; either order swapped lays it down.
TEST(ScenePixels, ScaleAndRotationOfObjectsAndLimbsCombineInTheDrawnOrder) {
  const struct {
    const char* name;
    const char* program;
  } kCases[] = {
      {"object scaled along x, turned about z",
       "make object cube 1, 20\nscale object 1, 400, 100, 100\nrotate object 1, 0, 0, 90\n"},
      {"limb scaled along x, turned about z",
       "make object cube 2, 20\nmake mesh from object 1, 2\ndelete object 2\nmake object cube 1, 0.01\n"
       "add limb 1, 1, 1\nscale limb 1, 1, 400, 100, 100\nrotate limb 1, 1, 0, 0, 90\n"},
      {"limb scaled along x in an object turned about z",
       "make object cube 2, 20\nmake mesh from object 1, 2\ndelete object 2\nmake object cube 1, 0.01\n"
       "add limb 1, 1, 1\nscale limb 1, 1, 400, 100, 100\nrotate object 1, 0, 0, 90\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const RunOutcome r = RunScene(std::string("set ambient light 100\nhide light 0\n") + c.program +
                                  "position camera 0, 0, -200\npoint camera 0, 0, 0\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(r.Pixel(320, 180) & 0xFF, 0x80u) << std::hex << r.Pixel(320, 180);  // 30 units up
    EXPECT_TRUE(Near(r.Pixel(380, 240), 0, 0x10)) << std::hex << r.Pixel(380, 240);  // 30 units right
  }
}

// The follow camera 200 behind a point to its left turns two thirds of the way toward it: the
// printed queries say so, and the object shows 30 degrees right of the view's centre, where the
// screen projection puts it.
TEST(ScenePixels, CameraQueriesAndTheProjectionAgreeWithThePixels) {
  int32_t inView = 0, sx = -1, sy = -1;
  VkaOptions options;
  options.afterRun = [&] {
    const uint32_t record = ObjectRecordOf(1);
    if (record) ProjectFrameToScreen(g_objectPool[record].frameIndex, &inView, &sx, &sy);
  };
  const RunOutcome r = RunScene(
      "set ambient light 100\nmake object cube 1, 20\ncolor object 1, rgb(0, 255, 0)\n"
      "position object 1, 50, 0, 300\nset camera to follow 50, 0, 300, 90, 200, 0, 1, 0\nsync\n"
      "print camera position x(); \" \"; camera position y(); \" \"; camera position z(); \" \"; camera angle y()\n",
      options);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "-150 0 300 60\n");
  EXPECT_EQ(inView, 1);
  EXPECT_NEAR(sx, 320 + 400 * 100 / 173.2, 2);  // camera space (100, 0, 173.2), 400 pixels a unit at depth 1
  EXPECT_EQ(sy, 240);
  EXPECT_GT(r.Pixel(sx, sy) & 0xFF00, 0x8000u) << std::hex << r.Pixel(sx, sy);
  EXPECT_TRUE(Near(r.Pixel(320, 240), 0, 0));
}

// The example: the followed ball in the middle of the view, the sky backdrop above the fogged
// ground.
TEST(ScenePixels, TheSceneExampleShowsTheBallUnderTheSky) {
  const RunOutcome r = RunVka(std::string(VK_SOURCE_DIR) + "/examples/scene.vka", 100);
  ASSERT_EQ(r.status, 0) << r.err;
  const uint32_t ball = r.Pixel(320, 255), sky = r.Pixel(600, 100);
  EXPECT_GT((ball >> 16) & 255, (ball & 255) + 0x30) << std::hex << ball;
  EXPECT_GT((ball >> 8) & 255, ball & 255) << std::hex << ball;
  EXPECT_GT(sky & 255, (sky >> 16) & 255) << std::hex << sky;
}

}  // namespace
