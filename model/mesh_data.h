#pragma once
#include <cstdint>

#include "core/record_pool.h"

// A numbered mesh data record: the pool touches its links, its in-use field and its four
// owned buffers.
struct MeshData {
  uint32_t next, prev;
  int32_t inUse;
  void* buffers[4];
};

// Frees the four buffers of a mesh data record and clears them.
void FreeMeshDataBuffers(MeshData& mesh);

// The pool of mesh data records.
extern RecordPool<MeshData> g_meshPool;
void CreateMeshPool();
// Frees every record's buffers, then the pool.
void FreeMeshPool();
// The new record's index, or kNoRecord when the pool is full.
uint32_t AllocMeshData();
// 1, or 0 when the record is not in use.
int FreeMeshData(uint32_t r);
