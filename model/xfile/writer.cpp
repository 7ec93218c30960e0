// Writing .x files: the data of each object is walked along its template, so text and binary
// hold the same values in the same order.
#include <charconv>
#include <cstring>

#include "platform/fs.h"
#include "model/xfile/xfile.h"

namespace {

enum : uint16_t {
  kName = 1, kString = 2, kGuid = 5, kIntegerList = 6, kFloatList = 7, kOBrace = 10, kCBrace = 11,
  kSemicolon = 20,
};

float FloatOf(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Walks an object's data along its template and hands each value to the encoder; stops at
// the end of the data (an object read short writes what it has).
template <class Sink>
class Walker {
 public:
  Walker(const XObject& o, Sink& sink) : o_(o), sink_(sink) {}
  void Run() { Struct(*o_.tmpl); }

 private:
  bool Struct(const XTemplate& t) {
    uint32_t single[6] = {};
    for (int i = 0; i < t.count; ++i) {
      const XMember& m = t.members[i];
      if (!m.IsArray()) {
        if (!Value(m, &single[i])) return false;
        sink_.EndMember();
        continue;
      }
      const uint32_t n = m.fixed ? m.fixed : single[m.countFrom];
      for (uint32_t k = 0; k < n; ++k) {
        if (k > 0) sink_.NextElement();
        if (!Value(m, nullptr)) return false;
      }
      sink_.EndMember();
    }
    return true;
  }
  bool Value(const XMember& m, uint32_t* intOut) {
    if (m.kind == XMemberKind::Struct) return Struct(*m.sub);
    if (pos_ >= o_.data.size()) return false;
    const uint32_t v = o_.data[pos_++];
    if (m.kind == XMemberKind::Int) {
      sink_.Int(v);
      if (intOut) *intOut = v;
    } else if (m.kind == XMemberKind::Float) {
      sink_.Float(FloatOf(v));
    } else {
      sink_.String(v < o_.strings.size() ? o_.strings[v] : std::string());
    }
    return true;
  }

  const XObject& o_;
  Sink& sink_;
  size_t pos_ = 0;
};

class TextWriter {
 public:
  std::string out;

  void Object(const XObject& o, int depth) {
    Indent(depth);
    if (o.isReference) {
      out += "{ ";
      out += o.name;
      out += " }\n";
      return;
    }
    out += o.tmpl->name;
    if (!o.name.empty()) {
      out += ' ';
      out += o.name;
    }
    out += " {\n";
    Indent(depth + 1);
    lineStart_ = out.size();
    Walker<TextWriter>(o, *this).Run();
    if (out.size() == lineStart_) out.resize(out.size() - size_t(depth + 1));
    else out += '\n';
    for (const auto& c : o.children)
      if (c->isReference || c->tmpl) Object(*c, depth + 1);
    Indent(depth);
    out += "}\n";
  }

  void Int(uint32_t v) { Append(std::to_chars(buf_, buf_ + sizeof buf_, v).ptr); }
  void Float(float f) {
    // Shortest text that reads back to the same float; never a locale's comma.
    if (f != f) f = 0.0f;
    Append(std::to_chars(buf_, buf_ + sizeof buf_, f).ptr);
  }
  // The text form has no escape for a double quote: one inside the string is dropped, so the
  // string still ends where it should and the file reads back.
  void String(const std::string& s) {
    out += '"';
    for (char c : s)
      if (c != '"') out += c;
    out += '"';
  }
  void EndMember() { out += ';'; }
  void NextElement() {
    out += ',';
    // Long arrays go one element a line.
    if (out.size() - lineStart_ > 100) {
      out += '\n';
      lineStart_ = out.size();
    }
  }

 private:
  void Indent(int depth) { out.append(size_t(depth), ' '); }
  void Append(const char* end) { out.append(buf_, size_t(end - buf_)); }

  char buf_[32];
  size_t lineStart_ = 0;
};

class BinaryWriter {
 public:
  std::string out;
  explicit BinaryWriter(uint32_t floatBits) : doubles_(floatBits == 64) {}

  void Object(const XObject& o) {
    if (o.isReference) {
      Token(kOBrace);
      Name(o.name);
      if (!o.guid.IsZero()) Guid(o.guid);
      Token(kCBrace);
      return;
    }
    Name(o.tmpl->name);
    if (!o.name.empty()) Name(o.name);
    if (!o.guid.IsZero()) Guid(o.guid);
    Token(kOBrace);
    Walker<BinaryWriter>(o, *this).Run();
    Flush();
    for (const auto& c : o.children)
      if (c->isReference || c->tmpl) Object(*c);
    Token(kCBrace);
  }

  void Int(uint32_t v) {
    Switch(false);
    ints_.push_back(v);
  }
  void Float(float f) {
    Switch(true);
    floats_.push_back(f);
  }
  void String(const std::string& s) {
    Flush();
    Token(kString);
    U32(uint32_t(s.size()));
    out += s;
    Token(kSemicolon);
  }
  void EndMember() {}
  void NextElement() {}

 private:
  void Token(uint16_t t) {
    out += char(t & 0xFF);
    out += char(t >> 8);
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
  }
  void Name(const std::string& s) {
    Token(kName);
    U32(uint32_t(s.size()));
    out += s;
  }
  void Guid(const XGuid& g) {
    Token(kGuid);
    out.append(reinterpret_cast<const char*>(g.bytes), 16);
  }
  // Consecutive values of one kind share one list.
  void Switch(bool floats) {
    if (floats ? !ints_.empty() : !floats_.empty()) Flush();
  }
  void Flush() {
    if (!ints_.empty()) {
      Token(kIntegerList);
      U32(uint32_t(ints_.size()));
      for (uint32_t v : ints_) U32(v);
      ints_.clear();
    }
    if (!floats_.empty()) {
      Token(kFloatList);
      U32(uint32_t(floats_.size()));
      for (float f : floats_) {
        if (doubles_) {
          const double d = f;
          uint64_t bits;
          std::memcpy(&bits, &d, 8);
          U32(uint32_t(bits));
          U32(uint32_t(bits >> 32));
        } else {
          uint32_t bits;
          std::memcpy(&bits, &f, 4);
          U32(bits);
        }
      }
      floats_.clear();
    }
  }

  const bool doubles_;
  std::vector<uint32_t> ints_;
  std::vector<float> floats_;
};

std::string Header(const XFile& file, XEncoding encoding, uint32_t floatBits) {
  char h[17];
  const unsigned major = file.major % 100, minor = file.minor % 100;
  h[0] = 'x', h[1] = 'o', h[2] = 'f', h[3] = ' ';
  h[4] = char('0' + major / 10), h[5] = char('0' + major % 10), h[6] = char('0' + minor / 10),
  h[7] = char('0' + minor % 10);
  std::memcpy(h + 8, encoding == XEncoding::Text ? "txt " : "bin ", 4);
  std::memcpy(h + 12, floatBits == 64 ? "0064" : "0032", 4);
  return std::string(h, 16);
}

}  // namespace

std::string WriteXFile(const XFile& file, XEncoding encoding, uint32_t floatBits) {
  std::string out = Header(file, encoding, floatBits);
  if (encoding == XEncoding::Text) {
    TextWriter w;
    w.out = std::move(out);
    w.out += "\n";
    for (const auto& o : file.objects)
      if (o->tmpl && !o->isReference) {
        w.out += '\n';
        w.Object(*o, 0);
      }
    return std::move(w.out);
  }
  BinaryWriter w(floatBits);
  w.out = std::move(out);
  for (const auto& o : file.objects)
    if (o->tmpl && !o->isReference) w.Object(*o);
  return std::move(w.out);
}

bool SaveXFile(const std::string& path, const XFile& file, XEncoding encoding, uint32_t floatBits) {
  return FsWriteFileAtomic(path, WriteXFile(file, encoding, floatBits));
}
