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

void ZeroedPagesFree(void* pages, size_t bytes) {
  if (pages) munmap(pages, bytes);
}

NumberTable& NumberTable::operator=(NumberTable&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void NumberTable::Reset(size_t size) {
  if (size == size_ && data_) {
    ZeroedPagesClear(data_, size * sizeof(uint32_t));
    return;
  }
  Release();
  size_ = size;
}

uint32_t* NumberTable::Map() {
  data_ = static_cast<uint32_t*>(ZeroedPagesAllocate(size_ * sizeof(uint32_t)));
  return data_;
}

void NumberTable::Release() {
  ZeroedPagesFree(data_, size_ * sizeof(uint32_t));
  data_ = nullptr;
  size_ = 0;
}
