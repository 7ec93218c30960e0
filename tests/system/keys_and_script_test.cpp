// The key-code table and the --input file reader.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "platform/input.h"
#include "platform/input_script.h"
#include "system/input.h"
#include "tests/support/program_run.h"

TEST(KeyTable, GivesThePcScanCodesOfTheKeysProgramsAskFor) {
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_ESCAPE), 0x01);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_A), 30);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_Q), 0x10);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_M), 0x32);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_0), 0x0B);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_RETURN), 0x1C);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_KP_ENTER), 0x9C);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_SPACE), 0x39);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_LCTRL), 0x1D);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_RCTRL), 0x9D);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_LSHIFT), 0x2A);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_RSHIFT), 0x36);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_UP), 0xC8);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_DOWN), 0xD0);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_LEFT), 0xCB);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_RIGHT), 0xCD);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_F1), 0x3B);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_F10), 0x44);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_F11), 0x57);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_F12), 0x58);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_KP_7), 0x47);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_KP_0), 0x52);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_KP_DIVIDE), 0xB5);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_DELETE), 0xD3);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_RALT), 0xB8);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(KeyCodeOfScancode(SDL_SCANCODE_F24), 0);
}

TEST(KeyTable, EveryCodeLeadsBackToAKeyOfThatCode) {
  std::set<int> codes;
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
    int code = KeyCodeOfScancode(sc);
    if (!code) continue;
    EXPECT_LT(code, 256);
    codes.insert(code);
    EXPECT_EQ(KeyCodeOfScancode(ScancodeOfKeyCode(code)), code) << "scancode " << sc;
  }
  EXPECT_GE(codes.size(), 120u);
  EXPECT_EQ(ScancodeOfKeyCode(0), 0);
  EXPECT_EQ(ScancodeOfKeyCode(0x54), 0);
}

TEST(KeyTable, VirtualKeysAndNames) {
  EXPECT_EQ(VirtualKeyOfKeyCode(0x1E), 'A');
  EXPECT_EQ(VirtualKeyOfKeyCode(0x0B), '0');
  EXPECT_EQ(VirtualKeyOfKeyCode(0x01), 27);
  EXPECT_EQ(VirtualKeyOfKeyCode(0x58), 123);
  EXPECT_EQ(VirtualKeyOfKeyCode(0xCB), 37);
  EXPECT_EQ(VirtualKeyOfKeyCode(0x9C), 13);
  EXPECT_EQ(VirtualKeyOfKeyCode(0x37), 0);
  EXPECT_EQ(KeyCodeOfName("Left"), 0xCB);
  EXPECT_EQ(KeyCodeOfName("escape"), 0x01);
  EXPECT_EQ(KeyCodeOfName("Right Ctrl"), 0x9D);
  EXPECT_EQ(KeyCodeOfName("30"), 30);
  EXPECT_EQ(KeyCodeOfName("256"), 0);
  EXPECT_EQ(KeyCodeOfName("0"), 0);
  EXPECT_EQ(KeyCodeOfName("NoSuchKey"), 0);
}

