// 1000 keyed 32 x 32 sprites a frame at 640 x 480 x 16 with their backgrounds saved and put
// back, against SDL's own 16-bit blits of the same rectangles in this run, on its fast path: a
// run-length encoded colour-keyed SDL_BlitSurface for each sprite, and plain blits into and out
// of one surface holding every saved background for the save and restore.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/common/bench_rounds.h"

#include "display/display.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "display/sprites.h"
#include "platform/window.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSprites = 1000, kSide = 32, kFrames = 300;

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

struct Position {
  int32_t x, y;
};

// Positions of frame k: each sprite moves on its own path, partly off the screen's edges.
Position At(int i, int k) {
  return {int32_t((i * 97 + k * (1 + i % 5)) % 680) - 20, int32_t((i * 53 + k * (1 + i % 3)) % 520) - 20};
}

// A disc on black: the corners are keyed.
uint32_t Texel(int32_t x, int32_t y) {
  const int32_t dx = x - 16, dy = y - 16;
  return dx * dx + dy * dy < 256 ? uint32_t(0x8000 | (x << 6) | y) : 0;
}

double OurFrames() {
  const uint32_t img = BindImageNumber(1);
  EnsureImageSurface(img, kSide, kSide);
  Surface* s = ImageSurfaceOf(img);
  for (int32_t y = 0; y < kSide; ++y)
    for (int32_t x = 0; x < kSide; ++x) s->PutPixel(x, y, Texel(x, y));
  std::vector<uint32_t> frames;
  for (int i = 0; i < kSprites; ++i) {
    const uint32_t f = MakeSprite(i + 1);
    g_framePool[f].imageRecord = int32_t(img);
    frames.push_back(f);
  }
  const auto start = Clock::now();
  for (int k = 0; k < kFrames; ++k) {
    for (int i = 0; i < kSprites; ++i) {
      const Position p = At(i, k);
      g_framePool[frames[size_t(i)]].x = p.x;
      g_framePool[frames[size_t(i)]].y = p.y;
    }
    RestoreSpriteBackgrounds();
    SaveSpriteBackgrounds();
    DrawAllSprites();
  }
  return Seconds(start) / kFrames;
}

double SdlFrames() {
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* sprite = SDL_CreateRGBSurfaceWithFormat(0, kSide, kSide, 16, SDL_PIXELFORMAT_RGB565);
  for (int32_t y = 0; y < kSide; ++y)
    for (int32_t x = 0; x < kSide; ++x)
      static_cast<uint16_t*>(sprite->pixels)[y * sprite->pitch / 2 + x] = uint16_t(Texel(x, y));
  SDL_SetColorKey(sprite, SDL_TRUE, 0);
  SDL_SetSurfaceRLE(sprite, 1);  // encoded at its first blit, before the clock starts
  {
    SDL_Rect warm{0, 0, kSide, kSide};
    SDL_BlitSurface(sprite, nullptr, screen, &warm);
  }
  // Every saved background in one tall surface, sprite i's at row i * kSide.
  SDL_Surface* saved = SDL_CreateRGBSurfaceWithFormat(0, kSide, kSide * kSprites, 16, SDL_PIXELFORMAT_RGB565);
  std::vector<SDL_Rect> at(kSprites);
  const auto start = Clock::now();
  for (int k = 0; k < kFrames; ++k) {
    for (int i = 0; i < kSprites; ++i) {  // put the saved backgrounds back
      if (k == 0) break;
      SDL_Rect from{0, i * kSide, kSide, kSide}, r = at[size_t(i)];
      SDL_BlitSurface(saved, &from, screen, &r);
    }
    for (int i = 0; i < kSprites; ++i) {  // save what the sprites will cover
      const Position p = At(i, k);
      at[size_t(i)] = SDL_Rect{p.x, p.y, kSide, kSide};
      SDL_Rect from = at[size_t(i)], to{0, i * kSide, kSide, kSide};
      SDL_BlitSurface(screen, &from, saved, &to);
    }
    for (int i = 0; i < kSprites; ++i) {
      SDL_Rect r = at[size_t(i)];
      SDL_BlitSurface(sprite, nullptr, screen, &r);
    }
  }
  const double t = Seconds(start) / kFrames;
  SDL_FreeSurface(saved);
  SDL_FreeSurface(sprite);
  SDL_FreeSurface(screen);
  return t;
}

}  // namespace

int main() {
  PlatformSetHeadless(true);
  ResetDisplayState();
  CreateDisplayPools();
  SetFullScreenFlag(0);
  g_display.depth = 16;
  if (!CreateSurfacesAndDevice(640, 480, 1)) return 1;
  AllocImageRecord();  // record 0 stands for "no image"
  bench::PrintMachine("bench_sprites");
  const auto t = bench::Alternate(5, {OurFrames, SdlFrames});
  std::printf("sprites: %d keyed %dx%d a frame at 640x480x16, backgrounds saved and put back\n", kSprites, kSide, kSide);
  std::printf("ours %s ms a frame, SDL (RLE) %s ms a frame\nratio SDL/ours %s (goal >= 1.2)\n",
              bench::Show(bench::Summarise(t[0]), 1e3, 3).c_str(), bench::Show(bench::Summarise(t[1]), 1e3, 3).c_str(),
              bench::Show(bench::Ratio(t[1], t[0])).c_str());
  bench::PrintLoad();
  ReleaseDisplay(true);
  FreeDisplayPools();
  return 0;
}
