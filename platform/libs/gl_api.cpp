#include "platform/libs/gl_api.h"

#include <cstring>

#include "platform/libs/shared_library.h"

GlApi g_gl;

namespace {

SharedLibrary g_eglLibrary(VK_SONAME_EGL);
SharedLibrary g_glLibrary(VK_SONAME_OPENGL);

// Resolves the functions of one library of the table; answers the first one missing.
const char* Bind(const char* lib, void* handle) {
#define VK_BIND(part, name) \
  if (std::strcmp(lib, #part) == 0 && !BindFunction(handle, #name, &g_gl.name)) return #name;
  VK_GL_FUNCTIONS(VK_BIND)
#undef VK_BIND
  return nullptr;
}

}  // namespace

bool OpenGlLibraries(std::string* why) {
  return g_eglLibrary.Open([](void* h) { return Bind("egl", h); }, why) &&
         g_glLibrary.Open([](void* h) { return Bind("gl", h); }, why);
}
