// Binary .x tokens: 16-bit token codes, little-endian, with counted names, strings and value
// lists. Every count is checked against the bytes left before it is used.
#include <cmath>
#include <cstring>
#include <limits>

#include "model/xfile/tokens.h"

namespace {

enum : uint16_t {
  kName = 1, kString = 2, kInteger = 3, kGuid = 5, kIntegerList = 6, kFloatList = 7,
  kOBrace = 10, kCBrace = 11, kOParen = 12, kCParen = 13, kOBracket = 14, kCBracket = 15,
  kOAngle = 16, kCAngle = 17, kDot = 18, kComma = 19, kSemicolon = 20, kTemplate = 31,
  kFirstKeyword = 40, kLastKeyword = 53,
};

class BinaryTokens : public XTokenSource {
 public:
  BinaryTokens(std::string_view body, uint32_t floatBits) : s_(body), floatSize_(floatBits == 64 ? 8 : 4) {}

  XToken Next() override {
    listLeft_ = 0;
    if (hasPeek_) {
      hasPeek_ = false;
      return Consume(peek_);
    }
    return Consume(Scan());
  }
  XToken Peek() override {
    if (listLeft_ > 0) {
      XToken t;
      t.kind = XTok::Values;
      return t;
    }
    if (!hasPeek_) {
      peek_ = Scan();
      hasPeek_ = true;
    }
    return peek_.token;
  }

  bool Int(uint32_t* out) override {
    if (!LoadList()) return false;
    if (listFloats_) {
      *out = XIntFromDouble(ListFloat());
    } else {
      *out = Le32(list_);
      list_ += 4;
    }
    --listLeft_;
    return true;
  }

  bool Float(float* out) override {
    if (!LoadList()) return false;
    if (listFloats_) {
      *out = XFloatFromDouble(ListFloat());
    } else {
      *out = XFloatFromDouble(double(int32_t(Le32(list_))));
      list_ += 4;
    }
    --listLeft_;
    return true;
  }

  bool String(std::string* out) override {
    if (listLeft_ > 0) return false;
    while (Peek().kind == XTok::Separator) Next();
    if (Peek().kind != XTok::String) return false;
    out->assign(Next().text);
    return true;
  }

 private:
  struct Scanned {
    XToken token;
    const char* list = nullptr;  // first value of an integer or float list
    uint32_t count = 0;
    bool floats = false;
  };

  static uint32_t Le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
  }
  double ListFloat() {
    double d;
    if (floatSize_ == 8) {
      uint64_t bits = uint64_t(Le32(list_)) | uint64_t(Le32(list_ + 4)) << 32;
      std::memcpy(&d, &bits, 8);
    } else {
      const uint32_t bits = Le32(list_);
      float f;
      std::memcpy(&f, &bits, 4);
      d = f;
    }
    list_ += floatSize_;
    return d;
  }

  // Makes the next value list current, skipping separators; false when no list comes next.
  bool LoadList() {
    if (listLeft_ > 0) return true;
    for (;;) {
      const XToken t = Peek();
      if (t.kind == XTok::Separator) {
        hasPeek_ = false;
        continue;
      }
      if (t.kind != XTok::Values) return false;
      hasPeek_ = false;
      list_ = peek_.list;
      listLeft_ = peek_.count;
      listFloats_ = peek_.floats;
      if (listLeft_ > 0) return true;  // an empty list: look further
    }
  }

  XToken Consume(const Scanned& s) { return s.token; }

  bool Need(uint64_t n) const { return n <= s_.size() - p_; }

  Scanned Fail(const char* why) {
    error = why;
    p_ = s_.size();
    Scanned r;
    r.token.kind = XTok::Error;
    return r;
  }

  Scanned Scan() {
    Scanned r;
    if (p_ >= s_.size()) return r;
    if (!Need(2)) return Fail("a token is cut short");
    const uint16_t code = uint16_t(uint8_t(s_[p_]) | uint8_t(s_[p_ + 1]) << 8);
    p_ += 2;
    switch (code) {
      case kName:
      case kString: {
        if (!Need(4)) return Fail("a name is cut short");
        const uint32_t n = Le32(s_.data() + p_);
        p_ += 4;
        if (!Need(n)) return Fail("a name runs past the end");
        r.token.kind = code == kName ? XTok::Word : XTok::String;
        r.token.text = s_.substr(p_, n);
        p_ += n;
        return r;
      }
      case kInteger:
        if (!Need(4)) return Fail("an integer is cut short");
        r.token.kind = XTok::Values;
        r.list = s_.data() + p_;
        r.count = 1;
        p_ += 4;
        return r;
      case kGuid:
        if (!Need(16)) return Fail("a GUID is cut short");
        r.token.kind = XTok::Guid;
        std::memcpy(r.token.guid.bytes, s_.data() + p_, 16);
        p_ += 16;
        return r;
      case kIntegerList:
      case kFloatList: {
        if (!Need(4)) return Fail("a list is cut short");
        const uint32_t n = Le32(s_.data() + p_);
        p_ += 4;
        const uint64_t size = uint64_t(n) * (code == kFloatList ? floatSize_ : 4);
        if (!Need(size)) return Fail("a list runs past the end");
        r.token.kind = XTok::Values;
        r.list = s_.data() + p_;
        r.count = n;
        r.floats = code == kFloatList;
        p_ += size;
        return r;
      }
      case kOBrace: r.token.kind = XTok::OBrace; return r;
      case kCBrace: r.token.kind = XTok::CBrace; return r;
      case kComma:
      case kSemicolon: r.token.kind = XTok::Separator; return r;
      case kTemplate: r.token.kind = XTok::Template; return r;
      case kOParen: case kCParen: case kOBracket: case kCBracket: case kOAngle: case kCAngle: case kDot:
        r.token.kind = XTok::Other;
        return r;
      default:
        if (code >= kFirstKeyword && code <= kLastKeyword) {
          r.token.kind = XTok::Other;
          return r;
        }
        return Fail("an unknown token");
    }
  }

  std::string_view s_;
  size_t p_ = 0;
  const uint32_t floatSize_;
  Scanned peek_;
  bool hasPeek_ = false;
  const char* list_ = nullptr;
  uint32_t listLeft_ = 0;
  bool listFloats_ = false;
};

}  // namespace

std::unique_ptr<XTokenSource> MakeBinaryTokens(std::string_view body, uint32_t floatBits) {
  return std::make_unique<BinaryTokens>(body, floatBits);
}

float XFloatFromDouble(double d) {
  if (std::isnan(d)) return 0.0f;
  if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (d < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return float(d);
}

uint32_t XIntFromDouble(double d) {
  if (!(d > -2147483649.0 && d < 4294967296.0)) return 0;
  return d < 0 ? uint32_t(int32_t(d)) : uint32_t(d);
}
