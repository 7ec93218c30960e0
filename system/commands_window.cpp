// Display, window and system commands: the 3D device kind and the card, memory queries, window
// mode and layout, Escape and the system keys, the spare flags and the built-in lines.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "core/checklist.h"
#include "core/error_codes.h"
#include "core/handler.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/text_state.h"
#include "platform/system_info.h"
#include "system/commands.h"
#include "system/system_services.h"

namespace {

// The classic window style and show codes.
constexpr uint32_t kStyleOverlapped = 0xCF0000, kStylePopup = 0x80000000, kStyleCaption = 0xC00000;
constexpr uint32_t kStyleFullScreen = 0x800A0000;
constexpr int32_t kShowHide = 0, kShowNormal = 1, kShowMaximise = 3, kShowShow = 5, kShowMinimise = 6,
                  kShowDefault = 10;
constexpr int32_t kFrameWidth = 8, kCaptionHeight = 19;

// SetDisplayMode on the current mode with the current device kind.
void RemakeDisplay(int32_t fallbackSoftware) {
  int32_t w = g_display.modeWidth, h = g_display.modeHeight, d = g_display.modeDepth;
  SetDisplayMode(&w, &h, &d, &g_display.software, w, h, d, fallbackSoftware);
}

void CmdSoftwareDevice() {
  g_display.software = 1;
  RemakeDisplay(0);
}

void CmdHardwareDevice() {
  g_display.software = 0;
  RemakeDisplay(1);
}

void CmdChecklistGraphicsCards() {
  BeginChecklist(false, true);
  for (const std::string& card : DisplayCardNames())
    if (ChecklistRow* row = AddChecklistRow()) SetChecklistText(*row, card.c_str());
  g_checklist.made = 1;
}

void CmdSetGraphicsCard() {
  const std::string name = OpString(0);
  SkipOperands(1);
  g_display.cardDescription = name.substr(0, 255);
  RemakeDisplay(g_display.software);
  if (g_display.cardName != name) RunError(kErrCardNotUsed);
}

template <int32_t Allow>
void CmdTransformAndLighting() {
  g_display.allowDeviceTransforms = Allow;
  RemakeDisplay(Allow ? g_display.software : 0);
}

// Textures are kept by the device and come back by themselves when drawn: there is no video
// memory of managed textures to give back here.
void CmdEvictTextures() {}

int32_t Clamp(uint64_t bytes) { return int32_t(std::min<uint64_t>(bytes, INT32_MAX)); }

// Textures and off-screen surfaces live in the machine's memory here.
template <int32_t Error>
void CmdDisplayMemory() {
  uint64_t physical = 0, withSwap = 0;
  if (MemoryAvailable(&physical, &withSwap)) OpCell(0)->i = Clamp(physical);
  else RunError(Error);
  SkipOperands(1);
}

void CmdSystemMemory() {
  uint64_t physical = 0, withSwap = 0;
  OpCell(0)->i = MemoryAvailable(&physical, &withSwap) ? Clamp(withSwap) : 0;
  SkipOperands(1);
}

void CmdEmulationMode() {
  OpCell(0)->i = g_display.software == 1 ? 1 : 0;
  SkipOperands(1);
}

void CmdCurrentGraphicsCard() {
  StoreText(OpCell(0), g_display.cardName.c_str());
  SkipOperands(1);
}

void CmdTnlAvailable() {
  OpCell(0)->i = std::string(g_display.deviceName) == "T&L" ? 1 : 0;
  SkipOperands(1);
}

void CmdSetWindowOn() {
  SetFullScreenFlag(0);
  RemakeDisplay(g_display.software);
  g_display.windowMode = 1;
  g_display.borderFill = 0;
  g_display.title = "";
  g_display.showState = kShowDefault;
  g_display.clientWidth = g_display.width;
  g_display.clientHeight = g_display.height;
  g_display.frameWidth = kFrameWidth;
  g_display.captionHeight = kCaptionHeight;
  g_display.clientX = kFrameWidth / 2;
  g_display.clientY = kCaptionHeight + kFrameWidth / 2;
  g_display.style = kStyleOverlapped;
  ApplyWindowSettings(1);
}

void CmdSetWindowOff() {
  g_display.windowMode = 0;
  g_display.borderFill = 1;
  g_display.clientX = g_display.clientY = 0;
  g_display.title = "Vellumark";
  g_display.showState = kShowDefault;
  if (!DesktopSize(&g_display.clientWidth, &g_display.clientHeight)) {
    g_display.clientWidth = g_display.width;
    g_display.clientHeight = g_display.height;
  }
  g_display.frameWidth = g_display.captionHeight = 0;
  g_display.style = kStyleFullScreen;
  ApplyWindowSettings(1);
  SetFullScreenFlag(1);
  RemakeDisplay(g_display.software);
}

void CmdSetWindowLayout() {
  const int32_t border = OpInt(0), caption = OpInt(1);
  SkipOperands(3);
  if (border == 1) {
    g_display.frameWidth = kFrameWidth;
    g_display.captionHeight = kCaptionHeight;
    g_display.style = kStyleOverlapped;
  } else {
    g_display.frameWidth = g_display.captionHeight = 0;
    g_display.style = kStylePopup;
  }
  if (caption == 1) {
    g_display.frameWidth = kFrameWidth;
    g_display.captionHeight = kCaptionHeight;
    g_display.style |= kStyleCaption;
  }
  ApplyWindowSettings(1);
}

void CmdSetWindowPosition() {
  g_display.clientX = OpInt(0);
  g_display.clientY = OpInt(1);
  SkipOperands(2);
  ApplyWindowSettings(1);
}

void CmdSetWindowSize() {
  g_display.clientWidth = std::max(1, OpInt(0));
  g_display.clientHeight = std::max(1, OpInt(1));
  SkipOperands(2);
  ApplyWindowSettings(1);
}

void CmdSetWindowTitle() {
  g_display.title = OpString(0);
  SkipOperands(1);
  ApplyWindowSettings(1);
}

template <int32_t Show>
void CmdShowState() {
  g_display.showState = Show;
  ApplyWindowSettings(0);
}

template <uint8_t On>
void CmdEscapeKey() {
  g_timing.escapeEndsProgram = On;
}

template <uint8_t On>
void CmdSystemKeys() {
  WindowGrabSystemKeys(On == 0);
  g_timing.systemKeysEnabled = On;
}

template <int Flag, uint8_t Value>
void CmdSpareFlag() {
  g_timing.spareFlags[Flag] = Value;
}

const char* const kLines[3][3] = {
    {"The computer is thinking. Please do not disturb it.", "Counting to infinity: nearly there.",
     "All pixels are present and correct."},
    {"This program runs on tea and good intentions.", "Nothing to see here, move along.",
     "The bugs have been told to behave."},
    {"Somewhere a byte is missing. It was not us.", "The screen is fine; the gremlins are asleep.",
     "Loading a witty remark... please wait."},
};

template <int Set>
void CmdBuiltInLine() {
  QueueTextWithExtent(kLines[Set][std::rand() % 3], &g_cursorX, &g_cursorY, false, false, false);
  if (g_draw.programBitmap == 0) AutoRefresh();
}

const CommandDef kWindowCommands[] = {
    {9001, CmdSoftwareDevice, ""},
    {9002, CmdHardwareDevice, ""},
    {9003, CmdChecklistGraphicsCards, ""},
    {9004, CmdSetGraphicsCard, "s"},
    {9011, CmdTransformAndLighting<0>, ""},
    {9012, CmdTransformAndLighting<1>, ""},
    {9013, CmdEvictTextures, ""},
    {9051, CmdDisplayMemory<kErrTextureMemoryUnknown>, "l"},
    {9052, CmdDisplayMemory<kErrVideoMemoryUnknown>, "l"},
    {9053, CmdSystemMemory, "l"},
    {9054, CmdEmulationMode, "l"},
    {9055, CmdCurrentGraphicsCard, "s"},
    {9056, CmdTnlAvailable, "l"},
    {9101, CmdSetWindowOn, ""},
    {9102, CmdSetWindowOff, ""},
    {9103, CmdSetWindowLayout, "lll"},
    {9104, CmdSetWindowPosition, "ll"},
    {9105, CmdSetWindowSize, "ll"},
    {9106, CmdShowState<kShowHide>, ""},
    {9107, CmdShowState<kShowShow>, ""},
    {9108, CmdSetWindowTitle, "s"},
    {9109, CmdShowState<kShowMinimise>, ""},
    {9110, CmdShowState<kShowMaximise>, ""},
    {9111, CmdShowState<kShowNormal>, ""},
    {9601, CmdEscapeKey<0>, ""},
    {9602, CmdEscapeKey<1>, ""},
    {9603, CmdSystemKeys<0>, ""},
    {9604, CmdSystemKeys<1>, ""},
    {9801, CmdBuiltInLine<0>, ""},
    {9802, CmdBuiltInLine<1>, ""},
    {9803, CmdBuiltInLine<2>, ""},
    {9990, CmdSpareFlag<0, 1>, ""},
    {9991, CmdSpareFlag<1, 1>, ""},
    {9992, CmdSpareFlag<1, 0>, ""},
    {9993, CmdSpareFlag<2, 1>, ""},
    {9994, CmdSpareFlag<2, 0>, ""},
    {9995, CmdSpareFlag<0, 0>, ""},
};

}  // namespace

std::span<const CommandDef> WindowCommands() { return kWindowCommands; }
