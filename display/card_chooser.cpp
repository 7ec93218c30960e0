// The display-card chooser: the card and best depth are remembered in the per-user "WIN.INI".
#include <cstdlib>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "display/display.h"
#include "platform/fs.h"
#include "platform/ini.h"
#include "platform/window.h"

namespace {

const char kSection[] = "VellumarkStateData";

std::string WinIni() { return FsConfigFolder() + "/WIN.INI"; }

// The cards of this machine: the one primary driver.
std::vector<std::string> EnumerateDisplayCards() { return {"Primary Display Driver"}; }

int32_t ValidDepth(int32_t d) { return d == 24 || d == 32 ? d : 16; }

}  // namespace

void ChooseDisplayCard() {
  std::string chosen = IniGetString(WinIni(), kSection, "BEST3DCARD", "").substr(0, 255);
  std::vector<std::string> cards = EnumerateDisplayCards();
  for (const std::string& c : cards) {
    if (FsEqualsNoCase(c, chosen)) {
      g_display.chosenDepth = ValidDepth(std::atoi(IniGetString(WinIni(), kSection, "BEST3DDEPTH", "16").substr(0, 8).c_str()));
      g_display.cardDescription = c;
      return;
    }
  }
  // First run. Nothing is shown headless; with one card there is no list to pick from.
  if (PlatformIsHeadless()) {
    g_display.chosenDepth = 16;
    return;
  }
  chosen = cards.front();
  g_display.cardDescription = chosen;
  IniWriteString(WinIni(), kSection, "BEST3DCARD", chosen);
  int32_t hardware = 0, depth = 16, blend = 0, filter = 0, fog = 0;
  ProbeDisplayCapabilities(&hardware, &depth, &blend, &filter, &fog);
  g_display.chosenDepth = ValidDepth(depth);
  g_display.cardChooserShown = 0;
  IniWriteString(WinIni(), kSection, "BEST3DDEPTH", std::to_string(g_display.chosenDepth));
}
