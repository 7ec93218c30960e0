// The object parser over either token stream, and the reference resolver.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "model/xfile/compressed.h"
#include "model/xfile/tokens.h"
#include "model/xfile/xfile.h"
#include "platform/fs.h"
#include "platform/stop_request.h"

namespace {

constexpr int kMaxDepth = 200;

// What a mesh costs once built and drawn beyond its data: its node with its device objects, and
// what each vertex and face word becomes (a vertex, its copies in the buffers, its part of the
// bounds and collision).
uint64_t MeshBuildCost(const XObject& mesh) {
  const size_t n = mesh.data.size();
  const uint64_t vertices = n ? std::min<uint64_t>(mesh.data[0], (n - 1) / 3) : 0;
  const uint64_t rest = n > 1 + 3 * vertices ? n - 1 - 3 * vertices : 0;
  return XLoadCost::kMesh + vertices * XLoadCost::kVertex + rest * XLoadCost::kFaceWord;
}

// The same charges for objects built by other means, the reference and everything below.
uint64_t BuildCost(const XObject& o) {
  if (o.isReference) return XLoadCost::kReference;
  uint64_t cost = XLoadCost::kObject + o.name.size() + o.data.size() * XLoadCost::kValue;
  for (const std::string& s : o.strings) cost += sizeof s + s.size();
  if (o.Is("Mesh")) cost += MeshBuildCost(o);
  for (const auto& c : o.children) cost += BuildCost(*c);
  return cost;
}

class Parser {
 public:
  // imageBytes: the file image the read holds, charged first.
  Parser(XTokenSource& src, const XLimits& limits, uint64_t imageBytes)
      : src_(src), limits_(limits), bytes_(imageBytes) {
    Recount();
  }

  XReadResult ParseAll(XFile& out) {
    for (;;) {
      const XToken t = src_.Next();
      switch (t.kind) {
        case XTok::End: return {};
        case XTok::Separator:
        case XTok::Values:
        case XTok::String: continue;  // stray data between objects
        case XTok::Template:
          if (!SkipTemplate()) return Failure();
          continue;
        case XTok::OBrace:  // a reference at the top: nothing to attach it to
          if (!SkipBlock()) return Failure();
          continue;
        case XTok::Word: {
          if (StopSignalReceived()) return Failure("the read was stopped");
          std::unique_ptr<XObject> obj;
          if (!ParseObject(t.text, 1, &obj)) return Failure();
          if (obj) out.objects.push_back(std::move(obj));
          continue;
        }
        case XTok::Error: return Failure();
        default: return Failure("unexpected punctuation between objects");
      }
    }
  }

 private:
  XReadResult Failure(const char* why = nullptr) {
    XReadResult r;
    r.status = depthExceeded_ ? XStatus::TooDeep : tooLarge_ ? XStatus::TooLarge : XStatus::Syntax;
    r.message = why ? why : !message_.empty() ? message_ : !src_.error.empty() ? src_.error : "syntax error";
    return r;
  }
  bool Fail(const char* why) {
    if (message_.empty()) message_ = why;
    return false;
  }
  // Counts an object the read keeps; false past the limit, or when the process is asked to
  // stop (a flood of small objects is given up as a big array is).
  bool CountObject(uint64_t cost) {
    if ((++objects_ & 0x3FFF) == 0 && Stopped()) return false;
    if (objects_ > limits_.objects) {
      tooLarge_ = true;
      return Fail("holds more objects than a model may have");
    }
    return Charge(cost);
  }
  // Charges what a part holds once loaded; false past the limit of bytes.
  bool Charge(uint64_t bytes) {
    bytes_ += bytes;
    if (Recount()) return true;
    tooLarge_ = true;
    return Fail("holds more data than a model may have");
  }
  // Values are charged by their count: valueCap_ is the count at which either limit is passed,
  // so reading a value costs one comparison. False when the bytes are past their limit.
  bool Recount() {
    const uint64_t held = bytes_ + values_ * XLoadCost::kValue;
    if (held > limits_.bytes) return false;
    valueCap_ = std::min(limits_.values, values_ + (limits_.bytes - held) / XLoadCost::kValue);
    return true;
  }

