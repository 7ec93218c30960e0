#include "platform/codepage.h"

#include <atomic>
#include <cstdint>

#include "platform/codepage_tables.h"

namespace {

std::atomic<int32_t> g_textCodePage{1252};

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

// The byte of a code point beyond ASCII in the code page, '?' when it has none.
char ByteOf(const uint16_t* high, uint32_t cp) {
  for (int k = 0; k < 128; ++k)
    if (high[k] == cp) return char(0x80 + k);
  if (cp < 0x100 && !high[cp - 0x80]) return char(cp);
  return '?';
}

}  // namespace

std::string CodePageToUtf8(int32_t codePage, const std::string& text) {
  const uint16_t* high = CodePageHighHalf(codePage);
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) AppendUtf8(out, c < 0x80 || !high[c - 0x80] ? c : high[c - 0x80]);
  return out;
}

std::string Utf8ToCodePage(int32_t codePage, const std::string& text) {
  const uint16_t* high = CodePageHighHalf(codePage);
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
    if (bad) out += '?';
    else out += cp < 0x80 ? char(cp) : ByteOf(high, cp);
  }
  return out;
}

std::string Cp1252ToUtf8(const std::string& text) { return CodePageToUtf8(1252, text); }

std::string Utf8ToCp1252(const std::string& text) { return Utf8ToCodePage(1252, text); }

void SetTextCodePage(int32_t codePage) { g_textCodePage.store(codePage, std::memory_order_relaxed); }

int32_t TextCodePage() { return g_textCodePage.load(std::memory_order_relaxed); }

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
