#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/run_state.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "platform/events.h"
#include "scene3d/record_pools.h"

namespace {
void CreateAllPools() {
  CreateDisplayPools();
  CreateMeshPool();
  CreateScenePools();
}
void FreeAllPools() {
  FreeScenePools();
  FreeMeshPool();
  FreeDisplayPools();
}

struct TestRecord {
  uint32_t next, prev;
  int32_t value;
};

class PoolTest : public testing::Test {
 protected:
  void SetUp() override {
    g_errorCode = 0;
    EventsReset();
  }
  void TearDown() override { EventsReset(); }
};

// Walks the free list and returns where it ends (the index past the last free record).
uint32_t FreeChainEnd(RecordPool<TestRecord>& pool) {
  uint32_t r = pool.FreeHead();
  int steps = 0;
  while (r < uint32_t(pool.Capacity()) && steps++ < 100000) r = pool[r].next;
  return r;
}

TEST_F(PoolTest, SmallPoolGrowsOnFirstAllocationsThenByMargin) {
  RecordPool<TestRecord> pool(2, 4);
  pool.Create();
  EXPECT_EQ(pool.Alloc(), 0u);
  EXPECT_EQ(pool.Capacity(), 4);
  EXPECT_EQ(pool.Alloc(), 1u);
  EXPECT_EQ(pool.Capacity(), 8);
  for (int i = 2; i < 5; ++i) pool.Alloc();
  EXPECT_EQ(pool.Capacity(), 8);  // 4 in use is not more than 8 - 4
  pool.Alloc();                    // 5 in use > 4: grows before taking
  EXPECT_EQ(pool.Capacity(), 16);
  EXPECT_EQ(FreeChainEnd(pool), uint32_t(pool.Capacity()));
}

TEST_F(PoolTest, ImageAndLightPoolsDoubleAtTheSixthRecord) {
  CreateAllPools();
  for (int i = 0; i < 5; ++i) AllocImageRecord();
  EXPECT_EQ(g_imagePool.Capacity(), 16);
  AllocImageRecord();
  EXPECT_EQ(g_imagePool.Capacity(), 32);
  for (int i = 0; i < 5; ++i) AllocLightRecord();
  EXPECT_EQ(g_lightPool.Capacity(), 8);
  AllocLightRecord();
  EXPECT_EQ(g_lightPool.Capacity(), 16);
  FreeAllPools();
}

TEST_F(PoolTest, FreedRecordIsHandedOutNextAndListsStayLinked) {
  RecordPool<TestRecord> pool(2, 4);
  pool.Create();
  uint32_t a = pool.Alloc(), b = pool.Alloc(), c = pool.Alloc();
  EXPECT_EQ(pool.Free(b), 1);
  EXPECT_EQ(pool.UsedHead(), a);
  EXPECT_EQ(pool[a].next, c);
  EXPECT_EQ(pool[c].prev, a);
  EXPECT_EQ(pool.Alloc(), b);
  EXPECT_EQ(pool.UsedTail(), b);
  EXPECT_EQ(pool.Free(a), 1);
  EXPECT_EQ(pool.UsedHead(), c);
  EXPECT_EQ(pool[c].prev, kNoRecord);
}

TEST_F(PoolTest, FreeingTheOnlyRecordEmptiesTheUsedList) {
  RecordPool<TestRecord> pool(2, 4);
  pool.Create();
  uint32_t r = pool.Alloc();
  EXPECT_EQ(pool.Free(r), 1);
  EXPECT_EQ(pool.UsedHead(), kNoRecord);
  EXPECT_EQ(pool.UsedTail(), kNoRecord);
  EXPECT_EQ(pool.Count(), 0);
}

TEST_F(PoolTest, FreeingWhatIsNotInUseIsRefused) {
  RecordPool<TestRecord> pool(2, 4);
  pool.Create();
  EXPECT_EQ(pool.Free(0), 0);  // empty pool
  uint32_t r = pool.Alloc();
  EXPECT_EQ(pool.Free(r + 1), 0);  // never taken
  EXPECT_EQ(pool.Free(1000), 0);   // out of range
  EXPECT_EQ(pool.Free(r), 1);
  EXPECT_EQ(pool.Free(r), 0);  // twice
  EXPECT_EQ(pool.Count(), 0);
}

TEST_F(PoolTest, FailedGrowthRaises101AndAFullPoolGivesNoRecord) {
  g_runtime.standalone = 0;
  RecordPool<TestRecord> pool(8, 4);
  pool.Create();
  for (int i = 0; i < 5; ++i) pool.Alloc();  // 5 in use > 4 on the next allocation
  pool.FailNextGrowth();
  uint32_t r = pool.Alloc();
  EXPECT_EQ(g_errorCode, 101);
  EXPECT_NE(r, kNoRecord);  // free records are still used
  EXPECT_EQ(pool.Capacity(), 8);
  while (pool.Count() < 8) {
    pool.FailNextGrowth();
    pool.Alloc();
  }
  pool.FailNextGrowth();
  EXPECT_EQ(pool.Alloc(), kNoRecord);
  EXPECT_EQ(pool.Count(), 8);
}

TEST_F(PoolTest, ResetListsRelinksEveryRecord) {
  RecordPool<TestRecord> pool(2, 4);
  pool.Create();
  for (int i = 0; i < 6; ++i) pool.Alloc();
  pool.ResetLists();
  EXPECT_EQ(pool.Count(), 0);
  EXPECT_EQ(pool.FreeHead(), 0u);
  EXPECT_EQ(FreeChainEnd(pool), uint32_t(pool.Capacity()));
  EXPECT_EQ(pool.Alloc(), 0u);
}

}  // namespace