  bool Stopped() {
    if (!StopSignalReceived()) return false;
    stopped_ = true;
    return !Fail("the read was stopped");
  }

  // After "{": skips to the matching "}".
  bool SkipBlock() {
    for (uint32_t depth = 1, n = 0; depth > 0;) {
      if ((++n & 0xFFFF) == 0 && Stopped()) return false;
      switch (src_.Next().kind) {
        case XTok::OBrace: ++depth; break;
        case XTok::CBrace: --depth; break;
        case XTok::End: return Fail("a block is not closed");
        case XTok::Error: return false;
        default: break;
      }
    }
    return true;
  }

  // After "template": its name, then the body in braces.
  bool SkipTemplate() {
    for (;;) {
      const XTok k = src_.Next().kind;
      if (k == XTok::OBrace) return SkipBlock();
      if (k == XTok::End || k == XTok::Error || k == XTok::CBrace) return Fail("a template declaration is broken");
    }
  }

  // After the type word: optional name and GUID, "{", data, children, "}". *out stays empty
  // for a type without a standard template (skipped whole).
  bool ParseObject(std::string_view type, int depth, std::unique_ptr<XObject>* out) {
    if (depth > kMaxDepth) {
      depthExceeded_ = true;
      return Fail("objects are nested too deeply");
    }
    auto obj = std::make_unique<XObject>();
    bool named = false;
    for (;;) {
      const XToken t = src_.Next();
      if (t.kind == XTok::OBrace) break;
      if ((t.kind == XTok::Word || t.kind == XTok::Values) && !named) {
        obj->name.assign(t.text);
        named = true;
      } else if (t.kind == XTok::Guid) {
        obj->guid = t.guid;
      } else {
        return t.kind == XTok::Error ? false : Fail("an object header is broken");
      }
    }
    if (src_.Peek().kind == XTok::Guid) obj->guid = src_.Next().guid;
    const XTemplate* tmpl = FindStandardTemplate(type);
    if (!tmpl) return SkipBlock();
    if (!CountObject(XLoadCost::kObject + obj->name.size())) return false;
    obj->tmpl = tmpl;
    obj->type = tmpl->name;
    obj->shortData = !ReadStruct(*tmpl, *obj);
    if (tooLarge_ || stopped_) return false;
    // The rest of a binary list the members did not take is dropped by the next token.
    obj->extraData = !obj->shortData && src_.Peek().kind == XTok::Values;
    static const XTemplate* const kMesh = FindStandardTemplate("Mesh");
    if (tmpl == kMesh && !Charge(MeshBuildCost(*obj))) return false;
    for (;;) {
      const XToken t = src_.Next();
      switch (t.kind) {
        case XTok::CBrace:
          *out = std::move(obj);
          return true;
        case XTok::Separator: continue;
        case XTok::Values:
        case XTok::String:  // data beyond what the template holds
          obj->extraData = true;
          continue;
        case XTok::Word: {
          std::unique_ptr<XObject> child;
          if (!ParseObject(t.text, depth + 1, &child)) return false;
          if (child) obj->children.push_back(std::move(child));
          continue;
        }
        case XTok::OBrace:
          if (!ParseReference(*obj)) return false;
          continue;
        case XTok::Template:
          if (!SkipTemplate()) return false;
          continue;
        case XTok::End: return Fail("an object is not closed");
        case XTok::Error: return false;
        default: return Fail("unexpected punctuation inside an object");
      }
    }
  }

