// Display set-up, mode changes, restore and release.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/errors.h"
#include "core/run_state.h"
#include "display/bitmaps.h"
#include "display/commands.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/imagefiles/image_files.h"
#include "display/imagefiles/surface_files.h"
#include "display/images.h"
#include "display/pointer_picture.h"
#include "display/record_pools.h"
#include "display/sprites.h"
#include "display/text_state.h"
#include "display/textures.h"
#include "platform/clock.h"
#include "platform/display_modes.h"
#include "platform/events.h"
#include "platform/present.h"
#include "platform/window.h"

DisplayState g_display;
uint8_t g_captureRequested = 0;

namespace {

// A full-screen mode must be one of the listed modes; a list that cannot be read refuses none.
bool ScreenOffersMode(int32_t width, int32_t height, int32_t depth) {
  std::vector<DisplayModeInfo> modes;
  if (!PlatformDisplayModes(&modes)) return true;
  for (const DisplayModeInfo& m : modes)
    if (m.width == width && m.height == height && m.depth == depth) return true;
  return false;
}

int32_t ValidDepth(int32_t depth) { return depth == 24 || depth == 32 ? depth : 16; }

// Blend level and pair from the device's blend factor sets; later matches overwrite earlier.
void ReadBlendLevels(const DeviceCaps& caps) {
  struct Test {
    uint32_t s, d;
    int32_t level, multiply;
  };
  const Test tests[] = {
      {kBlendZero, kBlendInvSrcColor, 9, 0},     {kBlendInvDestColor, kBlendInvSrcColor, 8, 0},
      {kBlendDestColor, kBlendZero, 6, 6},       {kBlendDestColor, kBlendSrcColor, 5, 5},
      {kBlendZero, kBlendSrcColor, 7, 7},        {kBlendDestColor, kBlendOne, 4, 0},
      {kBlendOne, kBlendOne, 3, 0},              {kBlendInvDestColor, kBlendOne, 2, 0},
      {kBlendOne, kBlendInvSrcColor, 1, 0},
  };
  g_display.blendLevel = g_display.multiplyBlendLevel = 0;
  for (const Test& t : tests) {
    if ((caps.srcBlend & BlendBit(t.s)) && (caps.destBlend & BlendBit(t.d))) {
      g_display.blendLevel = t.level;
      if (t.multiply) g_display.multiplyBlendLevel = t.multiply;
    }
  }
}

const uint32_t kBlendPairs[10][2] = {{0, 0},
                                     {kBlendOne, kBlendInvSrcColor},
                                     {kBlendInvDestColor, kBlendOne},
                                     {kBlendOne, kBlendOne},
                                     {kBlendDestColor, kBlendOne},
                                     {kBlendDestColor, kBlendSrcColor},
                                     {kBlendDestColor, kBlendZero},
                                     {kBlendZero, kBlendSrcColor},
                                     {kBlendInvDestColor, kBlendInvSrcColor},
                                     {kBlendZero, kBlendInvSrcColor}};

}  // namespace

void SetFullScreenFlag(uint32_t fullScreen) { g_display.fullScreen = uint8_t(fullScreen == 1); }

bool CreateDisplayWindow(const std::string& title, bool windowMode) {
  if (!PlatformVideoInit()) return false;
  // A new window starts with an empty message queue (no quit left from an earlier run).
  EventsReset();
  if (!WindowCreate(title, g_display.width, g_display.height, !windowMode)) return false;
  WindowSetTitle(title);
  return true;
}

void DestroyMainWindow() {
  g_display.primary.reset();
  PlatformVideoQuit();
}

bool OpenDisplayOnCard(int /*forcePrimary*/, uint32_t /*exclusive*/) {
  g_display.primary.reset();
  g_display.backBuffer.reset();
  g_display.defaultBitmap.reset();
  ReleaseAllBitmapSurfaces();
  // One display: the primary driver.
  g_display.cardName = "Primary Display Driver";
  g_display.displayOpen = 1;
  return true;
}

bool SetVideoMode(int32_t width, int32_t height, int32_t depth) {
  if (!g_display.fullScreen) return true;
  if (width < 1 || height < 1 || width > 8192 || height > 8192 || (depth != 16 && depth != 24 && depth != 32) ||
      !ScreenOffersMode(width, height, depth)) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "Could not set a display mode of %dx%dx%d", width, height, depth);
    LogEngineError(buf);
    return false;
  }
  g_display.depth = depth;
  WindowSetFullScreen(true);
  return true;
}

