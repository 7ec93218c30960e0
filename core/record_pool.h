#pragma once
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/errors.h"

inline constexpr uint32_t kNoRecord = 0xFFFFFFFFu;

// A growable array of records addressed by index, with a free list and a doubly linked used
// list threaded through each record's `next` and `prev` fields. The array doubles when more
// than capacity - margin records are in use; records move then, so everything else keeps
// indices. The last free record's `next` is the capacity: the chain runs on into the records
// the next growth adds.
template <class T>
class RecordPool {
 public:
  RecordPool(int32_t initialCapacity, int32_t margin) : initial_(initialCapacity), margin_(margin) {}

  void Create() {
    records_.assign(size_t(initial_), T{});
    used_.assign(size_t(initial_), 0);
    capacity_ = initial_;
    ResetLists();
  }
  void Release() {
    std::vector<T>().swap(records_);
    std::vector<uint8_t>().swap(used_);
    capacity_ = inUse_ = 0;
    freeHead_ = 0;
    usedHead_ = usedTail_ = kNoRecord;
  }
  bool Created() const { return capacity_ > 0; }

  // Zero-fills every record (contents and links).
  void Clear() {
    for (T& r : records_) r = T{};
    std::fill(used_.begin(), used_.end(), 0);
  }
  // Links record i to i + 1 (previous i - 1); free head 0, used list empty, count 0.
  void ResetLists() {
    for (int32_t i = 0; i < capacity_; ++i) {
      records_[size_t(i)].next = uint32_t(i + 1);
      records_[size_t(i)].prev = uint32_t(i - 1);
    }
    std::fill(used_.begin(), used_.end(), 0);
    freeHead_ = 0;
    usedHead_ = usedTail_ = kNoRecord;
    inUse_ = 0;
  }

  // Takes a record: grows first when needed (error 101 when growing fails). Returns the
  // index, or kNoRecord when the pool is full; `init` prepares the record.
  template <class Init>
  uint32_t Alloc(Init&& init) {
    if (!Created()) return kNoRecord;
    if (inUse_ > capacity_ - margin_) Grow();
    if (inUse_ >= capacity_ || freeHead_ >= uint32_t(capacity_)) return kNoRecord;
    uint32_t r = freeHead_;
    freeHead_ = records_[r].next;
    init(records_[r]);
    records_[r].next = kNoRecord;
    records_[r].prev = kNoRecord;
    if (usedTail_ != kNoRecord) records_[usedTail_].next = r;
    if (usedHead_ != kNoRecord) records_[r].prev = usedTail_;
    else usedHead_ = r;
    usedTail_ = r;
    used_[r] = 1;
    ++inUse_;
    return r;
  }
  uint32_t Alloc() {
    return Alloc([](T& rec) { rec = T{}; });
  }

  // Returns a record to the free list after `release` let go of what it owns. Refused
  // (result 0) for an index out of range or a record not in use.
  template <class Release>
  int Free(uint32_t r, Release&& release) {
    if (inUse_ < 1 || r >= uint32_t(capacity_) || !used_[r]) return 0;
    release(records_[r]);
    uint32_t p = records_[r].prev, n = records_[r].next;
    if (p != kNoRecord) records_[p].next = n;
    if (r == usedTail_) usedTail_ = p;
    if (n != kNoRecord) records_[n].prev = p;
    if (r == usedHead_) {
      usedHead_ = n;
      if (n != kNoRecord) records_[n].prev = kNoRecord;
    }
    records_[r].prev = kNoRecord;
    records_[r].next = freeHead_;
    if (freeHead_ < uint32_t(capacity_)) records_[freeHead_].prev = r;
    freeHead_ = r;
    used_[r] = 0;
    --inUse_;
    return 1;
  }
  int Free(uint32_t r) {
    return Free(r, [](T&) {});
  }

  // Marks a record in use without taking it from the lists (reserving record 0 is done by Alloc).
  bool InUse(uint32_t r) const { return r < uint32_t(capacity_) && used_[r]; }
  T& operator[](uint32_t r) { return records_[r]; }
  const T& operator[](uint32_t r) const { return records_[r]; }
  int32_t Capacity() const { return capacity_; }
  int32_t Count() const { return inUse_; }
  uint32_t FreeHead() const { return freeHead_; }
  uint32_t UsedHead() const { return usedHead_; }
  uint32_t UsedTail() const { return usedTail_; }
  // Calls f(index, record) for every record on the used list, in list order.
  template <class F>
  void ForEachUsed(F&& f) {
    for (uint32_t r = usedHead_; r != kNoRecord;) {
      uint32_t next = records_[r].next;
      f(r, records_[r]);
      r = next;
    }
  }
  // For tests: fail the next growth as if memory had run out.
  void FailNextGrowth() { failGrowth_ = true; }

 private:
  void Grow() {
    size_t newCap = size_t(capacity_) * 2;
    if (failGrowth_ || newCap > 0x7FFFFFFF) {
      failGrowth_ = false;
      RunError(kErrOutOfMemory);
      return;
    }
    try {
      records_.resize(newCap);
      used_.resize(newCap, 0);
    } catch (const std::bad_alloc&) {
      RunError(kErrOutOfMemory);
      return;
    }
    for (size_t i = size_t(capacity_); i < newCap; ++i) {
      records_[i] = T{};
      records_[i].next = uint32_t(i + 1);
      records_[i].prev = uint32_t(i - 1);
    }
    capacity_ = int32_t(newCap);
  }

  std::vector<T> records_;
  std::vector<uint8_t> used_;
  int32_t initial_, margin_;
  int32_t capacity_ = 0, inUse_ = 0;
  uint32_t freeHead_ = 0, usedHead_ = kNoRecord, usedTail_ = kNoRecord;
  bool failGrowth_ = false;
};
