#pragma once
#include <cstdint>
#include <string>

// The display as the runtime core sees it: set-up and release, the steps of a frame and
// presenting it.
struct DisplayState {
  uint8_t active = 0;        // the interpreter runs only while set
  uint8_t fullScreen = 1;
  uint8_t pageFlipped = 0;
  uint8_t surfacesLost = 0;
  int32_t width = 640, height = 480, depth = 16;
  int32_t pictureOffsetX = 0, pictureOffsetY = 0;  // where the picture sits in the client area
  uint8_t cardChooserShown = 0;
};
extern DisplayState g_display;

inline constexpr int32_t kDefaultDepth = 16;

// Start-up and release.
bool CreateDisplayWindow(const std::string& title, bool windowMode);
void DestroyMainWindow();
void ChooseDisplayCard();
void SetFullScreenFlag(uint32_t fullScreen);
bool CreateDirectDrawOnCard(int card, uint32_t fullScreen);
bool SetVideoMode(int32_t width, int32_t height, int32_t depth);
bool CreateD3DAndSurfaces(int32_t width, int32_t height, int32_t flags);
void ClearBackBuffer();
void LoadDefaultBitmapSurface(int32_t flag);
void ReleaseDefaultBitmapSurface();
void FreeProgramResources();
void ReleaseDisplay(bool keepDevice);
void RestoreFullScreenWindow();
void PaintCardChooser();
// The display's share of the run-time reset: text state, draw target, draw-op lifetime.
void ResetDisplayRunState();
// The display's share of the render defaults (inks, depth).
void ResetDisplayRenderDefaults();

// Frame steps.
bool TryRestoreDisplay();      // a lost display: one restore attempt; true when active again
void UpdatePointerSprites();
void ClearZBuffer();
void RestoreSpriteBackgrounds();
void RunDrawQueue();
void TickRecordLifetimes();
void UpdateAnimations();
void ReleaseAllAnimations();
void DrawAllSprites();
void PresentFrame();
extern uint8_t g_captureRequested;
void CaptureScreenToFile();
// Number of queued draw operations.
int32_t DrawQueueSize();
