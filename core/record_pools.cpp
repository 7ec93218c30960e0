#include "core/record_pools.h"

RecordPool<FrameRecord> g_framePool(2, 4);
RecordPool<ImageRecord> g_imagePool(16, 12);
RecordPool<ObjectRecord> g_objectPool(2, 4);
RecordPool<MeshData> g_meshPool(2, 4);
RecordPool<TextureRecord> g_texturePool(2, 4);
RecordPool<DrawOp> g_drawOpPool(2, 4);
RecordPool<LightRecord> g_lightPool(8, 4);

void CreateRecordPools() {
  g_framePool.Create();
  g_imagePool.Create();
  g_objectPool.Create();
  g_meshPool.Create();
  g_texturePool.Create();
  g_drawOpPool.Create();
  g_lightPool.Create();
}

void FreeRecordPools() {
  if (g_imagePool.Created())
    for (int32_t i = 0; i < g_imagePool.Capacity(); ++i)
      if (g_imagePool.InUse(uint32_t(i))) ReleaseImageRecordSurface(g_imagePool[uint32_t(i)]);
  if (g_objectPool.Created())
    for (int32_t i = 0; i < g_objectPool.Capacity(); ++i)
      if (g_objectPool.InUse(uint32_t(i))) ReleaseObjectRecordContents(uint32_t(i));
  if (g_meshPool.Created())
    for (int32_t i = 0; i < g_meshPool.Capacity(); ++i) FreeMeshDataBuffers(g_meshPool[uint32_t(i)]);
  g_framePool.Release();
  g_imagePool.Release();
  g_objectPool.Release();
  g_meshPool.Release();
  g_texturePool.Release();
  g_drawOpPool.Release();
  g_lightPool.Release();
}

void ClearScenePools() {
  g_framePool.Clear();
  g_imagePool.Clear();
  g_objectPool.Clear();
  g_meshPool.Clear();
  g_texturePool.Clear();
  g_drawOpPool.Clear();
  g_lightPool.Clear();
}

void ResetScenePoolLists() {
  g_framePool.ResetLists();
  g_imagePool.ResetLists();
  g_objectPool.ResetLists();
  g_meshPool.ResetLists();
  g_texturePool.ResetLists();
  g_drawOpPool.ResetLists();
  g_lightPool.ResetLists();
}

uint32_t AllocFrameRecord() {
  return g_framePool.Alloc([](FrameRecord& f) {
    f = FrameRecord{};
    f.backgroundImage[0] = f.backgroundImage[1] = -1;
    f.scaleX = f.scaleY = 1.0f;
  });
}

uint32_t AllocImageRecord() { return g_imagePool.Alloc(); }

uint32_t AllocObjectRecord() {
  return g_objectPool.Alloc([](ObjectRecord& o) {
    o = ObjectRecord{};
    o.limbs.assign(32, LimbRecord{});
  });
}

uint32_t AllocMeshData() {
  return g_meshPool.Alloc([](MeshData& m) { m.inUse = 1; });
}

uint32_t AllocTextureRecord() {
  return g_texturePool.Alloc([](TextureRecord& t) { t = TextureRecord{}; });
}

uint32_t AllocLightRecord() { return g_lightPool.Alloc(); }
uint32_t AllocDrawOp() { return g_drawOpPool.Alloc(); }

int FreeFrameRecord(uint32_t r) {
  int ok = g_framePool.Free(r, [](FrameRecord& f) {
    for (int32_t& bg : f.backgroundImage) {
      if (bg >= 0) FreeImageRecord(uint32_t(bg));
      bg = -1;
    }
  });
  if (ok) g_framePool[r].savesBackground = 0;
  return ok;
}

int FreeImageRecord(uint32_t r) {
  return g_imagePool.Free(r, [](ImageRecord& i) { ReleaseImageRecordSurface(i); });
}

int FreeObjectRecord(uint32_t r) {
  if (!g_objectPool.InUse(r)) return 0;
  return g_objectPool.Free(r, [r](ObjectRecord&) { ReleaseObjectRecordContents(r); });
}

int FreeMeshData(uint32_t r) {
  int ok = g_meshPool.Free(r, [](MeshData& m) { FreeMeshDataBuffers(m); });
  if (ok) g_meshPool[r].inUse = 0;
  return ok;
}

int FreeTextureRecord(uint32_t r) { return g_texturePool.Free(r); }

int FreeLightRecord(uint32_t r) {
  return g_lightPool.Free(r, [r](LightRecord& l) { DisableDeviceLight(l, r); });
}

int FreeDrawOp(uint32_t r) { return g_drawOpPool.Free(r); }

void GrowLimbArray(uint32_t object, int32_t limb) {
  if (!g_objectPool.InUse(object)) return;
  std::vector<LimbRecord>& limbs = g_objectPool[object].limbs;
  int32_t cap = int32_t(limbs.size());
  if (limb <= cap - 4) return;
  size_t newCap = cap > 0 ? size_t(cap) * 2 : 32;
  while (int64_t(limb) > int64_t(newCap) - 4) newCap *= 2;
  try {
    limbs.resize(newCap, LimbRecord{});
  } catch (const std::bad_alloc&) {
    RunError(101);
  }
}
