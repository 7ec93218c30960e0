#include "platform/codepage.h"

#include <cstdint>

#include "platform/codepage_tables.h"

namespace {
// Code points of bytes 0x80-0xFF; 0 where the code page leaves the byte undefined.
const uint16_t* High() {
  static const uint16_t* const high = CodePageHighHalf(1252);
  return high;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}
}  // namespace

std::string Cp1252ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    uint32_t cp = c;
    if (c >= 0x80 && c < 0xA0) cp = High()[c - 0x80] ? High()[c - 0x80] : c;
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf8ToCp1252(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    uint32_t cp;
    int len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out += '?'; ++i; continue; }
    if (i + len > text.size()) { out += '?'; break; }
    bool bad = false;
    for (int k = 1; k < len; ++k) {
      unsigned char cc = text[i + k];
      if ((cc & 0xC0) != 0x80) bad = true;
      cp = (cp << 6) | (cc & 0x3F);
    }
    i += bad ? 1 : len;
    if (bad) { out += '?'; continue; }
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF) || (cp >= 0x80 && cp < 0xA0 && !High()[cp - 0x80])) {
      out += char(cp);
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k)
      if (High()[k] == cp) mapped = char(0x80 + k);
    out += mapped;
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = text[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    int len;
    uint32_t cp, least;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; least = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; least = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; least = 0x10000; }
    else return false;
    if (n - i < size_t(len)) return false;
    for (int k = 1; k < len; ++k) {
      const unsigned char cc = text[i + size_t(k)];
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += size_t(len);
  }
  return true;
}
