#include "platform/gl/context.h"

#include "platform/libs/gl_api.h"

namespace {

// EGL hands out one display per platform and native display, shared by every context of the
// process. Each new context initialises it again (nothing when it still is) and none
// terminates it: that would end the other contexts, and Mesa would unload and reload its
// driver every time.
EGLDisplay OpenDisplay() {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(g_gl.eglGetProcAddress("eglGetPlatformDisplayEXT"));
  EGLint major, minor;
  if (getPlatformDisplay) {
    EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d != EGL_NO_DISPLAY && g_gl.eglInitialize(d, &major, &minor)) return d;
  }
  EGLDisplay d = g_gl.eglGetDisplay(EGL_DEFAULT_DISPLAY);
  if (d != EGL_NO_DISPLAY && g_gl.eglInitialize(d, &major, &minor)) return d;
  return EGL_NO_DISPLAY;
}

}  // namespace

std::unique_ptr<GlContext> GlContext::Create() {
  if (!OpenGlLibraries()) return nullptr;
  EGLDisplay display = OpenDisplay();
  if (display == EGL_NO_DISPLAY) return nullptr;
  std::unique_ptr<GlContext> c(new GlContext);
  c->display_ = display;
  if (!g_gl.eglBindAPI(EGL_OPENGL_API)) return nullptr;
  const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config;
  EGLint count = 0;
  if (!g_gl.eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) {
    const EGLint anyAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    if (!g_gl.eglChooseConfig(display, anyAttribs, &config, 1, &count) || count < 1) return nullptr;
  }
  const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                   EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
  c->context_ = g_gl.eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
  if (c->context_ == EGL_NO_CONTEXT) return nullptr;
  if (!g_gl.eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, c->context_)) {
    const EGLint pb[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    c->surface_ = g_gl.eglCreatePbufferSurface(display, config, pb);
    if (c->surface_ == EGL_NO_SURFACE || !c->MakeCurrent()) return nullptr;
  }
  return c;
}

GlContext::~GlContext() {
  if (!display_) return;
  if (g_gl.eglGetCurrentContext() == context_) g_gl.eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (context_ != EGL_NO_CONTEXT) g_gl.eglDestroyContext(display_, context_);
  if (surface_ != EGL_NO_SURFACE) g_gl.eglDestroySurface(display_, surface_);
}

bool GlContext::MakeCurrent() {
  if (g_gl.eglGetCurrentContext() == context_ && g_gl.eglGetCurrentDisplay() == display_) return true;
  return g_gl.eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
}
