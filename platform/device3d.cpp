#include "platform/device3d.h"

#include <cstdio>

DeviceCaps Device3D::Caps() const {
  DeviceCaps c;
  // Every blend factor pair: the shader blends with any of them.
  c.srcBlend = c.destBlend = 0x3FF;
  return c;
}

std::vector<PixelFormat> Device3D::TextureFormats() const {
  return {FormatForDepth(16), FormatForDepth(32), {16, 0x7C00, 0x03E0, 0x001F}};
}

bool Device3D::UploadFrom(const Surface&) { return true; }
bool Device3D::ReadBackInto(Surface*) { return true; }

namespace {

class NullDevice : public Device3D {
 public:
  const char* Kind() const override { return "null"; }
  bool SetViewport(int32_t, int32_t, int32_t, int32_t, float, float) override { return true; }
  bool Clear(uint32_t, const SurfRect&, uint32_t, float, uint32_t) override { return true; }
  bool SetRenderState(uint32_t, uint32_t) override { return true; }
  bool SetTextureStageState(uint32_t, uint32_t, uint32_t) override { return true; }
  bool SetMaterial(const Material&) override { return true; }
  bool SetTransform(uint32_t, const float*) override { return true; }
};

class RecordingDevice : public Device3D {
 public:
  explicit RecordingDevice(std::vector<std::string>* log) : log_(log) {}
  const char* Kind() const override { return "recording"; }
  bool SetViewport(int32_t x, int32_t y, int32_t w, int32_t h, float minZ, float maxZ) override {
    return Log("viewport %d,%d,%d,%d %g %g", x, y, w, h, double(minZ), double(maxZ));
  }
  bool Clear(uint32_t flags, const SurfRect& r, uint32_t colour, float z, uint32_t stencil) override {
    return Log("clear %u %d,%d,%d,%d %08x %g %u", flags, r.left, r.top, r.right, r.bottom, colour, double(z), stencil);
  }
  bool SetRenderState(uint32_t state, uint32_t value) override { return Log("rs %u %u", state, value); }
  bool SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override {
    return Log("tss %u %u %u", stage, state, value);
  }
  bool SetMaterial(const Material& m) override {
    return Log("material %g,%g,%g %g,%g,%g", double(m.diffuse[0]), double(m.diffuse[1]), double(m.diffuse[2]),
               double(m.ambient[0]), double(m.ambient[1]), double(m.ambient[2]));
  }
  bool SetTransform(uint32_t which, const float* m) override {
    return Log("transform %u %g %g %g %g", which, double(m[0]), double(m[5]), double(m[10]), double(m[15]));
  }

 private:
  template <class... A>
  bool Log(const char* fmt, A... args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, args...);
    if (log_) log_->push_back(buf);
    return true;
  }
  std::vector<std::string>* log_;
};

}  // namespace

Device3DPtr CreateNullDevice() { return std::make_unique<NullDevice>(); }
Device3DPtr CreateRecordingDevice(std::vector<std::string>* log) { return std::make_unique<RecordingDevice>(log); }
