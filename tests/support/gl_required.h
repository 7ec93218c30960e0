#pragma once
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

// A GL test skips where the machine has no OpenGL; with VK_REQUIRE_GL=1 (CI) it fails instead.
inline bool GlRequired() {
  const char* v = std::getenv("VK_REQUIRE_GL");
  return v && std::strcmp(v, "1") == 0;
}
#define VK_NEED_GL(have)                                                          \
  do {                                                                            \
    if (!(have)) {                                                                \
      if (GlRequired()) FAIL() << "no OpenGL through EGL (VK_REQUIRE_GL=1)";      \
      GTEST_SKIP() << "no OpenGL through EGL on this machine";                    \
    }                                                                             \
  } while (0)
