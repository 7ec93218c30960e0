#pragma once
#include <cstdint>

// A numbered mesh data record: the pool touches its links, its in-use field and its four
// owned buffers.
struct MeshData {
  uint32_t next, prev;
  int32_t inUse;
  void* buffers[4];
};

// Frees the four buffers of a mesh data record and clears them.
void FreeMeshDataBuffers(MeshData& mesh);
