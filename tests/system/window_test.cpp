// The display, window and system commands in programs, in a window of the offscreen driver.
#include <SDL.h>
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/run_timing.h"
#include "display/display.h"
#include "platform/window.h"
#include "system/system_services.h"
#include "tests/support/program_run.h"

namespace {

struct WindowSeen {
  std::string title;
  int w = 0, h = 0, x = 0, y = 0;
  uint32_t flags = 0, style = 0;
  int32_t frame = 0, caption = 0;
  uint8_t windowMode = 0;
};

WindowSeen g_seen;

void Look() {
  g_seen = WindowSeen{};
  g_seen.style = g_display.style;
  g_seen.frame = g_display.frameWidth;
  g_seen.caption = g_display.captionHeight;
  g_seen.windowMode = g_display.windowMode;
  if (SDL_Window* w = WindowHandle()) {
    g_seen.title = SDL_GetWindowTitle(w);
    SDL_GetWindowSize(w, &g_seen.w, &g_seen.h);
    SDL_GetWindowPosition(w, &g_seen.x, &g_seen.y);
    g_seen.flags = SDL_GetWindowFlags(w);
  }
}

TEST(WindowCommands, TitleSizePositionAndLayout) {
  RunOutcome r = RunVkaSource(
      "set window on\nset window title \"Hello\"\nset window size 300, 0\nset window size 300, 200\n"
      "set window position 40, 50\nset window layout 0, 1, 0\nend\n",
      VkaOptions{5, "", false, true, Look});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(g_seen.windowMode, 1);
  EXPECT_EQ(g_seen.title, "Hello");
  EXPECT_EQ(g_seen.w, 300);
  EXPECT_EQ(g_seen.h, 200);
  EXPECT_EQ(g_seen.x, 40);
  EXPECT_EQ(g_seen.y, 50);
  // No border but a caption: a popup with a caption and an 8-pixel frame.
  EXPECT_EQ(g_seen.style, 0x80C00000u);
  EXPECT_EQ(g_seen.frame, 8);
  EXPECT_EQ(g_seen.caption, 19);

  r = RunVkaSource("set window on\nset window layout 0, 0, 0\nhide window\nend\n", VkaOptions{5, "", false, true, Look});
  EXPECT_TRUE(g_seen.flags & SDL_WINDOW_HIDDEN);
  EXPECT_EQ(g_seen.style, 0x80000000u);
  EXPECT_EQ(g_seen.w, 640);  // hiding keeps the size and the title
  EXPECT_EQ(g_seen.title, "");
  r = RunVkaSource("set window on\nhide window\nshow window\nend\n", VkaOptions{5, "", false, true, Look});
  EXPECT_FALSE(g_seen.flags & SDL_WINDOW_HIDDEN);
}

TEST(WindowCommands, BackToFullScreenRestoresTitleAndPopupStyle) {
  RunOutcome r = RunVkaSource("set window on\nset window title \"x\"\nset window off\nend\n", VkaOptions{5, "", false, true, Look});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(g_seen.windowMode, 0);
  EXPECT_EQ(g_seen.title, "Vellumark");
  EXPECT_EQ(g_seen.style, 0x800A0000u);
  EXPECT_EQ(g_seen.frame, 0);
}

uint8_t g_flags[5];

TEST(SystemCommands, KeysFlagsCardsMemoryAndLines) {
  auto keep = [] {
    g_flags[0] = g_timing.escapeEndsProgram;
    g_flags[1] = g_timing.systemKeysEnabled;
    g_flags[2] = g_timing.spareFlags[0];
    g_flags[3] = g_timing.spareFlags[1];
    g_flags[4] = g_timing.spareFlags[2];
  };
  RunOutcome r = RunVkaSource(
      "disable escapekey\ndisable systemkeys\nspare flag a on\nspare flag b on\nspare flag b off\nspare flag c on\n"
      "print texture memory available() > 0\nprint system memory available() > 0\nprint emulation mode()\n"
      "print current graphics card$()\nchecklist graphics cards\nprint checklist count()\n"
      "print checklist string$(1)\nshow quip\nend\n",
      VkaOptions{50, "", false, false, keep});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(g_flags), 5), std::string("\0\0\1\0\1", 5));
  const std::string head = "1\n1\n0\nPrimary Display Driver\n1\nPrimary Display Driver\n";
  ASSERT_EQ(r.transcript.substr(0, head.size()), head);
  const std::string line = r.transcript.substr(head.size());
  EXPECT_TRUE(line == "The computer is thinking. Please do not disturb it.\n" ||
              line == "Counting to infinity: nearly there.\n" || line == "All pixels are present and correct.\n")
      << line;

  // A card that is not there: the display goes on with the one that is, and says so.
  r = RunVkaSource("set graphics card \"No Such Card\"\nprint current graphics card$()\nend\n", 50, "", true);
  EXPECT_EQ(r.transcript, "Primary Display Driver\n");
  r = RunVkaSource("checklist graphics cards\nprint checklist value a(1)\nend\n", 5);
  EXPECT_EQ(r.errorCode, 9004);
}

}  // namespace
