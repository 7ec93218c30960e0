#include "compiler/text_map.h"

uint32_t TextMap::Hash(std::string_view key) {
  uint32_t h = 2166136261u;
  for (char c : key) h = (h ^ uint8_t(c)) * 16777619u;
  return h;
}

size_t TextMap::SlotOf(std::string_view key, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  for (;;) {
    int32_t e = slots_[i];
    if (e == 0) return i;
    if (hashes_[size_t(e - 1)] == hash && entries_[size_t(e - 1)].first == key) return i;
    i = (i + 1) & mask;
  }
}

const TextMap::Entry* TextMap::find(std::string_view key) const {
  if (slots_.empty()) return nullptr;
  int32_t e = slots_[SlotOf(key, Hash(key))];
  return e ? &entries_[size_t(e - 1)] : nullptr;
}

void TextMap::Grow() {
  std::vector<int32_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
  slots_.swap(slots);
  const size_t mask = slots_.size() - 1;
  for (size_t k = 0; k < entries_.size(); ++k) {
    size_t i = hashes_[k] & mask;
    while (slots_[i]) i = (i + 1) & mask;
    slots_[i] = int32_t(k + 1);
  }
}

int& TextMap::operator[](std::string_view key) {
  if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
  const uint32_t hash = Hash(key);
  size_t i = SlotOf(key, hash);
  if (!slots_[i]) {
    entries_.push_back({std::string(key), 0});
    hashes_.push_back(hash);
    slots_[i] = int32_t(entries_.size());
  }
  return entries_[size_t(slots_[i] - 1)].second;
}

void TextMap::emplace(std::string_view key, int value) {
  if (find(key)) return;
  (*this)[key] = value;
}

void TextMap::clear() {
  entries_.clear();
  hashes_.clear();
  slots_.clear();
}
