// What the 3D device draws, read back from a 64x64 offscreen target: lighting with the default
// material, point-light range, spot cones, culling, linear fog, the blend pairs, wireframe,
// colour keys, texture and mip filters; and the state sequence the same frame leaves in the
// recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/device3d.h"
#include "platform/math3d.h"
#include "tests/support/gl_required.h"

namespace {

constexpr int kSize = 64;
constexpr float kPi = 3.14159265f;

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// A grid of n x n cells at depth z spanning +-half, facing the viewer, each cell two triangles
// clockwise on the screen.
struct Grid {
  std::vector<Vertex> v;
  std::vector<uint32_t> idx;
  Grid(float z, float half, int n, float x0 = 0) {
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i)
        v.push_back({x0 - half + 2 * half * float(i) / float(n), half - 2 * half * float(j) / float(n), z, 0, 0, -1,
                     float(i) / float(n), float(j) / float(n)});
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        uint32_t a = uint32_t(j * (n + 1) + i), b = a + 1, c = b + uint32_t(n) + 1, d = a + uint32_t(n) + 1;
        idx.insert(idx.end(), {a, b, c, a, c, d});
      }
  }
  void Reverse() {
    for (size_t t = 0; t < idx.size(); t += 3) std::swap(idx[t + 1], idx[t + 2]);
  }
};

class DevicePixels : public testing::Test {
 protected:
  void SetUp() override {
    d_ = CreateRecordingDevice(CreateGlDevice(kSize, kSize), &log_);
    if (d_->Kind() != DeviceKind::kGl) return;
    // A camera at the origin looking along +z with a quarter-turn field of view: at depth z
    // the screen spans x and y of +-z.
    d_->SetViewport(0, 0, kSize, kSize, 0, 1);
    float p[16];
    BuildProjectionMatrix(p, kPi / 2, 1, 1, 100);
    d_->SetTransform(kTransformProjection, p);
    Material m;  // the default material of ambient level 0.5
    for (int i = 0; i < 3; ++i) m.diffuse[i] = m.ambient[i] = 0.5f;
    d_->SetMaterial(m);
    d_->SetRenderState(kRsAmbient, 0x404040);
    log_.clear();
  }
  bool HaveGl() const { return d_->Kind() == DeviceKind::kGl; }
  void Clear(uint32_t colour = 0) { d_->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, kSize, kSize}, colour, 1, 0); }
  void Draw(const Grid& g) {
    EXPECT_TRUE(d_->DrawIndexed(g.v.data(), uint32_t(g.v.size()), g.idx.data(), uint32_t(g.idx.size())));
  }
  // The pixel whose centre sees world (x, y) at depth z.
  uint32_t At(float x, float y, float z) {
    int px = int(std::floor((x / z + 1) * kSize / 2)), py = int(std::floor((1 - y / z) * kSize / 2));
    return Read()->GetPixel(px, py) & 0xFFFFFF;
  }
  Surface* Read() {
    if (!pixels_) pixels_ = SurfaceCreate(kSize, kSize, 32);
    d_->ReadBackInto(pixels_.get());
    return pixels_.get();
  }
  static int Red(uint32_t c) { return int(c >> 16); }
  static int Green(uint32_t c) { return int((c >> 8) & 255); }
  static int Blue(uint32_t c) { return int(c & 255); }

  std::vector<std::string> log_;
  Device3DPtr d_;
  SurfacePtr pixels_;
};

// Global ambient 0x40 on the material's ambient half, plus the diffuse half times N.L.
int Lit(float nDotL) { return int(std::lround((0.5f * 64 / 255 + 0.5f * nDotL) * 255)); }

TEST_F(DevicePixels, LightZeroOnTheDefaultMaterial) {
  VK_NEED_GL(HaveGl());
  Light l;  // directional, white: N.L = 0.5
  l.direction[0] = 0, l.direction[1] = -0.8660254f, l.direction[2] = 0.5f;
  d_->SetLight(0, l);
  d_->EnableLight(0, true);
  Clear();
  Grid g(10, 10, 2);
  Draw(g);
  const uint32_t c = At(1, 1, 10);
  EXPECT_NEAR(Red(c), Lit(0.5f), 2);
  EXPECT_EQ(Red(c), Green(c));
  EXPECT_EQ(Red(c), Blue(c));
  // The frame's calls as the recording device keeps them.
  EXPECT_EQ(log_, (std::vector<std::string>{"light 0 3 1,1,1", "lighton 0 1", "clear 3 0,0,64,64 00000000 1 0",
                                            "draw 9 24"}));
  // Unlit, the same quad is white.
  d_->SetRenderState(kRsLighting, 0);
  Draw(g);
  EXPECT_EQ(At(1, 1, 10), 0xFFFFFFu);
}

