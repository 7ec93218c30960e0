// "SETUP.INI" and "WIN.INI" are the user's files: any bytes give settings and a recent list
// within their limits.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "devenv/ide_state.h"
#include "devenv/settings.h"
#include "platform/fs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool configured = [] {
    setenv("XDG_CONFIG_HOME", (FsTempFolder() + "/config").c_str(), 1);
    return true;
  }();
  (void)configured;
  const std::string text(reinterpret_cast<const char*>(data), size);
  FsWriteFileAtomic(IdeStateFile(), text);
  const std::string setup = FsCreateTempFile("SETUP.INI", text.data(), text.size());
  IdeSettings s = ReadIdeSettings(setup, "/prog/");
  if (s.textLanguage.size() > 255 || s.helpFolder.compare(0, 6, "/prog/") != 0) std::abort();
  ResetIdeState();
  LoadRecentFiles();
  if (g_ide.recent.size() > size_t(kRecentFileCount)) std::abort();
  for (const RecentFile& r : g_ide.recent)
    if (r.name.empty() || r.name.size() > 255 || r.folder.size() > 255) std::abort();
  return 0;
}
