#pragma once
// A headless display with the scene started on it (object record 0 reserved, the camera at its
// defaults) and the command table, for the scene's command and render tests.
#include <gtest/gtest.h>

#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "runtime/command_families.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"
#include "tests/display/display_fixture.h"
#include "tests/support/program_run.h"

class SceneTest : public DisplayTest {
 protected:
  void SetUp() override {
    StartDisplay(32);
    InitCommandTable();
    CreateMeshPool();
    AllocMeshData();  // record 0 stands for none
    CreateScenePools();
    InitScene3D();
    ResetSceneDefaults();
  }
  void TearDown() override {
    FreeScenePools();
    ResetSceneState();
    FreeMeshPool();
    DisplayTest::TearDown();
  }
  // Runs command n on the operands; returns its error code.
  int32_t Call(int n, std::initializer_list<CallOperand> operands) {
    CommandCall call(operands);
    return call.Run(n);
  }
  void MakeBox(int n, float size, float x, float y, float z) {
    ASSERT_EQ(Call(7041, {n, size, size, size}), 0);
    FrameRecord& f = Frame(n);
    f.position[0] = x, f.position[1] = y, f.position[2] = z;
    ApplyObjectFrame(n);
  }
  FrameRecord& Frame(int n) { return g_framePool[g_objectPool[RecordOf(n)].frameIndex]; }
  void ApplyObjectFrame(int n) { ApplyObjectTransform(RecordOf(n)); }
  uint32_t RecordOf(int n) { return g_scene.objectNumbers[size_t(n)]; }
};
