#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/device3d.h"
#include "platform/gl/device.h"
#include "platform/gl/shader.h"
#include "platform/math3d.h"
#include "tests/support/gl_required.h"

namespace {

uint32_t PixelAfterClear(Device3D* d, uint32_t colour) {
  d->Clear(kClearTarget, SurfRect{0, 0, 8, 8}, colour, 1.0f, 0);
  SurfacePtr s = SurfaceCreate(8, 8, 32);
  d->ReadBackInto(s.get());
  return s->GetPixel(4, 4) & 0xFFFFFF;
}

TEST(GlContext, EachDeviceMakesItsOwnContextCurrentAtEveryUse) {
  Device3DPtr a = CreateGlDevice(8, 8), b = CreateGlDevice(8, 8);
  VK_NEED_GL(a && b);
  // Each use makes its own context current again.
  EXPECT_EQ(PixelAfterClear(a.get(), 0xFF0000), 0xFF0000u);
  EXPECT_EQ(PixelAfterClear(b.get(), 0x0000FF), 0x0000FFu);
  SurfacePtr s = SurfaceCreate(8, 8, 32);
  ASSERT_TRUE(a->ReadBackInto(s.get()));
  EXPECT_EQ(s->GetPixel(0, 0) & 0xFFFFFF, 0xFF0000u);
  b.reset();  // no context is current now
  EXPECT_EQ(PixelAfterClear(a.get(), 0x00FF00), 0x00FF00u);
  a.reset();
  for (int k = 0; k < 2; ++k) {  // every context is gone; a new device makes its own
    Device3DPtr c = CreateGlDevice(8, 8);
    ASSERT_TRUE(c);
    EXPECT_EQ(PixelAfterClear(c.get(), 0x123456), 0x123456u);
  }
}

TEST(GlResources, AResetReleasesEveryHandleAndHandlesAreNeverReused) {
  std::unique_ptr<GlDevice> gl = GlDevice::Create(8, 8);
  VK_NEED_GL(gl);
  GlResources& r = gl->Resources();
  const size_t own = r.Count();
  ASSERT_TRUE(gl->Use());
  GlHandle t = r.Create(GlKind::kTexture), buf = r.Create(GlKind::kBuffer);
  EXPECT_NE(r.Name(t, GlKind::kTexture), 0u);
  EXPECT_EQ(r.Name(t, GlKind::kBuffer), 0u);  // a handle of another kind finds nothing
  r.Release(buf);
  EXPECT_EQ(r.Name(buf, GlKind::kBuffer), 0u);
  ASSERT_TRUE(gl->Reset());
  EXPECT_EQ(r.Name(t, GlKind::kTexture), 0u);
  EXPECT_EQ(r.Count(), own);
  r.Release(t);  // a stale handle: nothing happens
  ASSERT_TRUE(gl->Use());
  GlHandle again = r.Create(GlKind::kTexture);
  EXPECT_NE(again, t);
  EXPECT_EQ(PixelAfterClear(CreateGlDevice(8, 8).get(), 0x0000FF), 0x0000FFu);  // the device still works
}

// A quad over the left half in clip space (z 0.5), corners clockwise or counter-clockwise on
// the screen, facing the viewer.
std::vector<Vertex> LeftQuad() {
  return {{-1, 1, 0.5f, 0, 0, -1, 0, 0}, {0, 1, 0.5f, 0, 0, -1, 0, 0},
          {0, -1, 0.5f, 0, 0, -1, 0, 0}, {-1, -1, 0.5f, 0, 0, -1, 0, 0}};
}
const std::vector<uint32_t> kClockwise = {0, 1, 2, 0, 2, 3}, kCounterClockwise = {0, 2, 1, 0, 3, 2};

TEST(GlDraw, TheStateGivenBeforeGlIsAppliedAtDrawThroughTheRecordingDevice) {
  std::vector<std::string> log;
  Device3DPtr d = CreateRecordingDevice(CreateNullDevice(), &log);
  d->SetViewport(0, 0, 64, 64, 0, 1);
  d->SetRenderState(kRsLighting, 0);  // unlit: white
  VK_NEED_GL(d->StartGl(64, 64));
  EXPECT_EQ(d->Kind(), DeviceKind::kGl);
  SurfacePtr s = SurfaceCreate(64, 64, 32);
  auto draw = [&](const std::vector<uint32_t>& idx) {
    d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, 64, 64}, 0, 1.0f, 0);
    std::vector<Vertex> v = LeftQuad();
    EXPECT_TRUE(d->DrawIndexed(v.data(), uint32_t(v.size()), idx.data(), uint32_t(idx.size())));
    d->ReadBackInto(s.get());
    return s->GetPixel(16, 32) & 0xFFFFFF;
  };
  EXPECT_EQ(draw(kClockwise), 0xFFFFFFu);
  EXPECT_EQ(s->GetPixel(48, 32) & 0xFFFFFF, 0u);
  EXPECT_EQ(draw(kCounterClockwise), 0u);  // culled by default
  d->SetRenderState(kRsCullMode, kCullNone);
  EXPECT_EQ(draw(kCounterClockwise), 0xFFFFFFu);

  // Lit: material ambient x global ambient + material diffuse x light x N.L (0.6 here).
  d->SetRenderState(kRsLighting, 1);
  d->SetRenderState(kRsAmbient, 0xFFFFFF);
  d->SetMaterial(Material{{0.5f, 0.5f, 0.5f, 1}, {0.25f, 0.25f, 0.25f, 1}});
  Light sun;
  sun.direction[1] = 0.8f;
  sun.direction[2] = 0.6f;
  d->SetLight(3, sun);
  d->EnableLight(3, true);
  const int expected = int(std::lround((0.25 + 0.5 * 0.6) * 255));
  EXPECT_NEAR(int(draw(kClockwise) & 255), expected, 2);
  // A light switched off leaves the ambient share.
  d->EnableLight(3, false);
  EXPECT_NEAR(int(draw(kClockwise) & 255), 64, 2);
  EXPECT_EQ(log[1], "rs 137 0");
  EXPECT_EQ(log[2], "clear 3 0,0,64,64 00000000 1 0");
  EXPECT_EQ(log[3], "draw 4 6");
  EXPECT_EQ(std::count(log.begin(), log.end(), "draw 4 6"), 5);
}

