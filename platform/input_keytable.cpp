// Our table from SDL scancodes to DirectInput-style key codes (the set-1 scan codes of a PC
// keyboard, with 0x80 added for the extended keys).
#include "platform/libs/sdl_api.h"

#include <cstdlib>
#include <string>

#include "platform/events.h"
#include "platform/input.h"

namespace {

struct KeyPair {
  SDL_Scancode scancode;
  uint8_t code;
};

const KeyPair kKeys[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},       {SDL_SCANCODE_1, 0x02},
    {SDL_SCANCODE_2, 0x03},            {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05},            {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},            {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09},            {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},            {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},       {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},          {SDL_SCANCODE_Q, 0x10},
    {SDL_SCANCODE_W, 0x11},            {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},            {SDL_SCANCODE_T, 0x14},
    {SDL_SCANCODE_Y, 0x15},            {SDL_SCANCODE_U, 0x16},
    {SDL_SCANCODE_I, 0x17},            {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},            {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_LCTRL, 0x1D},        {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},            {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21},            {SDL_SCANCODE_G, 0x22},
    {SDL_SCANCODE_H, 0x23},            {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},            {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27},    {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29},        {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},    {SDL_SCANCODE_NONUSHASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C},            {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},            {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30},            {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32},            {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},       {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36},       {SDL_SCANCODE_KP_MULTIPLY, 0x37},
    {SDL_SCANCODE_LALT, 0x38},         {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},     {SDL_SCANCODE_F1, 0x3B},
    {SDL_SCANCODE_F2, 0x3C},           {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E},           {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},           {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42},           {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},          {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},   {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48},         {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},     {SDL_SCANCODE_KP_4, 0x4B},
    {SDL_SCANCODE_KP_5, 0x4C},         {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},      {SDL_SCANCODE_KP_1, 0x4F},
    {SDL_SCANCODE_KP_2, 0x50},         {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52},         {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_F11, 0x57},
    {SDL_SCANCODE_F12, 0x58},          {SDL_SCANCODE_F13, 0x64},
    {SDL_SCANCODE_F14, 0x65},          {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70}, {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79}, {SDL_SCANCODE_INTERNATIONAL5, 0x7B},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D}, {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_AUDIOPREV, 0x90},    {SDL_SCANCODE_STOP, 0x95},
    {SDL_SCANCODE_AUDIONEXT, 0x99},    {SDL_SCANCODE_KP_ENTER, 0x9C},
    {SDL_SCANCODE_RCTRL, 0x9D},        {SDL_SCANCODE_MUTE, 0xA0},
    {SDL_SCANCODE_CALCULATOR, 0xA1},   {SDL_SCANCODE_AUDIOPLAY, 0xA2},
    {SDL_SCANCODE_AUDIOSTOP, 0xA4},    {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
    {SDL_SCANCODE_VOLUMEUP, 0xB0},     {SDL_SCANCODE_AC_HOME, 0xB2},
    {SDL_SCANCODE_KP_COMMA, 0xB3},     {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7},  {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_PAUSE, 0xC5},        {SDL_SCANCODE_HOME, 0xC7},
    {SDL_SCANCODE_UP, 0xC8},           {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB},         {SDL_SCANCODE_RIGHT, 0xCD},
    {SDL_SCANCODE_END, 0xCF},          {SDL_SCANCODE_DOWN, 0xD0},
    {SDL_SCANCODE_PAGEDOWN, 0xD1},     {SDL_SCANCODE_INSERT, 0xD2},
    {SDL_SCANCODE_DELETE, 0xD3},       {SDL_SCANCODE_LGUI, 0xDB},
    {SDL_SCANCODE_RGUI, 0xDC},         {SDL_SCANCODE_APPLICATION, 0xDD},
    {SDL_SCANCODE_POWER, 0xDE},        {SDL_SCANCODE_SLEEP, 0xDF},
    {SDL_SCANCODE_AC_SEARCH, 0xE5},    {SDL_SCANCODE_AC_BOOKMARKS, 0xE6},
    {SDL_SCANCODE_AC_REFRESH, 0xE7},   {SDL_SCANCODE_AC_STOP, 0xE8},
    {SDL_SCANCODE_AC_FORWARD, 0xE9},   {SDL_SCANCODE_AC_BACK, 0xEA},
    {SDL_SCANCODE_COMPUTER, 0xEB},     {SDL_SCANCODE_MAIL, 0xEC},
    {SDL_SCANCODE_MEDIASELECT, 0xED},
};

