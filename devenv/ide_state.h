#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "devenv/settings.h"

// The development environment's state: one struct, reset as one block. It lives across the
// runs of programs the environment starts, so it is not part of a run's subsystem table.

struct RecentFile {
  std::string name, folder;
};
inline constexpr int kRecentFileCount = 4;

struct MediaEditor {
  bool exists = false;  // the program file exists
  std::string path;
  int64_t processId = 0;  // of a started editor, 0 when none
};
inline constexpr int kMediaEditorCount = 5;

struct IdeState {
  IdeSettings settings;
  std::vector<RecentFile> recent;  // newest first, at most kRecentFileCount
  MediaEditor mediaEditors[kMediaEditorCount];

  std::string fileName, projectFolder;  // the current source and its project folder
  std::string title, author, date;      // the source's header fields
  uint8_t modified = 0;                 // the source differs from its file

  std::string statusText;
  int32_t statusColour = 0;  // 0 the normal band, 256 the second one
  bool firstRun = false;
  bool redrawStatus = false, redrawMenus = false, redrawScrollBar = false;
};

extern IdeState g_ide;
void ResetIdeState();
