#include "tests/scene3d/null_scene.h"

#include "display/display.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "runtime/subsystems.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"

void NullSceneTest::SetUp() {
  ResetSubsystems();
  CreateDisplayPools();
  AllocFrameRecord();
  AllocImageRecord();
  AllocTextureRecord();
  CreateMeshPool();
  AllocMeshData();
  CreateScenePools();
  InitScene3D();
  g_display.device = CreateNullDevice();
}

void NullSceneTest::TearDown() {
  ResetSubsystems();
  g_display.device.reset();
  ClearRunErrors();
}

int32_t NullSceneTest::Run(std::initializer_list<CallOperand> operands, int number) {
  CommandCall call(operands);
  return call.Run(number);
}