// The keys with a virtual-key code of their own, by scancode and by key symbol (letters, digits
// and F1 to F12 follow from their ranges).
struct NamedKey {
  SDL_Scancode scancode;
  SDL_Keycode key;
  uint8_t vk;
};

const NamedKey kNamedKeys[] = {
    {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 8}, {SDL_SCANCODE_TAB, SDLK_TAB, 9},
    {SDL_SCANCODE_RETURN, SDLK_RETURN, 13},      {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 13},
    {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, 16},      {SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 16},
    {SDL_SCANCODE_LCTRL, SDLK_LCTRL, 17},        {SDL_SCANCODE_RCTRL, SDLK_RCTRL, 17},
    {SDL_SCANCODE_LALT, SDLK_LALT, 18},          {SDL_SCANCODE_RALT, SDLK_RALT, 18},
    {SDL_SCANCODE_PAUSE, SDLK_PAUSE, 19},        {SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, 20},
    {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 27},      {SDL_SCANCODE_SPACE, SDLK_SPACE, 32},
    {SDL_SCANCODE_PAGEUP, SDLK_PAGEUP, 33},      {SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN, 34},
    {SDL_SCANCODE_END, SDLK_END, 35},            {SDL_SCANCODE_HOME, SDLK_HOME, 36},
    {SDL_SCANCODE_LEFT, SDLK_LEFT, 37},          {SDL_SCANCODE_UP, SDLK_UP, 38},
    {SDL_SCANCODE_RIGHT, SDLK_RIGHT, 39},        {SDL_SCANCODE_DOWN, SDLK_DOWN, 40},
    {SDL_SCANCODE_INSERT, SDLK_INSERT, 45},      {SDL_SCANCODE_DELETE, SDLK_DELETE, 46},
};

}  // namespace

int KeyCodeOfScancode(int sdlScancode) {
  for (const KeyPair& k : kKeys)
    if (k.scancode == sdlScancode) return k.code;
  return 0;
}

int ScancodeOfKeyCode(int keyCode) {
  for (const KeyPair& k : kKeys)
    if (k.code == keyCode) return k.scancode;
  return 0;
}

int KeyCodeOfName(const std::string& name) {
  if (name.empty()) return 0;
  if (name.find_first_not_of("0123456789") == std::string::npos) {
    if (name.size() > 3) return 0;
    int code = std::atoi(name.c_str());
    return code >= 1 && code <= 255 ? code : 0;
  }
  if (!OpenSdl()) return 0;
  SDL_Scancode sc = g_sdl.SDL_GetScancodeFromName(name.c_str());
  return sc == SDL_SCANCODE_UNKNOWN ? 0 : KeyCodeOfScancode(sc);
}

int KeyCodeOfCharacter(unsigned char c) {
  int sc = SDL_SCANCODE_UNKNOWN;
  if (c >= 'a' && c <= 'z') sc = SDL_SCANCODE_A + (c - 'a');
  else if (c >= 'A' && c <= 'Z') sc = SDL_SCANCODE_A + (c - 'A');
  else if (c >= '1' && c <= '9') sc = SDL_SCANCODE_1 + (c - '1');
  else if (c == '0') sc = SDL_SCANCODE_0;
  else if (c == ' ') sc = SDL_SCANCODE_SPACE;
  else if (c == 8) sc = SDL_SCANCODE_BACKSPACE;
  else if (c == 9) sc = SDL_SCANCODE_TAB;
  else if (c == 13) sc = SDL_SCANCODE_RETURN;
  else if (c == 27) sc = SDL_SCANCODE_ESCAPE;
  else if (c > 32 && c < 127 && OpenSdl()) sc = g_sdl.SDL_GetScancodeFromName(std::string(1, char(c)).c_str());  // "-", ",", "/" ...
  return sc == SDL_SCANCODE_UNKNOWN ? 0 : KeyCodeOfScancode(sc);
}

int VirtualKeyOfKeyCode(int keyCode) {
  const int sc = ScancodeOfKeyCode(keyCode);
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 112 + (sc - SDL_SCANCODE_F1);
  if (sc == SDL_SCANCODE_0) return '0';
  for (const NamedKey& k : kNamedKeys)
    if (k.scancode == sc) return k.vk;
  return 0;
}

int VirtualKeyOfSdlKey(int32_t k) {
  if (k >= 'a' && k <= 'z') return k - 'a' + 'A';
  if (k >= '0' && k <= '9') return k;
  if (k >= SDLK_F1 && k <= SDLK_F12) return 112 + (k - SDLK_F1);
  for (const NamedKey& n : kNamedKeys)
    if (n.key == k) return n.vk;
  return 0;
}
