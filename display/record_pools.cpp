#include "display/record_pools.h"

#include "display/images.h"
#include "display/textures.h"

RecordPool<FrameRecord> g_framePool(2, 4);
RecordPool<ImageRecord> g_imagePool(16, 12);
RecordPool<TextureRecord> g_texturePool(2, 4);
RecordPool<DrawOp> g_drawOpPool(2, 4);

void CreateDisplayPools() {
  g_framePool.Create();
  g_imagePool.Create();
  g_texturePool.Create();
  g_drawOpPool.Create();
}

void FreeDisplayPools() {
  g_images.surfaces.clear();
  ResetTextureBank();
  g_framePool.Release();
  g_imagePool.Release();
  g_texturePool.Release();
  g_drawOpPool.Release();
}

uint32_t AllocFrameRecord() {
  return g_framePool.Alloc([](FrameRecord& f) {
    f = FrameRecord{};
    f.backgroundImage[0] = f.backgroundImage[1] = -1;
    f.scaleX = f.scaleY = 1.0f;
  });
}

uint32_t AllocImageRecord() { return g_imagePool.Alloc(); }

uint32_t AllocTextureRecord() {
  return g_texturePool.Alloc([](TextureRecord& t) { t = TextureRecord{}; });
}

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
  return g_imagePool.Free(r, [r](ImageRecord& i) {
    DropImageSurface(r);
    i.surface = nullptr;
    i.inUse = 0;
  });
}

int FreeTextureRecord(uint32_t r) { return g_texturePool.Free(r); }

int FreeDrawOp(uint32_t r) { return g_drawOpPool.Free(r); }
