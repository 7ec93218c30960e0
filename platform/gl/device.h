#pragma once
#include <cstdint>
#include <memory>

#include "platform/device3d.h"
#include "platform/gl/context.h"
#include "platform/gl/resources.h"
#include "platform/gl/shader.h"

// The OpenGL side of the device: its context, render target, shader and resources. It keeps
// no device state: each clear and draw is given the facade's state and applies it then.
// The GL objects of one kept vertex buffer (0: not made on this device yet).
struct GlMeshBuffer {
  GlHandle vertexArray = 0, vertices = 0, indices = 0;
};

class GlDevice {
 public:
  // nullptr when no GL can be had or the render target cannot be made.
  static std::unique_ptr<GlDevice> Create(int32_t width, int32_t height);
  ~GlDevice();
  GlDevice(const GlDevice&) = delete;
  GlDevice& operator=(const GlDevice&) = delete;

  bool Clear(uint32_t flags, const SurfRect& rect, uint32_t colour, float z, uint32_t stencil);
  // Every index is below vertexCount (the facade checks).
  bool DrawIndexed(const DeviceState& state, const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                   uint32_t indexCount);
  // A kept vertex buffer: its GL objects are made on the first draw (gl all 0 or stale).
  bool DrawBuffer(const DeviceState& state, const MeshBufferData& data, GlMeshBuffer* gl);
  void ReleaseBuffer(GlMeshBuffer* gl);
  // Binds a texture to unit 0 with the state's filters and addressing, making its GL object
  // from the levels when *handle is 0; false when GL refuses it.
  bool BindTexture(const DeviceState& state, const std::vector<TextureLevel>& levels, GlHandle* handle);
  void ReleaseTexture(GlHandle handle);
  bool Upload(const Surface& s);
  bool ReadBack(Surface* s);
  // Releases every resource and makes the render target and shader again.
  bool Reset();
  const GlResources& Resources() const { return resources_; }
  GlResources& Resources() { return resources_; }
  // The context current and the render target bound; false when the context is gone.
  bool Use();

 private:
  GlDevice(std::unique_ptr<GlContext> context, int32_t width, int32_t height)
      : context_(std::move(context)), width_(width), height_(height) {}
  bool MakeObjects();
  void ApplyState(const DeviceState& state);
  // The state in GL and the shader before a draw.
  bool Prepare(const DeviceState& state);

  std::unique_ptr<GlContext> context_;
  int32_t width_, height_;
  GlResources resources_;
  FixedFunctionShader shader_;
  DeviceState applied_;       // what the last draw applied
  bool appliedValid_ = false;  // false after any other GL work
  GlHandle framebuffer_ = 0, colour_ = 0, depth_ = 0, vertexArray_ = 0, vertexBuffer_ = 0, indexBuffer_ = 0;
};
