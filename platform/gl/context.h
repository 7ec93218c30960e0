#pragma once
#include <memory>

// One OpenGL 3.3 core context on an EGL display without a window, made for its device and
// destroyed with it. It is made current at every use (another context may have been made
// current since).
class GlContext {
 public:
  // nullptr when no GL can be had.
  static std::unique_ptr<GlContext> Create();
  ~GlContext();
  GlContext(const GlContext&) = delete;
  GlContext& operator=(const GlContext&) = delete;
  // False when the context cannot be made current (the display went away).
  bool MakeCurrent();

 private:
  GlContext() = default;
  void* display_ = nullptr;  // EGLDisplay
  void* context_ = nullptr;  // EGLContext
  void* surface_ = nullptr;  // EGLSurface: a 1x1 pbuffer where surfaceless contexts are refused
};
