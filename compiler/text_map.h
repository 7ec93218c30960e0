#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// A map from names to numbers for the compiler's hot lookups (keywords, variables, user
// functions): open addressing over a power-of-two table, searched with a string_view.
class TextMap {
 public:
  struct Entry {
    std::string first;
    int second;
  };

  Entry* find(std::string_view key) { return const_cast<Entry*>(static_cast<const TextMap*>(this)->find(key)); }
  const Entry* find(std::string_view key) const {
    if (slots_.empty()) return nullptr;
    const Key k = KeyOf(key);
    const size_t mask = slots_.size() - 1;
    for (size_t i = k.hash & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.entry == 0) return nullptr;
      if (s.head == k.head && s.hash == k.hash) {
        const Entry& e = entries_[size_t(s.entry - 1)];
        if (key.size() <= 8 ? e.first.size() == key.size() : e.first == key) return &e;
      }
    }
  }
  const Entry* end() const { return nullptr; }
  // Adds the key unless it is there already.
  void emplace(std::string_view key, int value);
  // The value of the key, added as 0 when missing.
  int& operator[](std::string_view key);
  void clear();
  size_t size() const { return entries_.size(); }

 private:
  // Names are short: the first eight characters, packed, and the length decide a match for
  // names of up to eight characters; longer ones compare their text too.
  struct Key {
    uint64_t head;
    uint32_t hash;
  };
  struct Slot {
    uint64_t head;
    uint32_t hash;
    int32_t entry;  // entry index + 1; 0 is an empty slot
  };
  static Key KeyOf(std::string_view key) {
    uint64_t head = 0;
    const size_t n = key.size() < 8 ? key.size() : 8;
    for (size_t i = 0; i < n; ++i) head |= uint64_t(uint8_t(key[i])) << (8 * i);
    uint64_t h = (head ^ (uint64_t(key.size()) << 56)) * 0x9E3779B97F4A7C15ull;
    for (size_t i = 8; i < key.size(); ++i) h = (h ^ uint8_t(key[i])) * 0x100000001B3ull;
    return {head, uint32_t(h >> 32) ^ uint32_t(key.size())};
  }
  size_t SlotOf(std::string_view key, const Key& k) const;
  void Grow();

  std::vector<Entry> entries_;
  std::vector<Slot> slots_;
};

// A map from 32-bit values to numbers (the literal tables): open addressing, power of two.
class ValueMap {
 public:
  // The number stored for a value, or -1.
  int32_t Find(uint32_t key) const {
    if (slots_.empty()) return -1;
    const size_t mask = slots_.size() - 1;
    for (size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.value < 0) return -1;
      if (s.key == key) return s.value;
    }
  }
  // Stores a number for a value that is not there yet.
  void Insert(uint32_t key, int32_t value) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    const size_t mask = slots_.size() - 1;
    size_t i = Hash(key) & mask;
    while (slots_[i].value >= 0) i = (i + 1) & mask;
    slots_[i] = {key, value};
    ++count_;
  }
  void clear() {
    slots_.clear();
    count_ = 0;
  }

 private:
  struct Slot {
    uint32_t key;
    int32_t value;  // -1: empty
  };
  static size_t Hash(uint32_t key) { return size_t((uint64_t(key) * 0x9E3779B97F4A7C15ull) >> 32); }
  void Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{0, -1});
    count_ = 0;
    for (const Slot& s : old)
      if (s.value >= 0) Insert(s.key, s.value);
  }
  std::vector<Slot> slots_;
  size_t count_ = 0;
};
