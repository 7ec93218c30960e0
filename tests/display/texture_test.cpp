// Textures: size fitting, sharing by name and colour, the "dds" fallback, image textures on
// the offscreen GL device.
#include "display/images.h"
#include "display/imagefiles/image_files.h"
#include "display/textures.h"
#include "platform/fs.h"
#include "tests/display/display_fixture.h"
#include "tests/support/gl_required.h"
#include "tests/support/temp_dir.h"

namespace {

class TextureTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    AllocImageRecord();
    AllocTextureRecord();  // record 0 of each pool stands for "none"
  }
  // A w x h image of distinct colours; texel (0, 1) black (keyed).
  uint32_t Image(int32_t number, int32_t w, int32_t h) {
    const uint32_t r = BindImageNumber(number);
    EXPECT_TRUE(EnsureImageSurface(r, w, h));
    Surface* s = ImageSurfaceOf(r);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) s->PutPixel(x, y, PixelFromRgb(s->Format(), Colour(x, y)));
    s->PutPixel(0, 1, 0);
    return r;
  }
  static uint32_t Colour(int32_t x, int32_t y) { return uint32_t(0xF80000 >> (8 * (x % 3))) | uint32_t(y * 0x40); }
};

TEST(TextureSizes, PowersOfTwoAtLeastSixteenAndSquare) {
  for (auto [w, h, side] : {std::tuple{100, 60, 128}, {600, 20, 1024}, {1, 1, 16}, {17, 3, 32}, {512, 513, 1024}}) {
    int32_t tw = w, th = h;
    FitTextureSize(&tw, &th);
    EXPECT_EQ(tw, side) << w << "x" << h;
    EXPECT_EQ(th, side) << w << "x" << h;
  }
}

TEST_F(TextureTest, FilesAndColoursAreSharedImageTexturesAreNot) {
  TempDir dir;
  SurfacePtr s = SurfaceCreate(8, 8, 16);
  ASSERT_TRUE(SaveImageByExtension(*s, dir.File("wall.bmp")));
  ASSERT_TRUE(SaveImageByExtension(*s, dir.File("floor.dds")));
  const int32_t a = LoadTextureByName(dir.File("wall.bmp")), b = LoadTextureByName(dir.File("wall.bmp"));
  ASSERT_GT(a, 0);
  EXPECT_EQ(a, b);
  ReleaseTexture(a, false);
  EXPECT_NE(TextureAt(uint32_t(a)), nullptr);
  ReleaseTexture(a, false);
  EXPECT_EQ(TextureAt(uint32_t(a)), nullptr);
  // Missing as a bitmap, found with "dds" in its place.
  const int32_t f = LoadTextureByName(dir.File("floor.bmp"));
  ASSERT_GT(f, 0);
  EXPECT_GT(TextureAt(uint32_t(f))->Digit(), 0);
  EXPECT_TRUE(TextureAt(uint32_t(f))->Mipmapped());
  EXPECT_EQ(LoadTextureByName(dir.File("none.bmp")), 0);
  const int32_t c1 = LoadColorTexture(0xFF8000), c2 = LoadColorTexture(0xFF8000);
  EXPECT_EQ(c1, c2);
  EXPECT_EQ(TextureAt(uint32_t(c1))->Width(), 32);
  EXPECT_NE(LoadColorTexture(0xFF8001), c1);
  // An image texture: 100 x 60 makes 128 x 128; a second reference shares it; the empty
  // name of image textures is never found.
  const uint32_t img = Image(1, 100, 60);
  const int32_t t = AcquireImageTexture(img, 1);
  ASSERT_GT(t, 0);
  EXPECT_EQ(AcquireImageTexture(img, 1), t);
  EXPECT_EQ(g_texturePool[uint32_t(t)].textureWidth, 128);
  EXPECT_EQ(LoadTextureByName(""), 0);
  // With transparency a new DXT1 texture is made every time.
  const int32_t dxt = AcquireImageTextureEx(img, 1, 1);
  EXPECT_NE(dxt, t);
  EXPECT_EQ(TextureAt(uint32_t(dxt))->Digit(), 1);
}

TEST_F(TextureTest, OnlyAKeyedTextureMakesBlackTexelsClear) {
  const struct {
    int32_t key, transparency;
    uint32_t alpha;
  } cases[] = {{0, 0, 0xFF}, {1, 0, 0}, {0, 1, 0xFF}, {1, 1, 0}};
  int32_t number = 1;
  for (const auto& c : cases) {
    const uint32_t img = Image(number++, 4, 4);
    const int32_t t = AcquireImageTextureEx(img, c.key, c.transparency);
    ASSERT_GT(t, 0);
    const TextureLevel top = TextureAt(uint32_t(t))->Texels()[0];
    // The 4 x 4 image is stretched over 16 x 16: its black texel (0, 1) covers rows 4 to 7.
    EXPECT_EQ(top.texels[size_t(5 * top.width)] >> 24, c.alpha) << c.key << " " << c.transparency;
    EXPECT_EQ(top.texels[size_t(top.width + 5)] >> 24, 0xFFu) << c.key << " " << c.transparency;
  }
}

TEST_F(TextureTest, DxtCompressionOfASmallTextureUsesTheLevelsItHas) {
  const uint32_t img = Image(1, 4, 4);
  const int32_t t = AcquireImageTexture(img, 1);
  ReloadTextureSlot(uint32_t(t), 5);
  EXPECT_EQ(TextureAt(uint32_t(t))->Digit(), 5);
  EXPECT_EQ(TextureAt(uint32_t(t))->Texels().size(), 5u);  // 16, 8, 4, 2, 1
}

TEST_F(TextureTest, AnImageTextureSamplesTheRightTexelsOnTheGlDevice) {
  Device3D* d = PrepareDevice3D();
  VK_NEED_GL(d->Kind() == DeviceKind::kGl);
  const uint32_t img = Image(1, 4, 4);
  const int32_t t = AcquireImageTexture(img, 1);
  ASSERT_GT(t, 0);
  d->SetTexture(0, TextureAt(uint32_t(t))->Handle());
  d->SetRenderState(kRsLighting, 0);
  d->SetRenderState(kRsZEnable, 0);
  d->SetRenderState(kRsCullMode, kCullNone);
  d->SetRenderState(kRsColourKeyEnable, 1);
  d->SetViewport(0, 0, 640, 480, 0, 1);
  d->Clear(kClearTarget, SurfRect{0, 0, 640, 480}, 0x0000FF, 1.0f, 0);
  // A quad over the whole viewport, the texture's top-left at the screen's top-left.
  const Vertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0},
                          {1, 1, 0.5f, 0, 0, -1, 1, 0},
                          {-1, -1, 0.5f, 0, 0, -1, 0, 1},
                          {1, -1, 0.5f, 0, 0, -1, 1, 1}};
  const uint32_t indices[6] = {0, 1, 2, 2, 1, 3};
  ASSERT_TRUE(d->DrawIndexed(quad, 4, indices, 6));
  MarkDeviceDrew();
  PrepareBackBuffer2D();
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      const uint32_t want = x == 0 && y == 1 ? 0x0000FF : Colour(x, y);  // the keyed texel shows the clear colour
      EXPECT_EQ(Px(x * 160 + 80, y * 120 + 60), PixelFromRgb(Back()->Format(), want)) << x << "," << y;
    }
}

}  // namespace
