#include "tests/support/run_image.h"

#include "runtime/startup.h"
#include "tests/support/temp_dir.h"

int RunTestImage(const ImageBuilder& image, const TestRun& run) {
  TempDir dir;
  std::string path = dir.File("test.img");
  image.WriteFile(path);
  RunOptions o;
  o.headless = !run.windowed;
  o.windowMode = run.windowed;
  o.virtualClock = run.virtualClock;
  o.frames = run.frames;
  o.standalone = run.standalone;
  o.debug = run.debug;
  g_testTableHook = run.install;
  g_afterRunHook = run.afterRun;
  int status = RunImageFile(path, o);
  g_testTableHook = nullptr;
  g_afterRunHook = nullptr;
  return status;
}
