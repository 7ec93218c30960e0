#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/surfaces.h"

// A small 3D device in the manner of the classic fixed-function interfaces: viewport, clears,
// render states, texture stage 0, materials, lights, transforms and indexed triangles. The
// device state is held once, by the facade; the OpenGL device (platform/gl/) applies it when it
// draws. The null device accepts everything and draws nothing; the recording device wraps any
// device and keeps one text line per call, for tests. The capability profile is fixed.

// Render-state and texture-stage numbers, as the classic interface numbers them.
enum : uint32_t {
  kRsTexturePerspective = 4, kRsZEnable = 7, kRsFillMode = 8, kRsShadeMode = 9, kRsZWriteEnable = 14,
  kRsAlphaTestEnable = 15, kRsSrcBlend = 19, kRsDestBlend = 20, kRsCullMode = 22, kRsZFunc = 23,
  kRsDitherEnable = 26, kRsAlphaBlendEnable = 27, kRsFogEnable = 28, kRsSpecularEnable = 29, kRsFogColour = 34,
  kRsFogTableMode = 35, kRsFogStart = 36, kRsFogEnd = 37, kRsColourKeyEnable = 41, kRsLighting = 137, kRsAmbient = 139,
  kRsFogVertexMode = 140, kRsLocalViewer = 142, kRsNormalizeNormals = 143,
  kTssColourOp = 1, kTssColourArg1 = 2, kTssAddress = 12, kTssMagFilter = 16, kTssMinFilter = 17, kTssMipFilter = 18,
};
inline constexpr uint32_t kRenderStateCount = 256, kStageStateCount = 32;
enum : uint32_t { kClearTarget = 1, kClearZBuffer = 2 };
enum : uint32_t { kTransformWorld = 1, kTransformView = 2, kTransformProjection = 3 };
enum : uint32_t { kFillPoint = 1, kFillWireframe = 2, kFillSolid = 3 };
enum : uint32_t { kCullNone = 1, kCullClockwise = 2, kCullCounterClockwise = 3 };
// Fog modes of kRsFogTableMode and kRsFogVertexMode; the shader's fog is linear in either.
enum : uint32_t { kFogNone = 0, kFogExp = 1, kFogExp2 = 2, kFogLinear = 3 };
enum : uint32_t { kLightPoint = 1, kLightSpot = 2, kLightDirectional = 3 };
inline constexpr uint32_t kMaxLights = 8;

// Blend factors (render states kRsSrcBlend and kRsDestBlend) and the capability bits of them
// (one bit per factor, value = 1 << (factor - 1)).
enum : uint32_t {
  kBlendZero = 1, kBlendOne, kBlendSrcColor, kBlendInvSrcColor, kBlendSrcAlpha, kBlendInvSrcAlpha,
  kBlendDestAlpha, kBlendInvDestAlpha, kBlendDestColor, kBlendInvDestColor,
};
inline constexpr uint32_t BlendBit(uint32_t factor) { return 1u << (factor - 1); }

// Capabilities; all clear until a device reports its own.
struct DeviceCaps {
  uint32_t srcBlend = 0, destBlend = 0;  // BlendBit sets
  bool drawTransformedVertices = false;
  bool linearFilter = false, anisotropicFilter = false, mipFilter = false;
  bool fogTable = false, fogVertex = false, wBuffer = false;
  bool addressWrap = false, addressMirror = false, addressClamp = false;
};

struct Material {
  float diffuse[4] = {0, 0, 0, 1};
  float ambient[4] = {0, 0, 0, 1};
};

struct Light {
  uint32_t type = kLightDirectional;
  float diffuse[4] = {1, 1, 1, 0};
  float ambient[4] = {0, 0, 0, 0};
  float position[3] = {0, 0, 0};
  float direction[3] = {0, 0, 1};
  float range = 0;
  float attenuation[3] = {1, 0, 0};  // constant, linear, quadratic
  float falloff = 1, theta = 0, phi = 0;  // spot: inner and outer cone angles (radians)
};

struct Viewport {
  int32_t x = 0, y = 0, width = 0, height = 0;
  float minZ = 0, maxZ = 1;
};

// One level of a texture's picture: width x height texels of 0xAARRGGBB, rows top-down;
// alpha 0 marks a texel the colour key leaves out.
struct TextureLevel {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> texels;
};

// What one device was told: every get answers from here.
struct DeviceState {
  uint32_t renderStates[kRenderStateCount];
  uint32_t stageStates[kStageStateCount];  // texture stage 0
  float transforms[3][16];                 // world, view, projection
  Material material;
  Light lights[kMaxLights];
  uint8_t lightOn[kMaxLights] = {};
  Viewport viewport;
  uint32_t texture = 0;                    // stage 0's texture handle, 0 none
  DeviceState();  // the defaults of a new device
};

