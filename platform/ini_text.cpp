#include "platform/ini_text.h"

#include <cerrno>
#include <cstdint>

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

// UTF-16 (after its mark) as UTF-8; false for an odd length or a surrogate without its pair.
bool Utf16ToUtf8(const std::string& bytes, size_t start, bool bigEndian, std::string& out) {
  if ((bytes.size() - start) % 2 != 0) return false;
  auto unit = [&](size_t i) {
    const uint32_t a = uint8_t(bytes[i]), b = uint8_t(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (size_t i = start; i < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xDC00 && c < 0xE000) return false;
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 2 >= bytes.size()) return false;
      const uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low >= 0xE000) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(out, c);
  }
  return true;
}

// The next code point of UTF-8 text at i (moved past it); false for bytes that are not UTF-8.
bool NextUtf8(const std::string& s, size_t& i, uint32_t& c) {
  const uint8_t b = uint8_t(s[i]);
  const int more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  if (more < 0 || i + size_t(more) >= s.size()) return false;
  c = more == 0 ? b : b & (0x3F >> more);
  for (int k = 1; k <= more; ++k) {
    const uint8_t n = uint8_t(s[i + size_t(k)]);
    if ((n & 0xC0) != 0x80) return false;
    c = c << 6 | (n & 0x3F);
  }
  static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (c < kLeast[more] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
  i += size_t(more) + 1;
  return true;
}

void AppendUnit(std::string& out, uint32_t u, bool bigEndian) {
  out += char(bigEndian ? u >> 8 : u & 0xFF);
  out += char(bigEndian ? u & 0xFF : u >> 8);
}

}  // namespace

bool IniDecodeText(const std::string& bytes, IniText& text) {
  text = IniText();
  std::string plain;
  const auto starts = [&](const char* mark, size_t n) { return bytes.compare(0, n, mark, n) == 0; };
  if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
    const bool big = bytes[0] == '\xFE';
    text.encoding = big ? IniText::Encoding::kUtf16Be : IniText::Encoding::kUtf16Le;
    if (!Utf16ToUtf8(bytes, 2, big, plain)) return false;
  } else {
    text.utf8Mark = starts("\xEF\xBB\xBF", 3);
    plain = bytes.substr(text.utf8Mark ? 3 : 0);
  }
  if (plain.find('\0') != std::string::npos) return false;
  const size_t firstEnd = plain.find_first_of("\r\n");
  if (firstEnd != std::string::npos)
    text.lineEnd = plain.compare(firstEnd, 2, "\r\n") == 0 ? "\r\n" : plain.substr(firstEnd, 1);
  for (size_t at = 0; at < plain.size();) {
    const size_t end = plain.find_first_of("\r\n", at);
    if (end == std::string::npos) {
      text.lines.push_back(plain.substr(at));
      break;
    }
    text.lines.push_back(plain.substr(at, end - at));
    at = end + (plain.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return true;
}

bool IniEncodeText(const IniText& text, std::string& bytes) {
  std::string plain = text.utf8Mark ? "\xEF\xBB\xBF" : "";
  for (const std::string& line : text.lines) plain += line + text.lineEnd;
  if (text.encoding == IniText::Encoding::kBytes) {
    bytes = std::move(plain);
    return true;
  }
  const bool big = text.encoding == IniText::Encoding::kUtf16Be;
  bytes.clear();
  AppendUnit(bytes, 0xFEFF, big);
  for (size_t i = 0; i < plain.size();) {
    uint32_t c = 0;
    if (!NextUtf8(plain, i, c)) {
      errno = EILSEQ;
      return false;
    }
    if (c < 0x10000) {
      AppendUnit(bytes, c, big);
    } else {
      AppendUnit(bytes, 0xD800 + ((c - 0x10000) >> 10), big);
      AppendUnit(bytes, 0xDC00 + ((c - 0x10000) & 0x3FF), big);
    }
  }
  return true;
}
