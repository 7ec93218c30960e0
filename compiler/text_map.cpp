#include "compiler/text_map.h"

size_t TextMap::SlotOf(std::string_view key, const Key& k) const {
  const size_t mask = slots_.size() - 1;
  size_t i = k.hash & mask;
  for (;;) {
    const Slot& s = slots_[i];
    if (s.entry == 0) return i;
    if (s.head == k.head && s.hash == k.hash && entries_[size_t(s.entry - 1)].first == key) return i;
    i = (i + 1) & mask;
  }
}

void TextMap::Grow() {
  std::vector<Slot> slots(slots_.empty() ? 64 : slots_.size() * 2, Slot{0, 0, 0});
  const size_t mask = slots.size() - 1;
  for (const Slot& s : slots_) {
    if (s.entry == 0) continue;
    size_t i = s.hash & mask;
    while (slots[i].entry) i = (i + 1) & mask;
    slots[i] = s;
  }
  slots_.swap(slots);
}

int& TextMap::operator[](std::string_view key) {
  if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
  const Key k = KeyOf(key);
  size_t i = SlotOf(key, k);
  if (!slots_[i].entry) {
    entries_.push_back({std::string(key), 0});
    slots_[i] = {k.head, k.hash, int32_t(entries_.size())};
  }
  return entries_[size_t(slots_[i].entry - 1)].second;
}

void TextMap::emplace(std::string_view key, int value) {
  if (find(key)) return;
  (*this)[key] = value;
}

void TextMap::clear() {
  entries_.clear();
  slots_.clear();
}