TEST(GlDraw, ALitQuadTurnedAboutYIsAsBrightAsItsTurnedNormalSays) {
  std::vector<std::string> log;
  Device3DPtr d = CreateRecordingDevice(CreateNullDevice(), &log);
  d->SetViewport(0, 0, 64, 64, 0, 1);
  VK_NEED_GL(d->StartGl(64, 64));
  d->SetRenderState(kRsLighting, 1);
  d->SetRenderState(kRsAmbient, 0);
  d->SetMaterial(Material{{1, 1, 1, 1}, {0, 0, 0, 1}});
  Light beam;  // shines along +x: the light lies toward -x
  beam.direction[0] = 1, beam.direction[2] = 0;
  d->SetLight(0, beam);
  d->EnableLight(0, true);
  // A quad facing the viewer (normal -z) turned by a about y faces (-sin a, 0, -cos a): lit by
  // sin a. The turn the other way, or no turn of the normal, leaves it dark.
  const std::vector<Vertex> quad = {{-0.5f, 0.5f, 0, 0, 0, -1, 0, 0}, {0.5f, 0.5f, 0, 0, 0, -1, 0, 0},
                                    {0.5f, -0.5f, 0, 0, 0, -1, 0, 0}, {-0.5f, -0.5f, 0, 0, 0, -1, 0, 0}};
  SurfacePtr s = SurfaceCreate(64, 64, 32);
  for (float degrees : {30.0f, 60.0f}) {
    const float a = degrees * 3.14159265f / 180;
    float world[16];
    BuildRotationYMatrix(world, a);
    world[14] = 0.5f;  // then moved into the depth range
    d->SetTransform(kTransformWorld, world);
    d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, 64, 64}, 0, 1.0f, 0);
    ASSERT_TRUE(d->DrawIndexed(quad.data(), 4, kClockwise.data(), 6));
    d->ReadBackInto(s.get());
    EXPECT_NEAR(int(s->GetPixel(32, 32) & 255), int(std::lround(std::sin(a) * 255)), 2) << degrees;
  }
}

