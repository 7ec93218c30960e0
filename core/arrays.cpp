#include "core/arrays.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/language.h"

ArrayEntry g_arrays[kArrayCount];
ElementRef g_elementRefs[kElementRefCount];
bool g_arraysUsed = false;

namespace {

bool IsStringEntry(const ArrayEntry& e) { return &e - g_arrays >= 4000; }

// Frees an entry's block (and its texts); the variable's cell is left to the caller.
void FreeEntryBlock(ArrayEntry& e) {
  if (!e.data) return;
  if (IsStringEntry(e)) {
    char** texts = static_cast<char**>(e.data);
    for (int64_t k = 0; k < e.total; ++k) std::free(texts[k]);
  }
  std::free(e.data);
  e.data = nullptr;
  ++e.generation;
}

}  // namespace

void ReleaseArrayBlock(ArrayEntry& e) { FreeEntryBlock(e); }

void FreeAllArrays() {
  if (!g_arraysUsed) return;
  for (int k = 0; k < kArrayCount; ++k) {
    ArrayEntry& e = g_arrays[k];
    if (!e.data) continue;
    FreeEntryBlock(e);
    if (g_cells && !IsStringEntry(e)) g_cells[kCellIntVar + k].p = nullptr;  // the cell held the block
  }
  for (ElementRef& r : g_elementRefs) r = ElementRef{};
}

void ClearArrayTable() {
  if (!g_arraysUsed) return;
  for (ArrayEntry& e : g_arrays) {
    FreeEntryBlock(e);
    e = ArrayEntry{};
  }
  for (ElementRef& r : g_elementRefs) r = ElementRef{};
  g_arraysUsed = false;
}

namespace {

// The element a temporary refers to, when the reference is still good and of that type.
void* RefElement(const VarCell* temp, int type, size_t elementSize) {
  ptrdiff_t t = temp - g_cells;
  if (t < type * 1000 || t >= (type + 1) * 1000) return nullptr;
  const ElementRef& r = g_elementRefs[t];
  if (r.entry < type * 2000 || r.entry >= (type + 1) * 2000) return nullptr;
  const ArrayEntry& e = g_arrays[r.entry];
  if (!e.data || e.generation != r.generation || r.flat < 0 || r.flat >= e.total) return nullptr;
  return static_cast<char*>(e.data) + size_t(r.flat) * elementSize;
}

}  // namespace

int32_t* ElementRefInt(const VarCell* temp) {
  return static_cast<int32_t*>(RefElement(temp, 0, sizeof(int32_t)));
}
float* ElementRefFloat(const VarCell* temp) { return static_cast<float*>(RefElement(temp, 1, sizeof(float))); }
char** ElementRefString(const VarCell* temp) { return static_cast<char**>(RefElement(temp, 2, sizeof(char*))); }

void StoreElementText(char** element, const char* text) {
  char* fresh = NewString(text, strnlen(text, kMaxText));
  std::free(*element);
  *element = fresh;
}

namespace {

uint32_t ReadLe32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}

}  // namespace

bool FillArrayFromFile(ArrayEntry& e, const std::string& bytes, std::string* why) {
  if (!e.data) return true;
  if (!IsStringEntry(e)) {
    uint32_t* values = static_cast<uint32_t*>(e.data);
    const int64_t whole = int64_t(bytes.size() / 4);
    for (int64_t k = 0; k < e.total; ++k) values[k] = k < whole ? ReadLe32(bytes, size_t(k) * 4) : 0;
    return true;
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    if (why) *why = std::string("its text is UTF-16 (") + (bytes[0] == '\xFF' ? "little" : "big") +
                    "-endian), a form string arrays are not read from";
    return false;
  }
  // Lines end at CR LF, as SAVE ARRAY writes them; a file without a CR LF ends its lines at
  // the line end it has first, LF or CR alone (a lone one of the other stays in the text). A
  // line longer than 255 characters goes on in the next element.
  const size_t end = bytes.size();
  size_t at = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  const bool crlf = bytes.find("\r\n", at) != std::string::npos;
  const size_t first = crlf ? std::string::npos : bytes.find_first_of("\r\n", at);
  const char single = first == std::string::npos ? '\0' : bytes[first];
  const auto endsLine = [&](size_t i) {
    return crlf ? bytes[i] == '\r' && i + 1 < end && bytes[i + 1] == '\n' : single && bytes[i] == single;
  };
  char** texts = static_cast<char**>(e.data);
  for (int64_t k = 0; k < e.total; ++k) {
    const size_t start = at;
    size_t length = 0;
    if (at < end) {
      while (at < end && length < kMaxText && !endsLine(at)) {
        ++at;
        ++length;
      }
      if (crlf) {
        while (at < end && bytes[at] == '\r') ++at;
        while (at < end && bytes[at] == '\n') ++at;
      } else if (at < end && endsLine(at)) {
        ++at;
      }
    }
    char* fresh = NewString(bytes.data() + start, length);
    std::free(texts[k]);
    texts[k] = fresh;
  }
  return true;
}
