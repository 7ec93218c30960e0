#include "core/strings.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

char* NewString(const char* text, size_t length) {
  char* s = static_cast<char*>(std::malloc(length == 0 ? 2 : length + 1));
  if (!s) throw std::bad_alloc();
  if (length) std::memcpy(s, text, length);
  s[length] = 0;
  if (length == 0) s[1] = 0;
  return s;
}

char* NewString(const char* text) { return NewString(text ? text : "", text ? std::strlen(text) : 0); }

void FreeString(char*& s) {
  std::free(s);
  s = nullptr;
}

void SetCellString(VarCell* cell, const char* text, size_t length) {
  // A block big enough for the new text is used again (the text may lie inside it).
  if (char* old = cell->s; old && malloc_usable_size(old) >= (length == 0 ? 2 : length + 1)) {
    std::memmove(old, text, length);
    old[length] = 0;
    if (length == 0) old[1] = 0;
    return;
  }
  char* fresh = NewString(text, length);
  std::free(cell->s);
  cell->s = fresh;
}

void SetCellString(VarCell* cell, const char* text) { SetCellString(cell, text ? text : "", text ? std::strlen(text) : 0); }

bool JoinIntoCellString(VarCell* cell, const char* a, size_t la, const char* b, size_t lb) {
  char* old = cell->s;
  if (!old) return false;
  const size_t room = malloc_usable_size(old), length = la + lb;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(old), end = begin + room;
  const auto inside = [&](const char* t, size_t n) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(t);
    return p < end && p + n + 1 > begin;
  };
  if (room < (length == 0 ? 2 : length + 1) || inside(a, la) || inside(b, lb)) return false;
  std::memcpy(old, a, la);
  std::memcpy(old + la, b, lb);
  old[length] = 0;
  if (length == 0) old[1] = 0;
  return true;
}