bool CreateSurfacesAndDevice(int32_t width, int32_t height, int32_t with3D, Device3DPtr kept) {
  g_display.width = width;
  g_display.height = height;
  if (CreateDisplaySurfaces(with3D) != kSurfOk) return false;
  if (!SetDisplayColorKeys()) {
    ReleaseDisplaySurfaces();
    return false;
  }
  if (with3D && !Create3DDevice(std::move(kept))) {
    ReleaseDisplaySurfaces();
    return false;
  }
  g_display.active = 1;
  return true;
}

int32_t CreateDisplaySurfaces(int32_t /*with3D*/) {
  g_display.systemMemory = 1;
  g_display.pageFlipped = 0;
  g_display.depth = ValidDepth(g_display.depth);
  g_display.primary = SurfaceCreate(g_display.width, g_display.height, 32);
  if (!g_display.primary) {
    LogEngineError("Failed to create a Primary Surface");
    return kSurfNoMemory;
  }
  g_display.backBuffer = SurfaceCreate(g_display.width, g_display.height, g_display.depth);
  if (!g_display.backBuffer) {
    g_display.primary.reset();
    LogEngineError("Failed to create a BackBuffer in system memory");
    return kSurfNoMemory;
  }
  g_display.gammaAvailable = 1;
  SetIdentityGammaRamp(g_display.gamma);
  g_display.framePresented = 0;
  SetBitmapInfo(0, g_display.width, g_display.height, g_display.depth);
  SetScreenPersistence(g_display.pageFlipped ? 2 : 1);
  return kSurfOk;
}

bool SetDisplayColorKeys() {
  uint32_t key = ImageColourKeyPixel();
  g_display.primary->hasKey = g_display.backBuffer->hasKey = true;
  g_display.primary->key = g_display.backBuffer->key = key;
  return true;
}

bool Create3DDevice(Device3DPtr kept) {
  ReleaseAllTextureSurfaces();
  g_display.device.reset();
  // The device renders offscreen; the facade is the null device until a 3D draw needs GL. A
  // kept device, reset, is a new one that has GL already: the back buffer goes up before its
  // first draw, as it does when GL starts.
  if (kept) {
    kept->Reset();
    g_display.device = std::move(kept);
    g_display.backBufferChanged = 1;
  } else {
    g_display.device = CreateNullDevice();
  }
  g_display.deviceName = g_display.software ? "RGB" : "HAL";
  g_display.hardwareDevice = 0;
  g_display.caps = g_display.device->Caps();
  ReadBlendLevels(g_display.caps);
  g_display.filterLevel = g_display.caps.linearFilter ? 1 : 0;
  if (g_display.caps.anisotropicFilter) g_display.filterLevel = 2;
  g_display.premultipliedAlpha = 0;
  g_display.textureFormats = g_display.device->TextureFormats();
  if (g_display.textureFormats.size() > 100) g_display.textureFormats.resize(100);
  if (!g_display.device->SetViewport(0, 0, g_display.width, g_display.height, 0.0f, 1.0f)) {
    LogEngineError("Failed to set Viewport Properties");
    return false;
  }
  if (!InitRenderStates()) return false;
  InitTransforms();
  return true;
}

Device3D* PrepareDevice3D() {
  if (!g_display.backBuffer) return g_display.device.get();
  if (!g_display.device) g_display.device = CreateNullDevice();
  // The device keeps the states it was given when it moves onto GL.
  if (g_display.device->Kind() == DeviceKind::kNull && g_display.device->StartGl(g_display.width, g_display.height))
    g_display.backBufferChanged = 1;
  if (g_display.backBufferChanged) {
    if (!g_display.device->UploadFrom(*g_display.backBuffer)) LogEngineError("Failed to upload the BackBuffer");
    g_display.backBufferChanged = 0;
  }
  return g_display.device.get();
}

void MarkDeviceDrew() { g_display.deviceDrew = 1; }

void PrepareBackBuffer2D() {
  if (!g_display.deviceDrew || !g_display.device || !g_display.backBuffer) return;
  if (!g_display.device->ReadBackInto(g_display.backBuffer.get())) LogEngineError("Failed to read the BackBuffer");
  g_display.deviceDrew = 0;
}

