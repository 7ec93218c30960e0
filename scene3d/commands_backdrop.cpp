// Fog, ambient light and backdrop commands. None of them ends the slice; the backdrop image,
// colour and scroll commands do nothing until the backdrop exists.
#include "core/handler.h"
#include "display/display.h"
#include "display/images.h"
#include "scene3d/commands.h"
#include "scene3d/lighting.h"

namespace {

bool FogAvailable() {
  if (HasFogCapability()) return true;
  RunError(kErrFogUnavailable);
  return false;
}

void CmdFogOn() {
  if (FogAvailable()) ApplyFogOn();
}

void CmdFogOff() {
  if (FogAvailable()) ApplyFogOff();
}

void CmdFogDistance() {
  const int32_t distance = OpInt(0);
  SkipOperands(1);
  if (FogAvailable()) ApplyFogEnd(distance);
}

void CmdFogColor() {
  const uint32_t colour = uint32_t(OpInt(0));
  SkipOperands(1);
  if (FogAvailable()) ApplyFogColour(colour);
}

void CmdSetAmbientLight() {
  const int32_t percent = OpInt(0);
  SkipOperands(1);
  if (percent < 0 || percent > 100) return RunError(kErrAmbientPercentOutOfRange);
  ApplyAmbientPercent(percent);
}

void CmdColorAmbientLight() {
  const int32_t colour = OpInt(0);
  SkipOperands(1);
  if (colour < 0) return RunError(kErrValueOutOfRange);
  ApplyAmbientColour(uint32_t(colour));
}

void CmdBackdropOn() { BackdropOn(); }
void CmdBackdropOff() { BackdropOff(); }

void CmdTextureBackdrop() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (g_lighting.backdrop.object == 0) return;
  if (!ImageNumberValid(n)) return RunError(kErrImageNumberOutOfRange);
  const uint32_t image = ImageRecordOf(n);
  if (image == 0 || !ImageSurfaceOf(image)) return RunError(kErrImageMissing);
  SetBackdropImageTexture(image);
}

void CmdColorBackdrop() {
  const uint32_t colour = uint32_t(OpInt(0));
  SkipOperands(1);
  if (g_lighting.backdrop.object != 0) SetBackdropColourTexture(colour);
}

// Offsets in hundredths of the texture.
void CmdScrollBackdrop() {
  const int32_t u = OpInt(0), v = OpInt(1);
  SkipOperands(2);
  if (g_lighting.backdrop.object != 0) ScrollBackdropTexture(float(u) / 100.0f, float(v) / 100.0f);
}

const CommandDef kBackdropCommands[] = {
    {7901, CmdFogOn, ""},
    {7902, CmdFogOff, ""},
    {7903, CmdFogDistance, "l"},
    {7904, CmdFogColor, "l"},
    {7911, CmdSetAmbientLight, "l"},
    {7912, CmdColorAmbientLight, "l"},
    {7921, CmdBackdropOn, ""},
    {7922, CmdBackdropOff, ""},
    {7923, CmdTextureBackdrop, "l"},
    {7924, CmdColorBackdrop, "l"},
    {7925, CmdScrollBackdrop, "ll"},
};

}  // namespace

std::span<const CommandDef> BackdropCommands() { return kBackdropCommands; }
