// The display-card chooser: the card and best depth are remembered in the per-user "WIN.INI".
// This machine offers one display, so the list page never appears; on the first run the
// report page shows what the display supports until a key or a click.
#include "platform/libs/sdl_api.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/run_state.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/ini.h"
#include "platform/present.h"
#include "platform/text.h"
#include "platform/window.h"

namespace {

const char kSection[] = "VellumarkStateData";
// How long the report waits for a key at most.
constexpr uint32_t kReportWaitMs = 60000;

struct ChooserState {
  int32_t page = 0;
  int32_t values[4] = {0, 0, 0, 0};  // 3D in hardware, blending, filtering, fog
};
ChooserState g_chooser;

std::string WinIni() { return FsConfigFile("WIN.INI"); }

int32_t ValidDepth(int32_t d) { return d == 24 || d == 32 ? d : 16; }

// Nobody can see a window of the offscreen or dummy video drivers.
bool ChooserVisible() {
  if (PlatformIsHeadless() || !WindowHandle()) return false;
  const char* driver = g_sdl.SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

void Centred(TextContext& dc, int32_t left, int32_t right, int32_t y, const char* text, uint32_t rgb) {
  TextExtent e = TextMeasure(dc.font.get(), text, std::strlen(text));
  dc.textPixel = rgb;
  TextOut(dc, left + (right - left) / 2 - e.cx / 2, y, text, std::strlen(text));
}

void WaitForKeyOrClick() {
  uint32_t start = TimeMs();
  g_runtime.lastCharacter = 0;
  while (TimeMs() - start < kReportWaitMs) {
    Message m;
    while (PeekWindowMessage(m)) {
      if (m.kind == MsgKind::Quit) return;
      if (m.kind == MsgKind::Close) {
        PostWindowMessage(m);  // the run still ends
        return;
      }
      if ((m.kind == MsgKind::Char && m.a > 0) || m.kind == MsgKind::LButtonDown || m.kind == MsgKind::RButtonDown)
        return;
      if (m.kind == MsgKind::Paint) PaintCardChooser();
    }
    SleepMs(10);
  }
}

}  // namespace

std::vector<std::string> DisplayCardNames() { return {"Primary Display Driver"}; }

void ResetCardChooser() { g_chooser = ChooserState{}; }

void PaintCardChooser() {
  if (!g_display.cardChooserShown || g_chooser.page != 2 || !WindowHandle()) return;
  int32_t w = 0, h = 0;
  WindowClientSize(&w, &h);
  SurfacePtr s = SurfaceCreate(w, h, 32);
  if (!s) return;
  SurfRect box{20, 30, w - 20, h - 24};
  if (box.Width() > 300) {
    int32_t dx = box.Width() - 300, dy = box.Height() - 200;
    box = {box.left + dx / 2, box.top + dy / 2, box.right - dx / 2, box.bottom - dy / 2};
  }
  SurfaceFill(s.get(), &box, 0x000000);
  SurfRect grey{box.left + 2, box.top + 2, box.right - 2, box.bottom - 2};
  SurfaceFill(s.get(), &grey, 0x404040);
  SurfRect inner{box.left + 4, box.top + 4, box.right - 4, box.bottom - 4};
  SurfaceFill(s.get(), &inner, 0x000000);
  const uint32_t orange = 0xFFC028, white = 0xFFFFFF, lightBlue = 0xF09614, yellow = 0xFFFF00, red = 0xFF0000;
  TextContext dc;
  dc.surface = s.get();
  dc.font = TextDefaultFont();
  Centred(dc, box.left, box.right, box.top + 16, g_display.cardDescription.c_str(), orange);
  char first[64];
  std::snprintf(first, sizeof first, "Supports 3D at 640x480x%d", g_chooser.values[0] ? g_display.chosenDepth : 16);
  const char* rows[4] = {first, "Supports Alphablending", "Supports Texture Filtering", "Supports Fogging"};
  for (int i = 0; i < 4; ++i) {
    dc.textPixel = white;
    TextOut(dc, box.left + 16, box.top + 46 + 14 * i, rows[i], std::strlen(rows[i]));
    dc.textPixel = g_chooser.values[i] ? yellow : red;
    const char* answer = g_chooser.values[i] ? "Yes" : "No";
    TextOut(dc, box.right - 48, box.top + 46 + 14 * i, answer, std::strlen(answer));
  }
  bool all = g_chooser.values[0] && g_chooser.values[1] && g_chooser.values[2] && g_chooser.values[3];
  const char* a = all ? "YOUR 3D CARD SUPPORTS" : !g_chooser.values[0] ? "YOUR GRAPHICS CARD IS NOT" : "YOU MAY EXPERIENCE SOME";
  const char* b = all ? "ALL BUILT-IN FEATURES"
                      : !g_chooser.values[0] ? "RECOMMENDED FOR HIGH-CONTENT 3D" : "LOSS IN VISUAL QUALITY";
  Centred(dc, box.left, box.right, box.top + 68 + 14 * 4, a, orange);
  Centred(dc, box.left, box.right, box.top + 82 + 14 * 4, b, orange);
  Centred(dc, box.left, box.right, box.top + 96 + 14 * 4, "PRESS ANY KEY", lightBlue);
  PresentToWindow(reinterpret_cast<const uint32_t*>(s->Row(0)), w, h, false, nullptr, nullptr);
}

bool ChooseDisplayCard() {
  std::string chosen = IniGetString(WinIni(), kSection, "BEST3DCARD", "").substr(0, 255);
  std::vector<std::string> cards = DisplayCardNames();
  for (const std::string& c : cards) {
    if (FsEqualsNoCase(c, chosen)) {
      std::string depth = IniGetString(WinIni(), kSection, "BEST3DDEPTH", "16").substr(0, 8);
      g_display.chosenDepth = ValidDepth(std::atoi(depth.c_str()));
      g_display.cardDescription = c;
      return false;
    }
  }
  // First run: nothing is chosen or written where nobody can see the report.
  g_display.chosenDepth = 16;
  if (!ChooserVisible()) return false;
  chosen = cards.front();  // one card: no list to choose from
  g_display.cardDescription = chosen;
  IniWriteString(WinIni(), kSection, "BEST3DCARD", chosen);
  int32_t depth = 16;
  ProbeDisplayCapabilities(&g_chooser.values[0], &depth, &g_chooser.values[1], &g_chooser.values[2],
                           &g_chooser.values[3]);
  g_display.chosenDepth = ValidDepth(depth);
  g_display.cardChooserShown = 1;
  g_chooser.page = 2;
  PaintCardChooser();
  WaitForKeyOrClick();
  g_display.cardChooserShown = 0;
  g_chooser.page = 0;
  IniWriteString(WinIni(), kSection, "BEST3DDEPTH", std::to_string(g_display.chosenDepth));
  return true;
}
