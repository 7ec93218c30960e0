#include "platform/zeroed_pages.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

void* ZeroedPagesAllocate(size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return p;
}

void ZeroedPagesClear(void* pages, size_t bytes) {
  // Private anonymous pages read as zero again once dropped; should the kernel refuse, the
  // bytes are written.
  if (madvise(pages, bytes, MADV_DONTNEED) != 0) std::memset(pages, 0, bytes);
}
