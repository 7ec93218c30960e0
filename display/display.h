#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device3d.h"
#include "platform/surfaces.h"

// The display: the CPU back buffer that all 2D drawing goes to, the presented frame, the 3D
// device facade, the mode, window settings and capability levels. One global record, reset
// by ResetDisplayState.
struct DisplayState {
  uint8_t active = 0;        // the interpreter runs only while set
  uint8_t fullScreen = 1;
  uint8_t pageFlipped = 0;
  uint8_t surfacesLost = 0;
  int32_t width = 640, height = 480, depth = 16;  // screen size and depth
  int32_t pictureOffsetX = 0, pictureOffsetY = 0;  // where the picture sits in the client area
  uint8_t cardChooserShown = 0;
  uint8_t windowMode = 0;  // set by the window-mode commands: the program runs in a window
  // A display change dropped what lived on the old device; set when the records have aged after
  // it, taken by the runtime, which has the layers above make theirs again.
  uint8_t restorePending = 0;

  // Surfaces: the primary holds the last presented frame (X8R8G8B8, gamma applied).
  SurfacePtr primary, backBuffer, defaultBitmap;
  Device3DPtr device;
  int32_t chosenDepth = 16;
  int32_t modeWidth = 640, modeHeight = 480, modeDepth = 16;  // commands 1551-1553
  int32_t systemMemory = 1, software = 0, allowDeviceTransforms = 1, hardwareDevice = 0;
  const char* deviceName = "";
  uint8_t recreated = 0;
  int32_t displayOpen = 0;
  int32_t gammaAvailable = 0;
  GammaRamp gamma{};

  // The 3D device's capabilities and the levels read from them (its viewport and other states
  // are the device's own).
  DeviceCaps caps;
  int32_t blendLevel = 0, multiplyBlendLevel = 0;
  uint32_t blendSrc = 0, blendDest = 0, multiplySrc = 0, multiplyDest = 0;
  int32_t filterLevel = 0, premultipliedAlpha = 0;
  std::vector<PixelFormat> textureFormats;
  Material materials[3];  // default, black, white
  double ambientLevel = 0.5;
  uint32_t ambientColour = 0xFFFFFF;

  // Card in use.
  std::string cardName, cardDescription, driverName;

  // Window settings and frame counting.
  std::string title = "Vellumark";
  uint32_t style = 0x800A0000;
  int32_t showState = 10;
  int32_t clientWidth = 0, clientHeight = 0, frameWidth = 0, captionHeight = 0, clientX = 0, clientY = 0;
  uint8_t borderFill = 1, cursorShown = 0;
  int32_t bufferIndex = 0;
  uint32_t frameCounter = 0, counterAtLast = 0, lastMeasure = 0, currentTime = 0, fps = 0, fpsReported = 0;
  uint8_t framePresented = 0;  // a frame reached the primary since the display was made
  // The CPU back buffer and the device's render target are kept in step: backBufferChanged
  // when 2D work changed the CPU copy since the last upload, deviceDrew when the device drew
  // since the last read-back.
  uint8_t backBufferChanged = 0, deviceDrew = 0;
};
extern DisplayState g_display;

inline constexpr int32_t kDefaultDepth = 16;
// Retries of one surface call before it counts as a failed restore.
inline constexpr int32_t kSurfaceRetryLimit = 1000;
inline constexpr uint32_t kSurfaceRetryMs = 2000;

// Start-up and release.
bool CreateDisplayWindow(const std::string& title, bool windowMode);
void DestroyMainWindow();
// Takes the stored card and depth, or on a first run where a window can be seen shows the
// report until a key or a click; true when it waited so (the caller then drops the mouse
// buttons the program would otherwise see).
bool ChooseDisplayCard();
// The display cards of this machine by their descriptions (one: the primary display).
std::vector<std::string> DisplayCardNames();
void SetFullScreenFlag(uint32_t fullScreen);
bool OpenDisplayOnCard(int forcePrimary, uint32_t exclusive);
bool SetVideoMode(int32_t width, int32_t height, int32_t depth);
// kept: a device from a session's last run to use instead of a new one (see TakeDevice3D).
bool CreateSurfacesAndDevice(int32_t width, int32_t height, int32_t with3D, Device3DPtr kept = nullptr);
int32_t CreateDisplaySurfaces(int32_t with3D);
bool Create3DDevice(Device3DPtr kept = nullptr);
bool InitRenderStates();
void InitTransforms();
bool SetDisplayColorKeys();
int32_t RestoreDisplaySurfaces();
void ReleaseDisplaySurfaces();
void Release3DDevice();
bool ClearBackBuffer();
void LoadDefaultBitmapSurface(int32_t flag);
void ReleaseDefaultBitmapSurface();
void FreeProgramResources();
void ReleaseDisplay(bool keepDevice);
// A 3D device carried from one run of a session to the next.
struct KeptDevice3D {
  Device3DPtr device;
  int32_t width = 0, height = 0;  // the size its render target was made for
};
// Takes the 3D device out of the display before the display is released: its GL context and
// render target stay, so the next run need not make them (Create3DDevice resets it then).
KeptDevice3D TakeDevice3D();
void RestoreFullScreenWindow();
void PaintCardChooser();
void ResetCardChooser();
int32_t SetDisplayMode(int32_t* width, int32_t* height, int32_t* depth, int32_t* software, int32_t oldWidth,
                       int32_t oldHeight, int32_t oldDepth, int32_t oldSoftware);
