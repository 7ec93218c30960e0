#include "platform/gl/resources.h"

#include "platform/libs/gl_api.h"

namespace {

// Handles of every device of the process come from one counter (0 is skipped on the wrap).
GlHandle g_lastHandle = 0;

GlHandle NextHandle() {
  if (++g_lastHandle == 0) ++g_lastHandle;
  return g_lastHandle;
}

void DeleteObject(GlKind kind, GLuint name) {
  switch (kind) {
    case GlKind::kTexture: g_gl.glDeleteTextures(1, &name); break;
    case GlKind::kRenderbuffer: g_gl.glDeleteRenderbuffers(1, &name); break;
    case GlKind::kFramebuffer: g_gl.glDeleteFramebuffers(1, &name); break;
    case GlKind::kBuffer: g_gl.glDeleteBuffers(1, &name); break;
    case GlKind::kVertexArray: g_gl.glDeleteVertexArrays(1, &name); break;
    case GlKind::kProgram: g_gl.glDeleteProgram(name); break;
  }
}

}  // namespace

GlHandle GlResources::Create(GlKind kind) {
  GLuint name = 0;
  switch (kind) {
    case GlKind::kTexture: g_gl.glGenTextures(1, &name); break;
    case GlKind::kRenderbuffer: g_gl.glGenRenderbuffers(1, &name); break;
    case GlKind::kFramebuffer: g_gl.glGenFramebuffers(1, &name); break;
    case GlKind::kBuffer: g_gl.glGenBuffers(1, &name); break;
    case GlKind::kVertexArray: g_gl.glGenVertexArrays(1, &name); break;
    case GlKind::kProgram: name = g_gl.glCreateProgram(); break;
  }
  if (name == 0) return 0;
  GlHandle h = NextHandle();
  live_[h] = Entry{kind, name};
  return h;
}

uint32_t GlResources::Name(GlHandle handle, GlKind kind) const {
  auto it = live_.find(handle);
  return it != live_.end() && it->second.kind == kind ? it->second.name : 0;
}

void GlResources::Release(GlHandle handle) {
  auto it = live_.find(handle);
  if (it == live_.end()) return;
  DeleteObject(it->second.kind, it->second.name);
  live_.erase(it);
}

void GlResources::ReleaseAll() {
  for (const auto& [handle, e] : live_) DeleteObject(e.kind, e.name);
  live_.clear();
}
