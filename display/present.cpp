// Presenting frames, clearing the back buffer, frame counting and the blit routines with the
// lost-surface rule.
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "core/run_state.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/imagefiles/formats.h"
#include "display/imagefiles/picture.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/host_files.h"
#include "platform/present.h"
#include "platform/window.h"

int32_t RetryAfterResult(Surface* dst, int32_t result, int32_t* tries, uint32_t* start) {
  if (result != kSurfLost && result != kSurfStillDrawing) return 0;
  if (*tries == 0) *start = TimeMs();
  ++*tries;
  if (*tries >= kSurfaceRetryLimit || (!ClockIsVirtual() && TimeMs() - *start >= kSurfaceRetryMs)) {
    // Too long: counted as a failed restore.
    g_display.active = 0;
    return 0;
  }
  if (result == kSurfLost && SurfaceRestore(dst) != kSurfOk) {
    g_display.active = 0;
    return 0;
  }
  return 1;
}

namespace {

// The primary of a display released after it showed a frame; outside the display state, whose
// reset starts each run, as the session's transcript is.
SurfacePtr g_lastShown;

// Expanded colour of every 16-bit pixel of the last format presented (a frame converts each
// pixel with one table read instead of the channel arithmetic).
struct ExpandTable {
  PixelFormat format{};
  bool built = false;
  std::vector<uint32_t> rgb;
};

const uint32_t* ExpansionOf16(const PixelFormat& f) {
  static ExpandTable table;
  if (!table.built || table.format.redMask != f.redMask || table.format.greenMask != f.greenMask ||
      table.format.blueMask != f.blueMask) {
    // A pixel's colour is the union of its channels' expansions, each of those expanded once.
    auto channel = [&f](uint32_t mask) {
      const int shift = mask ? std::countr_zero(mask) : 0;
      std::vector<uint32_t> values(((mask & 0xFFFF) >> shift) + 1);
      for (uint32_t k = 0; k < values.size(); ++k) values[k] = ExpandPixelToRgb(f, (k << shift) & mask);
      return std::pair(shift, std::move(values));
    };
    const auto [rs, r] = channel(f.redMask);
    const auto [gs, g] = channel(f.greenMask);
    const auto [bs, b] = channel(f.blueMask);
    table.rgb.resize(65536);
    for (uint32_t p = 0; p < 65536; ++p)
      table.rgb[p] = r[(p & f.redMask) >> rs] | g[(p & f.greenMask) >> gs] | b[(p & f.blueMask) >> bs];
    table.format = f;
    table.built = true;
  }
  return table.rgb.data();
}

// The back buffer as the picture is shown: exact expansion to 8 bits a channel, then the
// gamma ramp.
void ComposeFrame() {
  Surface* back = g_display.backBuffer.get();
  Surface* prim = g_display.primary.get();
  const GammaRamp& g = g_display.gamma;
  const PixelFormat& f = back->Format();
  const int32_t w = std::min(back->Width(), prim->Width()), h = std::min(back->Height(), prim->Height());
  bool identity = true;
  for (int i = 0; i < 256 && identity; ++i)
    identity = g.red[i] == (i << 8) && g.green[i] == (i << 8) && g.blue[i] == (i << 8);
  const uint32_t* expand16 = f.bits == 16 ? ExpansionOf16(f) : nullptr;
  const size_t rowBytes = size_t(w) * size_t(f.BytesPerPixel());
  for (int32_t y = 0; y < h; ++y) {
    uint32_t* out = reinterpret_cast<uint32_t*>(prim->Row(y));
    // A row like the one above it (a cleared screen, a backdrop's plain bands) shows alike.
    // (A row already shown alike is not written again: a still screen costs no writes.)
    if (y > 0 && std::memcmp(back->Row(y), back->Row(y - 1), rowBytes) == 0) {
      if (std::memcmp(out, prim->Row(y - 1), size_t(w) * 4) != 0) std::memcpy(out, prim->Row(y - 1), size_t(w) * 4);
      continue;
    }
    if (expand16) {
      const uint8_t* in = back->Row(y);
      for (int32_t x = 0; x < w; ++x) out[x] = expand16[uint32_t(in[2 * x]) | uint32_t(in[2 * x + 1]) << 8];
    } else {
      for (int32_t x = 0; x < w; ++x) out[x] = ExpandPixelToRgb(f, back->GetPixel(x, y));
    }
    if (!identity)
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t rgb = out[x];
        out[x] = uint32_t(g.red[(rgb >> 16) & 255] >> 8) << 16 | uint32_t(g.green[(rgb >> 8) & 255] >> 8) << 8 |
                 uint32_t(g.blue[rgb & 255] >> 8);
      }
  }
}

}  // namespace

