#include "platform/gl/device.h"

#include "platform/libs/gl_api.h"

#include <cstddef>
#include <cstring>

namespace {

// GL pixel transfer format of a surface format (false when there is none).
bool TransferFormat(const PixelFormat& f, GLenum* format, GLenum* type) {
  if (f.bits == 16 && f.greenMask == 0x07E0) {
    *format = GL_RGB;
    *type = GL_UNSIGNED_SHORT_5_6_5;
    return true;
  }
  if (f.bits == 32) {
    *format = GL_BGRA;
    *type = GL_UNSIGNED_INT_8_8_8_8_REV;
    return true;
  }
  if (f.bits == 24) {
    *format = GL_BGR;
    *type = GL_UNSIGNED_BYTE;
    return true;
  }
  return false;
}

GLenum BlendFactor(uint32_t f) {
  static const GLenum kFactors[] = {GL_ZERO,           GL_ONE,       GL_SRC_COLOR,           GL_ONE_MINUS_SRC_COLOR,
                                    GL_SRC_ALPHA,      GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                    GL_DST_COLOR,      GL_ONE_MINUS_DST_COLOR};
  return f >= 1 && f <= 10 ? kFactors[f - 1] : GL_ONE;
}

void Enable(GLenum cap, bool on) { on ? g_gl.glEnable(cap) : g_gl.glDisable(cap); }

// True when the two states differ at most in the world transform (bytes compared: a difference
// only costs a full apply).
bool SameButWorld(const DeviceState& a, const DeviceState& b) {
  const char *pa = reinterpret_cast<const char*>(&a), *pb = reinterpret_cast<const char*>(&b);
  const size_t world = offsetof(DeviceState, transforms), after = world + sizeof a.transforms[0];
  return std::memcmp(pa, pb, world) == 0 && std::memcmp(pa + after, pb + after, sizeof a - after) == 0;
}

void VertexLayout() {
  g_gl.glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
  g_gl.glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, nx)));
  g_gl.glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
  for (GLuint a = 0; a < 3; ++a) g_gl.glEnableVertexAttribArray(a);
}

}  // namespace

std::unique_ptr<GlDevice> GlDevice::Create(int32_t width, int32_t height) {
  if (width < 1 || height < 1) return nullptr;
  std::unique_ptr<GlContext> context = GlContext::Create();
  if (!context) return nullptr;
  std::unique_ptr<GlDevice> d(new GlDevice(std::move(context), width, height));
  if (!d->MakeObjects()) return nullptr;
  return d;
}

GlDevice::~GlDevice() {
  // Without the context the objects go with it.
  if (context_->MakeCurrent()) resources_.ReleaseAll();
}

bool GlDevice::MakeObjects() {
  colour_ = resources_.Create(GlKind::kTexture);
  depth_ = resources_.Create(GlKind::kRenderbuffer);
  framebuffer_ = resources_.Create(GlKind::kFramebuffer);
  vertexArray_ = resources_.Create(GlKind::kVertexArray);
  vertexBuffer_ = resources_.Create(GlKind::kBuffer);
  indexBuffer_ = resources_.Create(GlKind::kBuffer);
  g_gl.glBindTexture(GL_TEXTURE_2D, resources_.Name(colour_, GlKind::kTexture));
  g_gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  g_gl.glBindRenderbuffer(GL_RENDERBUFFER, resources_.Name(depth_, GlKind::kRenderbuffer));
  g_gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width_, height_);
  g_gl.glBindFramebuffer(GL_FRAMEBUFFER, resources_.Name(framebuffer_, GlKind::kFramebuffer));
  g_gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, resources_.Name(colour_, GlKind::kTexture),
                         0);
  g_gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                            resources_.Name(depth_, GlKind::kRenderbuffer));
  if (g_gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  // The depth buffer starts as the frame's depth clear leaves it, so a device that moves onto
  // GL in the middle of a frame does not hide its first draws.
  g_gl.glClearDepth(1.0);
  g_gl.glClearStencil(0);
  g_gl.glDepthMask(GL_TRUE);
  g_gl.glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  // The vertex layout: position, normal, texture coordinate.
  g_gl.glBindVertexArray(resources_.Name(vertexArray_, GlKind::kVertexArray));
  g_gl.glBindBuffer(GL_ARRAY_BUFFER, resources_.Name(vertexBuffer_, GlKind::kBuffer));
  g_gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, resources_.Name(indexBuffer_, GlKind::kBuffer));
  VertexLayout();
  g_gl.glPixelStorei(GL_PACK_ALIGNMENT, 4);
  g_gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  return shader_.Build(&resources_) && g_gl.glGetError() == GL_NO_ERROR;
}

bool GlDevice::Use() {
  if (!context_->MakeCurrent()) return false;
  GLuint fb = resources_.Name(framebuffer_, GlKind::kFramebuffer);
  // Binding the target again would have GL check it again at every draw.
  GLint bound = 0;
  g_gl.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
  if (GLuint(bound) != fb) g_gl.glBindFramebuffer(GL_FRAMEBUFFER, fb);
  return fb != 0;
}

