// The device facade: it holds the device state and hands it to the OpenGL device, when there
// is one, at each clear and draw.
#include "platform/device3d.h"

#include <algorithm>
#include <cstring>

#include "platform/gl/device.h"

DeviceState::DeviceState() {
  std::fill(std::begin(renderStates), std::end(renderStates), 0u);
  std::fill(std::begin(stageStates), std::end(stageStates), 0u);
  // The states a new device starts with.
  const float kFogEnd = 1.0f;
  uint32_t fogEnd;
  std::memcpy(&fogEnd, &kFogEnd, sizeof fogEnd);
  const struct {
    uint32_t state, value;
  } kDefaults[] = {{kRsTexturePerspective, 1}, {kRsZEnable, 1},     {kRsFillMode, kFillSolid},
                   {kRsShadeMode, 2},          {kRsZWriteEnable, 1}, {kRsSrcBlend, kBlendOne},
                   {kRsDestBlend, kBlendZero}, {kRsCullMode, kCullCounterClockwise}, {kRsZFunc, 4},
                   {kRsFogEnd, fogEnd},        {kRsLighting, 1},     {kRsLocalViewer, 1}};
  for (const auto& d : kDefaults) renderStates[d.state] = d.value;
  // Stage 0: wrapped addresses, point filters, no mipmaps.
  stageStates[kTssAddress] = stageStates[kTssAddress + 1] = stageStates[kTssAddress + 2] = 1;
  stageStates[kTssMagFilter] = stageStates[kTssMinFilter] = stageStates[kTssMipFilter] = 1;
  for (auto& m : transforms) {
    std::fill(m, m + 16, 0.0f);
    m[0] = m[5] = m[10] = m[15] = 1.0f;
  }
}

DeviceCaps Device3D::Caps() const {
  DeviceCaps c;
  // Every blend factor pair: the shader blends with any of them.
  c.srcBlend = c.destBlend = 0x3FF;
  c.drawTransformedVertices = true;
  c.linearFilter = c.mipFilter = true;
  c.fogVertex = true;
  c.addressWrap = c.addressMirror = c.addressClamp = true;
  return c;
}

std::vector<PixelFormat> Device3D::TextureFormats() const {
  return {FormatForDepth(16), FormatForDepth(32), {16, 0x7C00, 0x03E0, 0x001F}};
}

namespace {

class DeviceFacade final : public Device3D {
 public:
  explicit DeviceFacade(std::unique_ptr<GlDevice> gl) : gl_(std::move(gl)) {}
  DeviceKind Kind() const override { return gl_ ? DeviceKind::kGl : DeviceKind::kNull; }
  const DeviceState& State() const override { return state_; }

  bool SetViewport(int32_t x, int32_t y, int32_t w, int32_t h, float minZ, float maxZ) override {
    if (w < 0 || h < 0) return false;
    state_.viewport = Viewport{x, y, w, h, minZ, maxZ};
    return true;
  }
  bool SetRenderState(uint32_t state, uint32_t value) override {
    if (state >= kRenderStateCount) return false;
    state_.renderStates[state] = value;
    return true;
  }
  bool SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override {
    if (stage != 0 || state >= kStageStateCount) return false;
    state_.stageStates[state] = value;
    return true;
  }
  bool SetMaterial(const Material& m) override {
    state_.material = m;
    return true;
  }
  bool SetTransform(uint32_t which, const float* m) override {
    if (which < kTransformWorld || which > kTransformProjection) return false;
    std::memcpy(state_.transforms[which - 1], m, sizeof state_.transforms[0]);
    return true;
  }
  bool SetLight(uint32_t index, const Light& light) override {
    if (index >= kMaxLights) return false;
    state_.lights[index] = light;
    return true;
  }
  bool EnableLight(uint32_t index, bool on) override {
    if (index >= kMaxLights) return false;
    state_.lightOn[index] = on;
    return true;
  }
  bool Clear(uint32_t flags, const SurfRect& rect, uint32_t colour, float z, uint32_t stencil) override {
    return !gl_ || gl_->Clear(flags, rect, colour, z, stencil);
  }
  bool DrawIndexed(const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                   uint32_t indexCount) override {
    if (indexCount == 0) return true;
    if (!vertices || !indices) return false;
    for (uint32_t k = 0; k < indexCount; ++k)
      if (indices[k] >= vertexCount) return false;
    return !gl_ || gl_->DrawIndexed(state_, vertices, vertexCount, indices, indexCount);
  }
  void Reset() override {
    state_ = DeviceState{};
    if (gl_ && !gl_->Reset()) gl_.reset();
  }
  bool StartGl(int32_t width, int32_t height) override {
    if (gl_) return true;
    if (glRefused_) return false;
    gl_ = GlDevice::Create(width, height);
    glRefused_ = !gl_;
    return gl_ != nullptr;
  }
  bool UploadFrom(const Surface& s) override { return !gl_ || gl_->Upload(s); }
  bool ReadBackInto(Surface* s) override { return !gl_ || gl_->ReadBack(s); }

 private:
  DeviceState state_;
  std::unique_ptr<GlDevice> gl_;
  bool glRefused_ = false;  // GL was asked for and could not be had: not asked again
};

}  // namespace

Device3DPtr CreateNullDevice() { return std::make_unique<DeviceFacade>(nullptr); }

Device3DPtr CreateGlDevice(int32_t width, int32_t height) {
  std::unique_ptr<GlDevice> gl = GlDevice::Create(width, height);
  if (!gl) return nullptr;
  return std::make_unique<DeviceFacade>(std::move(gl));
}
