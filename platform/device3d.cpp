// The device facade: it holds the device state and hands it to the OpenGL device, when there
// is one, at each clear and draw.
#include "platform/device3d.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

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

// Vertex buffer handles of every device of the process come from one counter, so a handle kept
// past its device finds nothing in the next one.
uint32_t g_lastBuffer = 0;

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
  uint32_t CreateTexture(std::vector<TextureLevel> levels) override {
    if (levels.empty()) return 0;
    for (const TextureLevel& l : levels)
      if (l.width < 1 || l.height < 1 || l.texels.size() != size_t(l.width) * size_t(l.height)) return 0;
    const uint32_t handle = ++lastTexture_;
    textures_[handle] = TextureEntry{std::move(levels), 0};
    return handle;
  }
  void ReleaseTexture(uint32_t handle) override {
    auto it = textures_.find(handle);
    if (it == textures_.end()) return;
    if (gl_ && it->second.gl) gl_->ReleaseTexture(it->second.gl);
    textures_.erase(it);
    if (state_.texture == handle) state_.texture = 0;
  }
  bool SetTexture(uint32_t stage, uint32_t handle) override {
    if (stage != 0) return false;
    state_.texture = handle;
    return true;
  }
  size_t TextureCount() const override { return textures_.size(); }
  bool DrawIndexed(const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                   uint32_t indexCount) override {
    if (indexCount == 0) return true;
    if (!vertices || !indices) return false;
    for (uint32_t k = 0; k < indexCount; ++k)
      if (indices[k] >= vertexCount) return false;
    return !gl_ || gl_->DrawIndexed(DrawState(), vertices, vertexCount, indices, indexCount);
  }
  uint32_t CreateVertexBuffer(const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                              uint32_t indexCount) override {
    if ((vertexCount && !vertices) || (indexCount && !indices)) return 0;
    for (uint32_t k = 0; k < indexCount; ++k)
      if (indices[k] >= vertexCount) return 0;
    Buffer b;
    try {
      b.data.vertices.assign(vertices, vertices + vertexCount);
      b.data.indices.assign(indices, indices + indexCount);
    } catch (const std::bad_alloc&) {
      return 0;
    }
    if (++g_lastBuffer == 0) ++g_lastBuffer;
    buffers_[g_lastBuffer] = std::move(b);
    return g_lastBuffer;
  }
  uint32_t AdoptVertexBuffer(MeshBufferData&& data) override {
    if (data.vertices.size() > UINT32_MAX || data.indices.size() > UINT32_MAX) return 0;
    for (uint32_t i : data.indices)
      if (i >= data.vertices.size()) return 0;
    if (++g_lastBuffer == 0) ++g_lastBuffer;
    buffers_[g_lastBuffer] = Buffer{std::move(data), {}};
    return g_lastBuffer;
  }
  void ReleaseVertexBuffer(uint32_t handle) override {
    auto it = buffers_.find(handle);
    if (it == buffers_.end()) return;
    if (gl_) gl_->ReleaseBuffer(&it->second.gl);
    buffers_.erase(it);
  }
  bool DrawVertexBuffer(uint32_t handle) override {
    auto it = buffers_.find(handle);
    if (it == buffers_.end()) return false;
    return !gl_ || gl_->DrawBuffer(DrawState(), it->second.data, &it->second.gl);
  }
  size_t VertexBufferCount() const override { return buffers_.size(); }
  const MeshBufferData* VertexBufferData(uint32_t handle) const override {
    auto it = buffers_.find(handle);
    return it == buffers_.end() ? nullptr : &it->second.data;
  }
  void Reset() override {
    if (gl_)
      for (auto& [handle, b] : buffers_) gl_->ReleaseBuffer(&b.gl);
    buffers_.clear();
    state_ = DeviceState{};
    textures_.clear();
    lastTexture_ = 0;  // no handle is left: numbering starts again as on a new device
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
  // The state a draw goes to GL with: the texture goes to GL the first time it is drawn with;
  // one that is unknown or refused draws untextured.
  const DeviceState& DrawState() {
    if (state_.texture == 0) return state_;
    auto it = textures_.find(state_.texture);
    if (it != textures_.end() && gl_->BindTexture(state_, it->second.levels, &it->second.gl)) return state_;
    plain_ = state_;
    plain_.texture = 0;
    return plain_;
  }
  struct Buffer {
    MeshBufferData data;
    GlMeshBuffer gl;
  };
  DeviceState state_, plain_;
  std::unordered_map<uint32_t, Buffer> buffers_;
  struct TextureEntry {
    std::vector<TextureLevel> levels;
    GlHandle gl = 0;  // made at the first draw with the texture
  };
  std::unordered_map<uint32_t, TextureEntry> textures_;
  uint32_t lastTexture_ = 0;
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