TEST_F(DevicePixels, AViewportOfTheTopHalfDrawsOnlyThere) {
  VK_NEED_GL(HaveGl());
  d_->SetRenderState(kRsLighting, 0);
  Clear();
  d_->SetViewport(0, 0, kSize, kSize / 2, 0, 1);
  Draw(Grid(10, 30, 2));  // wider than the view: it would fill the whole target
  Surface* s = Read();
  for (int32_t y = 0; y < kSize; ++y)
    for (int32_t x : {0, kSize / 2, kSize - 1})
      ASSERT_EQ(s->GetPixel(x, y) & 0xFFFFFF, y < kSize / 2 ? 0xFFFFFFu : 0u) << x << "," << y;
}

TEST_F(DevicePixels, PointLightsStopAtTheirRange) {
  VK_NEED_GL(HaveGl());
  Light l;
  l.type = kLightPoint;
  l.position[2] = 9;
  l.range = 3;
  d_->SetLight(0, l);
  d_->EnableLight(0, true);
  Grid g(10, 10, 32);
  Clear();
  Draw(g);
  EXPECT_NEAR(Red(At(0, 0, 10)), Lit(1), 10);  // a unit in front: N.L 1 at the vertex
  EXPECT_NEAR(Red(At(7, 7, 10)), Lit(0), 2);   // out of range: ambient only
  l.range = 100;
  d_->SetLight(0, l);
  Clear();
  Draw(g);
  EXPECT_GT(Red(At(7, 7, 10)), Lit(0) + 8);
}

TEST_F(DevicePixels, SpotLightsHaveAnInnerAndAnOuterCone) {
  VK_NEED_GL(HaveGl());
  Light l;
  l.type = kLightSpot;
  l.range = 1000;
  l.theta = 20 * kPi / 180, l.phi = 40 * kPi / 180;  // full cone angles
  d_->SetLight(0, l);
  d_->EnableLight(0, true);
  Clear();
  Draw(Grid(10, 10, 48));
  const auto along = [&](float degrees) { return Red(At(10 * std::tan(degrees * kPi / 180), 0, 10)); };
  EXPECT_NEAR(along(0), Lit(1), 3);
  EXPECT_NEAR(along(8), Lit(std::cos(8 * kPi / 180)), 4);  // inside the inner cone: no falloff
  EXPECT_GT(along(15), Lit(0) + 10);                        // between the cones: part of it
  EXPECT_LT(along(15), Lit(std::cos(15 * kPi / 180)) - 10);
  EXPECT_NEAR(along(30), Lit(0), 2);                        // outside the outer cone
}

TEST_F(DevicePixels, CullingKeepsTheFacesOfTheChosenWinding) {
  VK_NEED_GL(HaveGl());
  d_->SetRenderState(kRsLighting, 0);
  Grid left(10, 4, 1, -5), right(10, 4, 1, 5);
  right.Reverse();  // counter-clockwise on the screen
  const struct {
    uint32_t mode;
    bool left, right;
  } cases[] = {{kCullCounterClockwise, true, false}, {kCullClockwise, false, true}, {kCullNone, true, true}};
  for (const auto& c : cases) {
    d_->SetRenderState(kRsCullMode, c.mode);
    Clear();
    Draw(left);
    Draw(right);
    EXPECT_EQ(At(-5, 0, 10) == 0xFFFFFFu, c.left) << c.mode;
    EXPECT_EQ(At(5, 0, 10) == 0xFFFFFFu, c.right) << c.mode;
  }
}

