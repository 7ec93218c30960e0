#pragma once
#include <cstdint>
#include <vector>

// The object collision queries' share of the scene's state.
struct CollisionState {
  // 0 makes every object collision query answer 0 without testing.
  uint32_t enabled = 1;
  // Every pair of object records the last collision pass found colliding, each as
  // (smaller << 32 | larger), sorted once the pass is over.
  std::vector<uint64_t> hitPairs;
};