  // After "{" among the children: a name and/or GUID, then "}".
  bool ParseReference(XObject& parent) {
    if (!CountObject(XLoadCost::kReference)) return false;
    auto ref = std::make_unique<XObject>();
    ref->isReference = true;
    for (;;) {
      const XToken t = src_.Next();
      if (t.kind == XTok::CBrace) break;
      if (t.kind == XTok::Word || t.kind == XTok::Values) {
        ref->name.assign(t.text);
      } else if (t.kind == XTok::Guid) {
        ref->guid = t.guid;
      } else if (t.kind != XTok::Separator) {
        return t.kind == XTok::Error ? false : Fail("a reference is broken");
      }
    }
    parent.children.push_back(std::move(ref));
    return true;
  }

  // The members of one structure; false when the data ends early. Array lengths come from
  // members already read, but a loop only goes on while values keep coming, so a length
  // larger than the file costs nothing.
  bool ReadStruct(const XTemplate& t, XObject& obj) {
    uint32_t single[6] = {};
    for (int i = 0; i < t.count; ++i) {
      const XMember& m = t.members[i];
      if (!m.IsArray()) {
        if (!ReadValue(m, obj, &single[i])) return false;
        continue;
      }
      const uint32_t n = m.fixed ? m.fixed : single[m.countFrom];
      for (uint32_t k = 0; k < n; ++k) {
        // A big array is given up when the process is asked to stop.
        if ((k & 0xFFFF) == 0xFFFF && Stopped()) return false;
        if (!ReadValue(m, obj, nullptr)) return false;
      }
    }
    return true;
  }

  bool ReadValue(const XMember& m, XObject& obj, uint32_t* intOut) {
    if (m.kind != XMemberKind::Struct) {
      if (++values_ > valueCap_) {
        tooLarge_ = true;
        return Fail(values_ > limits_.values ? "holds more values than a model may have"
                                             : "holds more data than a model may have");
      }
    }
    switch (m.kind) {
      case XMemberKind::Int: {
        uint32_t v;
        if (!src_.Int(&v)) return false;
        obj.data.push_back(v);
        if (intOut) *intOut = v;
        return true;
      }
      case XMemberKind::Float: {
        float f;
        if (!src_.Float(&f)) return false;
        obj.PushFloat(f);
        return true;
      }
      case XMemberKind::String: {
        std::string s;
        if (!src_.String(&s)) return false;
        if (!Charge(sizeof s + s.size())) return false;
        obj.PushString(std::move(s));
        return true;
      }
      case XMemberKind::Struct: return ReadStruct(*m.sub, obj);
    }
    return false;
  }

  XTokenSource& src_;
  const XLimits& limits_;
  std::string message_;
  bool depthExceeded_ = false;
  bool tooLarge_ = false;
  bool stopped_ = false;
  uint64_t objects_ = 0, values_ = 0;
  uint64_t bytes_;  // charged beyond the values
  uint64_t valueCap_ = 0;
};

struct GuidHash {
  size_t operator()(const XGuid& g) const {
    uint64_t a, b;
    std::memcpy(&a, g.bytes, 8);
    std::memcpy(&b, g.bytes + 8, 8);
    return std::hash<uint64_t>()(a ^ (b * 0x9E3779B97F4A7C15ull));
  }
};

// True when the object or one below it is a reference.
bool Refers(const XObject& o) {
  if (o.isReference) return true;
  for (const auto& c : o.children)
    if (c->isReference || (!c->children.empty() && Refers(*c))) return true;
  return false;
}

// The objects a reference may name, by name and by GUID; the first of each in file order wins.
// Both walks poll the stop request, as the read does: a file of millions of objects takes
// seconds to index.
class ReferenceIndex {
 public:
  // False once the process is asked to stop (the walk is then given up).
  bool Add(const XObject& o) {
    if (o.isReference) return true;
    if (!Poll()) return false;
    if (!o.name.empty()) names_.emplace(o.name, &o);
    if (!o.guid.IsZero()) guids_.emplace(o.guid, &o);
    for (const auto& c : o.children)
      if (!Add(*c)) return false;
    return true;
  }

