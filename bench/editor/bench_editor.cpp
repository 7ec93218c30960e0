// Keystroke to drawn frame in the environment's editor while typing into a 10,000-line source,
// against a bare SDL2 loop in this run that draws the rows the editor draws for the same keys
// (a typed character its own row, a line break every row), clearing each and blitting its glyph
// cells from the same font surface onto a 640 x 480 screen, and copies it to a back surface
// each frame.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/common/bench_rounds.h"
#include "devenv/editor.h"
#include "devenv/ide_draw.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kKeys = 2000;
constexpr int kFirstRow = 10;  // the cursor's row in the pane when typing starts

// Every 60th key breaks the line; the others type a letter.
bool IsLineBreak(int k) { return k % 60 == 59; }

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

double EditorSecondsPerKey() {
  g_ide.editor.lines.clear();
  for (int i = 0; i < 10000; ++i) g_ide.editor.lines.push_back("  print \"line\"; x + " + std::to_string(i) + " : rem step");
  g_ide.editor.cursorRow = 4990 + kFirstRow;
  g_ide.editor.topLine = 4990;
  EditorRedrawVisible();
  IdeRedraw();
  const auto start = Clock::now();
  for (int k = 0; k < kKeys; ++k) {
    EditorWindowMessage({MsgKind::Char, IsLineBreak(k) ? 13 : 'a' + k % 26, 0});
    IdeRedraw();
  }
  return Seconds(start) / kKeys;
}

double SdlSecondsPerFrame() {
  const Surface& font = *g_ide.gfx.font;
  SDL_Surface* glyphs = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(font.Row(0)), font.Width(), font.Height(),
                                                           16, font.Pitch(), SDL_PIXELFORMAT_RGB565);
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* back = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 16, SDL_PIXELFORMAT_RGB565);
  SDL_SetColorKey(glyphs, SDL_TRUE, 0);
  const std::string text = "  print \"line\"; x + 5000 : rem step and some more text to fill it";
  SDL_FillRect(screen, nullptr, 0x0861);
  int cursorRow = kFirstRow;
  const auto start = Clock::now();
  for (int k = 0; k < kKeys; ++k) {
    // The editor redraws the whole pane on a line break (the rows below move down) and only the
    // cursor's row for a letter; the cursor stays on the last row once it reaches it.
    int first = cursorRow, last = cursorRow + 1;
    if (IsLineBreak(k)) {
      cursorRow = std::min(cursorRow + 1, kVisibleRows - 1);
      first = 0;
      last = kVisibleRows;
    }
    for (int row = first; row < last; ++row) {
      SDL_Rect band{0, kPaneTop + row * kRowHeight, kPaneRight, kRowHeight};
      SDL_FillRect(screen, &band, 0x0861);
      int x = 0;
      for (unsigned char c : text) {
        int32_t cx, cy;
        IdeGlyphCell(c, &cx, &cy);
        SDL_Rect src{cx, cy, IdeGlyphWidth(c), g_ide.gfx.widths[c].height};
        SDL_Rect dst{x, kPaneTop + row * kRowHeight, 0, 0};
        SDL_BlitSurface(glyphs, &src, screen, &dst);
        x += IdeGlyphWidth(c);
      }
    }
    SDL_BlitSurface(screen, nullptr, back, nullptr);
  }
  const double s = Seconds(start) / kKeys;
  SDL_FreeSurface(glyphs);
  SDL_FreeSurface(screen);
  SDL_FreeSurface(back);
  return s;
}

}  // namespace

int main() {
  if (!IdeCreateSurfaces(16) || !IdeBuildFont()) {
    std::fprintf(stderr, "cannot make the environment's surfaces\n");
    return 1;
  }
  bench::PrintMachine("bench_editor");
  // The two sides in turns, round by round.
  const auto samples = bench::Alternate(bench::kMinRounds, {EditorSecondsPerKey, SdlSecondsPerFrame});
  const bench::Figure editor = bench::Summarise(samples[0]), sdl = bench::Summarise(samples[1]);
  std::printf("editor: %s us per keystroke to frame; bare SDL2 same rows: %s us per frame\n",
              bench::Show(editor, 1e6, 1).c_str(), bench::Show(sdl, 1e6, 1).c_str());
  std::printf("ratio editor / SDL2: %s (goal <= 1.5)\n", bench::Show(bench::Ratio(samples[0], samples[1])).c_str());
  bench::PrintLoad();
  IdeReleaseSurfaces();
  return 0;
}
