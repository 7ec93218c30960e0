// The progress box shown while a program is compiled or built.
#include <cstdio>

#include "compiler/compiler.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"

namespace {

constexpr int32_t kBoxX = 117, kBoxY = 220, kBarLeft = kBoxX + 13, kBarRight = 510;
constexpr int32_t kBarTop = 238, kBarBottom = 273, kMarkerY = 239, kTextCentre = 310, kTextY = 249;

void DrawCentred(const std::string& text) {
  IdeDrawTextBand(g_ide.gfx.back.get(), text, 0, kTextCentre - IdeTextWidth(text) / 2, kTextY);
}

}  // namespace

bool IdeDrawProgressBox() {
  IdeSurfaces& g = g_ide.gfx;
  if (!g.progressBox || !g.back || !g.screen) return false;
  SurfaceBltFast(g.back.get(), 0, 0, g.screen.get(), nullptr, 0);
  SurfaceBltFast(g.back.get(), kBoxX, kBoxY, g.progressBox.get(), nullptr, 0);
  return true;
}

void IdeShowProgress(int percent) {
  IdeSurfaces& g = g_ide.gfx;
  if (!g.progressBox || !g.back) return;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  const int32_t x = kBarLeft + percent * 38 / 10;  // 3.8 pixels a per cent
  SurfRect rest{x, kBarTop, kBarRight, kBarBottom};
  if (x < kBarRight) SurfaceFill(g.back.get(), &rest, 0);
  SurfaceBltFast(g.back.get(), x - 21, kMarkerY, g.progressMarker.get(), nullptr, kBltKeySrc);
  DrawCentred(std::to_string(percent) + " " + IdeText(IdeSection::Desc, kDescPercent));
  IdePresent();
}

void IdeShowProgressText(const std::string& text) {
  if (!IdeDrawProgressBox()) return;
  SurfaceBltFast(g_ide.gfx.back.get(), 489, kMarkerY, g_ide.gfx.progressMarker.get(), nullptr, kBltKeySrc);
  DrawCentred(text);
  IdePresent();
}

void IdeAttachProgress(Compiler& compiler) {
  compiler.SetProgressCallback([](int percent) { IdeShowProgress(percent); });
}
