#include <gtest/gtest.h>

#include "display/display.h"
#include "platform/window.h"
#include "tests/support/gl_required.h"
#include "tests/support/program_run.h"

namespace {

// Each windowed run of a process gets its own GL device, which draws, and lets it go at the end.
TEST(GlRuns, ThreeWindowedRunsInOneProcessEachKeepGl) {
  for (int run = 0; run < 3; ++run) {
    ImageBuilder b;
    b.Emit({0});
    TestRun t;
    t.frames = 2;
    t.windowed = true;
    bool windowed = false, gl = false;
    uint32_t pixel = 0;
    t.afterRun = [&] {
      windowed = !PlatformIsHeadless() && WindowHandle();
      Device3D* d = PrepareDevice3D();
      gl = d->Kind() == DeviceKind::kGl;
      d->Clear(kClearTarget, SurfRect{0, 0, 4, 4}, 0x00FF00, 1.0f, 0);
      MarkDeviceDrew();
      PrepareBackBuffer2D();
      pixel = g_display.backBuffer->GetPixel(3, 3);
    };
    RunTestImage(b, t);
    EXPECT_TRUE(windowed) << "run " << run;
    VK_NEED_GL(gl);
    EXPECT_EQ(pixel, 0x07E0u) << "run " << run;
  }
}

}  // namespace