TEST_F(DevicePixels, LinearFogAtThreeDepths) {
  VK_NEED_GL(HaveGl());
  d_->SetRenderState(kRsLighting, 0);
  d_->SetRenderState(kRsFogEnable, 1);
  d_->SetRenderState(kRsFogColour, 0xFF0000);
  d_->SetRenderState(kRsFogStart, Bits(10));
  d_->SetRenderState(kRsFogEnd, Bits(30));
  const struct {
    float z;
    int green;
  } cases[] = {{10, 255}, {20, 128}, {30, 0}, {40, 0}};
  for (const auto& c : cases) {
    Clear();
    Draw(Grid(c.z, c.z, 1));
    const uint32_t p = At(0.1f * c.z, 0.1f * c.z, c.z);
    EXPECT_EQ(Red(p), 255) << c.z;
    EXPECT_NEAR(Green(p), c.green, 2) << c.z;
    EXPECT_EQ(Green(p), Blue(p));
  }
}

TEST_F(DevicePixels, EveryBlendPairOverAKnownBackground) {
  VK_NEED_GL(HaveGl());
  // Source (0.75, 0.5, 0.25) from the material's ambient under white ambient light.
  Material m;
  m.diffuse[3] = 1;
  const float s[3] = {0.75f, 0.5f, 0.25f}, b[3] = {64 / 255.0f, 128 / 255.0f, 192 / 255.0f};
  std::memcpy(m.ambient, s, sizeof s);
  d_->SetMaterial(m);
  d_->SetRenderState(kRsAmbient, 0xFFFFFF);
  d_->SetRenderState(kRsAlphaBlendEnable, 1);
  const uint32_t pairs[9][2] = {{kBlendOne, kBlendInvSrcColor},      {kBlendInvDestColor, kBlendOne},
                                {kBlendOne, kBlendOne},              {kBlendDestColor, kBlendOne},
                                {kBlendDestColor, kBlendSrcColor},   {kBlendDestColor, kBlendZero},
                                {kBlendZero, kBlendSrcColor},        {kBlendInvDestColor, kBlendInvSrcColor},
                                {kBlendZero, kBlendInvSrcColor}};
  auto factor = [&](uint32_t f, int i) {
    switch (f) {
      case kBlendZero: return 0.0f;
      case kBlendOne: return 1.0f;
      case kBlendSrcColor: return s[i];
      case kBlendInvSrcColor: return 1 - s[i];
      case kBlendDestColor: return b[i];
      default: return 1 - b[i];  // kBlendInvDestColor
    }
  };
  for (const auto& pair : pairs) {
    d_->SetRenderState(kRsSrcBlend, pair[0]);
    d_->SetRenderState(kRsDestBlend, pair[1]);
    Clear(0x4080C0);
    Draw(Grid(10, 10, 1));
    const uint32_t p = At(1, 1, 10);
    const int got[3] = {Red(p), Green(p), Blue(p)};
    for (int i = 0; i < 3; ++i) {
      const float want = std::min(1.0f, s[i] * factor(pair[0], i) + b[i] * factor(pair[1], i));
      EXPECT_NEAR(got[i], want * 255, 2.5) << pair[0] << "," << pair[1] << " channel " << i;
    }
  }
}

TEST_F(DevicePixels, WireframeDrawsTheEdgesOnly) {
  VK_NEED_GL(HaveGl());
  d_->SetRenderState(kRsLighting, 0);
  d_->SetRenderState(kRsFillMode, kFillWireframe);
  Clear();
  Draw(Grid(10, 5, 1));  // pixels 16 to 48
  Surface* s = Read();
  EXPECT_EQ(s->GetPixel(40, 24) & 0xFFFFFF, 0u);  // inside, off the diagonal
  int edge = 0;
  for (int x = 15; x <= 17; ++x) edge += (s->GetPixel(x, 30) & 0xFFFFFF) == 0xFFFFFFu;
  EXPECT_GE(edge, 1);
}