int32_t ProbeDisplayCapabilities(int32_t* hardwareOK, int32_t* depth, int32_t* blend, int32_t* filter, int32_t* fog);
int32_t HasBlendCapability();
int32_t HasTextureFiltering();
int32_t HasFogCapability();
int32_t IsDisplayDeviceReady();
// The display's share of the run-time reset: text state, draw target, draw-op lifetime.
void ResetDisplayRunState();
// The display's share of the render defaults (inks, depth).
void ResetDisplayRenderDefaults();
// Back to the state of a new process: the display record, bitmaps, draw queue, text, record
// pools, card chooser, screen grab, line input and transcript.
void ResetDisplayState();

// The 3D side calls PrepareDevice3D before it draws (the device moves onto OpenGL on first
// use, keeping its states, and is given the CPU picture when that changed) and MarkDeviceDrew
// after; the GL context lives as long as the device, until the display is released; 2D work and
// presenting call PrepareBackBuffer2D, which reads the device's picture back when it drew.
Device3D* PrepareDevice3D();
void MarkDeviceDrew();
void PrepareBackBuffer2D();

// The pointer sprites: an arrow that follows the mouse and the text caret of the environment's
// editor, showing pictures cut from the default bitmap, drawn in the last sprite pass. While
// they are active the window leaves the mouse position to the input devices.
// Activates them, making them on first use (the pointer at 320,100, the caret off screen);
// with saveBackground 1 they save what they cover, in both buffers.
int CreatePointerSprites(int32_t saveBackground);
// After a display change, only when they exist: active again, their pictures cut anew from the
// default bitmap, both showing the arrow.
int RecreatePointerSprites(int32_t saveBackground);
void ReleasePointerSprites();
// Deactivates them and moves both off screen (the hide-mouse command); CreatePointerSprites
// shows them again.
int HidePointerSprites();
// While active: 1, 2, 3 the pointer sprite shows the arrow, caret or dot; 4 the caret is shown
// at once and blinks; 5 the caret is hidden; 6 the pointer shows the hand. Other shapes do
// nothing.
int SetPointerShape(int32_t shape);
bool PointerSpritesPresent();
// The mouse position the pointer sprite follows, handed over by the run loop every frame, and
// the text caret position of the environment's editor.
void SetPointerSpritePosition(int32_t x, int32_t y);
void SetCaretSpritePosition(int32_t x, int32_t y);

// Window settings (title, style, placement, show state) made real; full = 0 only shows.
int32_t ApplyWindowSettings(uint8_t full);

// Frame steps.
bool TryRestoreDisplay();      // a lost display: one restore attempt; true when active again
void UpdatePointerSprites();  // places them at the position last handed over
void ClearZBuffer();
void RestoreSpriteBackgrounds();
void SaveSpriteBackgrounds();
void RunDrawQueue();
// Runs the draw queue when it holds an image or bitmap save (with the drawing queued before
// it), without showing the frame: for a run that has ended before the refresh the save waits
// for.
void RunQueuedSaves();
void TickRecordLifetimes();
// Whether a display change asks the layers above to make again what they keep on the device
// (see DisplayState::restorePending); clears the request.
bool TakeDisplayRestore();
void UpdateAnimations();
void ReleaseAllAnimations();
void DrawAllSprites();
void PresentFrame();
void CountPresentedFrame();
extern uint8_t g_captureRequested;
bool CaptureScreenToFile();
// Number of queued draw operations.
int32_t DrawQueueSize();

// Surface calls under the retry rule: repeated while busy, the destination restored when
// lost; bounded by kSurfaceRetryLimit tries or kSurfaceRetryMs, after which (or when a
// restore fails) the display-active flag is cleared. Returns the last result.
template <class Call>
int32_t RetrySurfaceCall(Surface* dst, Call&& call);
int32_t RetryAfterResult(Surface* dst, int32_t result, int32_t* tries, uint32_t* start);

// Engine error log: the latest failure text (also in the final error message) and, in debug
// mode, an entry in "VK.LOG".
void LogEngineError(const std::string& message);

// --grab and --transcript, written at their host paths as they are. The grab is the last frame
// shown: the display's, or once the display is gone (a run handing back to the environment, a
// display not yet drawn) the frame it showed last, kept until the next frame is shown or the
// session ends (ForgetLastShownFrame). A grab that cannot be written leaves the file there was.
void WriteGrabFile();
void ForgetLastShownFrame();
// Keeps the primary's frame as the last shown before the display releases it.
void KeepLastShownFrame();
// A transcript is started by a session (whole: it stays open for every run of the session) or
// by a run (closed at its end by TranscriptEndRun); the file is made, empty, when it starts.
void TranscriptStart(const std::string& name, bool wholeSession);
void TranscriptWrite(const char* text, size_t length, bool newLine);
void TranscriptEndRun();
void TranscriptClose();
// A grab or transcript that cannot be written whole is said on stderr with its cause when it
// fails (a transcript is written no further then), and noted: RunOutputFailed tells whether one
// failed since ClearRunOutputFailure, for the status of the command.
void SayRunOutputFailed(const std::string& file, int error);
bool RunOutputFailed();
void ClearRunOutputFailure();
// Writes a 32-bit X8R8G8B8 surface as an RGB PNG (temporary file renamed into place).
bool SavePngFile(const Surface& surface, const std::string& path);

template <class Call>
int32_t RetrySurfaceCall(Surface* dst, Call&& call) {
  int32_t tries = 0;
  uint32_t start = 0;
  for (;;) {
    int32_t r = call();
    if (r == kSurfOk) return r;
    if (RetryAfterResult(dst, r, &tries, &start) == 0) return r;
  }
}
