#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Input files (--input FILE): keys, characters and mouse events by frame number, one event a
// line; '#' starts a comment line:
//   FRAME key NAME down|up     a key by SDL's name ("Left", "A", "Space", "Left Ctrl") or key
//                              code 1..255; it types no character (type and char do), but
//                              for Backspace, Tab, Return and Escape, which type their own
//   FRAME type TEXT            the characters of TEXT (UTF-8, typed in TextCodePage), one a
//                              frame from FRAME on: the character's key goes down with it and
//                              up the frame after
//   FRAME char CODE            one character byte 1..255, released the frame after (no key
//                              goes down)
//   FRAME mouse X Y            the pointer moves to X, Y of the picture
//   FRAME button B down|up     B: left, right, middle or fourth
//   FRAME wheel N              N notches of the wheel (positive: away from the user)
// Frames are counted as --frames counts them, from 1: an event of frame N is delivered before
// the program's frame N runs (one of frame 0 with frame 1), so a run of N frames sees frames 1..N.
struct ScriptEvent {
  enum class Kind : uint8_t { KeyDown, KeyUp, Char, MouseTo, ButtonDown, ButtonUp, Wheel };
  int64_t frame = 0;
  Kind kind = Kind::Char;
  int32_t a = 0, b = 0;  // key code, character, x and y, button (0..3) or notches
};

// The most an input file may hold, in bytes; a pipe or a device is read up to it too.
constexpr uint64_t kMostInputFileBytes = uint64_t(256) << 20;

// Parses an input file's text into events ordered by frame (lines of one frame keep their
// order). On failure: false, and "line N: why" in error.
bool ParseInputScript(const std::string& text, std::vector<ScriptEvent>& events, std::string* error);