void PresentFrame() {
  if (!g_display.primary || !g_display.backBuffer) return;
  int32_t r = RetrySurfaceCall(g_display.primary.get(), [] { return SurfaceCheck(g_display.primary.get()); });
  if (r != kSurfOk) {
    if (r == kSurfLost) RestoreDisplaySurfaces();
    return;
  }
  PrepareBackBuffer2D();
  ComposeFrame();
  g_display.framePresented = 1;
  g_lastShown.reset();
  int32_t px = 0, py = 0;
  if (PresentToWindow(reinterpret_cast<const uint32_t*>(g_display.primary->Row(0)), g_display.primary->Width(),
                      g_display.primary->Height(), g_display.fullScreen && !g_display.windowMode, &px, &py)) {
    g_display.pictureOffsetX = px;
    g_display.pictureOffsetY = py;
  }
  CountPresentedFrame();
}

void CountPresentedFrame() {
  ++g_display.frameCounter;
  g_display.currentTime = TimeMs();
  uint32_t elapsed = g_display.currentTime - g_display.lastMeasure;
  if (elapsed > 1000) {
    g_display.fps = (g_display.frameCounter - g_display.counterAtLast) * 1000 / elapsed;
    g_display.lastMeasure = g_display.currentTime;
    g_display.counterAtLast = g_display.frameCounter;
  }
  g_display.fpsReported = g_display.fps;
}

bool ClearBackBuffer() {
  Surface* b = g_display.backBuffer.get();
  if (!b) return false;
  SurfRect r{0, 0, g_display.width, g_display.height};
  RetrySurfaceCall(b, [&] { return SurfaceFill(b, &r, g_draw.backgroundPixel); });
  g_display.backBufferChanged = 1;
  g_display.deviceDrew = 0;
  return g_display.active != 0;
}

int32_t ApplyWindowSettings(uint8_t full) {
  if (full) {
    WindowSetTitle(g_display.title);
    // A caption (WS_CAPTION) means a framed window; the platform adds the frame itself.
    WindowSetFramed((g_display.style & 0x00C00000u) != 0);
    WindowPlaceClient(g_display.clientX, g_display.clientY, g_display.clientWidth, g_display.clientHeight);
  }
  WindowApplyShowState(g_display.showState);
  if (full) {
    // Full screen shows the pointer sprites, a window the system cursor.
    if (!g_display.windowMode && g_display.cursorShown) {
      g_display.cursorShown = 0;
      WindowShowCursor(false);
      RecreatePointerSprites(1);
    } else if (g_display.windowMode && !g_display.cursorShown) {
      g_display.cursorShown = 1;
      WindowShowCursor(true);
      HidePointerSprites();
    }
  }
  return 1;
}

void RestoreFullScreenWindow() {
  if (!g_display.windowMode) return;
  g_display.windowMode = 0;
  g_display.borderFill = 1;
  g_display.clientX = g_display.clientY = 0;
  g_display.title = "Vellumark";
  g_display.showState = 10;
  g_display.style = 0x800A0000;
  ApplyWindowSettings(1);
}

void WriteGrabFile() {
  const std::string& file = g_runtime.options.grabFile;
  const Surface* shown = g_display.primary && g_display.framePresented ? g_display.primary.get() : g_lastShown.get();
  if (file.empty() || !shown) return;
  std::string png;
  if (!EncodePng(PictureOfSurface(*shown), &png)) SayRunOutputFailed(file, ENOMEM);
  // A FIFO's wait for its reader ended by a stop signal is the usual stop, not a lost output.
  else if (!FsWriteHostOutput(file, png) && errno != EINTR) SayRunOutputFailed(file, errno);
}

void KeepLastShownFrame() {
  if (g_display.primary && g_display.framePresented) g_lastShown = std::move(g_display.primary);
}

void ForgetLastShownFrame() { g_lastShown.reset(); }