bool InitRenderStates() {
  Device3D* d = g_display.device.get();
  if (!d) return false;
  d->SetRenderState(kRsZEnable, g_display.caps.wBuffer ? 2 : 1);
  d->SetRenderState(kRsZWriteEnable, 1);
  if (g_display.blendLevel > 0) {
    g_display.blendSrc = kBlendPairs[g_display.blendLevel][0];
    g_display.blendDest = kBlendPairs[g_display.blendLevel][1];
    if (g_display.blendLevel >= 2) {
      d->SetRenderState(kRsSrcBlend, g_display.blendSrc);
      d->SetRenderState(kRsDestBlend, g_display.blendDest);
    }
  }
  if (g_display.multiplyBlendLevel >= 5) {
    g_display.multiplySrc = kBlendPairs[g_display.multiplyBlendLevel][0];
    g_display.multiplyDest = kBlendPairs[g_display.multiplyBlendLevel][1];
  }
  d->SetRenderState(kRsTexturePerspective, 1);
  d->SetRenderState(kRsSpecularEnable, 0);
  d->SetRenderState(kRsShadeMode, 2);
  if (g_display.software) {
    d->SetRenderState(kRsDitherEnable, 0);
    g_display.filterLevel = 0;
  } else {
    d->SetRenderState(kRsDitherEnable, 1);
  }
  d->SetTextureStageState(0, kTssMipFilter, 3);
  // The best filter the level allows: linear (2) or anisotropic (3 and 5), else point.
  const uint32_t minFilter = g_display.filterLevel == 2 ? 3 : g_display.filterLevel == 1 ? 2 : 1;
  d->SetTextureStageState(0, kTssMinFilter, minFilter);
  d->SetTextureStageState(0, kTssMagFilter, g_display.filterLevel == 2 ? 5 : minFilter);
  d->SetRenderState(kRsFillMode, 3);
  d->SetRenderState(kRsCullMode, 3);
  d->SetRenderState(kRsNormalizeNormals, 1);
  d->SetRenderState(kRsLocalViewer, 0);
  d->SetRenderState(kRsAmbient, g_display.ambientColour);
  d->SetTextureStageState(0, kTssAddress, 1);
  float a = float(g_display.ambientLevel);
  Material& def = g_display.materials[0];
  for (int i = 0; i < 3; ++i) {
    def.diffuse[i] = 1.0f - a;
    def.ambient[i] = a;
    g_display.materials[1].diffuse[i] = 0.0f;
    g_display.materials[1].ambient[i] = 1.0f;
    g_display.materials[2].diffuse[i] = 1.0f;
    g_display.materials[2].ambient[i] = 0.0f;
  }
  return d->SetMaterial(def);
}

void InitTransforms() {
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  if (!g_display.device) return;
  g_display.device->SetTransform(kTransformWorld, identity);
  g_display.device->SetTransform(kTransformView, identity);
}

int32_t RestoreDisplaySurfaces() {
  // The primary of a full-screen display stays lost while the window is not focused.
  if (g_display.fullScreen && !WindowHasFocus()) {
    g_display.active = 0;
    return kSurfLost;
  }
  for (Surface* s : {g_display.primary.get(), g_display.backBuffer.get()}) {
    if (!s) continue;
    int32_t r = SurfaceRestore(s);
    if (r != kSurfOk) {
      g_display.active = 0;
      return r;
    }
  }
  return kSurfOk;
}

void ReleaseDisplaySurfaces() {
  g_display.gammaAvailable = 0;
  KeepLastShownFrame();
  g_display.primary.reset();
  g_display.backBuffer.reset();
}

void Release3DDevice() {
  ReleaseAllTextureSurfaces();
  g_display.device.reset();
}

KeptDevice3D TakeDevice3D() {
  ReleaseAllTextureSurfaces();
  return KeptDevice3D{std::move(g_display.device), g_display.width, g_display.height};
}

void ReleaseDisplay(bool keepDevice) {
  ForgetAllImages();
  ReleaseAllBitmapSurfaces();
  Release3DDevice();
  if (!keepDevice) WriteGrabFile();
  ReleaseDisplaySurfaces();
  if (!keepDevice) g_display.displayOpen = 0;
}

void LoadDefaultBitmapSurface(int32_t) {
  // The pointer pictures are cut from this keyed surface.
  g_display.defaultBitmap = SurfaceCreate(kPointerSheetSize, kPointerSheetSize, g_display.depth);
  if (g_display.defaultBitmap) {
    g_display.defaultBitmap->hasKey = true;
    g_display.defaultBitmap->key = ImageColourKeyPixel();
    DrawPointerPicture(*g_display.defaultBitmap);
  }
}

void ReleaseDefaultBitmapSurface() { g_display.defaultBitmap.reset(); }

void ClearZBuffer() {
  if (g_display.device)
    g_display.device->Clear(kClearZBuffer, SurfRect{0, 0, g_display.width, g_display.height}, 0, 1.0f, 0);
}

void FreeProgramResources() {
  TranscriptEndRun();
  SetImageTextureFolder("");
}

