#pragma once
#include <cstdint>
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
  const Entry* find(std::string_view key) const;
  const Entry* end() const { return nullptr; }
  // Adds the key unless it is there already.
  void emplace(std::string_view key, int value);
  // The value of the key, added as 0 when missing.
  int& operator[](std::string_view key);
  void clear();
  size_t size() const { return entries_.size(); }

 private:
  static uint32_t Hash(std::string_view key);
  size_t SlotOf(std::string_view key, uint32_t hash) const;
  void Grow();

  std::vector<Entry> entries_;
  std::vector<uint32_t> hashes_;
  std::vector<int32_t> slots_;  // entry index + 1; 0 is an empty slot
};