TEST(DeviceFacade, GetsAnswerWhatWasSetAndRefuseNumbersWithoutRoom) {
  std::vector<std::string> log;
  Device3DPtr d = CreateRecordingDevice(CreateNullDevice(), &log);
  EXPECT_EQ(d->Kind(), DeviceKind::kNull);
  EXPECT_EQ(d->State().renderStates[kRsCullMode], uint32_t(kCullCounterClockwise));
  const float m[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 5, 6, 7, 1};
  Light l;
  l.type = kLightSpot;
  l.range = 9;
  EXPECT_TRUE(d->SetTransform(kTransformView, m));
  EXPECT_TRUE(d->SetRenderState(kRsFogEnable, 1));
  EXPECT_TRUE(d->SetTextureStageState(0, kTssMipFilter, 3));
  EXPECT_TRUE(d->SetLight(7, l));
  EXPECT_TRUE(d->EnableLight(7, true));
  EXPECT_TRUE(d->SetViewport(1, 2, 30, 40, 0.25f, 0.75f));
  const DeviceState& s = d->State();
  EXPECT_EQ(s.transforms[1][12], 5.0f);
  EXPECT_EQ(s.renderStates[kRsFogEnable], 1u);
  EXPECT_EQ(s.stageStates[kTssMipFilter], 3u);
  EXPECT_EQ(s.lights[7].type, uint32_t(kLightSpot));
  EXPECT_EQ(s.lightOn[7], 1);
  EXPECT_EQ(s.viewport.height, 40);
  EXPECT_EQ(s.viewport.maxZ, 0.75f);
  EXPECT_FALSE(d->SetRenderState(kRenderStateCount, 1));
  EXPECT_FALSE(d->SetTextureStageState(1, kTssMipFilter, 1));
  EXPECT_FALSE(d->SetTransform(4, m));
  EXPECT_FALSE(d->SetLight(kMaxLights, l));
  EXPECT_FALSE(d->SetViewport(0, 0, -1, 1, 0, 1));
  const Vertex v[3] = {};
  const uint32_t bad[3] = {0, 1, 3};
  EXPECT_FALSE(d->DrawIndexed(v, 3, bad, 3));
  EXPECT_EQ(log[0], "transform 2 2 3 4 1");
  EXPECT_EQ(log[3], "light 7 2 1,1,1");
  EXPECT_EQ(log.back(), "draw 3 3");
  d->Reset();
  EXPECT_EQ(s.lightOn[7], 0);
  EXPECT_EQ(s.transforms[1][12], 0.0f);
  EXPECT_EQ(s.viewport.width, 0);
}

TEST(DeviceFacade, NormalsFollowTheInverseTransposeOfTheWorld) {
  const float scale[16] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, -4, 0, 9, 9, 9, 1};
  float n[9];
  NormalMatrix(scale, n);
  EXPECT_FLOAT_EQ(n[0], 0.5f);
  EXPECT_FLOAT_EQ(n[4], 1.0f);
  EXPECT_FLOAT_EQ(n[8], -0.25f);
  // A quarter turn about y takes the normal (0, 0, 1) to (1, 0, 0) (column 2 of the result).
  float turn[16];
  BuildRotationYMatrix(turn, 1.5707963f);
  NormalMatrix(turn, n);
  EXPECT_NEAR(n[6], 1, 1e-6);
  EXPECT_NEAR(n[7], 0, 1e-6);
  EXPECT_NEAR(n[8], 0, 1e-6);
  const float flat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};  // no inverse: kept
  NormalMatrix(flat, n);
  EXPECT_FLOAT_EQ(n[0], 1.0f);
  EXPECT_FLOAT_EQ(n[8], 0.0f);
}

}  // namespace
