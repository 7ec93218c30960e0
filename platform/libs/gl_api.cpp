#include "platform/libs/gl_api.h"

#include "platform/libs/shared_library.h"

GlApi g_gl;

namespace {

SharedLibrary g_eglLibrary(VK_SONAME_EGL);
SharedLibrary g_glLibrary(VK_SONAME_OPENGL);

#define VK_BIND_TABLE g_gl
VK_DEFINE_BINDER(VK_GL_FUNCTIONS)

}  // namespace

bool OpenGlLibraries(std::string* why) {
  return g_eglLibrary.Open([](void* h) { return Bind("egl", h); }, why) &&
         g_glLibrary.Open([](void* h) { return Bind("gl", h); }, why);
}
