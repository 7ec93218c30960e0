// The runtime's pointer sprites: following the mouse, hiding, the shapes and the caret's blink,
// the drawn arrow, and their pictures after a display change.
#include "display/images.h"
#include "display/pointer_picture.h"
#include "display/sprites.h"
#include "tests/display/display_fixture.h"
#include "tests/support/program_run.h"

namespace {

class PointerSpritesTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    AllocImageRecord();  // record 0, reserved as the display's start does
    LoadDefaultBitmapSurface(1);
  }
  void TearDown() override {
    ReleasePointerSprites();
    DisplayTest::TearDown();
  }
  static FrameRecord& Pointer() { return *FrameAt(uint32_t(g_sprites.pointerFrame)); }
  static FrameRecord& Caret() { return *FrameAt(uint32_t(g_sprites.caretFrame)); }
  static std::pair<int32_t, int32_t> At(const FrameRecord& f) { return {f.x, f.y}; }
};

constexpr std::pair<int32_t, int32_t> kOff{-256, -256};

// Hidden by the program or by a window (which shows the system cursor instead), they stay off
// screen until shown again.
TEST_F(PointerSpritesTest, FollowTheMouseUntilHiddenAndAgainWhenShown) {
  CreatePointerSprites(1);
  const uint32_t frames = uint32_t(g_framePool.Count());
  EXPECT_EQ(At(Pointer()), std::make_pair(320, 100));
  EXPECT_EQ(At(Caret()), kOff);
  enum Action { kUpdate, kHide, kShow, kWindow, kFullScreen };
  const struct {
    Action action;
    int32_t mouseX;
    std::pair<int32_t, int32_t> pointer;
    bool present;
  } steps[] = {{kUpdate, 100, {99, 49}, true},     {kHide, 100, kOff, false},   {kUpdate, 200, kOff, false},
               {kShow, 200, kOff, true},           {kUpdate, 200, {199, 49}, true}, {kWindow, 200, kOff, false},
               {kUpdate, 210, kOff, false},        {kFullScreen, 210, kOff, true},  {kUpdate, 220, {219, 49}, true}};
  for (const auto& s : steps) {
    SetPointerSpritePosition(s.mouseX, 50);
    if (s.action == kUpdate) UpdatePointerSprites();
    if (s.action == kHide) HidePointerSprites();
    if (s.action == kShow) CreatePointerSprites(1);
    if (s.action == kWindow || s.action == kFullScreen) {
      g_display.windowMode = s.action == kWindow;
      ApplyWindowSettings(1);
      EXPECT_EQ(g_display.cursorShown, g_display.windowMode);
    }
    EXPECT_EQ(At(Pointer()), s.pointer) << "action " << s.action;
    EXPECT_EQ(PointerSpritesPresent(), s.present) << "action " << s.action;
  }
  // Shown again, they were not made a second time.
  EXPECT_EQ(uint32_t(g_framePool.Count()), frames);
}

TEST_F(PointerSpritesTest, ShapesActOnlyWhileShown) {
  SetPointerShape(2);  // before they exist: nothing
  CreatePointerSprites(1);
  struct Case {
    int32_t shape;
    int32_t pointerImage;
  };
  const Case cases[] = {{2, g_sprites.caretImage}, {0, g_sprites.caretImage}, {7, g_sprites.caretImage},
                        {6, g_sprites.handImage},  {3, g_sprites.dotImage},   {1, g_sprites.pointerImage}};
  for (const Case& c : cases) {
    SetPointerShape(c.shape);
    EXPECT_EQ(Pointer().imageRecord, c.pointerImage) << "shape " << c.shape;
  }
  HidePointerSprites();
  SetPointerShape(3);
  EXPECT_EQ(Pointer().imageRecord, g_sprites.pointerImage);
}

TEST_F(PointerSpritesTest, TheCaretShowsAtOnceThenBlinksEveryTwentyOneFramesUntilShapeFive) {
  CreatePointerSprites(1);
  SetCaretSpritePosition(40, 43);
  SetPointerShape(4);
  EXPECT_EQ(Caret().imageRecord, g_sprites.caretImage);
  std::string seen;
  for (int frame = 0; frame < 44; ++frame) {
    UpdatePointerSprites();
    seen += At(Caret()) == std::make_pair(39, 42) ? 'o' : At(Caret()) == kOff ? '.' : '?';
  }
  EXPECT_EQ(seen, std::string(21, 'o') + std::string(21, '.') + "oo");
  SetPointerShape(5);
  EXPECT_EQ(At(Caret()), kOff);
}

