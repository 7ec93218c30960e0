// Object records: their limb arrays grow, and freeing a record frees the meshes its limbs hold.
#include <gtest/gtest.h>

#include "model/mesh_data.h"
#include "scene3d/record_pools.h"

TEST(ObjectPool, ObjectRecordsOwnLimbsThatGrowAndAreFreed) {
  CreateMeshPool();
  CreateScenePools();
  uint32_t o = AllocObjectRecord();
  ASSERT_NE(o, kNoRecord);
  EXPECT_EQ(g_objectPool[o].limbs.size(), 32u);
  GrowLimbArray(o, 28);
  EXPECT_EQ(g_objectPool[o].limbs.size(), 32u);
  GrowLimbArray(o, 29);
  EXPECT_EQ(g_objectPool[o].limbs.size(), 64u);
  AllocMeshData();  // record 0 means none, as after 3D start-up
  uint32_t mesh = AllocMeshData();
  g_meshPool[mesh].vertices.assign(12, 1.0f);
  g_objectPool[o].limbs[3].meshData[0] = int32_t(mesh);
  EXPECT_EQ(FreeObjectRecord(o), 1);
  EXPECT_EQ(g_meshPool[mesh].inUse, 0);
  EXPECT_TRUE(g_meshPool[mesh].vertices.empty());
  FreeScenePools();
  FreeMeshPool();
}
