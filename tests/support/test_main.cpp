// Test entry: every test binary runs headless, whatever the machine has.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// Windowed runs end with the video driver terminating its EGL display, which unloads Mesa's
// driver and strands a few bytes it had allocated; the leak checker then reports them from a
// module it can no longer name. Holding the driver libraries open keeps them mapped (and those
// bytes reachable) for the whole test binary.
void KeepGlDriversLoaded() {
  for (const char* lib : {"libEGL_mesa.so.0", "libglapi.so.0", "libgallium_dri.so",
                          "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(lib, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
}

}  // namespace

int main(int argc, char** argv) {
  // Whatever started the suite, the tests and what they start begin as from a shell: signals
  // as by default, and the standard descriptors open (a closed one would be taken by the first
  // file a test opens, and then stand for a child's standard input or output). A test that
  // wants one closed closes it itself.
  DefaultSignals();
  for (int fd = 0; fd < 3; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return 125;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("EGL_PLATFORM", "surfaceless", 0);
  // The GL driver keeps no shader cache in the user's home.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
  KeepGlDriversLoaded();
  // Run folders go to the user's state folder, settings to the settings folder: each test binary
  // gets its own (a death test's child, started again, keeps its parent's), so no test sees
  // another's or the user's, and none is left in the user's home.
  std::string state;
  if (!std::getenv("VK_TEST_STATE_HOME")) {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/vkstate-XXXXXX";
    if (mkdtemp(tmpl.data())) state = tmpl;
    setenv("VK_TEST_STATE_HOME", state.c_str(), 1);
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    if (!state.empty()) setenv("XDG_CONFIG_HOME", (state + "/config").c_str(), 1);
  }
  // The temporary folders of a test's other processes (a death test's child, forked or started
  // again, ends without running its destructors) go into one of this process's, removed at its
  // end. Others may pass through it, as through the suite's own temporary folder.
  std::string children;
  if (!std::getenv(kChildTempFolder)) {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/vkchildren-XXXXXX";
    if (mkdtemp(tmpl.data())) children = tmpl;
    if (!children.empty()) chmod(children.c_str(), 0711);
    setenv(kChildTempFolder, children.c_str(), 1);
    setenv(kChildTempOwner, std::to_string(getpid()).c_str(), 1);
  }
  testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::error_code ec;
  if (!state.empty()) std::filesystem::remove_all(state, ec);
  if (!children.empty()) std::filesystem::remove_all(children, ec);
  return status;
}
