#pragma once
#include <cstddef>

// Large tables that start zeroed and are zeroed again at each reset: their pages are made only
// when first written, and a clear hands the written ones back instead of writing every byte,
// so a table that a run barely uses costs next to nothing to set up and to reset.
// Throws std::bad_alloc when the memory cannot be had.
void* ZeroedPagesAllocate(size_t bytes);
void ZeroedPagesClear(void* pages, size_t bytes);
