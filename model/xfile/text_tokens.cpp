// Text .x tokens: words, numbers, quoted strings, braces, separators and GUIDs; "//" and "#"
// comments (to the line's end, whatever its form). Numbers are read with from_chars, so the locale never matters.
#include <charconv>
#include <cstring>

#include "model/xfile/tokens.h"

namespace {

enum : uint8_t { kSpace = 1, kDelim = 2 };

struct CharTable {
  uint8_t cls[256] = {};
  constexpr CharTable() {
    for (unsigned char c : std::string_view(" \t\r\n\v\f")) cls[c] = kSpace;
    for (unsigned char c : std::string_view("{},;\"<>[]()")) cls[c] = kDelim;
    cls[0] = kSpace;
  }
};
constexpr CharTable kChars;

bool StartsNumber(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "<8-4-4-4-12 hex digits>": the first three groups little-endian as the binary form keeps
// them, the last two byte by byte. A malformed GUID reads as zero.
XGuid ParseGuid(std::string_view s) {
  XGuid g;
  uint8_t raw[16];
  int n = 0;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '-' || s[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 1 >= s.size() || n == 16) return g;
    const int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) return g;
    raw[n++] = uint8_t(hi * 16 + lo);
    i += 2;
  }
  if (n != 16) return g;
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) g.bytes[i] = raw[order[i]];
  return g;
}

// A number word: plain from_chars on the whole word ('+' allowed). Words such as "1.#QNAN0"
// (not-a-number as some writers print it) read as 0.
bool ParseNumber(std::string_view w, double* out) {
  if (!w.empty() && w[0] == '+') w.remove_prefix(1);
  if (w.find('#') != std::string_view::npos) {
    *out = 0;
    return true;
  }
  double d = 0;
  const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), d);
  if (ec == std::errc::result_out_of_range) {
    *out = 0;
    return true;
  }
  if (ec != std::errc() || end != w.data() + w.size()) return false;
  *out = d;
  return true;
}

class TextTokens : public XTokenSource {
 public:
  explicit TextTokens(std::string_view body) : s_(body) {}

  XToken Next() override {
    if (hasPeek_) {
      hasPeek_ = false;
      return peek_;
    }
    return Scan();
  }
  XToken Peek() override {
    if (!hasPeek_) {
      peek_ = Scan();
      hasPeek_ = true;
    }
    return peek_;
  }

  bool Int(uint32_t* out) override {
    std::string_view w;
    if (!NumberWord(&w)) return false;
    if (w[0] == '+') w.remove_prefix(1);
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
    if (ec == std::errc() && end == w.data() + w.size()) {
      *out = uint32_t(v);
    } else {
      double d;
      if (!ParseNumber(w, &d)) return Unread();
      *out = XIntFromDouble(d);
    }
    hasPeek_ = false;
    return true;
  }

  bool Float(float* out) override {
    std::string_view w;
    if (!NumberWord(&w)) return false;
    // Single precision straight from the text, as a 32-bit file is read.
    float f = 0;
    std::string_view v = w[0] == '+' ? w.substr(1) : w;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), f);
    if (ec == std::errc() && end == v.data() + v.size()) {
      *out = XFloatFromDouble(f);  // "-nan" reads as 0, as every not-a-number does
    } else {
      double d;
      if (!ParseNumber(w, &d)) return Unread();
      *out = XFloatFromDouble(d);
    }
    hasPeek_ = false;
    return true;
  }

  bool String(std::string* out) override {
    SkipSeparators();
    const XToken t = Peek();
    if (t.kind != XTok::String) return false;
    out->assign(t.text);
    hasPeek_ = false;
    return true;
  }

 private:
  void SkipSeparators() {
    while (Peek().kind == XTok::Separator) hasPeek_ = false;
  }
  // The next token when it is a number word; it stays peeked until the caller consumes it.
  // Plain runs of numbers and separators (nearly all of a mesh) are read straight from the
  // text without making tokens; a word that is no number is then left to be read again.
  bool NumberWord(std::string_view* w) {
    if (!hasPeek_) {
      size_t p = p_;
      for (;;) {
        while (p < s_.size() && kChars.cls[uint8_t(s_[p])] == kSpace) ++p;
        if (p < s_.size() && (s_[p] == ',' || s_[p] == ';')) {
          ++p;
          continue;
        }
        break;
      }
      if (p < s_.size() && StartsNumber(s_[p])) {
        size_t e = p;
        while (e < s_.size() && kChars.cls[uint8_t(s_[e])] == 0) ++e;
        *w = s_.substr(p, e - p);
        peek_.kind = XTok::Values;
        peek_.text = *w;
        hasPeek_ = true;
        p_ = e;
        return true;
      }
    }
    SkipSeparators();
    const XToken t = Peek();
    if (t.kind != XTok::Values) return false;
    *w = t.text;
    return true;
  }
  bool Unread() { return false; }  // a word like "1-2" is no number: left for the parser

  XToken Scan() {
    for (;;) {
      while (p_ < s_.size() && kChars.cls[uint8_t(s_[p_])] == kSpace) ++p_;
      if (p_ >= s_.size()) return {};
      const char c = s_[p_];
      if (c == '#' || (c == '/' && p_ + 1 < s_.size() && s_[p_ + 1] == '/')) {
        // The comment ends at the line's end: LF, CR LF or CR alone.
        const size_t nl = s_.find_first_of("\r\n", p_);
        p_ = nl == std::string_view::npos ? s_.size() : nl + 1;
        continue;
      }
      break;
    }
    const char c = s_[p_];
    XToken t;
    switch (c) {
      case '{': ++p_; t.kind = XTok::OBrace; return t;
      case '}': ++p_; t.kind = XTok::CBrace; return t;
      case ',': case ';': ++p_; t.kind = XTok::Separator; return t;
      case '[': case ']': case '(': case ')': case '>': ++p_; t.kind = XTok::Other; return t;
      case '"': {
        const size_t close = s_.find('"', p_ + 1);
        if (close == std::string_view::npos) return Fail("a string is not closed");
        t.kind = XTok::String;
        t.text = s_.substr(p_ + 1, close - p_ - 1);
        p_ = close + 1;
        return t;
      }
      case '<': {
        const size_t close = s_.find('>', p_ + 1);
        if (close == std::string_view::npos || close - p_ > 64) return Fail("a GUID is not closed");
        t.kind = XTok::Guid;
        t.guid = ParseGuid(s_.substr(p_ + 1, close - p_ - 1));
        p_ = close + 1;
        return t;
      }
      default: break;
    }
    const size_t start = p_;
    while (p_ < s_.size() && kChars.cls[uint8_t(s_[p_])] == 0) ++p_;
    t.text = s_.substr(start, p_ - start);
    t.kind = StartsNumber(c) ? XTok::Values : t.text == "template" ? XTok::Template : XTok::Word;
    return t;
  }

  XToken Fail(const char* why) {
    error = why;
    p_ = s_.size();
    XToken t;
    t.kind = XTok::Error;
    return t;
  }

  std::string_view s_;
  size_t p_ = 0;
  XToken peek_;
  bool hasPeek_ = false;
};

}  // namespace

std::unique_ptr<XTokenSource> MakeTextTokens(std::string_view body) { return std::make_unique<TextTokens>(body); }
