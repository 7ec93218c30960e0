#pragma once
#include <cstdint>

#include "core/record_pool.h"
#include "scene3d/records.h"

// The scene's record pools: objects and lights.
extern RecordPool<ObjectRecord> g_objectPool;
extern RecordPool<LightRecord> g_lightPool;

void CreateScenePools();
// Releases what the records hold (an object's meshes), then the pools.
void FreeScenePools();

// Each returns the new record's index, or kNoRecord when the pool is full.
uint32_t AllocObjectRecord();
uint32_t AllocLightRecord();
// Each returns 1, or 0 when the record is not in use.
int FreeObjectRecord(uint32_t r);
// Doubles an object's limb array when the limb comes within 4 of its capacity.
void GrowLimbArray(uint32_t object, int32_t limb);
// Makes room for limbs 0..count - 1 in one step, as GrowLimbArray keeps it (a model's limbs at
// once: doubling copied the array again and again and held up to twice the records).
void SizeLimbArray(uint32_t object, int32_t count);
