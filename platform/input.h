#pragma once
#include <cstdint>
#include <string>

union SDL_Event;

// Keyboard, mouse and system pointer of the input layer. The state is kept from events (SDL's
// or injected ones), never read back from SDL, so injected events count like real ones.

// Key codes are DirectInput-style scan codes: 0x01 Escape, 0x1C Return, 0x39 space, 0xC8 up
// arrow and so on, one byte each.
inline constexpr int kKeyCodeCount = 256;
// Key code of an SDL scancode; 0 when the key has none.
int KeyCodeOfScancode(int sdlScancode);
// SDL scancode of a key code; 0 when none.
int ScancodeOfKeyCode(int keyCode);
// Windows-style virtual-key code of a key code (letters, digits, F1-F12, arrows, editing and
// modifier keys); 0 for the others.
int VirtualKeyOfKeyCode(int keyCode);
// Key code of a key name as SDL names keys ("Left", "A", "Space", "Escape", "Left Ctrl";
// case-insensitive) or of a decimal key code 1..255; 0 when unknown.
int KeyCodeOfName(const std::string& name);
// Key code of the key that types a character without shift (letters of either case, digits,
// blank, the unshifted punctuation keys, backspace, tab, return, escape); 0 for the others.
int KeyCodeOfCharacter(unsigned char c);

// Starts the layer with every key and button up and no movement, and takes the platform's
// raw events; Stop lets them go again.
void InputLayerStart();
void InputLayerStop();
// Handles one SDL event (keys, text focus, mouse); the event pump calls it.
void InputHandleEvent(const SDL_Event& e);

// Keyboard.
void InputSetKey(int keyCode, bool down);
void InputReleaseAll();  // every key and mouse button up (the window lost the focus)
// Fills 256 bytes: 0x80 for each key down, 0 else.
void InputReadKeyboard(uint8_t state[kKeyCodeCount]);

// Mouse: relative movement (the wheel 120 a notch) and four buttons.
struct MouseReading {
  int32_t dx = 0, dy = 0, dz = 0;
  uint8_t buttons[4] = {0, 0, 0, 0};  // 0x80 while down: left, right, middle, fourth
};
void InputAddMouseMotion(int32_t dx, int32_t dy);
void InputAddMouseWheel(int32_t dz);
void InputSetMouseButton(int button, bool down);  // 0 left, 1 right, 2 middle, 3 fourth
// Takes the movement gathered since the previous read, with the buttons as they are now.
MouseReading InputReadMouse();

// System pointer of the window: placing it (client coordinates) and showing it. Placing it
// moves no relative mouse movement.
void InputWarpMouse(int32_t x, int32_t y);
void InputShowSystemCursor(bool shown);
bool InputSystemCursorShown();
