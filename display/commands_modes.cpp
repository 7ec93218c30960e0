// Display mode commands: list, set and check the modes; the screen's size, depth, memory,
// frame rate and re-created flag.
#include <cstdio>
#include <vector>

#include "core/checklist.h"
#include "core/handler.h"
#include "display/commands.h"
#include "display/display.h"
#include "platform/display_modes.h"

namespace {

bool ValidModeDepth(int32_t depth) { return depth == 16 || depth == 24 || depth == 32; }

// Modes below 16 bits are never listed nor matched.
bool ReadModes(std::vector<DisplayModeInfo>* modes) {
  if (!PlatformDisplayModes(modes)) return false;
  std::erase_if(*modes, [](const DisplayModeInfo& m) { return m.depth < 16; });
  return true;
}

void CmdChecklistDisplayModes() {
  BeginChecklist(true, true);
  std::vector<DisplayModeInfo> modes;
  bool read = ReadModes(&modes);
  for (const DisplayModeInfo& m : modes) {
    ChecklistRow* row = AddChecklistRow();
    if (!row) break;
    row->a = m.width;
    row->b = m.height;
    row->c = m.depth;
    char text[48];
    std::snprintf(text, sizeof text, "%dx%dx%d", m.width, m.height, m.depth);
    SetChecklistText(*row, text);
  }
  g_checklist.made = read ? 1 : 0;
}

void CmdSetDisplayMode() {
  int32_t width = OpInt(0), height = OpInt(1), depth = OpInt(2);
  SkipOperands(3);
  LeaveSlice = 1;
  if (!ValidModeDepth(depth)) {
    RunError(kErrModeDepthInvalid);
    return;
  }
  if (width < 1 || height < 1) {
    RunError(kErrModeSizeInvalid);
    return;
  }
  if (SetDisplayMode(&width, &height, &depth, &g_display.software, g_display.modeWidth, g_display.modeHeight,
                     g_display.modeDepth, g_display.software) == 1) {
    g_display.modeWidth = width;
    g_display.modeHeight = height;
    g_display.modeDepth = depth;
    // The screen depth was set with the surfaces: the mode's depth in full screen, the
    // window's own format in a window.
  }
}

void CmdScreenWidth() {
  OpCell(0)->i = g_display.modeWidth;
  SkipOperands(1);
}

void CmdScreenHeight() {
  OpCell(0)->i = g_display.modeHeight;
  SkipOperands(1);
}

void CmdScreenDepth() {
  OpCell(0)->i = g_display.modeDepth;
  SkipOperands(1);
}

void CmdScreenType() {
  OpCell(0)->i = 1 - g_display.systemMemory;
  SkipOperands(1);
}

void CmdScreenFps() {
  OpCell(0)->i = int32_t(g_display.fpsReported);
  SkipOperands(1);
}

void CmdScreenInvalid() {
  OpCell(0)->i = g_display.recreated;
  g_display.recreated = 0;
  SkipOperands(1);
}

void CmdCheckDisplayMode() {
  VarCell* result = OpCell(0);
  int32_t width = OpInt(1), height = OpInt(2), depth = OpInt(3);
  SkipOperands(4);
  if (!ValidModeDepth(depth)) {
    RunError(kErrModeDepthInvalid);
    return;
  }
  if (width == 0 || height == 0) {
    RunError(kErrModeSizeInvalid);
    return;
  }
  std::vector<DisplayModeInfo> modes;
  // A list that cannot be read is a display mode error, not a silent end of the program.
  if (!ReadModes(&modes)) {
    RunError(kErrModeSizeInvalid);
    return;
  }
  int32_t found = 0;
  for (const DisplayModeInfo& m : modes)
    if (m.width == width && m.height == height && m.depth == depth) {
      found = 1;
      break;
    }
  result->i = found;
}

const CommandDef kModeCommands[] = {
    {1500, CmdChecklistDisplayModes, ""}, {1501, CmdSetDisplayMode, "lll"}, {1551, CmdScreenWidth, "l"},
    {1552, CmdScreenHeight, "l"},         {1553, CmdScreenDepth, "l"},      {1554, CmdScreenType, "l"},
    {1555, CmdScreenFps, "l"},            {1556, CmdScreenInvalid, "l"},    {1571, CmdCheckDisplayMode, "llll"},
};

}  // namespace

std::span<const CommandDef> ModeCommands() { return kModeCommands; }
