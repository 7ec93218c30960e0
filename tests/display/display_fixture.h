#pragma once
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/run_state.h"
#include "display/bitmaps.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/record_pools.h"
#include "display/text_state.h"
#include "platform/events.h"
#include "platform/window.h"
#include "runtime/subsystems.h"

// A headless display of 640 x 480 at the given depth with pools, white ink on black.
class DisplayTest : public ::testing::Test {
 protected:
  void StartDisplay(int32_t depth) {
    g_runtime = RuntimeState{};
    PlatformSetHeadless(true);
    EventsInit(true);
    ResetSubsystems();
    ResetSurfaceFaults();
    CreateDisplayPools();
    SetFullScreenFlag(0);
    g_display.depth = depth;
    ASSERT_TRUE(CreateSurfacesAndDevice(640, 480, 1));
    ResetDisplayRunState();
    ComputePixelShifts(Back());
    SetDrawColours(0, 0xFFFFFF);
    g_errorCode = 0;
  }
  void SetUp() override { StartDisplay(16); }
  void TearDown() override {
    ReleaseDisplay(true);
    FreeDisplayPools();
    ResetSurfaceFaults();
    ResetDisplayState();
    EventsReset();
    g_errorCode = 0;
  }
  Surface* Back() { return g_display.backBuffer.get(); }
  uint32_t Px(int32_t x, int32_t y) { return Back()->GetPixel(x, y); }
  uint32_t White() { return PixelFromRgb(Back()->Format(), 0xFFFFFF); }
  // Number of pixels of the back buffer that are not 0.
  int CountLit() {
    int n = 0;
    for (int32_t y = 0; y < Back()->Height(); ++y)
      for (int32_t x = 0; x < Back()->Width(); ++x) n += Px(x, y) != 0;
    return n;
  }
};
