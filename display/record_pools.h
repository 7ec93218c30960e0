#pragma once
#include <cstdint>

#include "core/record_pool.h"
#include "display/records.h"

// The display's record pools: sprite frames, the image bank, textures and drawing operations.
extern RecordPool<FrameRecord> g_framePool;
extern RecordPool<ImageRecord> g_imagePool;
extern RecordPool<TextureRecord> g_texturePool;
extern RecordPool<DrawOp> g_drawOpPool;

void CreateDisplayPools();
// Releases what the records hold, then the pools.
void FreeDisplayPools();

// Each returns the new record's index, or kNoRecord when the pool is full.
uint32_t AllocFrameRecord();
uint32_t AllocImageRecord();
uint32_t AllocTextureRecord();
uint32_t AllocDrawOp();
// Each returns 1, or 0 when the record is not in use.
int FreeFrameRecord(uint32_t r);
int FreeImageRecord(uint32_t r);
int FreeTextureRecord(uint32_t r);
int FreeDrawOp(uint32_t r);
