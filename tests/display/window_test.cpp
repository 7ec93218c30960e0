// Presenting into a real (offscreen-driver) window.
#include <SDL.h>

#include <cstring>
#include <vector>

#include "platform/clipboard.h"
#include "platform/codepage.h"
#include "platform/events.h"
#include "platform/present.h"
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define VK_LSAN 1
#endif
#endif
#include "tests/display/display_fixture.h"

namespace {

class WindowPresentTest : public DisplayTest {
 protected:
  void SetUp() override {}
  // A window of the given client size, a 640 x 480 picture with its corners lit.
  bool Open(int w, int h) {
#ifdef VK_LSAN
    // The video driver's own software renderer keeps a few blocks it never frees.
    __lsan::ScopedDisabler noLeakChecks;
#endif
    StartDisplay(16);
    PlatformSetHeadless(false);
    if (!PlatformVideoInit() || PlatformIsHeadless() || !WindowCreate("present", w, h, false)) return false;
    Back()->PutPixel(0, 0, 0xFFFF);
    Back()->PutPixel(639, 479, 0xF800);
    PresentFrame();
    return true;
  }
  void TearDown() override {
    // Video stays started: the driver's libraries keep what they made until the process ends.
    WindowDestroy();
    PlatformSetHeadless(true);
    DisplayTest::TearDown();
  }
  uint32_t WindowPixel(int x, int y) {
    SDL_Surface* s = SDL_GetWindowSurface(WindowHandle());
    uint8_t r, g, b;
    uint32_t p = *reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * 4);
    SDL_GetRGB(p, s->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
  }
};

TEST_F(WindowPresentTest, PictureIsCentredWithBlackAround) {
  if (!Open(800, 601)) GTEST_SKIP() << "no window";
  EXPECT_EQ(g_display.pictureOffsetX, 80);
  EXPECT_EQ(g_display.pictureOffsetY, 60);  // an odd difference puts it nearer the top
  EXPECT_EQ(WindowPixel(80, 60), 0xFFFFFFu);
  EXPECT_EQ(WindowPixel(79, 60), 0u);
  EXPECT_EQ(WindowPixel(719, 539), 0xFF0000u);
  EXPECT_EQ(WindowPixel(799, 600), 0u);
}

// Typed, copied and pasted text passes through the code page of the text character set.
TEST_F(WindowPresentTest, TypedAndCopiedTextTakeTheTextCodePage) {
  if (!Open(640, 480)) GTEST_SKIP() << "no window";
  SetTextCodePage(1251);
  EventsReset();
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::strcpy(e.text.text, "\xD0\x9F");  // Cyrillic Pe
  SDL_PushEvent(&e);
  e = SDL_Event{};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.x = 3;
  e.button.y = 4;
  e.button.clicks = 2;
  SDL_PushEvent(&e);
  std::vector<int32_t> typed, pressed;
  for (Message m; PeekWindowMessage(m);) {
    if (m.kind == MsgKind::Char) typed.push_back(m.a);
    if (m.kind == MsgKind::LButtonDown) pressed = {m.a, m.b, m.clicks};
  }
  EventsReset();
  ClipboardSetText("\xCF\xF0");  // Cyrillic "Pr"
  char* copied = SDL_GetClipboardText();
  const std::string utf8 = copied ? copied : "";
  SDL_free(copied);
  SDL_SetClipboardText("\xCE\xB1\xD0\x9F");  // Greek alpha, Cyrillic Pe
  const std::string pasted = ClipboardGetText();
  SetTextCodePage(1252);
  EXPECT_EQ(typed, std::vector<int32_t>{0xCF});
  EXPECT_EQ(pressed, (std::vector<int32_t>{3, 4, 2}));  // where, and a double click
  EXPECT_EQ(utf8, "\xD0\x9F\xD1\x80");
  EXPECT_EQ(pasted, "?\xCF");
}

TEST_F(WindowPresentTest, SmallerWindowCutsThePictureOnAllSides) {
  if (!Open(600, 400)) GTEST_SKIP() << "no window";
  EXPECT_EQ(g_display.pictureOffsetX, -20);
  EXPECT_EQ(g_display.pictureOffsetY, -40);
}

TEST_F(WindowPresentTest, FullScreenScalesWithLetterboxing) {
  if (!Open(1280, 720)) GTEST_SKIP() << "no window";
  int32_t x = 0, y = 0;
  ASSERT_TRUE(PresentToWindow(reinterpret_cast<const uint32_t*>(g_display.primary->Row(0)), 640, 480, true, &x, &y));
  EXPECT_EQ(x, 160);  // 960 x 720 in the middle
  EXPECT_EQ(y, 0);
  EXPECT_EQ(WindowPixel(159, 0), 0u);
  EXPECT_EQ(WindowPixel(160, 0), 0xFFFFFFu);
  EXPECT_EQ(WindowPixel(161, 1), 0xFFFFFFu);  // one picture pixel is 1.5 window pixels
  EXPECT_EQ(WindowPixel(1119, 719), 0xFF0000u);
  EXPECT_EQ(WindowPixel(1120, 719), 0u);
}

}  // namespace
