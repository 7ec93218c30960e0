#pragma once
#include <cstdint>
#include <vector>

// The display modes the screen offers. Every 2D picture is drawn on the CPU and scaled to the
// desktop when shown full screen, so a size is usable at every depth the display supports.
struct DisplayModeInfo {
  int32_t width, height, depth;
};

// The modes in a fixed order (by size, then depth). Headless runs get a fixed list of the
// classic sizes; with a screen, the sizes SDL reports plus the classic sizes that fit on it
// (and 640x480 always, the start-up mode). False when the list cannot be read.
bool PlatformDisplayModes(std::vector<DisplayModeInfo>* modes);

// Test hook: the next n reads of the mode list fail.
extern int32_t g_displayModeReadFailures;