bool GlDevice::Reset() {
  appliedValid_ = false;
  if (!context_->MakeCurrent()) return false;
  // An error left by an earlier call is not the reset's: only the new objects' errors count.
  for (int k = 0; k < 8 && g_gl.glGetError() != GL_NO_ERROR; ++k) {
  }
  resources_.ReleaseAll();
  return MakeObjects();
}

void GlDevice::ApplyState(const DeviceState& s) {
  const uint32_t* rs = s.renderStates;
  const Viewport& v = s.viewport;
  // Rows run top-down in surfaces and bottom-up in GL.
  g_gl.glViewport(v.x, height_ - (v.y + v.height), v.width, v.height);
  g_gl.glDepthRange(v.minZ, v.maxZ);
  Enable(GL_DEPTH_TEST, rs[kRsZEnable] != 0);
  // The comparison numbers run in GL's order, from never (1) to always (8).
  g_gl.glDepthFunc(rs[kRsZFunc] >= 1 && rs[kRsZFunc] <= 8 ? GL_NEVER + rs[kRsZFunc] - 1 : GL_LEQUAL);
  g_gl.glDepthMask(rs[kRsZWriteEnable] ? GL_TRUE : GL_FALSE);
  // Culling names the winding as seen on the screen, which the picture keeps.
  Enable(GL_CULL_FACE, rs[kRsCullMode] == kCullClockwise || rs[kRsCullMode] == kCullCounterClockwise);
  g_gl.glFrontFace(rs[kRsCullMode] == kCullClockwise ? GL_CCW : GL_CW);
  g_gl.glCullFace(GL_BACK);
  g_gl.glPolygonMode(GL_FRONT_AND_BACK,
                rs[kRsFillMode] == kFillPoint ? GL_POINT : rs[kRsFillMode] == kFillWireframe ? GL_LINE : GL_FILL);
  Enable(GL_BLEND, rs[kRsAlphaBlendEnable] != 0);
  g_gl.glBlendFunc(BlendFactor(rs[kRsSrcBlend]), BlendFactor(rs[kRsDestBlend]));
}

bool GlDevice::Clear(uint32_t flags, const SurfRect& r, uint32_t colour, float z, uint32_t stencil) {
  appliedValid_ = false;
  if (!Use()) return false;
  g_gl.glEnable(GL_SCISSOR_TEST);
  g_gl.glScissor(r.left, height_ - r.bottom, r.Width(), r.Height());
  GLbitfield mask = 0;
  if (flags & kClearTarget) {
    g_gl.glClearColor(float((colour >> 16) & 255) / 255.0f, float((colour >> 8) & 255) / 255.0f,
                 float(colour & 255) / 255.0f, 1.0f);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & kClearZBuffer) {
    g_gl.glClearDepth(z);
    g_gl.glClearStencil(GLint(stencil));
    g_gl.glDepthMask(GL_TRUE);
    mask |= GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
  }
  g_gl.glClear(mask);
  g_gl.glDisable(GL_SCISSOR_TEST);
  return g_gl.glGetError() == GL_NO_ERROR;
}

bool GlDevice::DrawIndexed(const DeviceState& state, const Vertex* vertices, uint32_t vertexCount,
                           const uint32_t* indices, uint32_t indexCount) {
  indexCount -= indexCount % 3;
  if (indexCount == 0) return true;
  if (!Use() || !Prepare(state)) return false;
  g_gl.glBindVertexArray(resources_.Name(vertexArray_, GlKind::kVertexArray));
  g_gl.glBindBuffer(GL_ARRAY_BUFFER, resources_.Name(vertexBuffer_, GlKind::kBuffer));
  g_gl.glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertexCount) * GLsizeiptr(sizeof(Vertex)), vertices, GL_STREAM_DRAW);
  g_gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indexCount) * GLsizeiptr(sizeof(uint32_t)), indices,
               GL_STREAM_DRAW);
  g_gl.glDrawElements(GL_TRIANGLES, GLsizei(indexCount), GL_UNSIGNED_INT, nullptr);
  return g_gl.glGetError() == GL_NO_ERROR;
}

bool GlDevice::Prepare(const DeviceState& state) {
  // Between draws usually only the world transform changes: the rest is applied again only
  // when it changed, or after other GL work.
  if (!appliedValid_ || !SameButWorld(state, applied_)) {
    ApplyState(state);
    if (!shader_.Apply(state, resources_)) return false;
    applied_ = state;
    appliedValid_ = true;
  } else if (std::memcmp(state.transforms[0], applied_.transforms[0], sizeof applied_.transforms[0]) != 0) {
    shader_.ApplyWorld(state);
    std::memcpy(applied_.transforms[0], state.transforms[0], sizeof applied_.transforms[0]);
  }
  return true;
}