  bool Resolve(XObject& o) {
    if (!Poll()) return false;
    if (o.isReference) {
      o.target = nullptr;
      if (!o.name.empty()) {
        const auto it = names_.find(o.name);
        if (it != names_.end()) o.target = it->second;
      }
      if (!o.target && !o.guid.IsZero()) {
        const auto it = guids_.find(o.guid);
        if (it != guids_.end()) o.target = it->second;
      }
      return true;
    }
    for (auto& c : o.children)
      if (!Resolve(*c)) return false;
    return true;
  }

 private:
  bool Poll() { return (++visits_ & 0x3FFF) != 0 || !StopSignalReceived(); }

  std::unordered_map<std::string_view, const XObject*> names_;
  std::unordered_map<XGuid, const XObject*, GuidHash> guids_;
  uint32_t visits_ = 0;
};

bool Digits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

uint64_t XLoadBytes(const XFile& file) {
  uint64_t cost = 0;
  for (const auto& o : file.objects) cost += BuildCost(*o);
  return cost;
}

bool ResolveXReferences(const std::vector<XFile*>& files) {
  if (StopSignalReceived()) return false;
  // Most files refer to nothing: they need no index (millions of frames take seconds to index).
  bool refers = false;
  for (const XFile* f : files)
    for (const auto& o : f->objects) refers = refers || Refers(*o);
  if (!refers) return true;
  ReferenceIndex index;
  for (const XFile* f : files)
    for (const auto& o : f->objects)
      if (!index.Add(*o)) return false;
  for (XFile* f : files)
    for (auto& o : f->objects)
      if (!index.Resolve(*o)) return false;
  return true;
}

XReadResult ParseXFile(std::string_view bytes, XFile& out, const XLimits& limits) {
  out.objects.clear();
  XReadResult r;
  // A UTF-8 byte-order mark, as some editors write in front of a text file, says nothing more.
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (bytes.size() < 16 || bytes.substr(0, 4) != "xof " || !Digits(bytes.substr(4, 4))) {
    r.status = XStatus::NotXFile;
    r.message = "not an .x file";
    return r;
  }
  const std::string_view format = bytes.substr(8, 4), floats = bytes.substr(12, 4);
  if ((format == "tzip" || format == "bzip") && (floats == "0032" || floats == "0064")) {
    std::string plain;
    if (!InflateXFile(bytes, &plain, &r.message)) {
      r.status = XStatus::Compressed;
      return r;
    }
    // The compressed image stays held while the plain one is read.
    XLimits rest = limits;
    rest.bytes = limits.bytes > bytes.size() ? limits.bytes - bytes.size() : 0;
    return ParseXFile(plain, out, rest);
  }
  if ((format != "txt " && format != "bin ") || (floats != "0032" && floats != "0064")) {
    r.status = XStatus::BadFormat;
    r.message = "unknown .x format";
    return r;
  }
  out.major = uint16_t((bytes[4] - '0') * 10 + (bytes[5] - '0'));
  out.minor = uint16_t((bytes[6] - '0') * 10 + (bytes[7] - '0'));
  out.encoding = format == "txt " ? XEncoding::Text : XEncoding::Binary;
  out.floatBits = floats == "0064" ? 64 : 32;
  const std::string_view body = bytes.substr(16);
  auto src = out.encoding == XEncoding::Text ? MakeTextTokens(body) : MakeBinaryTokens(body, out.floatBits);
  r = Parser(*src, limits, bytes.size()).ParseAll(out);
  // A read given up on a stop is not resolved: the load ends at once.
  if (!ResolveXReferences({&out})) {
    r.status = XStatus::Syntax;
    r.message = "the read was stopped";
  }
  return r;
}

XReadResult ReadXFile(const std::string& path, XFile& out) {
  std::string bytes;
  if (!FsReadFile(path, bytes)) {
    out.objects.clear();
    XReadResult r;
    r.status = XStatus::ReadFailed;
    r.message = "cannot read " + path;
    return r;
  }
  return ParseXFile(bytes, out);
}
