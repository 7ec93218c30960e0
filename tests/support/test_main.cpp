// Test entry: every test binary runs headless, whatever the machine has.
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("EGL_PLATFORM", "surfaceless", 0);
  // A window of the offscreen driver keeps its picture in plain memory: SDL's GL texture for
  // it would only bring in Mesa, whose compiled code keeps memory the sanitizer sees leaked.
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