// The one vertex layout: position, normal, one texture coordinate (32 bytes).
struct Vertex {
  float x, y, z, nx, ny, nz, u, v;
};

// What a kept vertex buffer holds.
struct MeshBufferData {
  std::vector<Vertex> vertices;
  std::vector<uint32_t> indices;
};

enum class DeviceKind : uint8_t { kNull, kGl };

// Devices are held through shared owners: what keeps a buffer on a device holds it weakly
// (weak_from_this) and so sees when the device has gone.
class Device3D : public std::enable_shared_from_this<Device3D> {
 public:
  virtual ~Device3D() = default;
  virtual DeviceKind Kind() const = 0;
  DeviceCaps Caps() const;
  std::vector<PixelFormat> TextureFormats() const;
  virtual const DeviceState& State() const = 0;

  // Setters answer false for a number the state has no room for.
  virtual bool SetViewport(int32_t x, int32_t y, int32_t w, int32_t h, float minZ, float maxZ) = 0;
  virtual bool SetRenderState(uint32_t state, uint32_t value) = 0;
  virtual bool SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) = 0;
  virtual bool SetMaterial(const Material& m) = 0;
  virtual bool SetTransform(uint32_t which, const float matrix[16]) = 0;
  virtual bool SetLight(uint32_t index, const Light& light) = 0;
  virtual bool EnableLight(uint32_t index, bool on) = 0;
  virtual bool Clear(uint32_t flags, const SurfRect& rect, uint32_t colour, float z, uint32_t stencil) = 0;
  // Textures by handle (0: none). The device keeps each texture's levels (largest first) and
  // gives them to GL when it first draws with them; a reset releases them all.
  virtual uint32_t CreateTexture(std::vector<TextureLevel> levels) = 0;
  virtual void ReleaseTexture(uint32_t handle) = 0;
  // Stage 0 only; a handle the device does not know draws untextured.
  virtual bool SetTexture(uint32_t stage, uint32_t handle) = 0;
  virtual size_t TextureCount() const = 0;
  // An indexed triangle list under the current state; a list with an index past the vertices
  // is refused whole (false).
  virtual bool DrawIndexed(const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                           uint32_t indexCount) = 0;
  // Vertex buffers kept by handle (0: none; never handed out twice in a process), each with its triangle list, drawn under the
  // current state. The device keeps a copy and makes its GL buffers on the first draw, so a
  // buffer made before GL starts, or after a reset of GL, still draws. Create answers 0 for a
  // list with an index past the vertices; a handle the device does not know draws nothing
  // (false).
  virtual uint32_t CreateVertexBuffer(const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                                      uint32_t indexCount) = 0;
  // The same from a copy the caller has made, moved in: the caller may make it a part at a time.
  virtual uint32_t AdoptVertexBuffer(MeshBufferData&& data) = 0;
  virtual void ReleaseVertexBuffer(uint32_t handle) = 0;
  virtual bool DrawVertexBuffer(uint32_t handle) = 0;
  virtual size_t VertexBufferCount() const = 0;
  // What a buffer holds; nullptr for a handle the device does not know.
  virtual const MeshBufferData* VertexBufferData(uint32_t handle) const = 0;
  // Releases every resource the device made and returns the state to the defaults.
  virtual void Reset() = 0;

  // Moves a null device onto OpenGL with a render target of the given size, keeping its state;
  // false when no GL can be had (asked once per device) or when the device cannot move.
  virtual bool StartGl(int32_t width, int32_t height) = 0;
  // The render target and the CPU back buffer of the same size: upload before 3D drawing when
  // the CPU copy changed, read back before 2D work when the device drew. A device without
  // pixels answers true.
  virtual bool UploadFrom(const Surface& s) = 0;
  virtual bool ReadBackInto(Surface* s) = 0;
};
using Device3DPtr = std::shared_ptr<Device3D>;

Device3DPtr CreateNullDevice();
// A device drawing through OpenGL 3.3 offscreen (EGL, no window) into a render target of the
// given size; nullptr when no GL can be had.
Device3DPtr CreateGlDevice(int32_t width, int32_t height);
// Every call on the wrapped device appends one line ("clear 3 0,0,640,480 00000000 1",
// "rs 7 1", ...) to *log, then goes on to it.
Device3DPtr CreateRecordingDevice(Device3DPtr inner, std::vector<std::string>* log);