TEST_F(PointerSpritesTest, TheArrowIsDrawnKeyedWithItsTipAtTheMouse) {
  CreatePointerSprites(1);
  SetPointerSpritePosition(101, 101);
  UpdatePointerSprites();
  SaveSpriteBackgrounds();
  DrawAllSprites();
  const uint32_t outline = Px(100, 100), fill = Px(101, 102);
  EXPECT_NE(outline, 0u);
  EXPECT_NE(outline, fill);
  EXPECT_EQ(fill, White());
  EXPECT_EQ(Px(102, 100), 0u);  // beside the tip: see-through
  // The background comes back at the next frame's start.
  RestoreSpriteBackgrounds();
  EXPECT_EQ(CountLit(), 0);
  // The hand: its finger's tip at the mouse, the corner beside it see-through.
  SetPointerShape(6);
  DrawAllSprites();
  EXPECT_EQ(Px(101, 100), outline);
  EXPECT_EQ(Px(101, 101), White());
  EXPECT_EQ(Px(100, 100), 0u);
}

TEST_F(PointerSpritesTest, ADisplayChangeCutsThePicturesFromTheNewSheetUnlessInAWindow) {
  CreatePointerSprites(1);
  SetPointerShape(4);
  for (const uint8_t windowMode : {1, 0}) {
    g_display.windowMode = windowMode;
    int32_t w = 800, h = 600, d = 16, software = g_display.software;
    ASSERT_EQ(SetDisplayMode(&w, &h, &d, &software, 640, 480, 16, software), 1);
    const ImageRecord* arrow = ImageAt(uint32_t(g_sprites.pointerImage));
    ASSERT_NE(arrow, nullptr);
    if (windowMode) {
      EXPECT_EQ(ImageSurfaceOf(uint32_t(g_sprites.pointerImage)), nullptr);
      continue;
    }
    EXPECT_EQ(arrow->surface, g_display.defaultBitmap.get());
    EXPECT_EQ(arrow->width, kPointerArrowRect.Width());
    EXPECT_EQ(Pointer().imageRecord, g_sprites.pointerImage);
    EXPECT_EQ(Caret().imageRecord, g_sprites.pointerImage);
    EXPECT_TRUE(PointerSpritesPresent());
  }
  SetPointerSpritePosition(700, 500);
  UpdatePointerSprites();
  DrawAllSprites();
  EXPECT_EQ(Px(700, 501), White());
}

TEST_F(PointerSpritesTest, ReleaseLetsGoOfTheirRecords) {
  const int32_t frames = g_framePool.Count(), images = g_imagePool.Count();
  CreatePointerSprites(1);
  SetPointerSpritePosition(10, 10);
  UpdatePointerSprites();
  SaveSpriteBackgrounds();
  ReleasePointerSprites();
  EXPECT_EQ(g_framePool.Count(), frames);
  EXPECT_EQ(g_imagePool.Count(), images);
  EXPECT_FALSE(PointerSpritesPresent());
  EXPECT_EQ(HidePointerSprites(), 1);  // nothing to hide
  // Sprites that cannot be made are not present: the window keeps the mouse.
  FreeDisplayPools();
  CreatePointerSprites(1);
  EXPECT_FALSE(PointerSpritesPresent());
  CreateDisplayPools();
}

}  // namespace

namespace {

// A full-screen run draws the arrow at the mouse (tip at 319,239 at the start) until the program
// hides it; the search for the sprite that meets sprite 1 passes over the pointer, which lies on
// sprite 1 too.
TEST(PointerSpritePrograms, TheArrowShowsUntilHiddenAndIsNoProgramSprite) {
  for (const bool hidden : {false, true}) {
    const std::string source = std::string(
                                   "sync on\n"
                                   "ink rgb(255,0,0),0\n"
                                   "box 0,0,32,32\n"
                                   "get image 1,0,0,32,32\n"
                                   "cls\n"
                                   "sprite 1,300,230,1\n"
                                   "sprite 2,320,250,1\n"
                                   "sync\n"
                                   "print sprite collision(1,0)\n") +
                               (hidden ? "hide mouse\n" : "") + "do\n  sync\nloop\n";
    const RunOutcome r = RunVkaSource(source, 6);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.transcript, "2\n") << hidden;
    EXPECT_EQ(r.Pixel(320, 241), hidden ? 0xFF0000u : 0xFFFFFFu);
  }
}

}  // namespace
