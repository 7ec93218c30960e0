#pragma once
#include <cstdint>

#include "core/record_pool.h"
#include "display/records.h"
#include "model/mesh_data.h"
#include "scene3d/records.h"

// The runtime's record pools, created at start-up and released at shutdown.
extern RecordPool<FrameRecord> g_framePool;
extern RecordPool<ImageRecord> g_imagePool;
extern RecordPool<ObjectRecord> g_objectPool;
extern RecordPool<MeshData> g_meshPool;
extern RecordPool<TextureRecord> g_texturePool;
extern RecordPool<DrawOp> g_drawOpPool;
extern RecordPool<LightRecord> g_lightPool;

void CreateRecordPools();
void FreeRecordPools();
// Zero-fills every pool and rebuilds its lists (3D start-up).
void ClearScenePools();
void ResetScenePoolLists();

// Each returns the new record's index, or kNoRecord when the pool is full.
uint32_t AllocFrameRecord();
uint32_t AllocImageRecord();
uint32_t AllocObjectRecord();
uint32_t AllocMeshData();
uint32_t AllocTextureRecord();
uint32_t AllocLightRecord();
uint32_t AllocDrawOp();
// Each returns 1, or 0 when the record is not in use.
int FreeFrameRecord(uint32_t r);
int FreeImageRecord(uint32_t r);
int FreeObjectRecord(uint32_t r);
int FreeMeshData(uint32_t r);
int FreeTextureRecord(uint32_t r);
int FreeLightRecord(uint32_t r);
int FreeDrawOp(uint32_t r);
// Doubles an object's limb array when the limb comes within 4 of its capacity.
void GrowLimbArray(uint32_t object, int32_t limb);