int32_t SetDisplayMode(int32_t* width, int32_t* height, int32_t* depth, int32_t* software, int32_t oldWidth,
                       int32_t oldHeight, int32_t oldDepth, int32_t oldSoftware) {
  FlushDrawQueue();
  ReleaseDefaultBitmapSurface();
  ReleaseAllAnimations();
  ReleaseDisplay(true);
  if (!OpenDisplayOnCard(*software == 1, 1)) {
    RunError(kErrDisplayNotStarted);
    return 0;
  }
  int32_t result = 1;
  if (SetVideoMode(*width, *height, *depth)) {
    g_display.width = *width;
    g_display.height = *height;
    if (g_display.fullScreen) g_display.depth = *depth;
  } else {
    *width = oldWidth;
    *height = oldHeight;
    *depth = oldDepth;
    *software = oldSoftware;
    SetVideoMode(oldWidth, oldHeight, oldDepth);
    RunWarning(kErrModeNotSet);
    result = 0;
  }
  if (!CreateSurfacesAndDevice(*width, *height, 1)) {
    *software = 1;
    g_display.software = 1;
    if (!CreateSurfacesAndDevice(*width, *height, 1)) {
      *width = oldWidth;
      *height = oldHeight;
      *depth = oldDepth;
      *software = oldSoftware;
      SetVideoMode(oldWidth, oldHeight, oldDepth);
      RunWarning(kErrModeSurfacesFailed);
      result = 0;
      g_display.depth = oldDepth;
      // Without surfaces nothing can run: a third failure ends the program.
      if (!CreateSurfacesAndDevice(oldWidth, oldHeight, 1)) {
        RunError(kErrSurfacesNotCreated);
        return 0;
      }
    }
  }
  // The inks keep their colours in the new pixel format.
  if (g_display.backBuffer) {
    ComputePixelShifts(g_display.backBuffer.get());
    auto rgb = [](const uint8_t* c) { return uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2]; };
    SetDrawColours(rgb(g_draw.background), int64_t(rgb(g_draw.foreground)));
  }
  ClearZBuffer();
  ClearBackBuffer();
  PresentFrame();
  ClearBackBuffer();
  PresentFrame();
  ReleaseAllImageTextures();
  ForgetAllImages();
  ReleaseSpriteBackgrounds();
  SetDrawTargetsToBackBuffer();
  LoadDefaultBitmapSurface(1);
  // In a window the system cursor stands for the pointer sprites.
  if (!g_display.windowMode) RecreatePointerSprites(1);
  g_display.recreated = 1;
  return result;
}

int32_t ProbeDisplayCapabilities(int32_t* hardwareOK, int32_t* depth, int32_t* blend, int32_t* filter, int32_t* fog) {
  // The one display is the software one: every depth works, none in hardware.
  *hardwareOK = 0;
  *depth = 16;
  DeviceCaps caps = CreateNullDevice()->Caps();
  ReadBlendLevels(caps);
  *blend = g_display.blendLevel > 0;
  *filter = caps.linearFilter || caps.anisotropicFilter;
  *fog = caps.fogTable || caps.fogVertex;
  return 0;
}

int32_t HasBlendCapability() { return g_display.blendLevel > 0; }
int32_t HasTextureFiltering() { return g_display.filterLevel > 0; }
int32_t HasFogCapability() { return g_display.caps.fogTable || g_display.caps.fogVertex; }
int32_t IsDisplayDeviceReady() { return g_display.displayOpen; }

bool TryRestoreDisplay() {
  // A frame that begins with the display inactive counts as a re-created display.
  g_display.recreated = 1;
  if (!g_display.primary) return false;
  if (RestoreDisplaySurfaces() != kSurfOk) return false;
  g_display.active = 1;
  return true;
}

void ResetDisplayRunState() {
  ResetTextState();
  SetDrawTargetsToBackBuffer();
}

void ResetDisplayRenderDefaults() {
  g_display.surfacesLost = 0;
  g_display.depth = kDefaultDepth;
  // Black background, white foreground in the display format.
  g_draw.backgroundPixel = 0;
  std::fill(g_draw.background, g_draw.background + 3, uint8_t(0));
  g_draw.foregroundPixel = PixelFromRgb(FormatForDepth(g_display.depth), 0xFFFFFF);
  std::fill(g_draw.foreground, g_draw.foreground + 3, uint8_t(255));
  g_display.ambientLevel = 0.5;
  g_display.ambientColour = 0xFFFFFF;
}

void ResetDisplayState() {
  FreeDisplayPools();
  g_display = DisplayState{};
  g_lastEngineError.clear();
  ResetScreenGrab();
  ResetImageBank();
  ResetSprites();
  ResetBitmapTable();
  ResetDrawQueueState();
  ResetTextState();
  ResetCardChooser();
  ResetLineInput();
  TranscriptEndRun();
}

