#pragma once
#include <cstddef>
#include <cstdint>

// Large tables that start zeroed and are zeroed again at each reset: their pages are made only
// when first written, and a clear hands the written ones back instead of writing every byte,
// so a table that a run barely uses costs next to nothing to set up and to reset.
// Throws std::bad_alloc when the memory cannot be had.
void* ZeroedPagesAllocate(size_t bytes);
void ZeroedPagesClear(void* pages, size_t bytes);
void ZeroedPagesFree(void* pages, size_t bytes);

// A table of record indices by number (0 for none) kept in such pages, mapped at its first
// write: the 65,536-number tables of images, sprites, objects, meshes, lights and matrices cost
// a start nothing.
class NumberTable {
 public:
  NumberTable() = default;
  explicit NumberTable(size_t size) : size_(size) {}
  ~NumberTable() { Release(); }
  NumberTable(NumberTable&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  NumberTable& operator=(NumberTable&& other) noexcept;
  NumberTable(const NumberTable&) = delete;
  NumberTable& operator=(const NumberTable&) = delete;

  // size entries, every one 0.
  void Reset(size_t size);
  uint32_t operator[](size_t n) const { return data_ ? data_[n] : 0; }
  uint32_t& operator[](size_t n) { return (data_ ? data_ : Map())[n]; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  uint32_t* Map();
  void Release();
  uint32_t* data_ = nullptr;
  size_t size_ = 0;
};
