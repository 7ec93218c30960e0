// The mouse in window mode: the window's messages give the position and buttons, placing the
// pointer works in picture coordinates, and the system pointer is shown and hidden.
#include <SDL.h>
#include <gtest/gtest.h>

#include "core/command_table.h"
#include "core/loader.h"
#include "core/run_state.h"
#include "display/display.h"
#include "platform/events.h"
#include "platform/window.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/subsystems.h"
#include "system/input.h"
#include "system/system_services.h"
#include "tests/support/program_run.h"
#include "tests/system/virtual_sticks.h"

using WindowMouse = VirtualSticks;

TEST_F(WindowMouse, PositionAndButtonsComeFromTheWindowWhileMovementStillCounts) {
  StartInput();
  g_display.windowMode = 1;
  g_input.mouseX = 10;
  g_input.mouseY = 20;
  g_input.messageMouseButtons = 2;
  InputAddMouseMotion(30, 40);
  InputSetMouseButton(0, true);
  Poll();
  EXPECT_EQ(g_input.mouseX, 10);
  EXPECT_EQ(g_input.mouseY, 20);
  EXPECT_EQ(g_input.moveX, 30);
  EXPECT_EQ(g_input.moveY, 40);
  EXPECT_EQ(g_input.mouseButtons, 2);
  g_display.windowMode = 0;
  Poll();
  EXPECT_EQ(g_input.mouseButtons, 1);
}

TEST_F(WindowMouse, ShowAndHideTheSystemPointerOnlyWhenItChanges) {
  StartInput();
  g_display.windowMode = 1;
  g_display.cursorShown = 0;
  CommandCall c;
  EXPECT_EQ(c.Run(253, 0), 0);
  EXPECT_EQ(g_display.cursorShown, 1);
  EXPECT_TRUE(InputSystemCursorShown());
  EXPECT_EQ(LeaveSlice, 1);
  EXPECT_EQ(c.Run(224, 0), 0);
  EXPECT_EQ(g_display.cursorShown, 0);
  EXPECT_FALSE(InputSystemCursorShown());
  // The window set-up shows the pointer; hiding it then takes it away.
  ApplyWindowSettings(1);
  ASSERT_EQ(g_display.cursorShown, 1);
  EXPECT_EQ(c.Run(224, 0), 0);
  EXPECT_EQ(g_display.cursorShown, 0);
  EXPECT_FALSE(InputSystemCursorShown());
  // In full screen the pointer is the runtime's sprite; the system pointer stays as it is.
  g_display.windowMode = 0;
  EXPECT_EQ(c.Run(253, 0), 0);
  EXPECT_EQ(g_display.cursorShown, 0);
  EXPECT_FALSE(InputSystemCursorShown());
}

// The window reports client coordinates; the program gets picture coordinates, however far
// the window was moved on the screen.
TEST_F(WindowMouse, PositionIsInPictureCoordinatesWhereverTheWindowIs) {
  StartInput();
  g_display.windowMode = 1;
  g_display.pictureOffsetX = 5;
  g_display.pictureOffsetY = 7;
  HandleWindowMessage(Message{MsgKind::Move, 300, 200});
  HandleWindowMessage(Message{MsgKind::MouseMove, 105, 57});
  EXPECT_EQ(g_input.mouseX, 100);
  EXPECT_EQ(g_input.mouseY, 50);
  // Left of and above the picture the position is negative, as the window reports it.
  HandleWindowMessage(Message{MsgKind::MouseMove, 0xFFFE, 2});
  EXPECT_EQ(g_input.mouseX, -7);
  EXPECT_EQ(g_input.mouseY, -5);
  // Placing the pointer at the end of the range moves the system pointer no further.
  CommandCall c;
  c.cells[0].i = INT32_MAX;
  c.cells[1].i = INT32_MIN;
  EXPECT_EQ(c.Run(246, 2), 0);
  EXPECT_EQ(g_input.mouseX, INT32_MAX);
  EXPECT_EQ(g_input.mouseY, INT32_MIN);
  g_display.pictureOffsetX = g_display.pictureOffsetY = 0;
  g_display.windowMode = 0;
}

TEST_F(WindowMouse, PlacingThePointerMovesNoRelativeMouse) {
  PlatformSetHeadless(false);
  if (!PlatformVideoInit() || PlatformIsHeadless() || !WindowCreate("test", 640, 480, false)) {
    PlatformVideoQuit();
    PlatformSetHeadless(true);
    GTEST_SKIP() << "no video driver";
  }
  StartInput();
  g_display.windowMode = 1;
  g_display.pictureOffsetX = 5;
  g_display.pictureOffsetY = 7;
  PumpPlatformEvents();
  InputReadMouse();
  EventsReset();
  CommandCall c;
  c.cells[0].i = 100;
  c.cells[1].i = 50;
  EXPECT_EQ(c.Run(246, 2), 0);
  EXPECT_EQ(g_input.mouseX, 100);
  EXPECT_EQ(g_input.mouseY, 50);
  int mx = 0, my = 0;
  SDL_GetMouseState(&mx, &my);
  EXPECT_EQ(mx, 105);
  EXPECT_EQ(my, 57);
  PumpPlatformEvents();
  EXPECT_EQ(InputReadMouse().dx, 0);
  // The window still reports where the pointer went.
  Message m;
  bool moved = false;
  while (PeekWindowMessage(m) && m.kind != MsgKind::Quit)
    if (m.kind == MsgKind::MouseMove && m.a == 105 && m.b == 57) moved = true;
  EXPECT_TRUE(moved);
  StopInputDevices();
  PlatformVideoQuit();
  PlatformSetHeadless(true);
  g_display.pictureOffsetX = g_display.pictureOffsetY = 0;
}

// In program-controlled mode a loop that never synchronises still stops for Escape: the
// stop-key check takes in the window's events.
TEST(StopKeys, EscapeEndsAProgramControlledSliceWithoutInputQueries) {
  PlatformSetHeadless(false);
  if (!PlatformVideoInit() || PlatformIsHeadless()) {
    PlatformVideoQuit();
    PlatformSetHeadless(true);
    GTEST_SKIP() << "no video driver";
  }
  EventsReset();
  ImageBuilder b;
  int32_t t = b.IntVar();
  b.Emit({403});
  for (int k = 0; k < 1000; ++k) b.Emit({260, t});
  b.Emit({213});
  std::vector<uint8_t> bytes = b.Build();
  g_runtime = RuntimeState{};
  ResetSubsystems();
  ASSERT_TRUE(LoadProgramFromBytes(bytes.data(), bytes.size()));
  g_display.active = 1;
  ResetInterpreter();
  LeaveSlice = 0;
  InterpretSlice();  // sync on
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.keysym.sym = SDLK_ESCAPE;
  e.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
  SDL_PushEvent(&e);
  InterpretSlice();
  EXPECT_LT(CodeIndexOf(ProgramCounter), 2 + 2 * 300);
  EXPECT_FALSE(QuitPosted());
  FreeProgramStrings();
  EventsReset();
  PlatformVideoQuit();
  PlatformSetHeadless(true);
  g_display.active = 0;
}
