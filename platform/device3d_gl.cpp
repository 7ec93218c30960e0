// The OpenGL device: an EGL context without a window, drawing into a framebuffer object.
#define GL_GLEXT_PROTOTYPES 1
#define EGL_EGLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <vector>

#include "platform/device3d.h"

namespace {

// One EGL display and context for the process; made on first use.
struct GlContext {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  EGLSurface surface = EGL_NO_SURFACE;
  bool tried = false;
};
GlContext g_gl;

EGLDisplay OpenDisplay() {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay) {
    EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major, minor;
    if (d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor)) return d;
  }
  EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  EGLint major, minor;
  if (d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor)) return d;
  return EGL_NO_DISPLAY;
}

bool MakeContext() {
  if (g_gl.tried) return g_gl.context != EGL_NO_CONTEXT;
  g_gl.tried = true;
  g_gl.display = OpenDisplay();
  if (g_gl.display == EGL_NO_DISPLAY || !eglBindAPI(EGL_OPENGL_API)) return false;
  const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config;
  EGLint count = 0;
  if (!eglChooseConfig(g_gl.display, configAttribs, &config, 1, &count) || count < 1) {
    const EGLint anyAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    if (!eglChooseConfig(g_gl.display, anyAttribs, &config, 1, &count) || count < 1) return false;
  }
  const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                   EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
  g_gl.context = eglCreateContext(g_gl.display, config, EGL_NO_CONTEXT, contextAttribs);
  if (g_gl.context == EGL_NO_CONTEXT) return false;
  if (!eglMakeCurrent(g_gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, g_gl.context)) {
    const EGLint pb[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    g_gl.surface = eglCreatePbufferSurface(g_gl.display, config, pb);
    if (g_gl.surface == EGL_NO_SURFACE || !eglMakeCurrent(g_gl.display, g_gl.surface, g_gl.surface, g_gl.context)) {
      eglDestroyContext(g_gl.display, g_gl.context);
      g_gl.context = EGL_NO_CONTEXT;
      return false;
    }
  }
  return true;
}

// GL pixel transfer format of a surface format (0 when there is none).
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

class GlDevice : public Device3D {
 public:
  GlDevice(int32_t w, int32_t h) : width_(w), height_(h) {}
  ~GlDevice() override {
    if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    if (colour_) glDeleteTextures(1, &colour_);
    if (depth_) glDeleteRenderbuffers(1, &depth_);
  }
  bool Init() {
    glGenTextures(1, &colour_);
    glBindTexture(GL_TEXTURE_2D, colour_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width_, height_);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE && glGetError() == GL_NO_ERROR;
  }
  const char* Kind() const override { return "GL"; }
  bool SetViewport(int32_t x, int32_t y, int32_t w, int32_t h, float minZ, float maxZ) override {
    glViewport(x, height_ - (y + h), w, h);
    glDepthRange(minZ, maxZ);
    return glGetError() == GL_NO_ERROR;
  }
  bool Clear(uint32_t flags, const SurfRect& r, uint32_t colour, float z, uint32_t stencil) override {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glEnable(GL_SCISSOR_TEST);
    // Rows run top-down in surfaces and bottom-up in GL.
    glScissor(r.left, height_ - r.bottom, r.Width(), r.Height());
    GLbitfield mask = 0;
    if (flags & kClearTarget) {
      glClearColor(float((colour >> 16) & 255) / 255.0f, float((colour >> 8) & 255) / 255.0f,
                   float(colour & 255) / 255.0f, 1.0f);
      mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & kClearZBuffer) {
      glClearDepth(z);
      glClearStencil(GLint(stencil));
      glDepthMask(GL_TRUE);
      mask |= GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
    }
    glClear(mask);
    glDisable(GL_SCISSOR_TEST);
    return glGetError() == GL_NO_ERROR;
  }
  bool SetRenderState(uint32_t state, uint32_t value) override {
    if (state < kStates) states_[state] = value;
    return true;
  }
  bool SetTextureStageState(uint32_t, uint32_t state, uint32_t value) override {
    if (state < kStates) stageStates_[state] = value;
    return true;
  }
  bool SetMaterial(const Material& m) override {
    material_ = m;
    return true;
  }
  bool SetTransform(uint32_t which, const float* m) override {
    if (which >= 1 && which <= 3) std::memcpy(transforms_[which - 1], m, sizeof transforms_[0]);
    return true;
  }
  bool UploadFrom(const Surface& s) override {
    GLenum format, type;
    if (s.Width() != width_ || s.Height() != height_ || !TransferFormat(s.Format(), &format, &type)) return false;
    // GL rows run bottom-up: upload the rows in reverse order.
    glBindTexture(GL_TEXTURE_2D, colour_);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, s.Pitch() / s.Format().BytesPerPixel());
    for (int32_t y = 0; y < height_; ++y)
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, height_ - 1 - y, width_, 1, format, type, s.Row(y));
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return glGetError() == GL_NO_ERROR;
  }
  bool ReadBackInto(Surface* s) override {
    GLenum format, type;
    if (!s || s->Width() != width_ || s->Height() != height_ || !TransferFormat(s->Format(), &format, &type))
      return false;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ROW_LENGTH, s->Pitch() / s->Format().BytesPerPixel());
    for (int32_t y = 0; y < height_; ++y) glReadPixels(0, height_ - 1 - y, width_, 1, format, type, s->Row(y));
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    return glGetError() == GL_NO_ERROR;
  }

 private:
  static constexpr uint32_t kStates = 256;
  int32_t width_, height_;
  GLuint framebuffer_ = 0, colour_ = 0, depth_ = 0;
  uint32_t states_[kStates] = {};
  uint32_t stageStates_[kStates] = {};
  Material material_;
  float transforms_[3][16] = {};
};

}  // namespace

Device3DPtr CreateGlDevice(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || !MakeContext()) return nullptr;
  auto d = std::make_unique<GlDevice>(width, height);
  if (!d->Init()) return nullptr;
  return d;
}
