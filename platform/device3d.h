#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/surfaces.h"

// A small 3D device in the manner of the classic fixed-function interfaces: viewport,
// clears, render states, texture stage 0, materials and transforms. Kinds: the null device
// (accepts everything, draws nothing) and the recording device (keeps one text line per
// call, for tests). Its capability profile is fixed.

// Render-state and texture-stage numbers, as the classic interface numbers them.
enum : uint32_t {
  kRsTexturePerspective = 4, kRsZEnable = 7, kRsFillMode = 8, kRsShadeMode = 9, kRsZWriteEnable = 14,
  kRsSrcBlend = 19, kRsDestBlend = 20, kRsCullMode = 22, kRsDitherEnable = 26, kRsSpecularEnable = 29,
  kRsAmbient = 139, kRsLocalViewer = 142, kRsNormalizeNormals = 143,
  kTssAddress = 12, kTssMipFilter = 18,
};
enum : uint32_t { kClearTarget = 1, kClearZBuffer = 2 };
enum : uint32_t { kTransformWorld = 1, kTransformView = 2, kTransformProjection = 3 };

// Blend factor bits of the capability profile (one bit per factor, value = 1 << (factor - 1)).
enum : uint32_t {
  kBlendZero = 1, kBlendOne, kBlendSrcColor, kBlendInvSrcColor, kBlendSrcAlpha, kBlendInvSrcAlpha,
  kBlendDestAlpha, kBlendInvDestAlpha, kBlendDestColor, kBlendInvDestColor,
};
inline constexpr uint32_t BlendBit(uint32_t factor) { return 1u << (factor - 1); }

struct DeviceCaps {
  uint32_t srcBlend = 0, destBlend = 0;  // BlendBit sets
  bool drawTransformedVertices = true;
  bool linearFilter = true, anisotropicFilter = false, mipFilter = true;
  bool fogTable = false, fogVertex = true, wBuffer = false;
  bool addressWrap = true, addressMirror = true, addressClamp = true;
};

struct Material {
  float diffuse[4] = {0, 0, 0, 1};
  float ambient[4] = {0, 0, 0, 1};
};

class Device3D {
 public:
  virtual ~Device3D() = default;
  virtual const char* Kind() const = 0;
  virtual DeviceCaps Caps() const;
  virtual std::vector<PixelFormat> TextureFormats() const;
  virtual bool SetViewport(int32_t x, int32_t y, int32_t w, int32_t h, float minZ, float maxZ) = 0;
  virtual bool Clear(uint32_t flags, const SurfRect& rect, uint32_t colour, float z, uint32_t stencil) = 0;
  virtual bool SetRenderState(uint32_t state, uint32_t value) = 0;
  virtual bool SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) = 0;
  virtual bool SetMaterial(const Material& m) = 0;
  virtual bool SetTransform(uint32_t which, const float matrix[16]) = 0;
  // The render target and the CPU back buffer of the same size: upload before 3D drawing
  // when the CPU copy changed, read back before 2D work when the device drew. The null and
  // recording devices keep no pixels and answer true.
  virtual bool UploadFrom(const Surface& s);
  virtual bool ReadBackInto(Surface* s);
};
using Device3DPtr = std::unique_ptr<Device3D>;

Device3DPtr CreateNullDevice();
// An OpenGL 3.3 device rendering offscreen (EGL, no window) into a framebuffer of the given
// size; nullptr when no GL can be had.
Device3DPtr CreateGlDevice(int32_t width, int32_t height);
// Every call appends one line ("clear 3 0,0,640,480 00000000 1", "rs 7 1", ...) to *log.
Device3DPtr CreateRecordingDevice(std::vector<std::string>* log);