TEST_F(DevicePixels, ColourKeyedTexturesHaveHolesAndFiltersChooseTexels) {
  VK_NEED_GL(HaveGl());
  // 2 x 2 texels: white, keyed (alpha 0), black, white.
  TextureLevel level;
  level.width = level.height = 2;
  level.texels = {0xFFFFFFFFu, 0x00FF0000u, 0xFF000000u, 0xFFFFFFFFu};
  d_->SetTexture(0, d_->CreateTexture({level}));
  d_->SetRenderState(kRsLighting, 0);
  Grid g(10, 10, 1);  // u, v run 0..1 across the screen
  d_->SetRenderState(kRsColourKeyEnable, 1);
  Clear(0x00FF00);
  Draw(g);
  EXPECT_EQ(At(-5, 5, 10), 0xFFFFFFu);
  EXPECT_EQ(At(5, 5, 10), 0x00FF00u);  // the hole shows the background
  EXPECT_EQ(At(-5, -5, 10), 0u);
  d_->SetRenderState(kRsColourKeyEnable, 0);
  // Point filtering keeps texel edges hard; linear blends across them.
  d_->SetTextureStageState(0, kTssMagFilter, 1);
  Clear();
  Draw(g);
  EXPECT_EQ(At(-0.2f, -5, 10), 0u);
  d_->SetTextureStageState(0, kTssMagFilter, 2);
  Clear();
  Draw(g);
  const int grey = Red(At(-0.2f, -5, 10));
  EXPECT_GT(grey, 40);
  EXPECT_LT(grey, 215);
}

TEST_F(DevicePixels, MipFilterChoosesTheLevelOrBlendsTwo) {
  VK_NEED_GL(HaveGl());
  // A white 64 x 64 level over a black 32 x 32 one, drawn about 1.7 times smaller (level of
  // detail about 0.74): no mip filter keeps level 0, point takes level 1, linear blends a
  // quarter of level 0 into level 1.
  TextureLevel white, black;
  white.width = white.height = 64;
  white.texels.assign(64 * 64, 0xFFFFFFFFu);
  black.width = black.height = 32;
  black.texels.assign(32 * 32, 0xFF000000u);
  d_->SetTexture(0, d_->CreateTexture({white, black}));
  d_->SetRenderState(kRsLighting, 0);
  d_->SetTextureStageState(0, kTssMinFilter, 1);
  const struct {
    uint32_t mip;
    int low, high;
  } cases[] = {{1, 255, 255}, {2, 0, 0}, {3, 30, 110}};
  for (const auto& c : cases) {
    d_->SetTextureStageState(0, kTssMipFilter, c.mip);
    Clear(0x00FF00);
    Draw(Grid(10, 6, 1));
    const uint32_t centre = At(0.3f, 0.3f, 10);
    EXPECT_GE(Red(centre), c.low) << c.mip;
    EXPECT_LE(Red(centre), c.high) << c.mip;
    EXPECT_EQ(Red(centre), Green(centre)) << c.mip;
  }
}

TEST(DeviceBuffers, KeptBuffersDrawOnGlWhenMadeBeforeItAndAfterAReset) {
  Device3DPtr d = CreateNullDevice();
  Grid g(10, 10, 2);
  const uint32_t early = d->CreateVertexBuffer(g.v.data(), uint32_t(g.v.size()), g.idx.data(), uint32_t(g.idx.size()));
  const uint32_t bad[3] = {0, 1, 99};
  EXPECT_EQ(d->CreateVertexBuffer(g.v.data(), uint32_t(g.v.size()), bad, 3), 0u);
  ASSERT_NE(early, 0u);
  VK_NEED_GL(d->StartGl(kSize, kSize));
  float p[16];
  BuildProjectionMatrix(p, kPi / 2, 1, 1, 100);
  d->SetTransform(kTransformProjection, p);
  d->SetViewport(0, 0, kSize, kSize, 0, 1);
  d->SetRenderState(kRsLighting, 0);
  SurfacePtr s = SurfaceCreate(kSize, kSize, 32);
  auto centre = [&](uint32_t handle) {
    d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, kSize, kSize}, 0, 1, 0);
    const bool drawn = d->DrawVertexBuffer(handle);
    d->ReadBackInto(s.get());
    return drawn ? s->GetPixel(32, 32) & 0xFFFFFF : 0xBADu;
  };
  EXPECT_EQ(centre(early), 0xFFFFFFu);
  d->ReleaseVertexBuffer(early);
  EXPECT_EQ(centre(early), 0xBADu);  // released: nothing to draw
  const uint32_t later = d->CreateVertexBuffer(g.v.data(), uint32_t(g.v.size()), g.idx.data(), uint32_t(g.idx.size()));
  EXPECT_NE(later, early);  // handles are not reused
  EXPECT_EQ(centre(later), 0xFFFFFFu);
}

}  // namespace