bool GlDevice::DrawBuffer(const DeviceState& state, const MeshBufferData& data, GlMeshBuffer* gl) {
  const uint32_t indexCount = uint32_t(data.indices.size() - data.indices.size() % 3);
  if (indexCount == 0) return true;
  if (!Use() || !Prepare(state)) return false;
  if (!resources_.Name(gl->vertexArray, GlKind::kVertexArray)) {
    // First draw on this device: the buffers are made from the kept copy.
    gl->vertexArray = resources_.Create(GlKind::kVertexArray);
    gl->vertices = resources_.Create(GlKind::kBuffer);
    gl->indices = resources_.Create(GlKind::kBuffer);
    g_gl.glBindVertexArray(resources_.Name(gl->vertexArray, GlKind::kVertexArray));
    g_gl.glBindBuffer(GL_ARRAY_BUFFER, resources_.Name(gl->vertices, GlKind::kBuffer));
    g_gl.glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(data.vertices.size() * sizeof(Vertex)), data.vertices.data(),
                 GL_STATIC_DRAW);
    g_gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, resources_.Name(gl->indices, GlKind::kBuffer));
    g_gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(data.indices.size() * sizeof(uint32_t)), data.indices.data(),
                 GL_STATIC_DRAW);
    VertexLayout();
  }
  g_gl.glBindVertexArray(resources_.Name(gl->vertexArray, GlKind::kVertexArray));
  g_gl.glDrawElements(GL_TRIANGLES, GLsizei(indexCount), GL_UNSIGNED_INT, nullptr);
  return g_gl.glGetError() == GL_NO_ERROR;
}

void GlDevice::ReleaseBuffer(GlMeshBuffer* gl) {
  if (!context_->MakeCurrent()) return;
  resources_.Release(gl->vertexArray);
  resources_.Release(gl->vertices);
  resources_.Release(gl->indices);
  *gl = GlMeshBuffer{};
}

bool GlDevice::BindTexture(const DeviceState& s, const std::vector<TextureLevel>& levels, GlHandle* handle) {
  if (!Use()) return false;
  GLuint name = resources_.Name(*handle, GlKind::kTexture);
  if (!name) {
    *handle = resources_.Create(GlKind::kTexture);
    name = resources_.Name(*handle, GlKind::kTexture);
    if (!name) return false;
    g_gl.glBindTexture(GL_TEXTURE_2D, name);
    g_gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (size_t k = 0; k < levels.size(); ++k)
      g_gl.glTexImage2D(GL_TEXTURE_2D, GLint(k), GL_RGBA8, levels[k].width, levels[k].height, 0, GL_BGRA,
                   GL_UNSIGNED_INT_8_8_8_8_REV, levels[k].texels.data());
    g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels.size()) - 1);
  }
  g_gl.glActiveTexture(GL_TEXTURE0);
  g_gl.glBindTexture(GL_TEXTURE_2D, name);
  // Filters: 1 point, 2 and up linear; mip filter 1 none, 2 point, 3 linear.
  const uint32_t* ts = s.stageStates;
  const bool magLinear = ts[kTssMagFilter] >= 2, minLinear = ts[kTssMinFilter] >= 2;
  GLint minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
  if (levels.size() > 1 && ts[kTssMipFilter] >= 2)
    minFilter = ts[kTssMipFilter] == 2 ? (minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST)
                                      : (minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR);
  g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
  g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
  auto address = [](uint32_t mode) {
    return mode == 2 ? GL_MIRRORED_REPEAT : mode == 3 || mode == 4 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
  };
  g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, address(ts[kTssAddress + 1]));
  g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, address(ts[kTssAddress + 2]));
  return g_gl.glGetError() == GL_NO_ERROR;
}

void GlDevice::ReleaseTexture(GlHandle handle) {
  if (context_->MakeCurrent()) resources_.Release(handle);
}

bool GlDevice::Upload(const Surface& s) {
  appliedValid_ = false;
  GLenum format, type;
  if (s.Width() != width_ || s.Height() != height_ || !TransferFormat(s.Format(), &format, &type) || !Use())
    return false;
  // GL rows run bottom-up: the rows go in reverse order.
  g_gl.glBindTexture(GL_TEXTURE_2D, resources_.Name(colour_, GlKind::kTexture));
  g_gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, s.Pitch() / s.Format().BytesPerPixel());
  for (int32_t y = 0; y < height_; ++y)
    g_gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, height_ - 1 - y, width_, 1, format, type, s.Row(y));
  g_gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  return g_gl.glGetError() == GL_NO_ERROR;
}

bool GlDevice::ReadBack(Surface* s) {
  appliedValid_ = false;
  GLenum format, type;
  if (!s || s->Width() != width_ || s->Height() != height_ || !TransferFormat(s->Format(), &format, &type) ||
      !Use())
    return false;
  g_gl.glPixelStorei(GL_PACK_ROW_LENGTH, s->Pitch() / s->Format().BytesPerPixel());
  for (int32_t y = 0; y < height_; ++y) g_gl.glReadPixels(0, height_ - 1 - y, width_, 1, format, type, s->Row(y));
  g_gl.glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  return g_gl.glGetError() == GL_NO_ERROR;
}
