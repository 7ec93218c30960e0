#include "scene3d/record_pools.h"

RecordPool<ObjectRecord> g_objectPool(2, 4);
RecordPool<LightRecord> g_lightPool(8, 4);

void CreateScenePools() {
  g_objectPool.Create();
  g_lightPool.Create();
}

void FreeScenePools() {
  if (g_objectPool.Created())
    for (int32_t i = 0; i < g_objectPool.Capacity(); ++i)
      if (g_objectPool.InUse(uint32_t(i))) ReleaseObjectRecordContents(uint32_t(i));
  g_objectPool.Release();
  g_lightPool.Release();
}

uint32_t AllocObjectRecord() {
  return g_objectPool.Alloc([](ObjectRecord& o) {
    o = ObjectRecord{};
    o.limbs.assign(32, LimbRecord{});
  });
}

uint32_t AllocLightRecord() { return g_lightPool.Alloc(); }

int FreeObjectRecord(uint32_t r) {
  if (!g_objectPool.InUse(r)) return 0;
  return g_objectPool.Free(r, [r](ObjectRecord&) { ReleaseObjectRecordContents(r); });
}

void SizeLimbArray(uint32_t object, int32_t count) {
  if (!g_objectPool.InUse(object) || count <= 0) return;
  LimbArray& limbs = g_objectPool[object].limbs;
  if (size_t(count) + 3 <= limbs.size()) return;
  try {
    limbs.resize(size_t(count) + 4, LimbRecord{});
  } catch (const std::bad_alloc&) {
    RunError(kErrOutOfMemory);
  }
}

void GrowLimbArray(uint32_t object, int32_t limb) {
  if (!g_objectPool.InUse(object)) return;
  LimbArray& limbs = g_objectPool[object].limbs;
  int32_t cap = int32_t(limbs.size());
  if (limb <= cap - 4) return;
  size_t newCap = cap > 0 ? size_t(cap) * 2 : 32;
  while (int64_t(limb) > int64_t(newCap) - 4) newCap *= 2;
  try {
    limbs.resize(newCap, LimbRecord{});
  } catch (const std::bad_alloc&) {
    RunError(kErrOutOfMemory);
  }
}