TEST(InputLayer, StateComesFromEventsAndMovementIsTakenOnRead) {
  InputLayerStart();
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.keysym.scancode = SDL_SCANCODE_SPACE;
  InputHandleEvent(e);
  e.type = SDL_MOUSEMOTION;
  e.motion.xrel = 5;
  e.motion.yrel = -3;
  InputHandleEvent(e);
  e = SDL_Event{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = -2;
  InputHandleEvent(e);
  e = SDL_Event{};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.button = SDL_BUTTON_RIGHT;
  InputHandleEvent(e);
  uint8_t keys[256];
  InputReadKeyboard(keys);
  EXPECT_EQ(keys[0x39], 0x80);
  EXPECT_EQ(keys[0x1E], 0);
  MouseReading m = InputReadMouse();
  EXPECT_EQ(m.dx, 5);
  EXPECT_EQ(m.dy, -3);
  EXPECT_EQ(m.dz, -240);
  EXPECT_EQ(m.buttons[1], 0x80);
  EXPECT_EQ(m.buttons[0], 0);
  m = InputReadMouse();
  EXPECT_EQ(m.dx, 0);
  EXPECT_EQ(m.buttons[1], 0x80);
  // A window that loses the focus cannot see keys come up: they are released.
  e = SDL_Event{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  InputHandleEvent(e);
  InputReadKeyboard(keys);
  EXPECT_EQ(keys[0x39], 0);
  EXPECT_EQ(InputReadMouse().buttons[1], 0);
  // Movement sums saturate.
  InputAddMouseMotion(INT32_MAX, INT32_MIN);
  InputAddMouseMotion(10, -10);
  m = InputReadMouse();
  EXPECT_EQ(m.dx, INT32_MAX);
  EXPECT_EQ(m.dy, INT32_MIN);
  InputLayerStop();
}

TEST(InputScript, ReadsEveryKindOfEventInFrameOrder) {
  std::vector<ScriptEvent> ev;
  std::string error;
  ASSERT_TRUE(ParseInputScript("# a comment\n"
                               "5 key Left down\r\n"
                               "\n"
                               "  7 char 13\n"
                               "3 mouse -4 100\n"
                               "3 button right up\n"
                               "9 wheel -2\n"
                               "5 key 30 up\n",
                               ev, &error))
      << error;
  ASSERT_EQ(ev.size(), 7u);
  EXPECT_EQ(ev[0].frame, 3);
  EXPECT_EQ(ev[0].kind, ScriptEvent::Kind::MouseTo);
  EXPECT_EQ(ev[0].a, -4);
  EXPECT_EQ(ev[0].b, 100);
  EXPECT_EQ(ev[1].kind, ScriptEvent::Kind::ButtonUp);
  EXPECT_EQ(ev[1].a, 1);
  EXPECT_EQ(ev[2].kind, ScriptEvent::Kind::KeyDown);
  EXPECT_EQ(ev[2].a, 0xCB);
  EXPECT_EQ(ev[3].kind, ScriptEvent::Kind::KeyUp);
  EXPECT_EQ(ev[3].a, 30);
  EXPECT_EQ(ev[4].kind, ScriptEvent::Kind::Char);
  EXPECT_EQ(ev[4].a, 13);
  EXPECT_EQ(std::make_tuple(ev[5].frame, ev[5].kind, ev[5].a), std::make_tuple(8, ScriptEvent::Kind::KeyUp, 0));
  EXPECT_EQ(ev[6].kind, ScriptEvent::Kind::Wheel);
  EXPECT_EQ(ev[6].a, -2);
  // Names of more than one word.
  ASSERT_TRUE(ParseInputScript("1 key Left Ctrl down\n1 key right shift up\n1 key Keypad  Enter down\n", ev, &error))
      << error;
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_EQ(ev[0].kind, ScriptEvent::Kind::KeyDown);
  EXPECT_EQ(ev[0].a, 0x1D);
  EXPECT_EQ(ev[1].kind, ScriptEvent::Kind::KeyUp);
  EXPECT_EQ(ev[1].a, 0x36);
  EXPECT_EQ(ev[2].a, 0x9C);
}

// type: one character a frame with its key down, the key up the frame after; a character
// without a key is released by key code 0. Characters keep their order with other events.
TEST(InputScript, TypeGivesOneCharacterAFrameAndReleasesItsKey) {
  using K = ScriptEvent::Kind;
  std::vector<ScriptEvent> ev;
  std::string error;
  ASSERT_TRUE(ParseInputScript("6 type h\xC3\xA9\t\n7 wheel 1\n", ev, &error)) << error;
  const int h = KeyCodeOfName("H"), tab = KeyCodeOfName("Tab");
  const std::vector<std::tuple<int64_t, K, int32_t>> expected = {
      {6, K::KeyDown, h}, {6, K::Char, 'h'}, {7, K::KeyUp, h}, {7, K::Char, 0xE9}, {7, K::Wheel, 1},
      {8, K::KeyUp, 0},   {8, K::KeyDown, tab}, {9, K::KeyUp, tab}};  // tab types its own character
  ASSERT_EQ(ev.size(), expected.size());
  for (size_t k = 0; k < ev.size(); ++k)
    EXPECT_EQ(std::make_tuple(ev[k].frame, ev[k].kind, ev[k].a), expected[k]) << k;
  EXPECT_EQ(KeyCodeOfCharacter('5'), KeyCodeOfScancode(SDL_SCANCODE_5));
}

// A char event is seen in its frame only, as a typed character is, also when the next one is
// the same; a key event types nothing.
TEST(InputScript, ACharacterIsSeenInItsFrameOnly) {
  const std::string collect =
      "sync on\nfor f = 1 to 12\n  k$ = inkey$()\n  if k$ <> \"\" then s$ = s$ + k$\n  sync\nnext f\nprint s$\nsync\n";
  const RunOutcome r = RunVkaSource(collect, 30, "3 char 65\n5 char 66\n6 char 66\n8 key C down\n");
  EXPECT_EQ(r.transcript, "ABB\n") << r.err;
}

// Frames are numbered as --frames counts them: each print below is a frame, and a run of three
// sees the events of frames 1 to 3, each in its own frame.
TEST(InputScript, AnEventOfFrameNIsSeenInTheProgramsFrameN) {
  const RunOutcome r =
      RunVkaSource("do\n  print scancode()\nloop\n", 3, "1 key A down\n2 key A up\n3 key B down\n4 key B up\n");
  EXPECT_EQ(r.transcript, "30\n0\n48\n") << r.err;
}

// An input file the run cannot read is said with the cause.
TEST(InputScript, AFileTheRunCannotReadSaysWhy) {
  std::string why;
  EXPECT_FALSE(LoadInputScript("/nonexistent/input.txt", &why));
  EXPECT_EQ(why, "not found");
}

TEST(InputScript, RefusesBadLinesNamingTheLine) {
  std::vector<ScriptEvent> ev;
  std::string error;
  // Each error names the line and says the form that was expected.
  const char* const kKey = "expected FRAME key NAME down|up";
  const char* const kEvents = "the events are key, type, char, mouse, button and wheel";
  const std::pair<const char*, const char*> kBad[] = {
      {"x key A down", "as in \"10 key A down\""}, {"-1 key A down", "as in \"10 key A down\""},
      {"1 key Nope down", kKey}, {"1 key A sideways", kKey}, {"1 key Left Nope down", kKey}, {"1 key down", kKey},
      {"1 char 0", "expected FRAME char CODE (1-255)"}, {"1 char 256", "expected FRAME char CODE (1-255)"},
      {"1 mouse 1", "expected FRAME mouse X Y"}, {"1 mouse 1 2 3", "expected FRAME mouse X Y"},
      {"1 button thumb down", "expected FRAME button left|right|middle|fourth down|up"},
      {"1 wheel 99999", "expected FRAME wheel N"}, {"1 jump", kEvents}, {"1", kEvents},
      {"99999999999999999999 char 5", "as in \"10 key A down\""}, {"1 mouse 0x10 3", "expected FRAME mouse X Y"}};
  for (const auto& [bad, form] : kBad) {
    error.clear();
    EXPECT_FALSE(ParseInputScript(std::string("# ok\n") + bad + "\n", ev, &error)) << bad;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << bad << " gave " << error;
    EXPECT_NE(error.find(form), std::string::npos) << bad << " gave " << error;
    EXPECT_TRUE(ev.empty());
  }
  // CR LF is one line break, as are a lone CR and a lone LF.
  const struct {
    const char* text;
    const char* line;
  } kBreaks[] = {{"# ok\r\n\r\n1 jump\r\n", "line 3: "}, {"# ok\r1 jump\r", "line 2: "},
                 {"1 char 5\r\n\n\r1 jump\n", "line 4: "}};
  for (const auto& b : kBreaks) {
    error.clear();
    EXPECT_FALSE(ParseInputScript(b.text, ev, &error));
    EXPECT_EQ(error.rfind(b.line, 0), 0u) << error;
  }
  ASSERT_TRUE(ParseInputScript("1 type ab\r\n", ev, &error));
  EXPECT_EQ(std::count_if(ev.begin(), ev.end(), [](const ScriptEvent& e) { return e.kind == ScriptEvent::Kind::Char; }),
            2);  // the line break is not typed
}
