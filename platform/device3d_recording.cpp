// The recording device: one text line per call, then the call goes on to the wrapped device.
#include <cstdarg>
#include <cstdio>

#include "platform/device3d.h"

namespace {

class RecordingDevice final : public Device3D {
 public:
  RecordingDevice(Device3DPtr inner, std::vector<std::string>* log) : inner_(std::move(inner)), log_(log) {}
  DeviceKind Kind() const override { return inner_->Kind(); }
  const DeviceState& State() const override { return inner_->State(); }

  bool SetViewport(int32_t x, int32_t y, int32_t w, int32_t h, float minZ, float maxZ) override {
    Log("viewport %d,%d,%d,%d %g %g", x, y, w, h, double(minZ), double(maxZ));
    return inner_->SetViewport(x, y, w, h, minZ, maxZ);
  }
  bool SetRenderState(uint32_t state, uint32_t value) override {
    Log("rs %u %u", state, value);
    return inner_->SetRenderState(state, value);
  }
  bool SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override {
    Log("tss %u %u %u", stage, state, value);
    return inner_->SetTextureStageState(stage, state, value);
  }
  bool SetMaterial(const Material& m) override {
    Log("material %g,%g,%g %g,%g,%g", double(m.diffuse[0]), double(m.diffuse[1]), double(m.diffuse[2]),
        double(m.ambient[0]), double(m.ambient[1]), double(m.ambient[2]));
    return inner_->SetMaterial(m);
  }
  bool SetTransform(uint32_t which, const float* m) override {
    Log("transform %u %g %g %g %g", which, double(m[0]), double(m[5]), double(m[10]), double(m[15]));
    return inner_->SetTransform(which, m);
  }
  bool SetLight(uint32_t index, const Light& l) override {
    Log("light %u %u %g,%g,%g", index, l.type, double(l.diffuse[0]), double(l.diffuse[1]), double(l.diffuse[2]));
    return inner_->SetLight(index, l);
  }
  bool EnableLight(uint32_t index, bool on) override {
    Log("lighton %u %d", index, int(on));
    return inner_->EnableLight(index, on);
  }
  bool Clear(uint32_t flags, const SurfRect& r, uint32_t colour, float z, uint32_t stencil) override {
    Log("clear %u %d,%d,%d,%d %08x %g %u", flags, r.left, r.top, r.right, r.bottom, colour, double(z), stencil);
    return inner_->Clear(flags, r, colour, z, stencil);
  }
  uint32_t CreateTexture(std::vector<TextureLevel> levels) override {
    Log("texture %zu levels %dx%d", levels.size(), levels.empty() ? 0 : levels[0].width,
        levels.empty() ? 0 : levels[0].height);
    return inner_->CreateTexture(std::move(levels));
  }
  void ReleaseTexture(uint32_t handle) override {
    Log("release texture %u", handle);
    inner_->ReleaseTexture(handle);
  }
  bool SetTexture(uint32_t stage, uint32_t handle) override {
    Log("settexture %u %u", stage, handle);
    return inner_->SetTexture(stage, handle);
  }
  size_t TextureCount() const override { return inner_->TextureCount(); }
  bool DrawIndexed(const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                   uint32_t indexCount) override {
    Log("draw %u %u", vertexCount, indexCount);
    return inner_->DrawIndexed(vertices, vertexCount, indices, indexCount);
  }
  uint32_t CreateVertexBuffer(const Vertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                              uint32_t indexCount) override {
    Log("buffer %u %u", vertexCount, indexCount);
    return inner_->CreateVertexBuffer(vertices, vertexCount, indices, indexCount);
  }
  uint32_t AdoptVertexBuffer(MeshBufferData&& data) override {
    Log("buffer %u %u", uint32_t(data.vertices.size()), uint32_t(data.indices.size()));
    return inner_->AdoptVertexBuffer(std::move(data));
  }
  void ReleaseVertexBuffer(uint32_t handle) override {
    Log("release buffer %u", handle);
    inner_->ReleaseVertexBuffer(handle);
  }
  bool DrawVertexBuffer(uint32_t handle) override {
    Log("draw buffer %u", handle);
    return inner_->DrawVertexBuffer(handle);
  }
  size_t VertexBufferCount() const override { return inner_->VertexBufferCount(); }
  const MeshBufferData* VertexBufferData(uint32_t handle) const override { return inner_->VertexBufferData(handle); }
  void Reset() override {
    Log("reset");
    inner_->Reset();
  }
  bool StartGl(int32_t width, int32_t height) override { return inner_->StartGl(width, height); }
  bool UploadFrom(const Surface& s) override { return inner_->UploadFrom(s); }
  bool ReadBackInto(Surface* s) override { return inner_->ReadBackInto(s); }

 private:
  __attribute__((format(printf, 2, 3))) void Log(const char* fmt, ...) {
    char buf[160];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    if (log_) log_->push_back(buf);
  }
  Device3DPtr inner_;
  std::vector<std::string>* log_;
};

}  // namespace

Device3DPtr CreateRecordingDevice(Device3DPtr inner, std::vector<std::string>* log) {
  if (!inner) inner = CreateNullDevice();
  return std::make_unique<RecordingDevice>(std::move(inner), log);
}
