// Least display the runtime core needs until the display is built: a window (unless
// headless), an always-active display and frames that present nothing.
#include "display/display.h"
#include "display/records.h"
#include "core/record_pools.h"
#include "platform/window.h"

DisplayState g_display;
uint8_t g_captureRequested = 0;

bool CreateDisplayWindow(const std::string& title, bool windowMode) {
  if (!PlatformVideoInit()) return false;
  return WindowCreate(title, g_display.width, g_display.height, !windowMode && false);
}
void DestroyMainWindow() { PlatformVideoQuit(); }
void ChooseDisplayCard() {}
void SetFullScreenFlag(uint32_t fullScreen) { g_display.fullScreen = uint8_t(fullScreen != 0); }
bool CreateDirectDrawOnCard(int, uint32_t) { return true; }
bool SetVideoMode(int32_t width, int32_t height, int32_t depth) {
  g_display.width = width;
  g_display.height = height;
  g_display.depth = depth;
  return true;
}
bool CreateD3DAndSurfaces(int32_t, int32_t, int32_t) {
  g_display.active = 1;
  return true;
}
void ClearBackBuffer() {}
void LoadDefaultBitmapSurface(int32_t) {}
void ReleaseDefaultBitmapSurface() {}
void FreeProgramResources() {}
void ReleaseDisplay(bool) { g_display.active = 0; }
void RestoreFullScreenWindow() {}
void PaintCardChooser() {}
void ResetDisplayRunState() {}
void ResetDisplayRenderDefaults() { g_display.surfacesLost = 0; }

bool TryRestoreDisplay() {
  g_display.active = 1;
  return true;
}
void UpdatePointerSprites() {}
void ClearZBuffer() {}
void RestoreSpriteBackgrounds() {}
void RunDrawQueue() {}
void TickRecordLifetimes() {}
void UpdateAnimations() {}
void ReleaseAllAnimations() {}
void DrawAllSprites() {}
void PresentFrame() {}
void CaptureScreenToFile() {}
int32_t DrawQueueSize() { return g_drawOpPool.Count(); }

void ReleaseImageRecordSurface(ImageRecord& record) { record.surface = nullptr; }
