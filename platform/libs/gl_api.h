#pragma once
// EGL and OpenGL (the 3D device): the functions called, in a table filled when the library is first opened.
// Callers open it before their first call and go through the table.
#include <string>

// Declarations only: every call goes through the table.
#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glcorearb.h>

#define VK_GL_FUNCTIONS(X) \
  X(egl, eglBindAPI) \
  X(egl, eglChooseConfig) \
  X(egl, eglCreateContext) \
  X(egl, eglCreatePbufferSurface) \
  X(egl, eglDestroyContext) \
  X(egl, eglDestroySurface) \
  X(egl, eglGetCurrentContext) \
  X(egl, eglGetCurrentDisplay) \
  X(egl, eglGetDisplay) \
  X(egl, eglGetProcAddress) \
  X(egl, eglInitialize) \
  X(egl, eglMakeCurrent) \
  X(gl, glActiveTexture) \
  X(gl, glAttachShader) \
  X(gl, glBindBuffer) \
  X(gl, glBindFramebuffer) \
  X(gl, glBindRenderbuffer) \
  X(gl, glBindTexture) \
  X(gl, glBindVertexArray) \
  X(gl, glBlendFunc) \
  X(gl, glBufferData) \
  X(gl, glCheckFramebufferStatus) \
  X(gl, glClear) \
  X(gl, glClearColor) \
  X(gl, glClearDepth) \
  X(gl, glClearStencil) \
  X(gl, glCompileShader) \
  X(gl, glCreateProgram) \
  X(gl, glCreateShader) \
  X(gl, glCullFace) \
  X(gl, glDeleteBuffers) \
  X(gl, glDeleteFramebuffers) \
  X(gl, glDeleteProgram) \
  X(gl, glDeleteRenderbuffers) \
  X(gl, glDeleteShader) \
  X(gl, glDeleteTextures) \
  X(gl, glDeleteVertexArrays) \
  X(gl, glDepthFunc) \
  X(gl, glDepthMask) \
  X(gl, glDepthRange) \
  X(gl, glDetachShader) \
  X(gl, glDisable) \
  X(gl, glDrawElements) \
  X(gl, glEnable) \
  X(gl, glEnableVertexAttribArray) \
  X(gl, glFramebufferRenderbuffer) \
  X(gl, glFramebufferTexture2D) \
  X(gl, glFrontFace) \
  X(gl, glGenBuffers) \
  X(gl, glGenFramebuffers) \
  X(gl, glGenRenderbuffers) \
  X(gl, glGenTextures) \
  X(gl, glGenVertexArrays) \
  X(gl, glGetError) \
  X(gl, glGetIntegerv) \
  X(gl, glGetProgramiv) \
  X(gl, glGetShaderInfoLog) \
  X(gl, glGetShaderiv) \
  X(gl, glGetUniformLocation) \
  X(gl, glLinkProgram) \
  X(gl, glPixelStorei) \
  X(gl, glPolygonMode) \
  X(gl, glReadPixels) \
  X(gl, glRenderbufferStorage) \
  X(gl, glScissor) \
  X(gl, glShaderSource) \
  X(gl, glTexImage2D) \
  X(gl, glTexParameteri) \
  X(gl, glTexSubImage2D) \
  X(gl, glUniform1f) \
  X(gl, glUniform1i) \
  X(gl, glUniform3fv) \
  X(gl, glUniform4fv) \
  X(gl, glUniformMatrix3fv) \
  X(gl, glUniformMatrix4fv) \
  X(gl, glUseProgram) \
  X(gl, glVertexAttribPointer) \
  X(gl, glViewport)

struct GlApi {
#define VK_SLOT(lib, name) decltype(&::name) name = nullptr;
  VK_GL_FUNCTIONS(VK_SLOT)
#undef VK_SLOT
};
extern GlApi g_gl;

// Opens the libraries once per process; false, with the reason in *why, when one
// cannot be loaded or lacks a function. Safe from any thread.
bool OpenGlLibraries(std::string* why = nullptr);
